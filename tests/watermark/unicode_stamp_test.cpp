// Watermarks in other scripts as a reader sees them: the text read back in
// logical order, only embedded subsets, a clean check and ink where the text
// is. Skips when the tools are missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/text/vxTextShaper.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "platform/vxUnicode.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

std::string BlankDocument(int Pages) {
  vxtest::PdfBuilder B;
  std::string Kids;
  for (int I = 0; I < Pages; ++I) Kids += std::to_string(10 + I) + " 0 R ";
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>");
  for (int I = 0; I < Pages; ++I)
    B.Object(10 + I, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  return B.FinishTable("/Root 1 0 R");
}

void Prepare(TvxTextWatermarkTemplate& T, const std::u16string& Text) {
  T.Text = Text;
  T.Font->Name = "Arial";
  T.Font->Size = 30;
  T.Font->Color = MakeColor(0xFF, 0, 0);
  T.Angle = 0;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
}

std::string Output(const std::string& Command) {
  const std::string Out = vxtest::TempPath("vx_unicode_out.txt");
  if (RunCommand("(" + Command + " > " + Quote(Out) + ")") != 0) return "<failed: " + Command + ">";
  return ReadAll(Out);
}

// Without the directional embedding marks pdftotext puts around
// right-to-left text (U+202A to U+202E).
std::string Trimmed(std::string S) {
  for (size_t At = S.find("\xE2\x80"); At != std::string::npos; At = S.find("\xE2\x80", At)) {
    const auto B = static_cast<unsigned char>(At + 2 < S.size() ? S[At + 2] : 0);
    if (B >= 0xAA && B <= 0xAE)
      S.erase(At, 3);
    else
      At += 3;
  }
  while (!S.empty() && (S.back() == '\n' || S.back() == '\f' || S.back() == ' ')) S.pop_back();
  while (!S.empty() && (S.front() == '\n' || S.front() == ' ')) S.erase(0, 1);
  return S;
}

// Red pixels of the page's render.
int RedPixels(const std::string& File, int Page) {
  const std::string Prefix = vxtest::TempPath("vx_unicode_page");
  if (RunCommand("pdftoppm -r 36 -singlefile -f " + std::to_string(Page) + " -l " +
                 std::to_string(Page) + " " + Quote(File) + " " + Quote(Prefix)) != 0)
    return -1;
  const std::string Data = ReadAll(Prefix + ".ppm");
  std::istringstream In(Data);
  std::string Magic;
  int W = 0, H = 0, Max = 0;
  if (!(In >> Magic >> W >> H >> Max)) return -1;
  In.get();
  const size_t Start = static_cast<size_t>(In.tellg());
  int N = 0;
  for (size_t I = Start; I + 2 < Data.size(); I += 3) {
    const auto R = static_cast<unsigned char>(Data[I]), G = static_cast<unsigned char>(Data[I + 1]),
               B = static_cast<unsigned char>(Data[I + 2]);
    N += R > 150 && G < 110 && B < 110;
  }
  return N;
}

// Where the red ink of a page's render lies, in fractions of the page.
struct TvxInk {
  double X0 = 1, X1 = 0, Y0 = 1, Y1 = 0;
  int Pixels = 0;
  double FullestRow = 0;  // the most red pixels in one row, a fraction of the width
};

TvxInk InkOf(const std::string& File, int Page) {
  TvxInk Ink;
  const std::string Prefix = vxtest::TempPath("vx_unicode_ink");
  if (RunCommand("pdftoppm -r 36 -singlefile -f " + std::to_string(Page) + " -l " +
                 std::to_string(Page) + " " + Quote(File) + " " + Quote(Prefix)) != 0)
    return Ink;
  const std::string Data = ReadAll(Prefix + ".ppm");
  std::istringstream In(Data);
  std::string Magic;
  int W = 0, H = 0, Max = 0;
  if (!(In >> Magic >> W >> H >> Max) || W <= 0 || H <= 0) return Ink;
  In.get();
  const size_t Start = static_cast<size_t>(In.tellg());
  for (int Y = 0; Y < H; ++Y) {
    int InRow = 0;
    for (int X = 0; X < W; ++X) {
      const size_t I = Start + (static_cast<size_t>(Y) * W + X) * 3;
      if (I + 2 >= Data.size()) continue;
      const auto R = static_cast<unsigned char>(Data[I]),
                 G = static_cast<unsigned char>(Data[I + 1]),
                 B = static_cast<unsigned char>(Data[I + 2]);
      if (R > 150 && G < 110 && B < 110) {
        const double FX = (X + 0.5) / W, FY = (Y + 0.5) / H;
        Ink.X0 = std::min(Ink.X0, FX), Ink.X1 = std::max(Ink.X1, FX);
        Ink.Y0 = std::min(Ink.Y0, FY), Ink.Y1 = std::max(Ink.Y1, FY);
        ++Ink.Pixels;
        ++InRow;
      }
    }
    Ink.FullestRow = std::max(Ink.FullestRow, static_cast<double>(InRow) / W);
  }
  return Ink;
}

struct TvxScriptCase {
  const char* Name;
  std::u16string Text;
};

const std::vector<TvxScriptCase>& Cases() {
  static const std::vector<TvxScriptCase> List = {
      {"Russian", u"Совершенно секретно"}, {"Greek", u"Εμπιστευτικό έγγραφο"},
      {"Hebrew", u"סודי ביותר"},           {"Arabic", u"سري للغاية"},
      {"Hindi", u"गोपनीय दस्तावेज़"},         {"Chinese", u"机密文件"},
      {"Japanese", u"社外秘 コピー禁止"},  {"Mixed", u"CONFIDENTIAL 機密 Секретно"},
  };
  return List;
}

}  // namespace

