// Faces for characters the chosen face lacks, and the sfnt data of faces of
// every kind, on the installed fonts: Liberation, DejaVu, WenQuanYi Micro Hei
// (a collection), Lohit Devanagari and Cantarell (CFF outlines).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "pdf/fonts/vxTrueType.h"
#include "platform/vxFontService.h"

using namespace vx;

namespace {

TvxLogFont Log(std::string Face, bool Bold = false, bool Italic = false) {
  TvxLogFont L;
  L.FaceName = std::move(Face);
  L.Height = 100;
  L.Weight = Bold ? 700 : 400;
  L.Italic = Italic;
  return L;
}

// Read from the font's own data, not through the service's lookup.
bool Maps(const TvxPlatformFont& Font, char16_t C) {
  std::vector<uint16_t> Glyphs;
  std::vector<char16_t> Chars;
  TvxTrueTypeFile(Font.SfntData()).ReadCmap(Glyphs, Chars);
  auto It = std::find(Chars.begin(), Chars.end(), C);
  return It != Chars.end() && Glyphs[It - Chars.begin()] != 0;
}

std::string Head(const std::string& Data) {
  return Data.substr(0, 4);
}

}  // namespace

TEST(FontFallback, TheSameFamilyWhenAFaceOfItHasTheCharacter) {
  for (char32_t C : {U'Ж', U'א'}) {
    auto F = FontService().FallbackFont(C, Log("Liberation Sans"));
    ASSERT_TRUE(F) << std::hex << uint32_t(C);
    EXPECT_EQ(F->FaceName(), "Liberation Sans");
  }
  // DejaVu Sans Oblique has no Arabic; its upright face does.
  auto F = FontService().FallbackFont(U'ل', Log("DejaVu Sans", false, true));
  ASSERT_TRUE(F);
  EXPECT_EQ(F->FaceName(), "DejaVu Sans");
  EXPECT_FALSE(F->FaceItalic());
  EXPECT_TRUE(Maps(*F, u'ل'));
}

TEST(FontFallback, AnotherFaceForScriptsTheFamilyLacks) {
  struct {
    char16_t C;
    const char* Face;
  } const Cases[] = {
      {u'क', "Lohit Devanagari"},
      {u'中', "WenQuanYi Micro Hei"},
      {u'あ', "WenQuanYi Micro Hei"},
      {u'ل', "DejaVu Sans"},
  };
  for (const auto& Case : Cases) {
    auto F = FontService().FallbackFont(Case.C, Log("Liberation Sans"));
    ASSERT_TRUE(F) << std::hex << int(Case.C);
    EXPECT_EQ(F->FaceName(), Case.Face);
    EXPECT_TRUE(Maps(*F, Case.C)) << Case.Face;
  }
  // At the size asked for: an ideograph is one em wide.
  auto Han = FontService().FallbackFont(U'中', Log("Liberation Sans"));
  ASSERT_TRUE(Han);
  EXPECT_NEAR(Han->CharExtent(u'中').Width, 100, 1);
}

TEST(FontFallback, StyleOfTheFaceFound) {
  auto Bold = FontService().FallbackFont(U'ل', Log("Liberation Sans", true));
  auto Regular = FontService().FallbackFont(U'ل', Log("Liberation Sans"));
  ASSERT_TRUE(Bold && Regular);
  EXPECT_EQ(Bold->FaceName(), "DejaVu Sans");
  EXPECT_TRUE(Bold->FaceBold());
  EXPECT_FALSE(Regular->FaceBold());
  EXPECT_NE(*Bold->SfntData(), *Regular->SfntData());
  // Lohit has no bold face: the font is made bold, the face is not.
  auto Deva = FontService().FallbackFont(U'क', Log("Liberation Sans", true, true));
  ASSERT_TRUE(Deva);
  EXPECT_EQ(Deva->TextMetrics().Weight, 700);
  EXPECT_TRUE(Deva->TextMetrics().Italic);
  EXPECT_FALSE(Deva->FaceBold());
  EXPECT_FALSE(Deva->FaceItalic());
}

