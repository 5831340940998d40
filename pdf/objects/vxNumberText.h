// Number text: reals written and read with "." as decimal separator, never
// depending on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

enum TvxFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber };

// Shortest general form, up to 15 significant digits.
std::string FloatToTextDot(double Value);
std::string FloatToTextFmtDot(double Value, TvxFloatFormat Format, int Precision, int Digits);
// Fixed notation with exactly Decimals digits after the point, rounded from
// the exact binary value.
std::string FixedTextDot(double Value, int Decimals);
// Raises EConvertError on text that is not a number.
double TextToFloatDot(std::string_view Text);
bool TryTextToFloatDot(std::string_view Text, double& Value);
// Text of a real as the writer puts it: ten significant digits, ten decimals.
std::string RealToPDFText(double Value);
void AppendRealToPDFText(std::string& Out, double Value);

}  // namespace vx
