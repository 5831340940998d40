// Text utilities: string escaping, hex text, number and colour text. Number
// text never depends on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The MD5 digest and the RC4 cipher belong with the security handler, which
// is their only user; they are reachable from here as well.
#include "pdf/security/vxMD5.h"
#include "pdf/security/vxRC4.h"

namespace vx {

// Literal-string body <-> raw bytes.
std::string EscapeLiteralString(std::string_view Raw);
std::string UnescapeLiteralString(std::string_view Body);

std::string HexToBytes(std::string_view Hex);
std::string BytesToHex(std::string_view Bytes);
std::u16string HexTextToUnicode(std::string_view Hex);
bool IsHexText(std::string_view Text);
// False (and Value 0) when Text is not hex digits.
bool HexToByte(std::string_view Text, uint8_t& Value);
uint8_t HexToByte(std::string_view Text);

enum TvxFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber };

// Shortest general form, up to 15 significant digits.
std::string FloatToTextDot(double Value);
std::string FloatToTextFmtDot(double Value, TvxFloatFormat Format, int Precision, int Digits);
// Raises EConvertError on text that is not a number.
double TextToFloatDot(std::string_view Text);
bool TryTextToFloatDot(std::string_view Text, double& Value);
// Text of a real as the writer puts it: ten significant digits, ten decimals.
std::string RealToPDFText(double Value);

// A colour as RGB 0x00BBGGRR, or a system colour constant (high byte 0xFF).
using TvxColor = uint32_t;
inline constexpr TvxColor MakeColor(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<TvxColor>(R) | static_cast<TvxColor>(G) << 8 | static_cast<TvxColor>(B) << 16;
}
std::string ColorToPDFText(TvxColor Color);

}  // namespace vx
