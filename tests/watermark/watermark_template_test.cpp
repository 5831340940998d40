#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/watermark/vxContentScan.h"
#include "pdf/watermark/vxWatermarkProcessor.h"
#include "pdf/watermark/vxWatermarkStamper.h"
#include "pdf/watermark/vxWatermarkTemplate.h"

using namespace vx;

namespace {

struct Split {
  std::string E;
  std::vector<std::string> L;
};

Split Escape(std::u16string_view T) {
  Split S;
  EscapeAndSplitLines(T, S.E, S.L);
  return S;
}

}  // namespace

TEST(EscapeAndSplitLines, EscapesDelimitersAndControlCharacters) {
  Split S = Escape(u"a(b)\\c");
  EXPECT_EQ(S.E, "a\\(b\\)\\\\c");
  EXPECT_EQ(S.L, (std::vector<std::string>{"a(b)\\c"}));
  // A tab is a space; other control characters are neither drawn nor
  // measured.
  Split Controls = Escape(
      u"a\tb\bc\fd\x01"
      u"e\x7F");
  EXPECT_EQ(Controls.E, "a bcde");
  EXPECT_EQ(Controls.L, (std::vector<std::string>{"a bcde"}));
}

TEST(EscapeAndSplitLines, EveryKindOfLineEndSplitsLines) {
  Split Two = Escape(u"A\nB");
  EXPECT_EQ(Two.E, "A)Tj T* (B");
  EXPECT_EQ(Two.L, (std::vector<std::string>{"A", "B"}));
  // As typed in a multi-line edit box, and as old Mac text has it.
  for (std::u16string_view Text : {u"A\r\nB", u"A\rB"}) {
    Split Memo = Escape(Text);
    EXPECT_EQ(Memo.E, "A)Tj T* (B");
    EXPECT_EQ(Memo.L, (std::vector<std::string>{"A", "B"}));
  }
  // CR LF is one line end; LF CR is two.
  EXPECT_EQ(Escape(u"A\n\rB").L, (std::vector<std::string>{"A", "", "B"}));
  EXPECT_EQ(Escape(u"A\r\n\r\nB").L, (std::vector<std::string>{"A", "", "B"}));
  Split Trailing = Escape(u"A\n");
  EXPECT_EQ(Trailing.E, "A)Tj T* (");
  EXPECT_EQ(Trailing.L, (std::vector<std::string>{"A", ""}));
  Split Empty = Escape(u"");
  EXPECT_EQ(Empty.E, "");
  EXPECT_TRUE(Empty.L.empty());
}

TEST(EscapeAndSplitLines, ConvertsToTheCodePageBeforeEscaping) {
  // Windows-1252 has the euro sign at 0x80; CJK and full-width parentheses
  // become "?", never a delimiter.
  Split S = Escape(u"\u20AC\u4E2D\uFF08x\uFF09");
  EXPECT_EQ(S.E, "\x80?\?x?");
  EXPECT_EQ(S.L, (std::vector<std::string>{"\x80?\?x?"}));
  // A character outside the basic plane is one character, one "?".
  EXPECT_EQ(Escape(u"a\U0001F600b").E, "a?b");
}

TEST(ComputeCharSpacing, SpreadsTheMeasuredDifferenceOverShownCharacters) {
  std::array<int32_t, 224> W;
  W.fill(500);
  EXPECT_EQ(ComputeCharSpacing("", W, 10, 36), 0);
  // 3 x 500/1000 x 36 = 54 points: nothing to correct.
  EXPECT_EQ(ComputeCharSpacing("abc", W, 54, 36), 0);
  EXPECT_EQ(ComputeCharSpacing("abc", W, 54.00005, 36), 0);
  EXPECT_DOUBLE_EQ(ComputeCharSpacing("abc", W, 57, 36), 1);
  // Bytes below 32 have no width; a line feed is not shown.
  EXPECT_DOUBLE_EQ(ComputeCharSpacing("a\nb", W, 40, 36), 2);
  EXPECT_DOUBLE_EQ(ComputeCharSpacing("a\tb", W, 39, 36), 1);
}

TEST(CountUnclosedSaves, CountsOnlyOperatorsOutsideStringsCommentsAndImages) {
  EXPECT_EQ(CountUnclosedSaves(""), 0);
  EXPECT_EQ(CountUnclosedSaves("q 1 0 0 1 5 5 cm Q"), 0);
  EXPECT_EQ(CountUnclosedSaves("q q 0 0 m Q"), 1);
  EXPECT_EQ(CountUnclosedSaves("q\nq\n/F1 12 Tf"), 2);
  int32_t Stray = -1;
  EXPECT_EQ(CountUnclosedSaves("Q Q q", &Stray), 1);  // a Q with nothing open is ignored
  EXPECT_EQ(Stray, 2);
  EXPECT_EQ(CountUnclosedSaves("q Q q", &Stray), 1);
  EXPECT_EQ(Stray, 0);
  EXPECT_EQ(CountUnclosedSaves("q (q \\) q (q)) Tj <71> Tj % q q\n"), 1);
  EXPECT_EQ(CountUnclosedSaves("/q /Q q [/q] <</Q 1>> BDC"), 1);
  EXPECT_EQ(CountUnclosedSaves("qQ q"), 1);  // "qQ" is one unknown operator
  EXPECT_EQ(CountUnclosedSaves("q BI /W 2 /H 1 /BPC 8 /CS /G ID q Q\xFF EI Q"), 0);
  EXPECT_EQ(CountUnclosedSaves("q BI /W 4 /H 1 ID \nq EIq q\n EI q"), 2);
  // Unterminated string or image data ends the scan without running past it.
  EXPECT_EQ(CountUnclosedSaves("q (unterminated q q"), 1);
  EXPECT_EQ(CountUnclosedSaves("q BI ID q q q"), 1);
}

