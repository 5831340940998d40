// Font analysis: on a substitute font service for exact values, and on the
// installed Liberation faces (metric-compatible with Arial, Times New Roman
// and Courier New) for the real service.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "platform/vxCodePage.h"
#include "support/expect_error.h"
#include "support/ttf_builder.h"

using namespace vx;

namespace {

TvxFont MakeFont(std::string Name, bool Bold = false, bool Italic = false,
                 uint8_t Charset = AnsiCharset) {
  TvxFont F;
  F.Name = std::move(Name);
  F.Size = 36;
  F.Bold = Bold;
  F.Italic = Italic;
  F.Charset = Charset;
  return F;
}

// A font whose every byte is Advance pixels wide, except those in Widths.
class FakeFont : public TvxPlatformFont {
 public:
  const TvxTextMetrics& TextMetrics() const override { return Metrics; }
  bool OutlineMetrics(TvxOutlineMetrics& M) const override {
    M = Outline;
    return true;
  }
  TvxTextExtent TextExtent(std::string_view Text) const override {
    int32_t W = 0;
    for (char C : Text) {
      auto It = Widths.find(static_cast<uint8_t>(C));
      W += It == Widths.end() ? Advance : It->second;
    }
    return {W, Metrics.Height};
  }
  const std::string& FontData() const override { return Data; }
  const std::string& FaceName() const override { return Name; }

  TvxTextMetrics Metrics;
  TvxOutlineMetrics Outline;
  int32_t Advance = 10;
  std::map<uint8_t, int32_t> Widths;
  std::string Data;
  std::string Name = "Fake Face";
};

class FakeService : public TvxFontService {
 public:
  std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont& Log) override {
    Requests.push_back(Log);
    return Log.Charset == SymbolCharset && Symbol ? Symbol : Font;
  }
  std::vector<uint8_t> FontCharsets(std::string_view) override { return {0}; }

  std::shared_ptr<FakeFont> Font = std::make_shared<FakeFont>();
  std::shared_ptr<FakeFont> Symbol;
  std::vector<TvxLogFont> Requests;
};

// A TrueType program mapping A and B to glyphs 36 and 37 and the space to 3.
std::string SmallTrueType() {
  vxtest::TtfLayout S;
  S.Glyphs.assign(40, vxtest::SimpleGlyph());
  S.Advances = {500, 250, 250, 250};
  S.Cmap31 = vxtest::Format4({{32, 32, static_cast<uint16_t>(3 - 32), 0},
                              {65, 66, static_cast<uint16_t>(36 - 65), 0},
                              {0xFFFF, 0xFFFF, 1, 0}});
  return vxtest::BuildTtf(S);
}

class SubstituteFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // At 96 pixels per inch a 1000-point font is 1333.33 pixels: 4 pixels
    // are 3 thousandths of the em.
    ASSERT_EQ(PixelsPerInch(), 96);
    TvxTextMetrics& M = Service.Font->Metrics;
    M.Ascent = 1200;
    M.Descent = 300;
    M.Height = 1500;
    M.AveCharWidth = 700;
    M.MaxCharWidth = 1400;
    M.PitchAndFamily = tmpfVariablePitch | tmpfVector | tmpfTrueType | ffSwiss;
    M.Charset = AnsiCharset;
    Service.Font->Outline = {-120, 80, 400, 100, -200};
    Service.Font->Data = SmallTrueType();
    SetFontService(&Service);
  }
  void TearDown() override { SetFontService(nullptr); }

  FakeService Service;
};

