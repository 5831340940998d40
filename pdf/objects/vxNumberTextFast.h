// The two ways RealToPDFText and TryTextToFloatDot take, apart, so that
// tests can hold the fast one against the general one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx {

constexpr size_t RealTextBufferSize = 32;

// The text through the decimal conversions of the library; every double.
std::string RealToPDFTextGeneral(double Value);
// The same text by integer arithmetic into Buf (RealTextBufferSize bytes);
// its length, or 0 when the value needs the general path.
size_t FastRealToPDFText(double Value, char* Buf);

// TryTextToFloatDot through the library's conversion only.
bool TryTextToFloatDotGeneral(std::string_view Text, double& Value);
// The value of unsigned plain decimal text of at most 15 digits by one
// exact division; false for any other text.
bool FastDecimalValue(std::string_view Text, double& Value);

}  // namespace vx
