// Composite fonts over installed faces: the objects Build makes, the
// embedded subset as fontTools reads it, the codes of CID-keyed CFF faces,
// what poppler makes of a page showing them, and damaged faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <utility>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFlateFilter.h"
#include "pdf/fonts/vxCompositeFont.h"
#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "platform/vxFontService.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"
#include "support/ttf_builder.h"

using namespace vx;
using vxtest::PutU16;
using vxtest::PutU32;

namespace {

const char* DejaVuPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* CantarellPath = "/usr/share/fonts/opentype/cantarell/Cantarell-Regular.otf";
const char* WqyPath = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

std::shared_ptr<const std::string> LoadFace(const char* Path) {
  std::string Data = vxtest::ReadAll(Path);
  return Data.empty() ? nullptr : std::make_shared<const std::string>(std::move(Data));
}

#define FACE_OR_SKIP(Var, Path) \
  auto Var = LoadFace(Path);    \
  if (!Var) GTEST_SKIP() << Path << " is not installed"

// The glyph the face's cmap gives each character (0 for none).
std::vector<uint16_t> GlyphsOf(const std::string& Face, std::u16string_view Text) {
  std::vector<uint16_t> Glyphs, Out;
  std::vector<char16_t> Codes;
  TvxTrueTypeFile(Face).ReadCmap(Glyphs, Codes);
  for (char16_t C : Text) {
    auto It = std::find(Codes.begin(), Codes.end(), C);
    Out.push_back(It == Codes.end() ? 0 : Glyphs[It - Codes.begin()]);
  }
  return Out;
}

void AddText(TvxCompositeFont& F, const std::string& Face, std::u16string_view Text) {
  std::vector<uint16_t> G = GlyphsOf(Face, Text);
  for (size_t K = 0; K < Text.size(); ++K) F.AddGlyph(G[K], Text.substr(K, 1));
}

// Standard output of a shell command (standard error dropped).
std::string Capture(const std::string& Command) {
  std::string Out;
  std::FILE* P = ::popen((Command + " 2>/dev/null").c_str(), "r");
  if (!P) return Out;
  char Buf[4096];
  for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) Out.append(Buf, N);
  ::pclose(P);
  return Out;
}

bool HaveFontTools() {
  return vxtest::RunCommand("/usr/bin/python3 -c 'import fontTools'") == 0;
}

// fontTools' view of a font file: its glyph count, then for each of Glyphs
// whether it draws anything (Names gets their names).
std::vector<int> InkOf(const std::string& Font, const std::vector<uint16_t>& Glyphs,
                       std::vector<std::string>* Names = nullptr) {
  std::string Script = vxtest::WriteTempFile(
      "ink.py",
      "import sys\nfrom fontTools.ttLib import TTFont\n"
      "from fontTools.pens.boundsPen import BoundsPen\n"
      "f = TTFont(sys.argv[1]); order = f.getGlyphOrder(); gs = f.getGlyphSet()\n"
      "print(len(order))\nfor a in sys.argv[2:]:\n"
      "    p = BoundsPen(gs); gs[order[int(a)]].draw(p)\n"
      "    print(0 if p.bounds is None else 1, order[int(a)])\n");
  std::string Command = "/usr/bin/python3 " + Script + " " + vxtest::WriteTempFile("ink.f", Font);
  for (uint16_t G : Glyphs) Command += " " + std::to_string(G);
  std::istringstream In(Capture(Command));
  std::vector<int> Out;
  std::string Name;
  for (int V; In >> V; Out.push_back(V))
    if (!Out.empty() && In >> Name && Names) Names->push_back(Name);
  return Out;
}

// An object as PDF text; a stream as its dictionary and its data.
std::string Text(const TvxPDFObject* O) {
  if (!O) return "null";
  std::string S;
  if (const auto* A = dynamic_cast<const TvxPDFArrayObject*>(O)) {
    for (const auto& Item : A->Items) S += Text(Item.get()) + " ";
    return "[" + S + "]";
  }
  if (const auto* D = dynamic_cast<const TvxPDFDictObject*>(O)) {
    for (int32_t K = 0; K < D->Count(); ++K)
      S += D->GetKey(K)->Text + " " + Text(D->GetValue(K)) + " ";
    return "<< " + S + ">>";
  }
  if (const auto* St = dynamic_cast<const TvxPDFStreamObject*>(O))
    return Text(St->Dict.get()) + " stream " + St->Data->DataString();
  if (const auto* R = dynamic_cast<const TvxPDFIndirectReference*>(O))
    return std::to_string(R->ObjectNumber) + " R";
  if (const auto* N = dynamic_cast<const TvxPDFNameObject*>(O)) return N->Text;
  if (const auto* Str = dynamic_cast<const TvxPDFStringObject*>(O)) return Str->Text;
  if (const auto* I = dynamic_cast<const TvxPDFIntegerObject*>(O)) return I->AsText();
  return "?";
}