TEST_F(SubstituteFontTest, MetricsOfATrueTypeFont) {
  Service.Font->Widths = {{'A', 800}, {0x80, 400}};
  TvxPDFFont F(MakeFont("Fake Face"), false, false);
  const TvxPDFFontInfo& I = F.Info();
  EXPECT_EQ(F.FontKind(), fkTrueType);
  EXPECT_EQ(I.Flags, 32);
  EXPECT_DOUBLE_EQ(I.Ascent, 900);
  EXPECT_DOUBLE_EQ(I.Descent, -225);
  EXPECT_DOUBLE_EQ(I.CapHeight, 900);
  EXPECT_EQ(I.AvgWidth, 7 * 72);  // whole inches of pixels first
  EXPECT_EQ(I.MaxWidth, 14 * 72);
  EXPECT_EQ(I.BBoxLeft, -250);
  EXPECT_EQ(I.BBoxBottom, -225);
  EXPECT_EQ(I.BBoxRight, 14 * 72);
  EXPECT_EQ(I.BBoxTop, 900);
  EXPECT_EQ(I.StemV, 78);
  EXPECT_EQ(I.ItalicAngle, -12);
  EXPECT_EQ(F.Width('A'), 600);
  EXPECT_EQ(F.Width(0x80), 300);
  EXPECT_EQ(F.Width('B'), 8);  // 10 pixels are 7.5 thousandths, rounded
  EXPECT_EQ(F.Width(10), 0);
  // Decorations in points at 36 points: 80 px -> 60 thousandths -> 2.16.
  EXPECT_EQ(I.StrikeoutSize, 2);
  EXPECT_EQ(I.StrikeoutPosition, 11);
  EXPECT_EQ(I.UnderscoreSize, 3);
  EXPECT_EQ(I.UnderscorePosition, -5);
  // The reference font: 1000 points at 96 pixels per inch.
  ASSERT_FALSE(Service.Requests.empty());
  EXPECT_NEAR(Service.Requests[0].Height, 1333.333, 0.001);
  EXPECT_EQ(Service.Requests[0].Weight, 400);
}

TEST_F(SubstituteFontTest, KindsAndFlags) {
  TvxTextMetrics& M = Service.Font->Metrics;
  // Variable-pitch device vector font without data.
  Service.Font->Data.clear();
  M.PitchAndFamily = tmpfVariablePitch | tmpfVector | tmpfDevice | ffRoman;
  {
    TvxPDFFont F(MakeFont("A"), false, false);
    EXPECT_EQ(F.FontKind(), fkVector);
    EXPECT_EQ(F.Info().Flags, 34);
    EXPECT_EQ(F.Info().StemV, 0);
    // Decorations from the size alone.
    EXPECT_EQ(F.Info().StrikeoutSize, 1);
    EXPECT_EQ(F.Info().StrikeoutPosition, 48 / 5);
    EXPECT_EQ(F.Info().UnderscoreSize, 3);
    EXPECT_EQ(F.Info().UnderscorePosition, -1);
  }
  // The TrueType bit without data, and data without the bit (CFF outlines).
  M.PitchAndFamily = tmpfVariablePitch | tmpfVector | tmpfTrueType | ffScript;
  M.Italic = true;
  {
    TvxPDFFont F(MakeFont("B"), false, false);
    EXPECT_EQ(F.FontKind(), fkOther);
    EXPECT_EQ(F.Info().Flags, 32 + 8 + 64);
  }
  Service.Font->Data = SmallTrueType();
  M.PitchAndFamily = tmpfVariablePitch | tmpfVector;
  M.Italic = false;
  M.Charset = SymbolCharset;
  {
    TvxPDFFont F(MakeFont("C"), false, false);
    EXPECT_EQ(F.FontKind(), fkOther);
    EXPECT_EQ(F.Info().Flags, 4);
  }
}

TEST_F(SubstituteFontTest, FixedPitchFontKeepsItsMeasuredWidths) {
  TvxTextMetrics& M = Service.Font->Metrics;
  M.PitchAndFamily = tmpfVector | tmpfTrueType | ffModern;
  Service.Font->Advance = 800;
  for (bool Collect : {false, true}) {
    TvxPDFFont F(MakeFont(Collect ? "Mono1" : "Mono2"), false, Collect);
    EXPECT_TRUE(F.FixedPitch());
    EXPECT_EQ(F.Info().Flags, 35);
    EXPECT_EQ(F.Width('i'), 600);
    EXPECT_EQ(F.Width(200), 600);
    EXPECT_EQ(F.Info().MaxWidth, 600);
  }
  Service.Font->Advance = 1000;
  TvxPDFFont F(MakeFont("Mono3"), false, false);
  EXPECT_EQ(F.Width('i'), 750);
  EXPECT_EQ(F.Info().MaxWidth, 750);
}

