// The two ways RealToPDFText takes, apart, so that tests can hold the fast
// one against the general one.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

constexpr size_t RealTextBufferSize = 32;

// The text through the decimal conversions of the library; every double.
std::string RealToPDFTextGeneral(double Value);
// The same text by integer arithmetic into Buf (RealTextBufferSize bytes);
// its length, or 0 when the value needs the general path.
size_t FastRealToPDFText(double Value, char* Buf);

}  // namespace vx
