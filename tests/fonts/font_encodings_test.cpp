// Watermark text in the simple-font encodings: the bytes written are the
// named encoding's, as poppler reads and draws them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/fonts/vxFontEncodings.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

TEST(FontEncodings, CodesOfTheNamedEncodings) {
  EXPECT_EQ(EncodeChar(enMacRoman, u'\u00E9'), 0x8E);
  EXPECT_EQ(EncodeChar(enMacRoman, u'\u00DF'), 0xA7);
  EXPECT_EQ(EncodeChar(enMacRoman, u'\u00A4'), 0xDB);
  // The Euro sign and the mathematical symbols are not in PDF's MacRoman.
  EXPECT_EQ(EncodeChar(enMacRoman, u'\u20AC'), -1);
  EXPECT_EQ(EncodeChar(enMacRoman, u'\u2260'), -1);
  EXPECT_EQ(EncodeChar(enStandard, u'\''), 0xA9);
  EXPECT_EQ(EncodeChar(enStandard, u'\u2019'), 0x27);
  EXPECT_EQ(EncodeChar(enStandard, u'\u00E9'), -1);
  EXPECT_EQ(EncodeChar(enWinAnsi, u'\u20AC'), 0x80);
  for (uint8_t Enc : {enMacRoman, enStandard})
    for (int C = 32; C < 256; ++C) {
      char16_t U = EncodedChar(Enc, static_cast<uint8_t>(C));
      if (U) {
        EXPECT_EQ(EncodeChar(Enc, U), C) << int(Enc) << " " << C;
      }
    }
  EXPECT_EQ(ShownInEncoding(u"\u0160\u20AC\u00E9\n", enMacRoman), u"??\u00E9\n");
  EXPECT_EQ(ShownInEncoding(u"\u0160\u20AC", enWinAnsi), u"\u0160\u20AC");
  EXPECT_EQ(RecodeFromCp1252("\xE9'\r(", enMacRoman), "\x8E'\r(");
  EXPECT_EQ(RecodeFromCp1252("'\x80", enStandard), "\xA9?");
}

std::string BlankPage() {
  vxtest::PdfBuilder B;
  B.PageTree({3}, "", "/MediaBox [0 0 612 200]");
  B.Object(3, "<< /Type /Page /Parent 2 0 R >>");
  return B.FinishTable("/Root 1 0 R");
}

void Prepare(TvxTextWatermarkTemplate& T, const std::u16string& Text, uint8_t Encoding) {
  T.Text = Text;
  T.Font->Name = "Arial";
  T.Font->Size = 24;
  T.FontEncoding = Encoding;
}

TEST(FontEncodings, ExpertAndPDFDocAreRefusedBeforeAnythingIsStamped) {
  for (uint8_t Enc : {enMacExpert, enPDFDoc}) {
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(BlankPage()));
    const int32_t Before = Doc.Store().Count();
    TvxTextWatermarkTemplate T;
    Prepare(T, u"Draft", Enc);
    vxtest::ExpectError<EUnsupportedEncodingError>(
        [&] { Doc.InsertWatermark(T, "1"); },
        "Unsupported font encoding (" + std::string(EncodingNames[Enc]) + ")");
    EXPECT_EQ(Doc.Store().Count(), Before);
  }
}

// Accented text in MacRoman and Standard extracts as typed and draws exactly
// as in WinAnsi: the same glyphs at the same places.
TEST(FontEncodings, ReadersSeeTheTextTyped) {
  if (!HaveTool("pdftotext") || !HaveTool("pdftoppm") || !HaveTool("pdffonts"))
    GTEST_SKIP() << "poppler missing";
  const std::string Dir = vxtest::TempPath("");
  struct Case {
    uint8_t Encoding;
    std::u16string Text;
    std::string Utf8, FontsSays;
  };
  const Case Cases[] = {
      {enWinAnsi, u"Z\u00FCrich \u00C4\u00D6\u00DC\u00DF \u00E9'`", "Zürich ÄÖÜß é'`", "WinAnsi"},
      {enMacRoman, u"Z\u00FCrich \u00C4\u00D6\u00DC\u00DF \u00E9'`", "Zürich ÄÖÜß é'`", "MacRoman"},
      {enStandard, u"Zurich \u00C6\u00DF \u2019'`\u2018", "Zurich Æß ’'`‘", "Standard"},
      {enWinAnsi, u"Zurich \u00C6\u00DF \u2019'`\u2018", "Zurich Æß ’'`‘", "WinAnsi"},
  };
  std::map<std::u16string, std::string> Renders;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.FontsSays);
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(BlankPage()));
    Doc.MeasurementUnit = muPoints;
    TvxTextWatermarkTemplate T;
    Prepare(T, C.Text, C.Encoding);
    Doc.InsertWatermark(T, "1");
    const std::string Pdf = Dir + "encoding.pdf", Png = Dir + "encoding";
    Doc.SaveToFile(Pdf);
    ASSERT_EQ(RunCommand("pdftotext " + Quote(Pdf) + " " + Quote(Dir + "encoding.txt")), 0);
    EXPECT_NE(ReadAll(Dir + "encoding.txt").find(C.Utf8), std::string::npos)
        << ReadAll(Dir + "encoding.txt");
    ASSERT_EQ(
        std::system(("pdffonts " + Quote(Pdf) + " > " + Quote(Dir + "encoding.fonts")).c_str()), 0);
    EXPECT_NE(ReadAll(Dir + "encoding.fonts").find(" " + C.FontsSays + " "), std::string::npos)
        << ReadAll(Dir + "encoding.fonts");
    ASSERT_EQ(RunCommand("pdftoppm -r 72 -singlefile " + Quote(Pdf) + " " + Quote(Png)), 0);
    std::string Pixels = ReadAll(Png + ".ppm");
    ASSERT_FALSE(Pixels.empty());
    auto [It, New] = Renders.emplace(C.Text, Pixels);
    if (!New) {
      EXPECT_TRUE(It->second == Pixels) << "draws otherwise than in another encoding";
    }
    std::remove((Png + ".ppm").c_str());
  }
}

}  // namespace