TEST_F(SubstituteFontTest, EncodeGlyphTextAndUsedCharacters) {
  TvxPDFFont F(MakeFont("Fake Face"), false, true);
  EXPECT_EQ(F.EncodeGlyphText(u"AB", AnsiCharset), "00240025");
  EXPECT_EQ(F.EncodeGlyphText(u"A BxA", AnsiCharset), "0024000300250024");
  EXPECT_EQ(F.UsedChars(), (std::set<char16_t>{u'A', u'B'}));
  EXPECT_EQ(F.EncodeGlyphText(u"", AnsiCharset), "");
  EXPECT_EQ(F.GlyphWidths()[0], 500);
  EXPECT_EQ(F.GlyphWidths()[39], 250);
  // The template's font records nothing and reads no cmap for ANSI text.
  TvxPDFFont T(MakeFont("Fake Face"), false, false);
  EXPECT_TRUE(T.GlyphIDs().empty());
  EXPECT_EQ(T.EncodeGlyphText(u"AB", AnsiCharset), "");
  TvxPDFFont Greek(MakeFont("Fake Face", false, false, GreekCharset), false, false);
  EXPECT_EQ(Greek.EncodeGlyphText(u"AB", GreekCharset), "00240025");
  EXPECT_TRUE(Greek.UsedChars().empty());
}

// A system whose ANSI code page is Shift-JIS.
class JapaneseCodePages : public TvxCodePageService {
 public:
  JapaneseCodePages() : Base(CodePageService()) {}
  uint32_t AnsiCodePage() const override { return 932; }
  std::u16string ToUnicode(std::string_view B, uint32_t Cp) const override {
    return Base.ToUnicode(B, Cp);
  }
  std::string FromUnicode(std::u16string_view T, uint32_t Cp) const override {
    return Base.FromUnicode(T, Cp);
  }
  bool IsDBCSLeadByte(uint8_t B, uint32_t Cp) const override { return Base.IsDBCSLeadByte(B, Cp); }
  TvxCodePageService& Base;
};

TEST_F(SubstituteFontTest, DoubleByteTextGoesThroughTheCodePages) {
  vxtest::TtfLayout S;
  S.Glyphs.assign(12, vxtest::SimpleGlyph());
  S.Advances = {500};
  // U+4E9C and U+3042 on glyphs 10 and 11.
  S.Cmap31 = vxtest::Format4({{0x3042, 0x3042, static_cast<uint16_t>(11 - 0x3042), 0},
                              {0x4E9C, 0x4E9C, static_cast<uint16_t>(10 - 0x4E9C), 0},
                              {0xFFFF, 0xFFFF, 1, 0}});
  Service.Font->Data = vxtest::BuildTtf(S);
  JapaneseCodePages Japanese;
  SetCodePageService(&Japanese);
  EXPECT_TRUE(NeedsCIDFont(DefaultCharset));
  EXPECT_EQ(SystemDefaultCharset(), ShiftJisCharset);
  {
    TvxPDFFont F(MakeFont("Fake Face", false, false, ShiftJisCharset), false, true);
    // U+4E9C ends in 9C, a lead byte of 932: blanks trimmed, each character
    // taken through the code pages.
    EXPECT_EQ(F.EncodeGlyphText(u" \u4E9C\u3042 ", ShiftJisCharset), "000A000B");
    EXPECT_EQ(F.UsedChars(), (std::set<char16_t>{0x3042, 0x4E9C}));
    // Text starting with another character is looked up directly.
    EXPECT_EQ(F.EncodeGlyphText(u"\u3042\u4E9C", ShiftJisCharset), "000B000A");
  }
  SetCodePageService(nullptr);
}

TEST_F(SubstituteFontTest, ToUnicodeCMapIsTheStandardForm) {
  TvxPDFFont F(MakeFont("Fake Face"), false, true);
  TvxMemoryStream S;
  F.WriteToUnicodeCMap(S);
  const std::string& T = S.DataString();
  EXPECT_EQ(T.rfind("%!PS-Adobe-3.0 Resource-CMap\r\n", 0), 0u);
  EXPECT_NE(T.find("1 begincodespacerange\r\n<0000> <FFFF>\r\nendcodespacerange\r\n"),
            std::string::npos);
  EXPECT_NE(T.find("3 beginbfchar\r\n<0003> <0020>\r\n<0024> <0041>\r\n<0025> <0042>\r\n"
                   "endbfchar\r\nendcmap\r\n"),
            std::string::npos)
      << T;
  const std::string End = "\r\n\r\n%%EndResource\r\n%%EOF";
  ASSERT_GT(T.size(), End.size());
  EXPECT_EQ(T.substr(T.size() - End.size()), End);
  EXPECT_EQ(T.find("cidrange"), std::string::npos);
}