// The objects one Build made: resolved, decoded, /W and the map expanded.
struct TvxBuilt {
  TvxPDFObjectStore Store;
  TvxPDFDictObject *Type0 = nullptr, *Cid = nullptr, *Desc = nullptr;
  TvxPDFStreamObject* File = nullptr;
  std::string Program, CMap;
  std::map<uint32_t, std::string> ToUnicode;  // code -> UTF-16BE hex
  std::map<uint32_t, int32_t> Widths;

  template <typename T>
  T* Get(const TvxPDFDictObject* D, std::string_view Key) {
    return D ? dynamic_cast<T*>(Store.Resolve(D->Lookup(Key))) : nullptr;
  }
  static std::string Decoded(const TvxPDFStreamObject* S) {
    return S ? TvxFlateFilter().DecodeString(S->Data->DataString()) : std::string();
  }
};

std::unique_ptr<TvxBuilt> BuildAll(TvxCompositeFont& F) {
  auto B = std::make_unique<TvxBuilt>();
  B->Type0 = dynamic_cast<TvxPDFDictObject*>(B->Store.Resolve(F.Build(B->Store, 1, "/ZC").get()));
  auto* Kids = B->Get<TvxPDFArrayObject>(B->Type0, "/DescendantFonts");
  B->Cid = Kids ? dynamic_cast<TvxPDFDictObject*>(B->Store.Resolve(Kids->GetItem(0))) : nullptr;
  B->Desc = B->Get<TvxPDFDictObject>(B->Cid, "/FontDescriptor");
  B->File = B->Get<TvxPDFStreamObject>(B->Desc, "/FontFile2");
  if (!B->File) B->File = B->Get<TvxPDFStreamObject>(B->Desc, "/FontFile3");
  B->Program = TvxBuilt::Decoded(B->File);
  B->CMap = TvxBuilt::Decoded(B->Get<TvxPDFStreamObject>(B->Type0, "/ToUnicode"));
  std::string Rest = B->CMap.substr(std::min(B->CMap.find("endcodespacerange"), B->CMap.size()));
  static const std::regex Line("<([0-9A-F]{4})> <([0-9A-F]+)>");
  for (std::smatch M; std::regex_search(Rest, M, Line); Rest = M.suffix())
    B->ToUnicode[std::stoul(M[1], nullptr, 16)] = M[2];
  auto* W = B->Get<TvxPDFArrayObject>(B->Cid, "/W");
  auto Num = [W](int32_t I) { return dynamic_cast<TvxPDFIntegerObject&>(*W->GetItem(I)).Value; };
  for (int32_t I = 0; W && I < W->Count();) {
    if (const auto* List = dynamic_cast<TvxPDFArrayObject*>(W->GetItem(I + 1))) {
      for (int32_t K = 0; K < List->Count(); ++K)
        B->Widths[Num(I) + K] = dynamic_cast<TvxPDFIntegerObject&>(*List->GetItem(K)).Value;
      I += 2;
    } else {
      for (int32_t C = Num(I); C <= Num(I + 1); ++C) B->Widths[C] = Num(I + 2);
      I += 3;
    }
  }
  return B;
}

// An advance of the face's hmtx in thousandths of the em, rounded.
int32_t Advance(const std::string& Face, uint16_t G) {
  TvxTrueTypeFile F(Face);
  auto U16 = [](std::string_view S, size_t P) {
    return static_cast<uint8_t>(S[P]) << 8 | static_cast<uint8_t>(S[P + 1]);
  };
  return static_cast<int32_t>(
      std::lround(U16(F.Table("hmtx"), G * 4u) * 1000.0 / U16(F.Table("head"), 18)));
}