TEST(FontFallback, NilWhenNoFaceHasTheCharacter) {
  for (char32_t C : {U'\U0010FFFD', char32_t(0xD800), char32_t(0x110000), char32_t(0)}) {
    EXPECT_EQ(FontService().FallbackFont(C, Log("Liberation Sans")), nullptr)
        << std::hex << uint32_t(C);
    // The answer is kept and stays the same.
    EXPECT_EQ(FontService().FallbackFont(C, Log("Liberation Sans")), nullptr)
        << std::hex << uint32_t(C);
  }
}

TEST(FontFallback, FontsAreSharedUntilReleased) {
  auto A = FontService().FallbackFont(U'中', Log("Liberation Sans"));
  ASSERT_TRUE(A);
  EXPECT_EQ(FontService().FallbackFont(U'中', Log("Liberation Sans")), A);
  // Another character of the same face gives the same font.
  EXPECT_EQ(FontService().FallbackFont(U'文', Log("Liberation Sans")), A);
  TvxLogFont Larger = Log("Liberation Sans");
  Larger.Height = 200;
  auto B = FontService().FallbackFont(U'中', Larger);
  ASSERT_TRUE(B);
  EXPECT_NE(B, A);
  EXPECT_NEAR(B->CharExtent(u'中').Width, 200, 1);

  FontService().ReleaseLookups();
  auto C = FontService().FallbackFont(U'字', Log("Liberation Sans"));
  ASSERT_TRUE(C);
  EXPECT_EQ(C->FaceName(), "WenQuanYi Micro Hei");
  FontService().ReleaseFonts();
  auto D = FontService().FallbackFont(U'中', Log("Liberation Sans"));
  ASSERT_TRUE(D);
  EXPECT_NE(D, A);
  EXPECT_EQ(*D->SfntData(), *A->SfntData());
}

TEST(FontSfntData, CffFaceHasSfntDataButNoTrueTypeData) {
  auto F = FontService().CreateFont(Log("Cantarell"));
  ASSERT_EQ(F->FaceName(), "Cantarell");
  EXPECT_TRUE(F->FontData().empty());
  EXPECT_TRUE(F->SharedFontData()->empty());
  auto Data = F->SfntData();
  EXPECT_EQ(Head(*Data), "OTTO");
  TvxTrueTypeFile File(Data);
  EXPECT_NE(File.FindTable("CFF "), nullptr);
  EXPECT_FALSE(File.HasTrueTypeOutlines());
  EXPECT_TRUE(Maps(*F, u'A'));
}

TEST(FontSfntData, CollectionFaceIsAFontOfItsOwn) {
  auto F = FontService().CreateFont(Log("WenQuanYi Micro Hei"));
  ASSERT_EQ(F->FaceName(), "WenQuanYi Micro Hei");
  auto Data = F->SfntData();
  ASSERT_GE(Data->size(), 12u);
  EXPECT_EQ(Head(*Data), std::string("\0\1\0\0", 4));
  EXPECT_TRUE(Maps(*F, u'中'));
  // Shared with the font, and alive without it.
  EXPECT_EQ(F->SfntData().get(), Data.get());
  F.reset();
  FontService().ReleaseFonts();
  EXPECT_TRUE(TvxTrueTypeFile(Data).HasTrueTypeOutlines());
}

TEST(FontSfntData, TrueTypeFaceGivesItsFontData) {
  auto F = FontService().CreateFont(Log("Liberation Sans"));
  ASSERT_FALSE(F->FontData().empty());
  EXPECT_EQ(*F->SfntData(), F->FontData());
}

TEST(FontSfntData, StyleOfTheInstalledFace) {
  auto Bold = FontService().CreateFont(Log("Liberation Sans", true, true));
  EXPECT_TRUE(Bold->FaceBold());
  EXPECT_TRUE(Bold->FaceItalic());
  // Cantarell has a bold face but no italic one: the slant is made.
  auto Slanted = FontService().CreateFont(Log("Cantarell", false, true));
  EXPECT_TRUE(Slanted->TextMetrics().Italic);
  EXPECT_FALSE(Slanted->FaceItalic());
  EXPECT_FALSE(Slanted->FaceBold());
}
