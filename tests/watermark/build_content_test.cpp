// The content-stream text of a text watermark, byte for byte, with fonts of
// known metrics: every byte half an em wide, so at 36 points each character
// is 18 points and the widths table says 500.
#include <gtest/gtest.h>

#include <string>

#include "pdf/watermark/vxWatermarkTemplate.h"
#include "support/fake_fonts.h"
#include "support/ttf_builder.h"

using namespace vx;

namespace {

// Row 1 to 7 for the usual settings: no spacing correction, red on blue,
// fill and stroke, /F1 at 36 points.
const std::string Head =
    "q\rBT\r0.00000000 Tc 0 Tw 100 Tz 36 TL \r1.0000 0.0000 0.0000 rg\r"
    "0.0000 0.0000 1.0000 RG\r2 Tr\r/F1 36 Tf\r";
const std::string Tail = "\rET\rQ\r\n";

class BuildContentTest : public testing::Test {
 protected:
  BuildContentTest() {
    // A face no other test analyses: font analyses are cached by attributes.
    T.Font->Name = "HalfEm Sans";
    T.Font->Size = 36;
    T.Font->Color = MakeColor(0xFF, 0, 0);
    T.StrokeColor = MakeColor(0, 0, 0xFF);
    T.RenderMode = trFillStroke;
    T.PageBox = TvxPDFRect{0, 0, 612, 792};
  }
  std::string Build(double X, double Y, const std::string& GSName = "") {
    std::string Content;
    T.BuildContent("/F1", GSName, X, Y, muPoints, Content);
    return Content;
  }

  vxtest::UseHalfEmFonts Fonts;
  TvxTextWatermarkTemplate T;
};

}  // namespace

TEST_F(BuildContentTest, LeftTopAtZeroDegrees) {
  T.Text = u"Hello";
  // The first baseline one font size below the top; the matrix of 0 degrees.
  EXPECT_EQ(Build(0, 792),
            Head + "1.0000 0.0000 0.0000 1.0000 0.000 756.000 Tm\r(Hello) Tj\r" + Tail);
}

TEST_F(BuildContentTest, CentredAt45DegreesWithOpacity) {
  T.Text = u"Hello";
  T.Angle = 45;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  // W = 90, F = 36: the middle of the 90 x 36 block on (306, 396).
  EXPECT_EQ(Build(306, 396, "/GS7"), Head +
                                         "0.7071 0.7071 -0.7071 0.7071 286.908 351.452 Tm\r"
                                         " /GS7 gs \r(Hello) Tj\r" +
                                         Tail);
}

TEST_F(BuildContentTest, EscapesTheTextAndLeavesItEscaped) {
  T.Text = u"a(b)\\c";
  T.RenderMode = trStroke;
  std::string C = Build(0, 792);
  EXPECT_NE(C.find("\r1 Tr\r"), std::string::npos);
  EXPECT_NE(C.find("\r(a\\(b\\)\\\\c) Tj\r"), std::string::npos);
  EXPECT_EQ(T.Text, u"a\\(b\\)\\\\c");
}

TEST_F(BuildContentTest, ClampsTheAnchorToTheBoxEdges) {
  T.Text = std::u16string(40, u'W');  // 720 points, wider than the page
  T.HorizontalPosition = hpRight;
  T.VerticalPosition = vpBottom;
  EXPECT_NE(Build(612, 0).find(" 0.000 36.000 Tm\r"), std::string::npos);
  T.Text = std::u16string(40, u'W');
  T.PageBox = TvxPDFRect{100, 50, 712, 842};
  EXPECT_NE(Build(712, 50).find(" 100.000 86.000 Tm\r"), std::string::npos);
}

TEST_F(BuildContentTest, TwoLinesUnderlinedAlongTheirBaselines) {
  T.Text = u"A\nBC";
  T.Font->Underline = true;
  // Thickness: a tenth of the size for a font without outline metrics, 3
  // pixels, 2.25 points. The second line's segment lies one size lower and
  // is as long as that line.
  EXPECT_EQ(Build(0, 792), Head +
                               "1.0000 0.0000 0.0000 1.0000 0.000 756.000 Tm\r"
                               "(A)Tj T* (BC) Tj\r\rET\r"
                               "2.25 w 1.0000 0.0000 0.0000 rg 1.0000 0.0000 0.0000 RG "
                               "0.000 753.750 m 18.000 753.750 l B\r"
                               "0.000 717.750 m 36.000 717.750 l B\r"
                               "Q\r\n");
}