// Streams scanned one by one and combined count as the joined content does.
TEST(CountUnclosedSaves, BalancesOfStreamsCombineAsTheirJoinedContent) {
  std::mt19937 Rng(7);
  const char* Ops[] = {"q ", "Q ", "0 0 m ", "(Q) Tj ", "% q\n"};
  for (int Round = 0; Round < 300; ++Round) {
    std::string Joined;
    TvxSaveBalance Combined;
    const int Streams = 1 + static_cast<int>(Rng() % 5);
    for (int S = 0; S < Streams; ++S) {
      std::string Stream;
      const int Tokens = static_cast<int>(Rng() % 8);
      for (int T = 0; T < Tokens; ++T) Stream += Ops[Rng() % 5];
      TvxSaveBalance Own;
      Own.Open = CountUnclosedSaves(Stream, &Own.Stray);
      Combined = Own.After(Combined);
      Joined += Stream + "\n";
    }
    int32_t Stray = 0;
    const int32_t Open = CountUnclosedSaves(Joined, &Stray);
    ASSERT_EQ(Combined.Open, Open) << Joined;
    ASSERT_EQ(Combined.Stray, Stray) << Joined;
  }
}

TEST(ReplaceAllNoCase, ReplacesEveryOccurrenceWhateverTheCase) {
  EXPECT_EQ(ReplaceAllNoCase(u"<%totpage%> of <%TOTPAGE%>", u"<%TotPage%>", u"7"), u"7 of 7");
  EXPECT_EQ(ReplaceAllNoCase(u"none", u"<%TotPage%>", u"7"), u"none");
  // The replacement is not searched again.
  EXPECT_EQ(ReplaceAllNoCase(u"<%A%>", u"<%A%>", u"<%A%><%A%>"), u"<%A%><%A%>");
}

// Placement: the text block (as wide as its widest line, one font size per
// line, the first baseline at the anchor) must lie inside the page box and
// touch the edges asked for.
namespace {

struct Block {
  double MinX, MaxX, MinY, MaxY;
};

Block Corners(double X, double Y, int32_t Angle, double W, double F, int Lines) {
  double C = std::cos(Angle * M_PI / 180), S = std::sin(Angle * M_PI / 180);
  Block B{1e300, -1e300, 1e300, -1e300};
  for (double Tx : {0.0, W})
    for (double Ty : {F, -(Lines - 1) * F}) {
      double Px = X + Tx * C - Ty * S, Py = Y + Tx * S + Ty * C;
      B.MinX = std::min(B.MinX, Px);
      B.MaxX = std::max(B.MaxX, Px);
      B.MinY = std::min(B.MinY, Py);
      B.MaxY = std::max(B.MaxY, Py);
    }
  return B;
}

}  // namespace

TEST(ApplyAlignment, KeepsTheBlockOnThePageForEveryPositionAndAngle) {
  TvxPDFDocument Doc;
  const double F = 36, W = 300;
  const TvxPageRect Boxes[] = {{0, 0, 612, 792}, {100, 50, 712, 842}};
  const int32_t Angles[] = {0, 45, 90, 135, 180, 225, 270, 315, -45, -200};
  const TvxHorizontalPosition Hs[] = {hpLeft, hpCenter, hpRight};
  const TvxVerticalPosition Vs[] = {vpTop, vpCenter, vpBottom};
  const double Eps = 1e-6;
  for (const TvxPageRect& Box : Boxes)
    for (int32_t Angle : Angles)
      for (TvxHorizontalPosition H : Hs)
        for (TvxVerticalPosition V : Vs)
          for (int Lines : {1, 3}) {
            TvxTextWatermarkTemplate T;
            T.Angle = Angle;
            T.HorizontalPosition = H;
            T.VerticalPosition = V;
            TvxWatermarkProcessor P(muPoints, T);
            double X = 0, Y = 0;
            P.ComputeAnchor(Box, X, Y);
            T.ApplyAlignment(X, Y, F, W, Lines);
            Block B = Corners(X, Y, Angle, W, F, Lines);
            SCOPED_TRACE(testing::Message()
                         << "box left " << Box.Left << ", angle " << Angle << ", h " << int(H)
                         << ", v " << int(V) << ", lines " << Lines);
            EXPECT_GE(B.MinX, Box.Left - Eps);
            EXPECT_LE(B.MaxX, Box.Right + Eps);
            EXPECT_GE(B.MinY, Box.Bottom - Eps);
            EXPECT_LE(B.MaxY, Box.Top + Eps);
            if (H == hpLeft) {
              EXPECT_NEAR(B.MinX, Box.Left, Eps);
            }
            if (H == hpRight) {
              EXPECT_NEAR(B.MaxX, Box.Right, Eps);
            }
            if (H == hpCenter) {
              EXPECT_NEAR((B.MinX + B.MaxX) / 2, (Box.Left + Box.Right) / 2, Eps);
            }
            if (V == vpTop) {
              EXPECT_NEAR(B.MaxY, Box.Top, Eps);
            }
            // Bottom keeps at most one line of room below the block.
            if (V == vpBottom) {
              EXPECT_LE(B.MinY, Box.Bottom + F + Eps);
            }
            if (V == vpCenter) {
              EXPECT_NEAR((B.MinY + B.MaxY) / 2, (Box.Bottom + Box.Top) / 2, Eps);
            }
          }
}

