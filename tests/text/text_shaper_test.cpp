// Shaping against the installed faces: fallback per character, direction,
// clusters, and agreement with HarfBuzz's own command-line shaper.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "pdf/text/vxTextShaper.h"
#include "platform/vxUnicode.h"
#include "support/tools.h"

namespace {

using vx::TvxShapedLine;
using vx::TvxTextShaper;

vx::TvxFont Face(const char* Name) {
  vx::TvxFont F;
  F.Name = Name;
  F.Size = 40;
  return F;
}

// The characters of the glyphs in display order, one string.
std::u16string CharsOf(const TvxShapedLine& L) {
  std::u16string S;
  for (const auto& G : L.Glyphs) S += G.Chars;
  return S;
}

std::string Family(const TvxTextShaper& S, uint32_t Face) {
  return S.Face(Face).Font->FaceName();
}

// Glyph numbers HarfBuzz's hb-shape gives for Text in the font file Path.
std::string HbShape(const std::string& Path, const std::string& Text) {
  const std::string Out = testing::TempDir() + "/hb_shape.txt";
  if (vxtest::RunCommand("(hb-shape --no-glyph-names --no-positions --no-clusters " +
                         vxtest::Quote(Path) + " " + vxtest::Quote(Text) + " > " +
                         vxtest::Quote(Out) + ")") != 0)
    return {};
  std::string S = vxtest::ReadAll(Out);
  while (!S.empty() && (S.back() == '\n' || S.back() == '\r')) S.pop_back();
  return S;
}

std::string GlyphList(const TvxShapedLine& L) {
  std::string S = "[";
  for (size_t I = 0; I < L.Glyphs.size(); ++I)
    S += (I ? "|" : "") + std::to_string(L.Glyphs[I].GlyphID);
  return S + "]";
}

bool Installed(const char* Path) {
  std::FILE* F = std::fopen(Path, "rb");
  if (!F) return false;
  std::fclose(F);
  return true;
}

constexpr const char* DejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

TEST(TextShaper, LatinKeepsTheChosenFaceAndLigaturesCarryTheirCharacters) {
  TvxTextShaper S(Face("DejaVu Sans"));
  const TvxShapedLine L = S.ShapeLine(u"office\tA");
  ASSERT_EQ(S.FaceCount(), 1u);
  EXPECT_EQ(Family(S, 0), "DejaVu Sans");
  // "ffi" is one glyph standing for three characters; the tab became a space.
  EXPECT_EQ(L.Glyphs.size(), 6u);
  EXPECT_EQ(L.Glyphs[1].Chars, u"ffi");
  EXPECT_EQ(CharsOf(L), u"office A");
  double Sum = 0;
  for (const auto& G : L.Glyphs) Sum += G.Advance;
  EXPECT_DOUBLE_EQ(L.Width, Sum);
  EXPECT_GT(L.Width, 2000);
  if (vxtest::HaveTool("hb-shape") && Installed(DejaVu)) {
    EXPECT_EQ(GlyphList(S.ShapeLine(u"office")), HbShape(DejaVu, "office"));
  }
}

TEST(TextShaper, ArabicIsJoinedAndRightToLeft) {
  TvxTextShaper S(Face("DejaVu Sans"));
  const TvxShapedLine L = S.ShapeLine(u"سري");
  ASSERT_EQ(L.Glyphs.size(), 3u);
  // Display order: the last character leftmost.
  EXPECT_EQ(L.Glyphs[0].Chars, u"ي");
  EXPECT_EQ(L.Glyphs[2].Chars, u"س");
  // The joined forms, not the isolated ones the cmap gives.
  if (vxtest::HaveTool("hb-shape") && Installed(DejaVu)) {
    EXPECT_EQ(GlyphList(L), HbShape(DejaVu, "سري"));
  }
}

TEST(TextShaper, MixedLineFallsBackPerCharacterAndOrdersRunsForDisplay) {
  TvxTextShaper S(Face("Liberation Sans"));
  const std::u16string Text = u"CONFIDENTIAL 機密 Секретно سري";
  const TvxShapedLine L = S.ShapeLine(Text);
  std::set<std::string> Families;
  for (const auto& G : L.Glyphs) Families.insert(Family(S, G.Face));
  EXPECT_GE(Families.size(), 2u);
  EXPECT_TRUE(Families.count("Liberation Sans"));
  // Latin first, the Arabic word last and reversed within itself.
  EXPECT_EQ(L.Glyphs.front().Chars, u"C");
  EXPECT_EQ(L.Glyphs.back().Chars, u"س");
  std::u16string Logical = CharsOf(L);
  EXPECT_EQ(Logical.substr(0, Logical.size() - 3), Text.substr(0, Text.size() - 3));
  for (const auto& G : L.Glyphs) EXPECT_NE(G.GlyphID, 0) << vx::Utf16ToUtf8(G.Chars);
  // Every face is an sfnt the fonts can embed.
  for (size_t I = 0; I < S.FaceCount(); ++I) EXPECT_GT(S.Face(I).Data->size(), 1000u);
}

TEST(TextShaper, MarksStayWithTheirBaseAndClustersKeepTheirText) {
  TvxTextShaper S(Face("Liberation Sans"));
  const TvxShapedLine L = S.ShapeLine(u"नमस्ते");
  ASSERT_FALSE(L.Glyphs.empty());
  for (const auto& G : L.Glyphs) EXPECT_EQ(G.Face, L.Glyphs[0].Face);
  EXPECT_EQ(CharsOf(L), u"नमस्ते");
  // The conjunct and the vowel sign are shaped, not shown one by one.
  EXPECT_NE(L.Glyphs.size(), 6u);
}

TEST(TextShaper, ACharacterNoFontHasIsRefusedByName) {
  TvxTextShaper S(Face("Liberation Sans"));
  try {
    S.ShapeLine(u"Draft \u0378");
    FAIL() << "no exception";
  } catch (const vx::EMissingGlyphError& E) {
    EXPECT_NE(std::string(E.what()).find("U+0378"), std::string::npos) << E.what();
  }
  EXPECT_THROW(S.CheckCoverage(u"ok\n\u0378"), vx::EMissingGlyphError);
  EXPECT_NO_THROW(S.CheckCoverage(u"ok\nМир"));
  // Nothing shown: empty and control-only lines.
  EXPECT_TRUE(S.ShapeLine(u"").Glyphs.empty());
  EXPECT_TRUE(S.ShapeLine(u"\x01\x02").Glyphs.empty());
}

TEST(TextShaper, HebrewLineStartsFromItsLastCharacter) {
  TvxTextShaper S(Face("DejaVu Sans"));
  const TvxShapedLine L = S.ShapeLine(u"סודי 12");
  ASSERT_FALSE(L.Glyphs.empty());
  // Right-to-left paragraph: the number comes first on the left, in its own order.
  EXPECT_EQ(L.Glyphs[0].Chars, u"1");
  EXPECT_EQ(L.Glyphs[1].Chars, u"2");
  EXPECT_EQ(L.Glyphs.back().Chars, u"ס");
}

}  // namespace
