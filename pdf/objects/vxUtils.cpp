#include "pdf/objects/vxUtils.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pdf/objects/vxExceptions.h"
#include "platform/vxCodePage.h"
#include "platform/vxSystemColors.h"

namespace vx {

namespace {

int HexDigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

bool IEquals(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'a' && X <= 'z') X = static_cast<char>(X - 32);
    if (Y >= 'a' && Y <= 'z') Y = static_cast<char>(Y - 32);
    if (X != Y) return false;
  }
  return true;
}

}  // namespace

std::string EscapeLiteralString(std::string_view Raw) {
  std::string Out;
  Out.reserve(Raw.size() + Raw.size() / 8 + 4);
  for (char C : Raw) {
    switch (C) {
      case '\b': Out += "\\b"; break;
      case '\f': Out += "\\f"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      // TAB is kept as an escape: expanding it would change the string's bytes.
      case '\t': Out += "\\t"; break;
      case '(':
      case ')':
      case '\\':
        Out.push_back('\\');
        Out.push_back(C);
        break;
      default: Out.push_back(C);
    }
  }
  return Out;
}

std::string UnescapeLiteralString(std::string_view Body) {
  std::string Out;
  Out.reserve(Body.size());
  size_t I = 0, N = Body.size();
  while (I < N) {
    char C = Body[I];
    if (C != '\\' || I + 1 >= N) {
      Out.push_back(C);
      ++I;
      continue;
    }
    char Next = Body[I + 1];
    switch (Next) {
      case '(':
      case ')':
      case '\\':
        Out.push_back(Next);
        I += 2;
        continue;
      case 'b':
        Out.push_back('\b');
        I += 2;
        continue;
      case 'f':
        Out.push_back('\f');
        I += 2;
        continue;
      case 'n':
        Out.push_back('\n');
        I += 2;
        continue;
      case 'r':
        Out.push_back('\r');
        I += 2;
        continue;
      case 't':
        Out.push_back('\t');
        I += 2;
        continue;
      default: break;
    }
    if (Next >= '0' && Next <= '7') {
      int Value = 0;
      size_t J = I + 1;
      for (int K = 0; K < 3 && J < N && Body[J] >= '0' && Body[J] <= '7'; ++K, ++J)
        Value = Value * 8 + (Body[J] - '0');
      Out.push_back(static_cast<char>(Value & 0xFF));
      I = J;
      continue;
    }
    // Unknown escape: the backslash stays, the next byte is processed normally.
    Out.push_back('\\');
    ++I;
  }
  return Out;
}

std::string HexToBytes(std::string_view Hex) {
  std::string Out;
  Out.reserve(Hex.size() / 2);
  int High = -1;
  for (char C : Hex) {
    int V = HexDigitValue(C);
    if (V < 0) continue;
    if (High < 0) {
      High = V;
    } else {
      Out.push_back(static_cast<char>(High << 4 | V));
      High = -1;
    }
  }
  // A lone last digit stands for its high nibble, as if followed by 0.
  if (High >= 0) Out.push_back(static_cast<char>(High << 4));
  return Out;
}

std::string BytesToHex(std::string_view Bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string Out;
  Out.resize(Bytes.size() * 2);
  for (size_t I = 0; I < Bytes.size(); ++I) {
    auto B = static_cast<uint8_t>(Bytes[I]);
    Out[2 * I] = Digits[B >> 4];
    Out[2 * I + 1] = Digits[B & 15];
  }
  return Out;
}

bool IsHexText(std::string_view Text) {
  for (char C : Text)
    if (HexDigitValue(C) < 0) return false;
  return true;
}

bool HexToByte(std::string_view Text, uint8_t& Value) {
  Value = 0;
  if (!IsHexText(Text)) return false;
  unsigned Result = 0;
  for (char C : Text) Result = Result * 16 + static_cast<unsigned>(HexDigitValue(C));
  Value = static_cast<uint8_t>(Result);
  return true;
}

uint8_t HexToByte(std::string_view Text) {
  uint8_t V = 0;
  HexToByte(Text, V);
  return V;
}

std::u16string HexTextToUnicode(std::string_view Hex) {
  if (Hex.size() < 4 || !IEquals(Hex.substr(0, 4), "FEFF")) return AnsiToUnicode(HexToBytes(Hex));
  std::string_view Body = Hex.substr(4, 999);
  std::u16string Out;
  Out.reserve(Body.size() / 4);
  size_t I = 0;
  // Each step: a dot, then one embedded byte-order mark skipped, then one
  // unit, whatever follows the mark.
  while (I < Body.size()) {
    if (Body[I] == '.') {
      Out.push_back(u'.');
      ++I;
    }
    if (I + 4 <= Body.size() && IEquals(Body.substr(I, 4), "FEFF")) I += 4;
    // An incomplete last group yields nothing.
    if (I + 4 > Body.size()) break;
    uint8_t Hi = HexToByte(Body.substr(I, 2));
    uint8_t Lo = HexToByte(Body.substr(I + 2, 2));
    Out.push_back(static_cast<char16_t>(Hi << 8 | Lo));
    I += 4;
  }
  // The length is one unit per four characters; units not reached stay U+0000.
  // Extra units from "." characters are kept rather than dropped.
  size_t Fixed = Body.size() / 4;
  if (Out.size() < Fixed) Out.resize(Fixed, u'\0');
  return Out;
}

std::string ColorToPDFText(TvxColor Color) {
  TvxColor RGB = ResolveSystemColor(Color);
  std::string Out;
  for (int Shift = 0; Shift <= 16; Shift += 8) {
    if (Shift) Out.push_back(' ');
    double Component = static_cast<double>((RGB >> Shift) & 0xFF) / 255.0;
    Out.append(FixedTextDot(Component, 4));
  }
  return Out;
}

}  // namespace vx