// A CID-keyed CFF face byte by byte: glyph K (from 1) has CID CIDs[K - 1],
// draws a square and advances 500 + 100 K of 1000 units.
std::string CIDKeyedFace(const std::vector<uint16_t>& CIDs) {
  auto Index = [](const std::vector<std::string>& Items) {
    std::string S;
    PutU16(S, static_cast<uint16_t>(Items.size()));
    if (Items.empty()) return S;
    S.push_back(4);
    uint32_t Off = 1;
    PutU32(S, Off);
    for (const std::string& I : Items) PutU32(S, Off += static_cast<uint32_t>(I.size()));
    for (const std::string& I : Items) S += I;
    return S;
  };
  // Operands as 29 and four bytes, so that offsets fit wherever they land.
  auto Dict = [](std::vector<std::pair<std::vector<int32_t>, std::string>> Entries) {
    std::string D;
    for (const auto& [Operands, Op] : Entries) {
      for (int32_t V : Operands) {
        D.push_back(29);
        PutU32(D, static_cast<uint32_t>(V));
      }
      D += Op;
    }
    return D;
  };
  size_t Glyphs = CIDs.size() + 1;
  std::string Square;
  const int16_t Path[4][3] = {{100, 100, 21}, {300, 0, 5}, {0, 300, 5}, {-300, 0, 5}};
  for (const auto& Step : Path) {
    for (int K = 0; K < 2; ++K) {
      Square.push_back(28);
      PutU16(Square, static_cast<uint16_t>(Step[K]));
    }
    Square.push_back(static_cast<char>(Step[2]));  // rmoveto, rlineto
  }
  Square.push_back(14);  // endchar
  std::vector<std::string> Strings(Glyphs, Square);
  Strings[0] = "\x0E";
  std::string Private = "\x8B\x14";  // defaultWidthX 0
  auto Top = [&](int32_t Charset, int32_t CharStrings, int32_t FDArray, int32_t FDSelect) {
    // ROS Adobe Identity 0, the two names first in the string INDEX.
    return Index({Dict({{{391, 392, 0}, "\x0C\x1E"},
                        {{Charset}, "\x0F"},
                        {{CharStrings}, "\x11"},
                        {{FDArray}, "\x0C\x24"},
                        {{FDSelect}, "\x0C\x25"}})});
  };
  auto FontDicts = [&](int32_t PrivateAt) {
    return Index({Dict({{{static_cast<int32_t>(Private.size()), PrivateAt}, "\x12"}})});
  };
  std::string Start = std::string("\x01\x00\x04\x04", 4) + Index({"TestCID"});
  std::string Strs = Index({"Adobe", "Identity"}) + Index({});
  std::string Charset(1, '\0'), Select(Glyphs + 1, '\0'), CharStrings = Index(Strings);
  for (uint16_t C : CIDs) PutU16(Charset, C);
  auto At = [&](size_t Offset) { return static_cast<int32_t>(Offset); };
  size_t CharsetAt = Start.size() + Top(0, 0, 0, 0).size() + Strs.size();
  size_t SelectAt = CharsetAt + Charset.size(), StringsAt = SelectAt + Select.size();
  size_t FDArrayAt = StringsAt + CharStrings.size();
  std::string CFF = Start + Top(At(CharsetAt), At(StringsAt), At(FDArrayAt), At(SelectAt)) + Strs +
                    Charset + Select + CharStrings +
                    FontDicts(At(FDArrayAt + FontDicts(0).size())) + Private;

  std::map<std::string, std::string> T = {{"CFF ", CFF}};
  std::string& Head = T["head"];
  for (uint32_t V : {0x00010000u, 0x00010000u, 0u, 0x5F0F3CF5u, 1000u, 0u, 0u, 0u, 0u})
    PutU32(Head, V);
  for (int16_t V : {0, -200, 1000, 800, 0, 0, 0, 0, 0}) PutU16(Head, static_cast<uint16_t>(V));
  std::string& Hhea = T["hhea"];
  PutU32(Hhea, 0x00010000);
  PutU32(Hhea, 800u << 16 | 0xFF38);  // ascender 800, descender -200
  Hhea.append(26, '\0');
  PutU16(Hhea, static_cast<uint16_t>(Glyphs));
  for (size_t G = 0; G < Glyphs; ++G) PutU32(T["hmtx"], static_cast<uint32_t>(500 + 100 * G) << 16);
  PutU32(T["maxp"], 0x00005000);
  PutU16(T["maxp"], static_cast<uint16_t>(Glyphs));
  std::string Out, Body;
  for (uint32_t V : {0x4F54544Fu, static_cast<uint32_t>(T.size()) << 16, 0u}) PutU32(Out, V);
  for (const auto& [Tag, Data] : T) {
    Out += Tag;
    for (size_t V : {size_t{0}, 12 + T.size() * 16 + Body.size(), Data.size()})
      PutU32(Out, static_cast<uint32_t>(V));
    Body += Data + std::string((4 - Data.size() % 4) % 4, '\0');
  }
  return Out + Body;
}