TEST(ApplyAlignment, SingleLineFollowsTheTables) {
  TvxTextWatermarkTemplate T;
  const double F = 36, W = 200;
  auto Run = [&](int32_t Angle, TvxHorizontalPosition H, TvxVerticalPosition V, double X,
                 double Y) {
    T.Angle = Angle;
    T.HorizontalPosition = H;
    T.VerticalPosition = V;
    T.ApplyAlignment(X, Y, F, W);
    return std::pair<double, double>(X, Y);
  };
  // 0 degrees, left and top: X stays, the baseline one font size below.
  EXPECT_EQ(Run(0, hpLeft, vpTop, 0, 792), (std::pair<double, double>(0, 756)));
  // Bottom leaves one font size below the baseline up to 90 degrees.
  EXPECT_EQ(Run(0, hpRight, vpBottom, 612, 0), (std::pair<double, double>(412, 36)));
  // 45 degrees centred: moved by R cos(45 + a) left and R sin(45 + a) down.
  const double R = std::sqrt(W * W + F * F) / 2, A = std::atan(F / W);
  auto C45 = Run(45, hpCenter, vpCenter, 306, 396);
  EXPECT_DOUBLE_EQ(C45.first, 306 - R * std::cos(M_PI / 4 + A));
  EXPECT_DOUBLE_EQ(C45.second, 396 - R * std::sin(M_PI / 4 + A));
  // Custom: the given point is the top left of the text.
  auto Custom = Run(90, hpCustom, vpCustom, 100, 500);
  EXPECT_DOUBLE_EQ(Custom.first, 100 + F);
  EXPECT_NEAR(Custom.second, 500, 1e-12);
  // A width of 0 takes the limit 90 degrees for arctan(F / W).
  T.Angle = 0;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  double X = 306, Y = 396;
  T.ApplyAlignment(X, Y, F, 0);
  EXPECT_NEAR(X, 306, 1e-12);
  EXPECT_DOUBLE_EQ(Y, 396 - F / 2);
}

TEST(FindXObjectDraws, FollowsTheMatrixThroughSavesAndSkipsWhatIsNoOperator) {
  const std::string Content =
      "q 612 0 0 792 0 0 cm /Im0 Do Q (/Fake Do) % /Comment Do\n"
      "BI /W 1 /H 1 ID x/Inl Do EI "
      "2 0 0 2 10 20 cm q 0.5 0 0 0.5 1 1 cm /Im1 Do Q /Im2 Do /Im3 gs Do";
  const std::vector<TvxXObjectDraw> Draws = FindXObjectDraws(Content, 10);
  ASSERT_EQ(Draws.size(), 3u);
  EXPECT_EQ(Draws[0].Name, "/Im0");
  EXPECT_EQ(Draws[0].Matrix, (std::array<double, 6>{612, 0, 0, 792, 0, 0}));
  EXPECT_EQ(Draws[1].Name, "/Im1");
  // The inner matrix applied before the outer one.
  EXPECT_EQ(Draws[1].Matrix, (std::array<double, 6>{1, 0, 0, 1, 12, 22}));
  EXPECT_EQ(Draws[2].Name, "/Im2");
  EXPECT_EQ(Draws[2].Matrix, (std::array<double, 6>{2, 0, 0, 2, 10, 20}));
  EXPECT_EQ(FindXObjectDraws(Content, 1).size(), 1u);
  // Saves nested past what is kept still balance.
  std::string Deep(200, 'q');
  std::string Spaced;
  for (char C : Deep) (Spaced += C) += ' ';
  Spaced += std::string(400, ' ');
  for (int I = 0; I < 200; ++I) Spaced += "Q ";
  Spaced += "/X Do";
  ASSERT_EQ(FindXObjectDraws(Spaced, 4).size(), 1u);
  EXPECT_EQ(FindXObjectDraws(Spaced, 4)[0].Matrix, (std::array<double, 6>{1, 0, 0, 1, 0, 0}));
}
