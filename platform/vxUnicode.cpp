#include "platform/vxUnicode.h"

#include <cstdint>

namespace vx {

std::string Utf16ToUtf8(std::u16string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    uint32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 &&
        Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;
    }
    if (C < 0x80) {
      Out.push_back(static_cast<char>(C));
    } else if (C < 0x800) {
      Out.push_back(static_cast<char>(0xC0 | C >> 6));
      Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else if (C < 0x10000) {
      Out.push_back(static_cast<char>(0xE0 | C >> 12));
      Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
      Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    } else {
      Out.push_back(static_cast<char>(0xF0 | C >> 18));
      Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
      Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
      Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
    }
  }
  return Out;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string Out;
  Out.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    auto B = static_cast<uint8_t>(Text[I]);
    uint32_t C = 0xFFFD;
    size_t Len = B < 0x80 ? 1 : (B >> 5) == 6 ? 2 : (B >> 4) == 14 ? 3 : (B >> 3) == 30 ? 4 : 0;
    if (Len == 0 || I + Len > Text.size()) {
      ++I;
    } else {
      C = Len == 1 ? B : Len == 2 ? (B & 0x1F) : Len == 3 ? (B & 0x0F) : (B & 0x07);
      bool Ok = true;
      for (size_t K = 1; K < Len; ++K) {
        auto Next = static_cast<uint8_t>(Text[I + K]);
        if ((Next >> 6) != 2) {
          Ok = false;
          break;
        }
        C = C << 6 | (Next & 0x3F);
      }
      static const uint32_t Min[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (!Ok || C < Min[Len] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) {
        C = 0xFFFD;
        Len = 1;
      }
      I += Len;
    }
    if (C >= 0x10000) {
      C -= 0x10000;
      Out.push_back(static_cast<char16_t>(0xD800 + (C >> 10)));
      Out.push_back(static_cast<char16_t>(0xDC00 + (C & 0x3FF)));
    } else {
      Out.push_back(static_cast<char16_t>(C));
    }
  }
  return Out;
}

}  // namespace vx