TEST(CompositeFont, TrueTypeFaceObjects) {
  FACE_OR_SKIP(Face, DejaVuPath);
  TvxCompositeFont F(Face, "DejaVuSans");
  EXPECT_FALSE(F.IsCFF());
  EXPECT_EQ(F.GlyphCount(), TvxTrueTypeFile(*Face).NumGlyphs());
  std::u16string Shown = u"Привет";
  std::vector<uint16_t> G = GlyphsOf(*Face, Shown);
  uint16_t Fi = GlyphsOf(*Face, u"\uFB01")[0];
  ASSERT_NE(Fi, 0);
  AddText(F, *Face, Shown);
  F.AddGlyph(Fi, u"fi");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  ASSERT_TRUE(B->Type0 && B->Cid && B->Desc && B->File);

  std::smatch M;
  std::string Type0 = Text(B->Type0);
  ASSERT_TRUE(std::regex_match(Type0, M,
                               std::regex("<< /Type /Font /Subtype /Type0 /Name /ZC /BaseFont "
                                          "/([A-Z]{6})\\+DejaVuSans /Encoding /Identity-H "
                                          "/ToUnicode \\d+ R /DescendantFonts \\[\\d+ R \\] >>")))
      << Type0;
  std::string BaseFont = "/" + M[1].str() + "\\+DejaVuSans";  // as a pattern
  // DejaVu Sans: advance 1229 of 2048 for the notdef glyph.
  EXPECT_TRUE(std::regex_match(
      Text(B->Cid), std::regex("<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + BaseFont +
                               " /FontDescriptor \\d+ R /CIDSystemInfo << /Registry \\(Adobe\\) "
                               "/Ordering \\(Identity\\) /Supplement 0 >> /DW 600 /W \\[.*\\] "
                               "/CIDToGIDMap /Identity >>")))
      << Text(B->Cid);
  // Head box -2090 -948 3673 2524, typo ascender 1556 and descender -492 of
  // 2048 units; OS/2 version 1 has no cap height.
  EXPECT_TRUE(std::regex_match(
      Text(B->Desc),
      std::regex("<< /Type /FontDescriptor /FontName " + BaseFont +
                 " /Flags 32 /FontBBox \\[-1021 -463 1793 1232 \\] /ItalicAngle 0 /Ascent 760 "
                 "/Descent -240 /CapHeight 760 /StemV 80 /FontFile2 \\d+ R >>")))
      << Text(B->Desc);
  EXPECT_EQ(Text(B->File->Dict.get()),
            "<< /Length1 " + std::to_string(B->Program.size()) + " /Length " +
                std::to_string(B->File->Data->DataString().size()) + " /Filter /FlateDecode >>");

  // Only the glyphs shown have widths, each its own advance; each code
  // gives back its character, the ligature both of its letters.
  std::map<uint32_t, int32_t> Widths = {{Fi, Advance(*Face, Fi)}};
  std::map<uint32_t, std::string> Map = {{Fi, "00660069"}};
  for (size_t K = 0; K < G.size(); ++K) {
    EXPECT_EQ(F.CodeOf(G[K]), G[K]);
    EXPECT_EQ(F.GlyphWidth(G[K]), Advance(*Face, G[K]));
    Widths[G[K]] = Advance(*Face, G[K]);
    char Hex[8];
    std::snprintf(Hex, sizeof Hex, "%04X", static_cast<unsigned>(Shown[K]));
    Map[G[K]] = Hex;
  }
  EXPECT_EQ(B->Widths, Widths);
  EXPECT_EQ(B->ToUnicode, Map);
  EXPECT_EQ(F.GlyphWidth(static_cast<uint16_t>(F.GlyphCount())), 0);
  for (const char* Piece : {"/CIDInit /ProcSet findresource begin\r\n\r\n12 dict begin\r\n\r\n"
                            "begincmap",
                            "/Registry (Adobe) def\r\n/Ordering (UCS) def", "/CMapType 2 def",
                            "1 begincodespacerange\r\n<0000> <FFFF>\r\nendcodespacerange\r\n"
                            "7 beginbfchar",
                            "endbfchar\r\nendcmap\r\nCMapName currentdict /CMap defineresource "
                            "pop\r\nend\r\nend"})
    EXPECT_NE(B->CMap.find(Piece), std::string::npos) << Piece;
}

TEST(CompositeFont, TrueTypeSubsetKeepsNumberingAndOnlyTheGlyphsShown) {
  FACE_OR_SKIP(Face, DejaVuPath);
  TvxCompositeFont F(Face, "DejaVuSans");
  AddText(F, *Face, u"Привет");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  EXPECT_LT(B->Program.size(), Face->size() / 4);
  if (!HaveFontTools()) GTEST_SKIP() << "fontTools is not installed";
  // The letters and the notdef glyph draw; A, not shown, is emptied.
  std::vector<uint16_t> Ask = GlyphsOf(*Face, u"ПриветA");
  Ask.push_back(0);
  EXPECT_EQ(InkOf(B->Program, Ask),
            (std::vector<int>{static_cast<int>(F.GlyphCount()), 1, 1, 1, 1, 1, 1, 0, 1}));
}

