#include "pdf/fonts/vxTextMeasure.h"

#include "platform/vxScreen.h"

namespace vx {

namespace {

struct TvxScreenResolution {
  int32_t PixelsPerInch;
  double Factor;
};

const TvxScreenResolution& Resolution() {
  static const TvxScreenResolution R = [] {
    int32_t Ppi = ScreenService().LogicalPixelsPerInch();
    // A screen reporting nothing usable must not turn conversions into
    // divisions by zero.
    if (Ppi <= 0) Ppi = DefaultPixelsPerInch;
    return TvxScreenResolution{Ppi, Ppi / 72.0};
  }();
  return R;
}

}  // namespace

int32_t PixelsPerInch() {
  return Resolution().PixelsPerInch;
}

double PixelsPerInchFactor() {
  return Resolution().Factor;
}

double PixelsToPoints(double X) {
  return X / PixelsPerInch() * 72;
}

double PointsToPixels(double X) {
  return X * PixelsPerInchFactor();
}

TvxTextExtent MeasureText(std::string_view Text, const TvxFont& Font) {
  // The window system rounds a font's size to whole pixels.
  TvxLogFont Log = LogFontOf(Font, Font.Height(PixelsPerInch()));
  Log.Underline = Log.StrikeOut = false;
  return FontService().CreateFont(Log)->TextExtent(Text);
}

}  // namespace vx
