// Bytes as lower-case hex digits and back, as test vectors are written.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include "pdf/objects/vxUtils.h"

namespace vxtest {

inline std::string Hex(std::string_view Bytes) {
  std::string H = vx::BytesToHex(Bytes);
  for (char& C : H) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return H;
}

inline std::string Unhex(std::string_view Digits) {
  return vx::HexToBytes(Digits);
}

}  // namespace vxtest