TEST(CompositeFont, GlyphsOutsideTheFaceAndGlyphsAddedTwice) {
  FACE_OR_SKIP(Face, DejaVuPath);
  TvxCompositeFont Empty(Face, "DejaVuSans");
  Empty.AddGlyph(static_cast<uint16_t>(Empty.GlyphCount()), u"x");
  Empty.AddGlyph(0xFFFF, u"y");
  std::unique_ptr<TvxBuilt> B = BuildAll(Empty);
  // Nothing shown: the notdef glyph alone, no widths, an empty map.
  EXPECT_EQ(Text(B->Get<TvxPDFArrayObject>(B->Cid, "/W")), "[]");
  EXPECT_EQ(B->CMap.find("beginbfchar"), std::string::npos);
  EXPECT_EQ(TvxTrueTypeFile(B->Program).NumGlyphs(), Empty.GlyphCount());

  std::vector<uint16_t> G = GlyphsOf(*Face, u"ab");
  TvxCompositeFont F(Face, "DejaVuSans");
  F.AddGlyph(G[0], u"a");
  F.AddGlyph(G[0], u"b");  // keeps "a"
  F.AddGlyph(G[1], u"");   // no characters yet
  F.AddGlyph(G[1], u"\U0001D400");
  F.AddGlyph(3, u"");  // shown, never mapped
  B = BuildAll(F);
  EXPECT_EQ(B->ToUnicode, (std::map<uint32_t, std::string>{{G[0], "0061"}, {G[1], "D835DC00"}}));
  EXPECT_EQ(B->Widths.size(), 3u);
}

TEST(CompositeFont, WidthsOfNeighbouringCodesAreCompact) {
  FACE_OR_SKIP(Face, DejaVuPath);
  TvxCompositeFont F(Face, "DejaVuSans");
  // DejaVu's digits follow each other and share one width; a b c follow
  // each other with widths of their own.
  std::vector<uint16_t> D = GlyphsOf(*Face, u"09"), A = GlyphsOf(*Face, u"abc");
  ASSERT_EQ(D[1], D[0] + 9);
  ASSERT_EQ(A[2], A[0] + 2);
  AddText(F, *Face, u"9876543210cab");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  std::ostringstream Want;
  Want << "[" << D[0] << " " << D[1] << " " << Advance(*Face, D[0]) << " " << A[0] << " ["
       << Advance(*Face, A[0]) << " " << Advance(*Face, A[1]) << " " << Advance(*Face, A[2])
       << " ] ]";
  EXPECT_EQ(Text(B->Get<TvxPDFArrayObject>(B->Cid, "/W")), Want.str());
}

TEST(CompositeFont, SameGlyphsGiveSameBytesAndOtherGlyphsAnotherTag) {
  FACE_OR_SKIP(Face, DejaVuPath);
  auto Make = [&](std::u16string_view Shown) {
    TvxCompositeFont F(Face, "DejaVuSans");
    AddText(F, *Face, Shown);
    return BuildAll(F);
  };
  std::unique_ptr<TvxBuilt> A = Make(u"Привет"), B = Make(u"тевирП"), C = Make(u"Привед");
  ASSERT_EQ(A->Store.Count(), 5);
  ASSERT_EQ(B->Store.Count(), 5);
  for (int32_t K = 0; K < 5; ++K) {
    EXPECT_EQ(A->Store.GetObject(K)->UseCount, 1);
    EXPECT_EQ(Text(A->Store.GetObject(K)->Value.get()), Text(B->Store.GetObject(K)->Value.get()));
  }
  EXPECT_NE(Text(A->Type0->Lookup("/BaseFont")), Text(C->Type0->Lookup("/BaseFont")));
}

TEST(CompositeFont, CFFFaceEmbedsAnOpenTypeSubset) {
  FACE_OR_SKIP(Face, CantarellPath);
  TvxCompositeFont F(Face, "Cantarell-Regular");
  EXPECT_TRUE(F.IsCFF());
  std::vector<uint16_t> G = GlyphsOf(*Face, u"Vellum");
  AddText(F, *Face, u"Vellum");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  EXPECT_TRUE(std::regex_match(Text(B->Cid), std::regex("<< /Type /Font /Subtype /CIDFontType0 "
                                                        "/BaseFont /[A-Z]{6}\\+Cantarell-Regular "
                                                        ".* /DW 500 /W \\[.*\\] >>")))
      << Text(B->Cid);
  EXPECT_NE(Text(B->Desc).find("/FontFile3"), std::string::npos);
  EXPECT_TRUE(
      std::regex_match(Text(B->File->Dict.get()),
                       std::regex("<< /Subtype /OpenType /Length \\d+ /Filter /FlateDecode >>")));
  EXPECT_EQ(B->Program.substr(0, 4), "OTTO");
  EXPECT_LT(B->Program.size(), Face->size() / 4);
  // A name-keyed face: codes are glyph numbers.
  std::map<uint32_t, int32_t> Widths;
  for (uint16_t Glyph : G) {
    EXPECT_EQ(F.CodeOf(Glyph), Glyph);
    Widths[Glyph] = Advance(*Face, Glyph);
  }
  EXPECT_EQ(B->Widths, Widths);
  EXPECT_EQ(B->ToUnicode.at(G[0]), "0056");
  if (!HaveFontTools()) GTEST_SKIP() << "fontTools is not installed";
  std::vector<int> Ink = InkOf(B->Program, {G[0], G[1], 0, GlyphsOf(*Face, u"A")[0]});
  ASSERT_EQ(Ink.size(), 5u);
  // Numbering kept up to the last glyph shown.
  EXPECT_GT(Ink[0], *std::max_element(G.begin(), G.end()));
  EXPECT_EQ(std::vector<int>(Ink.begin() + 1, Ink.end()), (std::vector<int>{1, 1, 1, 0}));
}