TEST_F(SubstituteFontTest, ToUnicodeBlocksHoldAtMostAHundredEntries) {
  vxtest::TtfLayout S;
  S.Glyphs.assign(300, vxtest::SimpleGlyph());
  S.Advances = {500};
  // Two codes on glyph 5, then 250 codes from U+4E00 on glyphs 10 to 259.
  S.Cmap31 = vxtest::Format4({{0x41, 0x41, static_cast<uint16_t>(5 - 0x41), 0},
                              {0x42, 0x42, static_cast<uint16_t>(5 - 0x42), 0},
                              {0x4E00, 0x4E00 + 249, static_cast<uint16_t>(10 - 0x4E00), 0},
                              {0xFFFF, 0xFFFF, 1, 0}});
  Service.Font->Data = vxtest::BuildTtf(S);
  TvxPDFFont F(MakeFont("Big Face"), false, true);
  TvxMemoryStream Out;
  F.WriteToUnicodeCMap(Out);
  const std::string& T = Out.DataString();
  EXPECT_NE(T.find("100 beginbfchar\r\n<0005> <0041>\r\n<000A> <4E00>\r\n"), std::string::npos);
  EXPECT_NE(T.find("endbfchar\r\n100 beginbfchar\r\n<006D> <4E63>\r\n"), std::string::npos);
  EXPECT_NE(T.find("51 beginbfchar\r\n"), std::string::npos);
  EXPECT_EQ(T.find("> <0042>"), std::string::npos);  // one mapping per glyph
}

// The symbol face keeps its own proportions (a width taken from another face
// would stretch it), and being symbolic by its own data it keeps its
// built-in encoding: no /Encoding, the symbolic flag, whatever the job names.
TEST_F(SubstituteFontTest, SymbolFaceKeepsItsProportionsAndItsOwnEncoding) {
  Service.Symbol = std::make_shared<FakeFont>();
  Service.Symbol->Metrics = Service.Font->Metrics;
  Service.Symbol->Metrics.Charset = SymbolCharset;
  Service.Symbol->Advance = 4;
  Service.Font->Widths = {{'W', 900}};
  TvxPDFFont F(MakeFont("Symbol", true, true), false, false);
  ASSERT_EQ(Service.Requests.size(), 2u);
  const TvxLogFont& L = Service.Requests[1];
  EXPECT_EQ(L.FaceName, "Symbol");
  EXPECT_DOUBLE_EQ(L.Width, 0);
  EXPECT_EQ(L.Weight, 400);
  EXPECT_FALSE(L.Italic);
  EXPECT_EQ(L.Charset, SymbolCharset);
  EXPECT_TRUE(L.TrueTypeOnly);
  EXPECT_EQ(F.Width('a'), 3);
  EXPECT_EQ(F.Info().Flags, 4);
  EXPECT_TRUE(F.Info().Symbolic);
  EXPECT_EQ(F.EncodedWidths(1), F.Info().Widths);

  TvxPDFDocument Doc;
  for (uint8_t Encoding : {0, 1, 3}) {
    auto Ref = Doc.CreateFontResource(MakeFont("Symbol"), "/ZF", feNone, Encoding, u"abc");
    auto* Dict = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(Ref.get()));
    EXPECT_EQ(Dict->Lookup("/Encoding"), nullptr);
    auto* D = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(Dict->Lookup("/FontDescriptor")));
    EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(D->Lookup("/Flags"))->Value, 4);
    // Found again only without an /Encoding.
    TvxPDFDictObject Fonts;
    Fonts.Add("/ZF", Ref->Clone());
    std::string Name;
    EXPECT_TRUE(Doc.FindFontResource(&Fonts, MakeFont("Symbol"), Name, Encoding));
    Dict->AddName("/Encoding", "/WinAnsiEncoding");
    EXPECT_FALSE(Doc.FindFontResource(&Fonts, MakeFont("Symbol"), Name, Encoding));
  }
  // The content writes the codes as typed, spaced by the face's own widths.
  TvxTextWatermarkTemplate T;
  T.Text = u"abc";
  T.Font->Name = "Symbol";
  T.FontEncoding = 3;
  std::string Content;
  T.BuildContent("/ZF", "", 0, 0, muPoints, Content);
  EXPECT_NE(Content.find("(abc) Tj"), std::string::npos) << Content;
}

