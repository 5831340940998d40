#include "platform/vxFontService.h"

#include <cmath>

#include "platform/vxCodePage.h"

namespace vx {

TvxTextExtent TvxPlatformFont::CharExtent(char16_t C) const {
  int B = UnicodeToCp1252(C);
  if (B < 0) return TvxTextExtent{0, TextMetrics().Height};
  char Byte = static_cast<char>(B);
  return TextExtent(std::string_view(&Byte, 1));
}

uint32_t CharsetCodePages(uint8_t Charset) {
  switch (Charset) {
    case AnsiCharset: return 1252;
    case ShiftJisCharset: return 932;
    case HangulCharset: return 949;
    case JohabCharset: return 1361;
    case GB2312Charset: return 936;
    case ChineseBig5Charset: return 950;
    case GreekCharset: return 1253;
    case TurkishCharset: return 1254;
    case VietnameseCharset: return 1258;
    case HebrewCharset: return 1255;
    case ArabicCharset: return 1256;
    case BalticCharset: return 1257;
    case ThaiCharset: return 874;
    case EastEuropeCharset: return 1250;
    case RussianCharset: return 1251;
    default: return CodePageService().AnsiCodePage();
  }
}

uint8_t SystemDefaultCharset() {
  switch (CodePageService().AnsiCodePage()) {
    case 874: return ThaiCharset;
    case 932: return ShiftJisCharset;
    case 936: return GB2312Charset;
    case 949: return HangulCharset;
    case 950: return ChineseBig5Charset;
    case 1250: return EastEuropeCharset;
    case 1251: return RussianCharset;
    case 1253: return GreekCharset;
    case 1254: return TurkishCharset;
    case 1255: return HebrewCharset;
    case 1256: return ArabicCharset;
    case 1257: return BalticCharset;
    case 1258: return VietnameseCharset;
    case 1361: return JohabCharset;
    default: return AnsiCharset;
  }
}

int32_t TvxFont::Height(int32_t PixelsPerInch) const {
  return static_cast<int32_t>(std::lround(static_cast<double>(Size) * PixelsPerInch / 72.0));
}

void TvxFont::SetHeight(int32_t Pixels, int32_t PixelsPerInch) {
  if (PixelsPerInch <= 0) return;
  Size = static_cast<int32_t>(
      std::lround(std::abs(static_cast<double>(Pixels)) * 72.0 / PixelsPerInch));
}

TvxLogFont LogFontOf(const TvxFont& Font, double PixelHeight) {
  TvxLogFont L;
  L.FaceName = Font.Name;
  L.Height = PixelHeight;
  L.Weight = Font.Bold ? 700 : 400;
  L.Italic = Font.Italic;
  L.Underline = Font.Underline;
  L.StrikeOut = Font.StrikeOut;
  L.Pitch = Font.Pitch;
  L.Charset = Font.Charset;
  return L;
}

}  // namespace vx