// The codes of a CID-keyed face are the CIDs of the embedded program, made
// equal to its glyph numbers: readers that go through the charset and those
// that take codes as glyph numbers draw the same glyphs.
TEST(CompositeFont, CIDKeyedFaceCodesAreCIDsEqualToGlyphNumbers) {
  TvxCompositeFont F(std::make_shared<const std::string>(CIDKeyedFace({100, 200, 300, 5000})),
                     "TestCID");
  ASSERT_TRUE(F.IsCFF());
  EXPECT_EQ(F.GlyphCount(), 5u);
  F.AddGlyph(2, u"B");
  F.AddGlyph(4, u"D");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  for (uint16_t G : {0, 2, 4}) EXPECT_EQ(F.CodeOf(G), G);
  EXPECT_EQ(B->Widths, (std::map<uint32_t, int32_t>{{2, 700}, {4, 900}}));
  EXPECT_EQ(B->ToUnicode, (std::map<uint32_t, std::string>{{2, "0042"}, {4, "0044"}}));
  // The rewritten program still sums right.
  EXPECT_EQ(TableChecksum(B->Program), 0xB1B0AFBAu);
  TvxTrueTypeFile Subset(B->Program);
  for (const TvxTableEntry& T : Subset.Tables()) {
    if (T.Tag == 0x68656164) continue;  // head: summed with its adjustment zero
    EXPECT_EQ(T.Checksum, TableChecksum(B->Program.substr(T.Offset, T.Length)));
  }
  if (!HaveFontTools()) GTEST_SKIP() << "fontTools is not installed";
  std::vector<std::string> Names;
  EXPECT_EQ(InkOf(B->Program, {2, 3, 4}, &Names), (std::vector<int>{5, 1, 0, 1}));
  EXPECT_EQ(Names, (std::vector<std::string>{"cid00002", "cid00003", "cid00004"}));
}

TEST(CompositeFont, CollectionFaceForCJKText) {
  FACE_OR_SKIP(Collection, WqyPath);
  auto Face = std::make_shared<const std::string>(ExtractCollectionFace(*Collection, 0));
  TvxCompositeFont F(Face, "WenQuanYiMicroHei");
  std::u16string Shown = u"水印文字中国日本汉语";
  std::vector<uint16_t> G = GlyphsOf(*Face, Shown);
  EXPECT_EQ(std::count(G.begin(), G.end(), 0), 0);
  AddText(F, *Face, Shown);
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  EXPECT_EQ(B->Widths.size(), 10u);
  EXPECT_EQ(B->ToUnicode.size(), 10u);
  EXPECT_LT(B->File->Data->DataString().size(), Face->size() / 10);
}

TEST(CompositeFont, FacesThatCannotBeEmbeddedRaise) {
  using vxtest::ExpectError;
  auto Try = [](std::string Data) {
    TvxCompositeFont F(std::make_shared<const std::string>(std::move(Data)), "X");
  };
  vxtest::TtfLayout L;
  L.Glyphs = {vxtest::SimpleGlyph(), vxtest::SimpleGlyph()};
  L.Advances = {500};
  auto Renamed = [&](std::string From, std::string To, std::vector<std::string> Omit = {}) {
    vxtest::TtfLayout M = L;
    M.Omit = std::move(Omit);
    std::string Font = vxtest::BuildTtf(M);
    return Font.replace(Font.find(From), 4, To);
  };
  vxtest::TtfLayout Empty = L;
  Empty.Glyphs.clear();
  std::string NoGlyphs = vxtest::BuildTtf(Empty);
  const std::pair<std::string, const char*> Cases[] = {
      {"Hello, world", "not a font"},
      {"ab", "not a font"},
      {std::string("ttcf\0\1\0\0", 8), "a collection, not one face"},
      {Renamed("cvt ", "fvar"), "variable fonts cannot be embedded"},
      {Renamed("hmtx", "hmtX"), "no hmtx table"},
      {Renamed("cvt ", "CFF2", {"glyf", "loca"}), "CFF2 outlines cannot be embedded"},
      {Renamed("cvt ", "cvt ", {"glyf"}), "no outlines"},
      {NoGlyphs, "maxp"}};  // no glyphs
  for (const auto& Case : Cases)
    ExpectError<EFontFileError>([&] { Try(Case.first); },
                                FormatMessage(msg::DamagedFontFile, Case.second));
}

