#include "pdf/watermark/vxPageRange.h"

#include <limits>

#include "pdf/objects/vxDocumentExceptions.h"

namespace vx {

namespace {

bool IsSeparator(char C) {
  auto B = static_cast<unsigned char>(C);
  return B >= 1 && B <= 32;
}

std::string_view TrimBlanks(std::string_view S) {
  while (!S.empty() && static_cast<unsigned char>(S.front()) <= 32) S.remove_prefix(1);
  while (!S.empty() && static_cast<unsigned char>(S.back()) <= 32) S.remove_suffix(1);
  return S;
}

int DigitValue(char C, int Base) {
  int V = -1;
  if (C >= '0' && C <= '9')
    V = C - '0';
  else if (Base == 16 && C >= 'a' && C <= 'f')
    V = C - 'a' + 10;
  else if (Base == 16 && C >= 'A' && C <= 'F')
    V = C - 'A' + 10;
  return V < Base ? V : -1;
}

// Leading blanks, an optional sign, then decimal digits or hexadecimal ones
// after "$", "x" or "0x", nothing after them; the value must fit in 32 bits.
bool TextToInt(std::string_view S, int32_t& Value) {
  size_t I = 0;
  while (I < S.size() && S[I] == ' ') ++I;
  bool Negative = false;
  if (I < S.size() && (S[I] == '+' || S[I] == '-')) Negative = S[I++] == '-';
  int Base = 10;
  if (I < S.size() && (S[I] == '$' || S[I] == 'x' || S[I] == 'X')) {
    Base = 16;
    ++I;
  } else if (I + 1 < S.size() && S[I] == '0' && (S[I + 1] == 'x' || S[I + 1] == 'X')) {
    Base = 16;
    I += 2;
  }
  if (I == S.size()) return false;
  const int64_t Limit = Negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  int64_t N = 0;
  for (; I < S.size(); ++I) {
    int D = DigitValue(S[I], Base);
    if (D < 0) return false;
    N = N * Base + D;
    if (N > Limit) return false;
  }
  Value = static_cast<int32_t>(Negative ? -N : N);
  return true;
}

[[noreturn]] void BadRange(std::string_view Text) {
  throw EInvalidPageError(FormatMessage(msg::InvalidPageRange, Text));
}

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view Text) {
  std::vector<std::string> Items;
  size_t P = 0;
  const size_t N = Text.size();
  while (P < N && IsSeparator(Text[P])) ++P;
  while (P < N) {
    std::string Item;
    if (Text[P] == '"') {
      // An unterminated quote runs to the end of the text.
      ++P;
      while (P < N) {
        if (Text[P] == '"') {
          if (P + 1 < N && Text[P + 1] == '"') {
            Item.push_back('"');
            P += 2;
            continue;
          }
          ++P;
          break;
        }
        Item.push_back(Text[P++]);
      }
    } else {
      // A NUL does not end the item: it stays in it and makes it invalid
      // rather than cutting the text short or stalling the scan.
      size_t Start = P;
      while (P < N && Text[P] != ',' && !IsSeparator(Text[P])) ++P;
      Item.assign(Text.substr(Start, P - Start));
    }
    Items.push_back(std::move(Item));
    while (P < N && IsSeparator(Text[P])) ++P;
    if (P < N && Text[P] == ',') {
      if (P + 1 == N) Items.emplace_back();
      ++P;
      while (P < N && IsSeparator(Text[P])) ++P;
    }
  }
  return Items;
}

TvxPageList ParsePageRange(std::string_view Range, int32_t PageCount) {
  std::string Whole(Range);
  if (Whole.empty()) Whole = "1-" + std::to_string(PageCount);
  TvxPageList Pages;
  for (const std::string& Item : SplitCommaText(Whole)) {
    size_t Dash = Item.find('-');
    if (Dash != std::string::npos) {
      std::string_view StartText = TrimBlanks(std::string_view(Item).substr(0, Dash));
      std::string_view EndText = TrimBlanks(std::string_view(Item).substr(Dash + 1));
      std::string CountText = std::to_string(PageCount);
      if (StartText.empty()) StartText = "1";
      if (EndText.empty()) EndText = CountText;
      int32_t Start = 0, End = 0;
      if (!TextToInt(StartText, Start) || !TextToInt(EndText, End)) BadRange(Whole);
      if (Start < 1 || End < Start || End > PageCount) BadRange(Item);
      // 64-bit counter: End may be the largest 32-bit value.
      for (int64_t P = Start; P <= End; ++P) Pages.push_back(static_cast<int32_t>(P));
    } else {
      int32_t Page = 0;
      if (!TextToInt(Item, Page)) BadRange(Whole);
      CheckPageNumber(Page, PageCount);
      Pages.push_back(Page);
    }
  }
  return Pages;
}

void CheckPageNumber(int32_t PageNo, int32_t PageCount) {
  if (PageNo < 1 || PageNo > PageCount)
    throw EInvalidPageError(FormatMessage(msg::InvalidPageNumber, static_cast<int64_t>(PageNo)));
}

}  // namespace vx