TEST_F(SubstituteFontTest, NonTrueTypeFontsAreType1WithoutFontFile) {
  Service.Font->Data.clear();
  Service.Font->Metrics.PitchAndFamily = tmpfVariablePitch | tmpfVector;
  Service.Font->Name = "Raster Face";
  TvxPDFDocument Doc;
  for (uint8_t Embedding : {feNone, feFull, feSubset}) {
    auto Ref = Doc.CreateFontResource(MakeFont("Raster Face"), "/ZF", Embedding, 0, u"Hi");
    auto* F = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(Ref.get()));
    EXPECT_EQ(static_cast<TvxPDFNameObject*>(F->Lookup("/Subtype"))->Text, "/Type1");
    EXPECT_EQ(static_cast<TvxPDFNameObject*>(F->Lookup("/BaseFont"))->Text, "/RasterFace");
    auto* D = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(F->Lookup("/FontDescriptor")));
    EXPECT_EQ(D->Lookup("/FontFile2"), nullptr);
  }
  vxtest::ExpectError<EUnsupportedFontError>(
      [&] {
        Doc.CreateFontResource(MakeFont("Raster Face", false, false, GreekCharset), "/ZF", feNone,
                               0, u"x");
      },
      "Unsupported Font (Raster Face)");
  std::string Name = "/Old";
  EXPECT_FALSE(
      Doc.FindFontResource(nullptr, MakeFont("Raster Face", false, false, GreekCharset), Name, 0));
  EXPECT_EQ(Name, "");
}

TEST_F(SubstituteFontTest, AFontIsAnalysedOnceForManyPages) {
  TvxPDFDocument Doc;
  TvxPDFDictObject FontDict;
  std::string Name;
  for (int Page = 0; Page < 10000; ++Page)
    Doc.FindFontResource(&FontDict, MakeFont("Fake Face"), Name, 0);
  EXPECT_EQ(Service.Requests.size(), 1u);
  for (int Page = 0; Page < 100; ++Page) MeasureText("Hello", MakeFont("Fake Face"));
  EXPECT_LE(Service.Requests.size(), 101u);
}

TEST_F(SubstituteFontTest, SubsetTagFollowsTheGlyphSet) {
  TvxPDFFont A(MakeFont("Fake Face"), false, true);
  TvxPDFFont B(MakeFont("Fake Face"), false, true);
  A.EncodeGlyphText(u"A", AnsiCharset);
  B.EncodeGlyphText(u"B", AnsiCharset);
  std::string TagA = A.SubsetTag();
  ASSERT_EQ(TagA.size(), 6u);
  for (char C : TagA) EXPECT_TRUE(C >= 'A' && C <= 'Z');
  EXPECT_NE(TagA, B.SubsetTag());
  B.EncodeGlyphText(u"A", AnsiCharset);
  TvxPDFFont C(MakeFont("Fake Face"), false, true);
  C.EncodeGlyphText(u"BA", AnsiCharset);
  EXPECT_EQ(B.SubsetTag(), C.SubsetTag());
}