TEST(CompositeFont, TrueTypeFaceWithoutHintingTablesStillSubsets) {
  vxtest::TtfLayout L;
  L.Glyphs = {vxtest::SimpleGlyph(), vxtest::SimpleGlyph(), vxtest::CompositeGlyph(1),
              vxtest::SimpleGlyph()};
  L.Advances = {500, 600, 700, 800};
  L.Omit = {"cvt ", "fpgm", "prep"};
  TvxCompositeFont F(std::make_shared<const std::string>(vxtest::BuildTtf(L)), "Bare");
  F.AddGlyph(2, u"A");
  std::unique_ptr<TvxBuilt> B = BuildAll(F);
  EXPECT_EQ(B->Widths, (std::map<uint32_t, int32_t>{{2, 700}}));
  EXPECT_EQ(B->Program.substr(0, 4), std::string("\0\1\0\0", 4));
  if (!HaveFontTools()) GTEST_SKIP() << "fontTools is not installed";
  // The composite's component comes along; glyph 3, not shown, is gone.
  EXPECT_EQ(InkOf(B->Program, {1, 2}), (std::vector<int>{3, 1, 1}));
}

TEST(CompositeFont, DamagedFacesRaiseFontErrorsOnly) {
  FACE_OR_SKIP(DejaVu, DejaVuPath);
  FACE_OR_SKIP(Cantarell, CantarellPath);
  auto Attempt = [](std::string Data) {
    try {
      TvxCompositeFont F(std::make_shared<const std::string>(std::move(Data)), "X");
      for (uint16_t G = 0; G < 600; G += 37) F.AddGlyph(G, u"x");
      TvxPDFObjectStore Store;
      EXPECT_TRUE(F.Build(Store, 1, "/ZC"));
      return true;
    } catch (const EFontFileError&) {
      return false;
    } catch (const std::exception& E) {
      ADD_FAILURE() << "unexpected error: " << E.what();
    }
    return false;
  };
  for (size_t Length : {size_t{0}, size_t{3}, size_t{12}, size_t{100}, size_t{700}, size_t{5000},
                        DejaVu->size() / 3, DejaVu->size() - 8})
    EXPECT_FALSE(Attempt(DejaVu->substr(0, Length))) << "truncated to " << Length;
  EXPECT_FALSE(Attempt(Cantarell->substr(0, Cantarell->size() / 2)));

  // Bytes flipped in the table directory and in each table read.
  std::mt19937 Random(20261208);
  int Raised = 0, Runs = 0;
  std::string CIDFace = CIDKeyedFace({100, 200, 300, 5000});
  for (const std::string* Face : {DejaVu.get(), Cantarell.get(), &std::as_const(CIDFace)}) {
    TvxTrueTypeFile File(*Face);
    for (std::string_view Tag :
         {"", "head", "hhea", "hmtx", "maxp", "OS/2", "post", "cmap", "loca", "glyf", "CFF "}) {
      const TvxTableEntry* T = File.FindTable(Tag);
      if (!Tag.empty() && !T) continue;
      size_t From = T ? T->Offset : 0, Size = T ? T->Length : 12 + File.Tables().size() * 16;
      for (int Round = 0; Round < 10 && Size > 0; ++Round, ++Runs) {
        std::string Data = *Face;
        for (int K = 0; K <= Round * 2; ++K)
          Data[From + Random() % Size] = static_cast<char>(Random());
        Raised += !Attempt(std::move(Data));
      }
    }
  }
  // Sound output or a font error, never anything else.
  EXPECT_GT(Raised, 0);
  EXPECT_GT(Runs, 200);
}

