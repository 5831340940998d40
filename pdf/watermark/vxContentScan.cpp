#include "pdf/watermark/vxContentScan.h"

#include <cstddef>
#include <cstdint>

namespace vx {

namespace {

bool IsWhite(unsigned char C) {
  return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32;
}

bool IsDelimiter(unsigned char C) {
  return C == '(' || C == ')' || C == '<' || C == '>' || C == '[' || C == ']' || C == '{' ||
         C == '}' || C == '/' || C == '%';
}

bool IsRegular(unsigned char C) {
  return !IsWhite(C) && !IsDelimiter(C);
}

// Position after the inline image data that starts at I (just after "ID"):
// the data ends at an "EI" with white space (or the end) on both sides.
size_t SkipInlineImage(std::string_view S, size_t I) {
  const size_t N = S.size();
  if (I < N && IsWhite(static_cast<unsigned char>(S[I]))) ++I;
  for (size_t J = I; J + 1 < N; ++J) {
    if (S[J] != 'E' || S[J + 1] != 'I') continue;
    bool Before = J == I || IsWhite(static_cast<unsigned char>(S[J - 1]));
    bool After = J + 2 >= N || IsWhite(static_cast<unsigned char>(S[J + 2]));
    if (Before && After) return J + 2;
  }
  return N;
}

}  // namespace

int32_t CountUnclosedSaves(std::string_view S, int32_t* StrayRestores) {
  const size_t N = S.size();
  int32_t Open = 0, Stray = 0;
  bool InImageDict = false;  // between "BI" and "ID"
  size_t I = 0;
  while (I < N) {
    auto C = static_cast<unsigned char>(S[I]);
    if (IsWhite(C)) {
      ++I;
    } else if (C == '%') {
      while (I < N && S[I] != '\r' && S[I] != '\n') ++I;
    } else if (C == '(') {
      // Literal string: balanced parentheses, backslash escapes.
      int64_t Depth = 0;
      for (; I < N; ++I) {
        if (S[I] == '\\') {
          ++I;
        } else if (S[I] == '(') {
          ++Depth;
        } else if (S[I] == ')' && --Depth == 0) {
          ++I;
          break;
        }
      }
    } else if (C == '<') {
      if (I + 1 < N && S[I + 1] == '<') {
        I += 2;
      } else {
        while (I < N && S[I] != '>') ++I;
        if (I < N) ++I;
      }
    } else if (C == '/') {
      ++I;
      while (I < N && IsRegular(static_cast<unsigned char>(S[I]))) ++I;
    } else if (IsDelimiter(C)) {
      ++I;
    } else {
      size_t Start = I;
      while (I < N && IsRegular(static_cast<unsigned char>(S[I]))) ++I;
      std::string_view Token = S.substr(Start, I - Start);
      if (InImageDict) {
        if (Token == "ID") {
          InImageDict = false;
          I = SkipInlineImage(S, I);
        }
      } else if (Token == "q") {
        ++Open;
      } else if (Token == "Q") {
        if (Open > 0)
          --Open;
        else if (Stray < INT32_MAX)
          ++Stray;
      } else if (Token == "BI") {
        InImageDict = true;
      }
    }
  }
  if (StrayRestores) *StrayRestores = Stray;
  return Open;
}

}  // namespace vx
