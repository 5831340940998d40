// Font analysis on the installed Liberation faces (metric-compatible with
// Arial, Times New Roman and Courier New).
#include <gtest/gtest.h>

#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "pdf/watermark/vxUnits.h"

namespace {

using namespace vx;

TvxFont MakeFont(std::string Name, bool Bold = false, bool Italic = false, uint8_t Charset = 0) {
  TvxFont F;
  F.Name = std::move(Name);
  F.Size = 36;
  F.Bold = Bold;
  F.Italic = Italic;
  F.Charset = Charset;
  return F;
}

TEST(PDFFont, ArialIsASwissVariablePitchTrueTypeFont) {
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
  EXPECT_NEAR(F.Info().Ascent, 905, 1);
  EXPECT_NEAR(F.Info().Descent, -212, 1);
  EXPECT_EQ(F.Info().AvgWidth % 72, 0);
  EXPECT_EQ(F.Info().StemV, 78);
}

}  // namespace
