// Text utilities: string escaping, hex text and colour text; number text
// comes with them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/objects/vxNumberText.h"

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

// A colour as RGB 0x00BBGGRR, or a system colour constant (high byte 0xFF).
using TvxColor = uint32_t;
inline constexpr TvxColor MakeColor(uint8_t R, uint8_t G, uint8_t B) {
  return static_cast<TvxColor>(R) | static_cast<TvxColor>(G) << 8 | static_cast<TvxColor>(B) << 16;
}
std::string ColorToPDFText(TvxColor Color);

}  // namespace vx