TEST(CharsetTables, CodePagesAndCompositeDecision) {
  EXPECT_EQ(CharsetCodePages(AnsiCharset), 1252u);
  EXPECT_EQ(CharsetCodePages(GreekCharset), 1253u);
  EXPECT_EQ(CharsetCodePages(RussianCharset), 1251u);
  EXPECT_EQ(CharsetCodePages(JohabCharset), 1361u);
  EXPECT_EQ(CharsetCodePages(99), 1252u);
  EXPECT_EQ(SystemDefaultCharset(), AnsiCharset);
  EXPECT_FALSE(NeedsCIDFont(AnsiCharset));
  EXPECT_FALSE(NeedsCIDFont(DefaultCharset));
  EXPECT_FALSE(NeedsCIDFont(SymbolCharset));
  EXPECT_TRUE(NeedsCIDFont(GreekCharset));
  EXPECT_TRUE(NeedsCIDFont(ShiftJisCharset));
  // Every code page of the table converts through the platform.
  for (uint8_t Cs :
       {ShiftJisCharset, HangulCharset, JohabCharset, GB2312Charset, ChineseBig5Charset,
        GreekCharset, TurkishCharset, VietnameseCharset, HebrewCharset, ArabicCharset,
        BalticCharset, RussianCharset, ThaiCharset, EastEuropeCharset})
    EXPECT_EQ(CodePageService().ToUnicode("Az", CharsetCodePages(Cs)), u"Az") << int(Cs);
  EXPECT_EQ(CodePageService().ToUnicode("\xE1", CharsetCodePages(GreekCharset)), u"\u03B1");
  EXPECT_EQ(CodePageService().ToUnicode("\xE0", CharsetCodePages(RussianCharset)), u"\u0430");
  EXPECT_EQ(CodePageService().ToUnicode("\xA1", CharsetCodePages(ThaiCharset)), u"\u0E01");
}

// The installed faces through fontconfig and FreeType.
TEST(InstalledFonts, ArialIsASwissVariablePitchTrueTypeFont) {
  TvxPDFFont F(MakeFont("Arial"), false, true);
  EXPECT_EQ(F.FontKind(), fkTrueType);
  EXPECT_FALSE(F.FixedPitch());
  EXPECT_EQ(F.Info().Flags, 32);
  EXPECT_EQ(F.FaceName(), "Arial");
  // Arial's advances: space 569, A 1366, W 1933 of 2048 units.
  EXPECT_NEAR(F.Width(' '), 278, 1);
  EXPECT_NEAR(F.Width('A'), 667, 1);
  EXPECT_NEAR(F.Width('W'), 944, 1);
  EXPECT_NEAR(F.Width(0x80), 556, 1);  // the euro sign through Windows-1252
  EXPECT_NEAR(F.Width(0x93), 333, 1);  // left double quotation mark
  EXPECT_NEAR(F.Info().Ascent, 905, 1);
  EXPECT_NEAR(F.Info().Descent, -212, 1);
  EXPECT_EQ(F.Info().AvgWidth % 72, 0);
  // Underline 150 units thick, 67 below the baseline, at 36 points.
  EXPECT_EQ(F.Info().UnderscoreSize, 3);
  EXPECT_EQ(F.Info().UnderscorePosition, -1);
  // Strike-out 102 units thick, 530 above the baseline.
  EXPECT_EQ(F.Info().StrikeoutSize, 2);
  EXPECT_EQ(F.Info().StrikeoutPosition, 9);
  // 'A' is glyph 36 as in Arial; widths straight from hmtx.
  EXPECT_EQ(F.EncodeGlyphText(u"A", AnsiCharset), "0024");
  EXPECT_EQ(F.GlyphWidths()[36], 1366 * 1000 / 2048);
}

TEST(InstalledFonts, StyleAndPitchOfTheOtherFaces) {
  TvxPDFFont Times(MakeFont("Times New Roman", true, true), false, false);
  EXPECT_EQ(Times.FaceName(), "Times New Roman");
  EXPECT_EQ(Times.Info().Flags, 34 + 64);
  EXPECT_LT(Times.Info().ItalicAngle, 0);
  TvxPDFFont Courier(MakeFont("Courier New"), false, false);
  EXPECT_TRUE(Courier.FixedPitch());
  EXPECT_EQ(Courier.Info().Flags, 35);
  EXPECT_EQ(Courier.Width('i'), 600);
  EXPECT_EQ(Courier.Width(0xE9), 600);
  EXPECT_EQ(Courier.Info().MaxWidth, 600);
  // A face that is not installed is named after the face drawn instead.
  TvxPDFFont Missing(MakeFont("No Such Face Vx"), false, false);
  EXPECT_NE(Missing.FaceName(), "No Such Face Vx");
  EXPECT_FALSE(Missing.FaceName().empty());
}