TEST_F(BuildContentTest, EveryLineEndGivesTheContentOfALineFeed) {
  T.Font->Underline = true;
  T.Text = u"A\nB\tC";
  const std::string Feeds = Build(0, 792);
  EXPECT_NE(Feeds.find("(A)Tj T* (B C) Tj\r"), std::string::npos);
  for (std::u16string Text : {u"A\r\nB\tC", u"A\rB\tC", u"A\r\nB\x01\tC\x02"}) {
    T.Text = Text;
    EXPECT_EQ(Build(0, 792), Feeds);
  }
}

TEST_F(BuildContentTest, StrikeOutAtZeroAndAlongTheBaselineAt90Degrees) {
  T.Text = u"Hello";
  T.Font->StrikeOut = true;
  // Lift = strike-out position (48 / 5 = 9 px) + size (36 / 20 = 1 px) = 7.5 points.
  const std::string Strike = "2.25 w 1.0000 0.0000 0.0000 rg 1.0000 0.0000 0.0000 RG ";
  EXPECT_EQ(Build(0, 792), Head +
                               "1.0000 0.0000 0.0000 1.0000 0.000 756.000 Tm\r"
                               "(Hello) Tj\r\rET\r" +
                               Strike + "0.000 763.500 m 90.000 763.500 l B\rQ\r\n");
  T.Text = u"Hello";
  T.Angle = 90;
  // Left at 90 degrees: X moves right by F; top: Y drops by W. The line runs
  // upwards, 7.5 points left of the baseline.
  std::string C = Build(0, 792);
  EXPECT_NE(C.find(" 36.000 702.000 Tm\r"), std::string::npos);
  EXPECT_NE(C.find(Strike + "28.500 702.000 m 28.500 792.000 l B\r"), std::string::npos) << C;

  // Empty text: the block has no line, yet one empty strike-out segment is
  // drawn where the first line would be (the underline draws none).
  T.Text = u"";
  T.Angle = 0;
  T.Font->Underline = true;
  EXPECT_EQ(Build(0, 792), Head +
                               "1.0000 0.0000 0.0000 1.0000 0.000 756.000 Tm\r"
                               "() Tj\r\rET\r" +
                               Strike + Strike + "0.000 763.500 m 0.000 763.500 l B\rQ\r\n");
}

namespace {

// Outline metrics with a strike-out thickness below zero, as a damaged
// font's may be.
class NegativeStrikeFont : public vxtest::HalfEmFont {
 public:
  explicit NegativeStrikeFont(const TvxLogFont& Log) : HalfEmFont(Log) {
    FMetrics = HalfEmFont::TextMetrics();
    FMetrics.PitchAndFamily = tmpfVariablePitch | tmpfVector | tmpfTrueType | ffSwiss;
    vxtest::TtfLayout L;
    L.Glyphs.assign(4, vxtest::SimpleGlyph());
    L.Advances = {500, 500, 500, 500};
    L.Cmap31 = vxtest::Format4({{0xFFFF, 0xFFFF, 1, 0}});
    FData = vxtest::BuildTtf(L);
  }
  const TvxTextMetrics& TextMetrics() const override { return FMetrics; }
  const std::string& FontData() const override { return FData; }
  bool OutlineMetrics(TvxOutlineMetrics& M) const override {
    M = TvxOutlineMetrics{};
    // Pixels of the 1000-point reference size (1333 px to the em).
    M.StrikeoutPosition = 400;
    M.StrikeoutSize = -100;
    M.UnderscoreSize = 100;
    M.UnderscorePosition = -100;
    return true;
  }

 private:
  TvxTextMetrics FMetrics;
  std::string FData;
};

class NegativeStrikeService : public vxtest::HalfEmFontService {
 public:
  std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont& Log) override {
    return std::make_shared<NegativeStrikeFont>(Log);
  }
};

}  // namespace

TEST(BuildContent, StrikeOutLiftTakesTheThicknessWithItsSign) {
  NegativeStrikeService Service;
  SetFontService(&Service);
  TvxTextWatermarkTemplate T;
  T.Font->Name = "Negative Strike Sans";  // analyses are cached by face
  T.Font->Size = 36;
  T.Font->StrikeOut = true;
  T.PageBox = TvxPDFRect{0, 0, 612, 792};
  T.Text = u"Hello";
  std::string C;
  T.BuildContent("/F1", "", 0, 792, muPoints, C);
  SetFontService(nullptr);
  // At 36 points the position is 11 px and the thickness -3 px: the line
  // lies 8 px, 6 points, above the baseline at 756 (it is drawn as thick as
  // the underline, 3 px).
  EXPECT_NE(C.find("2.25 w 0.0000 0.0000 0.0000 rg 0.0000 0.0000 0.0000 RG "
                   "0.000 762.000 m 90.000 762.000 l B\r"),
            std::string::npos)
      << C;
}
