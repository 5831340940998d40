#include "pdf/security/vxPasswordText.h"

#include <cstdint>

namespace vx {

namespace {

// The characters of PDFDocEncoding that are not those of Latin-1.
struct TvxDocChar {
  char16_t Unicode;
  uint8_t Byte;
};

constexpr TvxDocChar DocChars[] = {
    {0x02D8, 0x18}, {0x02C7, 0x19}, {0x02C6, 0x1A}, {0x02D9, 0x1B}, {0x02DD, 0x1C}, {0x02DB, 0x1D},
    {0x02DA, 0x1E}, {0x02DC, 0x1F}, {0x2022, 0x80}, {0x2020, 0x81}, {0x2021, 0x82}, {0x2026, 0x83},
    {0x2014, 0x84}, {0x2013, 0x85}, {0x0192, 0x86}, {0x2044, 0x87}, {0x2039, 0x88}, {0x203A, 0x89},
    {0x2212, 0x8A}, {0x2030, 0x8B}, {0x201E, 0x8C}, {0x201C, 0x8D}, {0x201D, 0x8E}, {0x2018, 0x8F},
    {0x2019, 0x90}, {0x201A, 0x91}, {0x2122, 0x92}, {0xFB01, 0x93}, {0xFB02, 0x94}, {0x0141, 0x95},
    {0x0152, 0x96}, {0x0160, 0x97}, {0x0178, 0x98}, {0x017D, 0x99}, {0x0131, 0x9A}, {0x0142, 0x9B},
    {0x0153, 0x9C}, {0x0161, 0x9D}, {0x017E, 0x9E}, {0x20AC, 0xA0}};

}  // namespace

bool UnicodeToPDFDocEncoding(std::u16string_view Text, std::string& Out) {
  Out.clear();
  Out.reserve(Text.size());
  for (char16_t C : Text) {
    // Latin-1 and PDFDocEncoding share these, as Windows-1252 does.
    if ((C < 0x18) || (C >= 0x20 && C < 0x7F) || (C >= 0xA1 && C <= 0xFF && C != 0xAD)) {
      Out.push_back(static_cast<char>(C));
      continue;
    }
    bool Found = false;
    for (const TvxDocChar& D : DocChars) {
      if (D.Unicode == C) {
        Out.push_back(static_cast<char>(D.Byte));
        Found = true;
        break;
      }
    }
    if (!Found) return false;
  }
  return true;
}

std::u16string PDFDocEncodingToUnicode(std::string_view Bytes) {
  std::u16string Out;
  Out.reserve(Bytes.size());
  for (char Ch : Bytes) {
    const auto B = static_cast<uint8_t>(Ch);
    if (B < 0x18 || (B >= 0x20 && B < 0x7F) || (B >= 0xA1 && B != 0xAD)) {
      Out.push_back(B);
      continue;
    }
    char16_t C = 0xFFFD;
    for (const TvxDocChar& D : DocChars)
      if (D.Byte == B) C = D.Unicode;
    Out.push_back(C);
  }
  return Out;
}

}  // namespace vx