TEST(UnicodeStamp, EveryScriptReadsBackFromEmbeddedSubsets) {
  if (!HaveTool("pdftotext") || !HaveTool("pdffonts") || !HaveTool("qpdf"))
    GTEST_SKIP() << "poppler-utils or qpdf missing";
  const auto& List = Cases();
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(static_cast<int>(List.size()))));
  for (size_t I = 0; I < List.size(); ++I) {
    TvxTextWatermarkTemplate T;
    Prepare(T, List[I].Text);
    Doc.InsertWatermark(T, std::to_string(I + 1));
  }
  const std::string File = vxtest::TempPath("vx_unicode_scripts.pdf");
  vxtest::SaveAsWritten(Doc, File);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(File)), 0);
  for (size_t I = 0; I < List.size(); ++I) {
    const std::string Page = std::to_string(I + 1);
    EXPECT_EQ(Trimmed(Output("pdftotext -f " + Page + " -l " + Page + " " + Quote(File) + " -")),
              Utf16ToUtf8(List[I].Text))
        << List[I].Name;
    EXPECT_GT(RedPixels(File, static_cast<int>(I + 1)), 100) << List[I].Name;
  }
  // Every font listed is an embedded subset: "emb" and "sub" both say yes.
  const std::string Fonts = Output("pdffonts " + Quote(File));
  std::istringstream Lines(Fonts);
  std::string Line;
  int Listed = 0;
  while (std::getline(Lines, Line)) {
    if (Line.find("CID ") == std::string::npos) continue;
    ++Listed;
    EXPECT_TRUE(std::regex_search(Line, std::regex("yes +yes +yes"))) << Line;
    EXPECT_TRUE(std::regex_search(Line, std::regex("^[A-Z]{6}\\+"))) << Line;
  }
  EXPECT_GE(Listed, 3) << Fonts;
}

TEST(UnicodeStamp, FacesAreSubsetOncePerDocumentAcrossPerPageText) {
  if (!HaveTool("pdftotext") || !HaveTool("pdffonts")) GTEST_SKIP() << "poppler-utils missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(3)));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Копия <%PageNo%> 中");
  Doc.InsertWatermark(T, "1-3");
  const std::string File = vxtest::TempPath("vx_unicode_pages.pdf");
  vxtest::SaveAsWritten(Doc, File);
  for (int P = 1; P <= 3; ++P) {
    const std::string N = std::to_string(P);
    EXPECT_EQ(Trimmed(Output("pdftotext -f " + N + " -l " + N + " " + Quote(File) + " -")),
              "Копия " + N + " 中");
  }
  // One font for the Cyrillic and digits, one for the Han character.
  const std::string Fonts = Output("pdffonts " + Quote(File));
  int Listed = 0;
  for (size_t At = Fonts.find("CID "); At != std::string::npos; At = Fonts.find("CID ", At + 1))
    ++Listed;
  EXPECT_EQ(Listed, 2) << Fonts;
}

TEST(UnicodeStamp, TextInTheCodePageKeepsTheSimpleFont) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(1)));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Café Ü");
  Doc.InsertWatermark(T, "1");
  const std::string Bytes = vxtest::Written(Doc);
  EXPECT_NE(Bytes.find("/TrueType"), std::string::npos);
  EXPECT_EQ(Bytes.find("/Type0"), std::string::npos);
}

TEST(UnicodeStamp, ACharacterNoFontHasLeavesTheDocumentUntouched) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(2)));
  const std::string Before = vxtest::Written(Doc);
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Секретно <%PageNo%> \u0378");
  EXPECT_THROW(Doc.InsertWatermark(T, "1-2"), EMissingGlyphError);
  EXPECT_EQ(vxtest::Written(Doc), Before);
  EXPECT_EQ(T.Text, u"Секретно <%PageNo%> \u0378");
}

