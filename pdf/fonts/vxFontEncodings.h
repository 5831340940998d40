// The simple-font encodings watermark text is written in: the character
// each code stands for, so that the bytes written match the encoding named.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/objects/vxDocumentExceptions.h"

namespace vx {

VX_DECLARE_EXCEPTION(EUnsupportedEncodingError, EPDFException)

namespace msg {
inline constexpr std::string_view UnsupportedEncoding = "Unsupported font encoding (%s)";
}

// FontEncoding values.
inline constexpr uint8_t enWinAnsi = 0;
inline constexpr uint8_t enMacRoman = 1;
inline constexpr uint8_t enMacExpert = 2;
inline constexpr uint8_t enStandard = 3;
inline constexpr uint8_t enPDFDoc = 4;

// Raises EUnsupportedEncodingError for MacExpertEncoding (small capitals
// and figures, no letters) and PDFDocEncoding (no font encoding at all).
void CheckFontEncoding(uint8_t FontEncoding);
// The character of Code (32..255) in FontEncoding, 0 when it has none. Any
// value past the table counts as WinAnsiEncoding, the system code page.
char16_t EncodedChar(uint8_t FontEncoding, uint8_t Code);
// The code (32..255) of C in FontEncoding, or -1.
int EncodeChar(uint8_t FontEncoding, char16_t C);

// Text with every character that MacRomanEncoding or StandardEncoding
// lacks replaced by "?", as it is written; other encodings leave it as it is.
std::u16string ShownInEncoding(std::u16string_view Text, uint8_t FontEncoding);
// Windows-1252 bytes (the template's single-byte text) recoded byte by byte
// into FontEncoding; bytes below 32 stay, codes it lacks become "?".
std::string RecodeFromCp1252(std::string_view Bytes, uint8_t FontEncoding);

}  // namespace vx
