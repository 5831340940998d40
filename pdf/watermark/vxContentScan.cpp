#include "pdf/watermark/vxContentScan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

namespace {

// 0 regular, 1 white space, 2 delimiter: one load per byte on the hot path.
constexpr auto ClassTable = [] {
  struct {
    uint8_t C[256] = {};
  } T;
  for (unsigned char W : {0, 9, 10, 12, 13, 32}) T.C[W] = 1;
  for (unsigned char D : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) T.C[D] = 2;
  return T;
}();

bool IsWhite(unsigned char C) {
  return ClassTable.C[C] == 1;
}

bool IsDelimiter(unsigned char C) {
  return ClassTable.C[C] == 2;
}

bool IsRegular(unsigned char C) {
  return ClassTable.C[C] == 0;
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

enum TvxTokenKind { tkWord, tkName, tkOther };

// Calls Visit(kind, token) for each token of a content stream, in order,
// while it returns true: words (operators and numbers), names with their
// slash, and tkOther for strings, hex strings and delimiters. Comments and
// inline image data are skipped. Linear in the size of S.
template <typename F>
void WalkContent(std::string_view S, F&& Visit) {
  const size_t N = S.size();
  bool InImageDict = false;  // between "BI" and "ID"
  size_t I = 0;
  while (I < N) {
    auto C = static_cast<unsigned char>(S[I]);
    const size_t Start = I;
    if (IsWhite(C)) {
      ++I;
      continue;
    }
    if (C == '%') {
      while (I < N && S[I] != '\r' && S[I] != '\n') ++I;
      continue;
    }
    TvxTokenKind Kind = tkOther;
    if (C == '(') {
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
      Kind = tkName;
    } else if (IsDelimiter(C)) {
      ++I;
    } else {
      while (I < N && IsRegular(static_cast<unsigned char>(S[I]))) ++I;
      Kind = tkWord;
    }
    const std::string_view Token = S.substr(Start, std::min(I, N) - Start);
    if (InImageDict) {
      if (Kind == tkWord && Token == "ID") {
        InImageDict = false;
        I = SkipInlineImage(S, I);
      }
      continue;
    }
    if (Kind == tkWord && Token == "BI") {
      InImageDict = true;
      continue;
    }
    if (!Visit(Kind, Token)) return;
  }
}

}  // namespace

int32_t CountUnclosedSaves(std::string_view S, int32_t* StrayRestores) {
  int32_t Open = 0, Stray = 0;
  WalkContent(S, [&](TvxTokenKind Kind, std::string_view Token) {
    if (Kind != tkWord) return true;
    if (Token == "q") {
      ++Open;
    } else if (Token == "Q") {
      if (Open > 0)
        --Open;
      else if (Stray < INT32_MAX)
        ++Stray;
    }
    return true;
  });
  if (StrayRestores) *StrayRestores = Stray;
  return Open;
}

std::vector<TvxXObjectDraw> FindXObjectDraws(std::string_view S, size_t MaxDraws) {
  std::vector<TvxXObjectDraw> Draws;
  if (MaxDraws == 0) return Draws;
  // The current matrix, and those saved by "q": deeper saves are counted
  // only, so a hostile stream cannot grow the stack.
  constexpr size_t MaxSaved = 64;
  std::array<double, 6> CTM = {1, 0, 0, 1, 0, 0};
  std::vector<std::array<double, 6>> Saved;
  size_t Unsaved = 0;
  double Operands[6] = {};
  size_t Count = 0;  // numbers since the last operator
  std::string_view Name;
  WalkContent(S, [&](TvxTokenKind Kind, std::string_view Token) {
    if (Kind == tkName) {
      Name = Token;
      Count = 0;
      return true;
    }
    if (Kind == tkOther) {
      Count = 0;
      return true;
    }
    double Value = 0;
    const char* First = Token.data();
    if (*First == '+') ++First;
    auto [End, Error] = std::from_chars(First, Token.data() + Token.size(), Value);
    if (Error == std::errc() && End == Token.data() + Token.size() && std::isfinite(Value)) {
      // The last six numbers are the operands of "cm".
      if (Count == 6) std::copy(Operands + 1, Operands + 6, Operands);
      Operands[Count == 6 ? 5 : Count] = Value;
      if (Count < 6) ++Count;
      return true;
    }
    if (Token == "q") {
      if (Saved.size() < MaxSaved)
        Saved.push_back(CTM);
      else
        ++Unsaved;
    } else if (Token == "Q") {
      if (Unsaved > 0) {
        --Unsaved;
      } else if (!Saved.empty()) {
        CTM = Saved.back();
        Saved.pop_back();
      }
    } else if (Token == "cm" && Count == 6) {
      const double* M = Operands;
      CTM = {M[0] * CTM[0] + M[1] * CTM[2],          M[0] * CTM[1] + M[1] * CTM[3],
             M[2] * CTM[0] + M[3] * CTM[2],          M[2] * CTM[1] + M[3] * CTM[3],
             M[4] * CTM[0] + M[5] * CTM[2] + CTM[4], M[4] * CTM[1] + M[5] * CTM[3] + CTM[5]};
    } else if (Token == "Do" && !Name.empty()) {
      Draws.push_back(TvxXObjectDraw{std::string(Name), CTM});
    }
    Count = 0;
    Name = {};
    return Draws.size() < MaxDraws;
  });
  return Draws;
}

TvxSaveBalance TvxSaveBalance::After(const TvxSaveBalance& Before) const {
  // This stream's stray restores close what the streams before left open.
  const int32_t Closed = std::min(Before.Open, Stray);
  TvxSaveBalance R;
  R.Open = static_cast<int32_t>(std::min<int64_t>(int64_t{Before.Open} - Closed + Open, INT32_MAX));
  R.Stray =
      static_cast<int32_t>(std::min<int64_t>(int64_t{Before.Stray} + Stray - Closed, INT32_MAX));
  return R;
}

}  // namespace vx