TEST(UnicodeStamp, VariablesAndCharacterSetsBeyondTheCodePageTakeTheSameWay) {
  if (!HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  // A title in UTF-16 and an application's own variable, both in Cyrillic.
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [10 0 R 11 0 R] /Count 2 >>");
  B.Object(3, "<< /Title <FEFF041E0442044704350442> >>");
  B.Object(10, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  B.Object(11, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R /Info 3 0 R")));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"<%Title%> <%Who%>");
  Doc.OnCalcVariables = [](TvxCustomPDFDocument&, const std::u16string& Name, std::u16string& Value,
                           int32_t Page) {
    if (Name == u"Who") Value = Page == 2 ? u"Иван" : u"Anna";
  };
  Doc.InsertWatermark(T, "1-2");
  // A face asked for in a character set beyond the code page: text in the
  // code page is shown by glyph too, not as single bytes of a composite font.
  TvxTextWatermarkTemplate Greek;
  Prepare(Greek, u"ABC");
  Greek.Font->Charset = GreekCharset;
  Greek.VerticalPosition = vpTop;
  Doc.InsertWatermark(Greek, "1");
  const std::string File = vxtest::TempPath("vx_unicode_vars.pdf");
  vxtest::SaveAsWritten(Doc, File);
  const std::string Page1 = Output("pdftotext -f 1 -l 1 " + Quote(File) + " -");
  EXPECT_NE(Page1.find("Отчет Anna"), std::string::npos) << Page1;
  EXPECT_NE(Page1.find("ABC"), std::string::npos) << Page1;
  EXPECT_EQ(Trimmed(Output("pdftotext -f 2 -l 2 " + Quote(File) + " -")), "Отчет Иван");
  EXPECT_EQ(ReadAll(File).find("/TrueType"), std::string::npos);
}

// Placement works on the shaped width: a centred mixed line sits in the
// middle at any angle, and its underline spans the text and no more.
TEST(UnicodeStamp, ShapedLinesAreCentredAndUnderlinedOverTheirWidth) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(3)));
  Doc.MeasurementUnit = muPoints;
  const int32_t Angles[] = {0, 90, 30};
  for (int I = 0; I < 3; ++I) {
    TvxTextWatermarkTemplate T;
    Prepare(T, u"CONFIDENTIAL 機密 سري للغاية");
    T.Angle = Angles[I];
    T.Font->Underline = I == 0;
    Doc.InsertWatermark(T, std::to_string(I + 1));
  }
  const std::string File = vxtest::TempPath("vx_unicode_place.pdf");
  vxtest::SaveAsWritten(Doc, File);
  for (int P = 1; P <= 3; ++P) {
    const TvxInk Ink = InkOf(File, P);
    ASSERT_GT(Ink.Pixels, 100) << "page " << P;
    EXPECT_NEAR((Ink.X0 + Ink.X1) / 2, 0.5, 0.03) << "page " << P;
    EXPECT_NEAR((Ink.Y0 + Ink.Y1) / 2, 0.5, 0.03) << "page " << P;
  }
  // The line at 30 pt is some 400 pt wide: about two thirds of the page.
  const TvxInk Flat = InkOf(File, 1);
  EXPECT_GT(Flat.X1 - Flat.X0, 0.4);
  EXPECT_LT(Flat.X1 - Flat.X0, 0.95);
  // The underline is one row of ink from the first glyph to the last.
  EXPECT_GT(Flat.FullestRow, 0.95 * (Flat.X1 - Flat.X0));
  const TvxInk Slanted = InkOf(File, 3);
  EXPECT_LT(Slanted.FullestRow, 0.5 * (Flat.X1 - Flat.X0));
}

// Tiled copies name every composite font in their form's resources.
TEST(UnicodeStamp, TiledCopiesShowEveryFace) {
  if (!HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankDocument(2)));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Копия 中");
  T.Font->Size = 20;
  T.Tile = true;
  T.TileGapX = T.TileGapY = 30;
  Doc.InsertWatermark(T, "1-2");
  const std::string File = vxtest::TempPath("vx_unicode_tiles.pdf");
  vxtest::SaveAsWritten(Doc, File);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(File)), 0);
  for (const char* Page : {"1", "2"}) {
    const std::string Text =
        Output(std::string("pdftotext -f ") + Page + " -l " + Page + " " + Quote(File) + " -");
    int Copies = 0;
    for (size_t At = Text.find("Копия 中"); At != std::string::npos;
         At = Text.find("Копия 中", At + 1))
      ++Copies;
    EXPECT_GE(Copies, 10) << Text;
  }
}