TEST(InstalledFonts, CharacterSetsOfAFaceAndTheirCheck) {
  std::vector<uint8_t> Sets = FontService().FontCharsets("Arial");
  for (uint8_t Cs : {AnsiCharset, GreekCharset, RussianCharset, EastEuropeCharset})
    EXPECT_NE(std::find(Sets.begin(), Sets.end(), Cs), Sets.end()) << int(Cs);
  EXPECT_EQ(std::find(Sets.begin(), Sets.end(), ThaiCharset), Sets.end());
  EXPECT_TRUE(FontService().FontCharsets("No Such Face Vx").empty());
  EXPECT_EQ(TvxPDFFont(MakeFont("Arial", false, false, GreekCharset), true, false).FontKind(),
            fkTrueType);
  EXPECT_EQ(TvxPDFFont(MakeFont("Arial", false, false, ThaiCharset), true, false).FontKind(),
            fkOther);
  // Without the check the face's data decides.
  EXPECT_EQ(TvxPDFFont(MakeFont("Arial", false, false, ThaiCharset), false, false).FontKind(),
            fkTrueType);
}

// The command line lets the font configuration go once its font is found:
// that font keeps measuring, and later lookups load the configuration again.
TEST(InstalledFonts, LookupsWorkAgainAfterTheyAreReleased) {
  TvxFont F = MakeFont("Arial");
  const TvxTextExtent Before = MeasureText("Hello", F);
  FontService().ReleaseLookups();
  EXPECT_EQ(MeasureText("Hello", F).Width, Before.Width);
  FontService().ReleaseLookups();  // twice is harmless
  TvxPDFFont Courier(MakeFont("Courier New"), false, false);
  EXPECT_TRUE(Courier.FixedPitch());
  EXPECT_FALSE(FontService().FontCharsets("Arial").empty());
}

// After the command line stamps, it lets every font go before it saves:
// fonts still held keep their face and file, and later requests make the
// fonts and their analyses again, alike.
TEST(InstalledFonts, FontsHeldStayUsableAfterTheyAreReleased) {
  const TvxLogFont L = LogFontOf(MakeFont("Arial"), 48);
  std::shared_ptr<const TvxPlatformFont> A = FontService().CreateFont(L);
  EXPECT_EQ(FontService().CreateFont(L), A);
  const int32_t Hello = A->TextExtent("Hello").Width;
  const std::string File = A->FontData();
  auto Analysed = std::make_unique<TvxPDFFont>(MakeFont("Arial"), false, true);
  const std::vector<int32_t> GlyphWidths = Analysed->GlyphWidths();
  const TvxPDFFontInfo Info = Analysed->Info();

  ReleaseWatermarkFonts();
  std::shared_ptr<const TvxPlatformFont> B = FontService().CreateFont(L);
  EXPECT_NE(B, A);
  // Glyphs the held font never measured still load from its own face.
  EXPECT_GT(A->TextExtent("World!").Width, 0);
  EXPECT_EQ(A->TextExtent("World!").Width, B->TextExtent("World!").Width);
  EXPECT_EQ(A->TextExtent("Hello").Width, Hello);
  EXPECT_EQ(A->FontData(), File);
  EXPECT_EQ(B->FontData(), File);
  EXPECT_EQ(Analysed->GlyphWidths(), GlyphWidths);
  Analysed.reset();
  TvxPDFFont Again(MakeFont("Arial"), false, true);
  EXPECT_EQ(Again.GlyphWidths(), GlyphWidths);
  EXPECT_EQ(Again.Info().Widths, Info.Widths);
  EXPECT_EQ(Again.Info().Ascent, Info.Ascent);
  ReleaseWatermarkFonts();
  A.reset();  // the last font of the first library goes after the library's service handle
  EXPECT_EQ(B->TextExtent("Hello").Width, Hello);
}

TEST(InstalledFonts, MeasureTextAddsRoundedAdvances) {
  TvxFont F = MakeFont("Arial");
  // 36 points at 96 pixels per inch: an em of 48 pixels.
  TvxTextExtent E = MeasureText("Hello", F);
  EXPECT_NEAR(E.Width, 4667.0 * 48 / 2048, 2.5);
  EXPECT_NEAR(E.Height, (1854.0 + 434) * 48 / 2048, 1);
  EXPECT_EQ(MeasureText("", F).Width, 0);
  TvxTextExtent Twice = MeasureText("HelloHello", F);
  EXPECT_EQ(Twice.Width, 2 * E.Width);
  F.Bold = true;
  EXPECT_GT(MeasureText("Hello", F).Width, E.Width);
}

}  // namespace
