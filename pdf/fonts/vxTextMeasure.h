// Screen pixels: the resolution text is measured at, and the measure of a
// line of text in a font.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/vxFontService.h"

namespace vx {

// The screen's logical pixels per inch, read once on first use and fixed for
// the life of the process; PixelsPerInchFactor is PixelsPerInch / 72.
int32_t PixelsPerInch();
double PixelsPerInchFactor();

double PixelsToPoints(double X);
double PointsToPixels(double X);
// Width and height in screen pixels of Text (single-byte, system ANSI code
// page) drawn on one line in Font: face, size, bold and italic.
TvxTextExtent MeasureText(std::string_view Text, const TvxFont& Font);

}  // namespace vx