// A page showing text in three composite fonts, saved by the document
// writer, as poppler and qpdf see it.
TEST(CompositeFont, PageTextAsReadersSeeIt) {
  FACE_OR_SKIP(DejaVu, DejaVuPath);
  FACE_OR_SKIP(Cantarell, CantarellPath);
  if (!vxtest::HaveTool("pdftotext") || !vxtest::HaveTool("pdffonts") ||
      !vxtest::HaveTool("pdftoppm"))
    GTEST_SKIP() << "poppler-utils are not installed";
  vxtest::PdfBuilder P;
  P.PageTree({3}, "", "/MediaBox [0 0 612 792]");
  P.Object(3, "<< /Type /Page /Parent 2 0 R >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(
      Doc.LoadFromFile(vxtest::WriteTempFile("composite_src.pdf", P.FinishTable("/Root 1 0 R"))));

  std::string Content;
  auto Fonts = std::make_unique<TvxPDFDictObject>();
  auto Show = [&](TvxCompositeFont& F, const std::vector<uint16_t>& Glyphs, const char* Name,
                  int Y) {
    Fonts->Add(Name, F.Build(Doc.Store(), Doc.DocumentID(), Name));
    Content += "BT " + std::string(Name) + " 24 Tf 72 " + std::to_string(Y) + " Td <";
    for (uint16_t G : Glyphs) {
      char Code[8];
      std::snprintf(Code, sizeof Code, "%04X", F.CodeOf(G));
      Content += Code;
    }
    Content += "> Tj ET\n";
  };
  TvxCompositeFont Dv(DejaVu, "DejaVuSans");
  AddText(Dv, *DejaVu, u"Привет");
  Show(Dv, GlyphsOf(*DejaVu, u"Привет"), "/ZC1", 700);
  TvxCompositeFont Ca(Cantarell, "Cantarell-Regular");
  AddText(Ca, *Cantarell, u"Vellum");
  Show(Ca, GlyphsOf(*Cantarell, u"Vellum"), "/ZC2", 650);
  TvxCompositeFont Cid(std::make_shared<const std::string>(CIDKeyedFace({100, 200, 300, 5000})),
                       "TestCID");
  Cid.AddGlyph(2, u"B");
  Cid.AddGlyph(4, u"D");
  Show(Cid, {4, 2}, "/ZC3", 600);

  auto& Page = dynamic_cast<TvxPDFDictObject&>(*Doc.Pages()[0]->Value);
  auto Resources = std::make_unique<TvxPDFDictObject>();
  Resources->Add("/Font", std::move(Fonts));
  Page.Add("/Resources", std::move(Resources));
  TvxPDFIndirectObject* Stream = Doc.Store().AddObject(std::make_unique<TvxPDFIndirectObject>(
      Doc.DocumentID(), Doc.Store().NewObjectNumber(), 0, true,
      std::make_unique<TvxPDFStreamObject>(std::make_unique<TvxPDFDictObject>(),
                                           std::make_unique<TvxMemoryStream>(Content))));
  Page.SetValue("/Contents", MakeReference(*Stream));
  std::string Path = vxtest::TempPath("composite_fonts.pdf");
  Doc.SaveToFile(Path);

  std::string Extracted = Capture("pdftotext -enc UTF-8 " + vxtest::Quote(Path) + " -");
  for (const char* Line : {"Привет", "Vellum", "DB"})
    EXPECT_NE(Extracted.find(Line), std::string::npos) << Extracted;
  std::string Listed = Capture("pdffonts " + vxtest::Quote(Path));
  for (const char* Font : {"DejaVuSans +CID TrueType", "Cantarell-Regular +CID Type 0C \\(OT\\)",
                           "TestCID +CID Type 0C \\(OT\\)"})
    EXPECT_TRUE(std::regex_search(
        Listed, std::regex(std::string("[A-Z]{6}\\+") + Font + " +Identity-H +yes +yes +yes")))
        << Font << "\n"
        << Listed;

  // Each line draws: codes that miss their glyphs would show nothing.
  std::string Image = vxtest::TempPath("composite_fonts");
  ASSERT_EQ(vxtest::RunCommand("pdftoppm -r 72 -gray -singlefile " + vxtest::Quote(Path) + " " +
                               vxtest::Quote(Image)),
            0);
  std::istringstream In(vxtest::ReadAll(Image + ".pgm"));
  std::string Magic;
  int W = 0, H = 0, Max = 0;
  In >> Magic >> W >> H >> Max;
  In.get();
  std::string Pixels((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  ASSERT_EQ(Pixels.size(), static_cast<size_t>(W) * H);
  for (int Y : {700, 650, 600}) {
    int Dark = 0;
    for (int Row = 792 - Y - 20; Row < 792 - Y + 4 && Row < H; ++Row)
      for (int Col = 72; Col < 400 && Col < W; ++Col)
        Dark += static_cast<uint8_t>(Pixels[static_cast<size_t>(Row) * W + Col]) < 128;
    EXPECT_GT(Dark, 20) << "line at " << Y;
  }
  if (vxtest::HaveTool("qpdf")) {
    EXPECT_EQ(vxtest::RunCommand("qpdf --check " + vxtest::Quote(Path)), 0);
  }
}

}  // namespace
