#include "pdf/security/vxSASLprep.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "pdf/security/vxPasswordText.h"

namespace vx {

namespace {

#include "pdf/security/vxSASLprepTables.inc"

constexpr size_t MaxPasswordBytes = 127;

// Hangul syllables are decomposed and composed by rule, not by table.
constexpr char32_t SBase = 0xAC00, LBase = 0x1100, VBase = 0x1161, TBase = 0x11A7;
constexpr char32_t LCount = 19, VCount = 21, TCount = 28;
constexpr char32_t NCount = VCount * TCount, SCount = LCount * NCount;

// Code points of valid UTF-8; false on any invalid sequence.
bool DecodeUtf8(std::string_view Text, std::u32string& Out) {
  for (size_t I = 0; I < Text.size();) {
    const auto B = static_cast<unsigned char>(Text[I]);
    int Extra = B < 0x80             ? 0
                : (B & 0xE0) == 0xC0 ? 1
                : (B & 0xF0) == 0xE0 ? 2
                : (B & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (Extra < 0 || I + static_cast<size_t>(Extra) >= Text.size()) return false;
    char32_t C = Extra == 0 ? B : B & (0x3F >> Extra);
    for (int K = 1; K <= Extra; ++K) {
      const auto N = static_cast<unsigned char>(Text[I + static_cast<size_t>(K)]);
      if ((N & 0xC0) != 0x80) return false;
      C = (C << 6) | (N & 0x3F);
    }
    static constexpr char32_t Min[] = {0, 0x80, 0x800, 0x10000};
    if (C < Min[Extra] || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) return false;
    Out.push_back(C);
    I += static_cast<size_t>(Extra) + 1;
  }
  return true;
}

void EncodeUtf8(char32_t C, std::string& Out) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (C >> 6)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (C >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (C >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

// The password's code points: UTF-8, else PDFDocEncoding.
std::u32string CodePoints(std::string_view Password) {
  std::u32string Code;
  if (!DecodeUtf8(Password, Code)) {
    Code.clear();
    for (char16_t C : PDFDocEncodingToUnicode(Password)) Code.push_back(C);
  }
  return Code;
}

std::string CutUtf8(const std::u32string& Code) {
  std::string Out;
  for (char32_t C : Code) EncodeUtf8(C, Out);
  if (Out.size() > MaxPasswordBytes) Out.resize(MaxPasswordBytes);
  return Out;
}

template <size_t N>
bool InRanges(const TvxCodeRange (&Table)[N], char32_t C) {
  auto It = std::upper_bound(std::begin(Table), std::end(Table), C,
                             [](char32_t V, const TvxCodeRange& R) { return V < R.First; });
  return It != std::begin(Table) && C <= std::prev(It)->Last;
}

uint8_t CombiningClass(char32_t C) {
  auto It = std::upper_bound(std::begin(CombiningClasses), std::end(CombiningClasses), C,
                             [](char32_t V, const TvxClassRange& R) { return V < R.First; });
  return It != std::begin(CombiningClasses) && C <= std::prev(It)->Last ? std::prev(It)->Class : 0;
}

void Decompose(char32_t C, std::u32string& Out) {
  if (C >= SBase && C < SBase + SCount) {
    const char32_t S = C - SBase;
    Out.push_back(LBase + S / NCount);
    Out.push_back(VBase + S % NCount / TCount);
    if (S % TCount != 0) Out.push_back(TBase + S % TCount);
    return;
  }
  auto It = std::lower_bound(std::begin(NFKDIndex), std::end(NFKDIndex), C,
                             [](const TvxDecomposition& E, char32_t V) { return E.Code < V; });
  if (It == std::end(NFKDIndex) || It->Code != C) {
    Out.push_back(C);
    return;
  }
  Out.append(NFKDData + It->Start, It->Count);
}

// The primary composite of a pair, or 0.
char32_t Compose(char32_t First, char32_t Second) {
  if (First >= LBase && First < LBase + LCount && Second >= VBase && Second < VBase + VCount)
    return SBase + ((First - LBase) * VCount + (Second - VBase)) * TCount;
  if (First >= SBase && First < SBase + SCount && (First - SBase) % TCount == 0 && Second > TBase &&
      Second < TBase + TCount)
    return First + (Second - TBase);
  auto It =
      std::lower_bound(std::begin(Compositions), std::end(Compositions), std::pair(First, Second),
                       [](const TvxComposition& E, auto V) {
                         return E.First < V.first || (E.First == V.first && E.Second < V.second);
                       });
  return It != std::end(Compositions) && It->First == First && It->Second == Second ? It->Composed
                                                                                    : 0;
}

std::u32string NFKC(const std::u32string& Text) {
  std::u32string D;
  D.reserve(Text.size());
  for (char32_t C : Text) Decompose(C, D);
  // Canonical order: each run of marks sorted by class, stably.
  for (size_t I = 0; I < D.size();) {
    if (CombiningClass(D[I]) == 0) {
      ++I;
      continue;
    }
    size_t J = I;
    while (J < D.size() && CombiningClass(D[J]) != 0) ++J;
    std::stable_sort(D.begin() + static_cast<std::ptrdiff_t>(I),
                     D.begin() + static_cast<std::ptrdiff_t>(J),
                     [](char32_t A, char32_t B) { return CombiningClass(A) < CombiningClass(B); });
    I = J;
  }
  // Canonical composition: a character joins the last starter unless a
  // character between them is a starter or has a class at least its own.
  std::u32string Out;
  Out.reserve(D.size());
  size_t Starter = std::u32string::npos;
  int LastClass = 0;
  for (char32_t C : D) {
    const int Class = CombiningClass(C);
    if (Starter != std::u32string::npos &&
        (LastClass < Class || (LastClass == 0 && Out.size() == Starter + 1))) {
      if (const char32_t P = Compose(Out[Starter], C)) {
        Out[Starter] = P;
        continue;
      }
    }
    if (Class == 0) Starter = Out.size();
    LastClass = Class;
    Out.push_back(C);
  }
  return Out;
}

std::string CodePointText(char32_t C) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "U+%04X", static_cast<unsigned>(C));
  return Text;
}

// RFC 3454 section 6; prohibited characters come first.
bool CheckOutput(const std::u32string& Text, std::string& Problem) {
  bool RandAL = false, L = false;
  for (char32_t C : Text) {
    if (InRanges(Prohibited, C)) {
      Problem = "prohibited character " + CodePointText(C);
      return false;
    }
    RandAL = RandAL || InRanges(RandALCat, C);
    L = L || InRanges(LCat, C);
  }
  if (!RandAL) return true;
  if (L) {
    Problem = "right-to-left text mixed with left-to-right text";
    return false;
  }
  if (!InRanges(RandALCat, Text.front()) || !InRanges(RandALCat, Text.back())) {
    Problem = "right-to-left text that does not start and end with a right-to-left character";
    return false;
  }
  return true;
}

}  // namespace

bool SASLprepPassword(std::string_view Password, std::string& Prepared, std::string& Problem) {
  Prepared.clear();
  Problem.clear();
  std::u32string Mapped;
  for (char32_t C : CodePoints(Password)) {
    if (InRanges(NonAsciiSpaces, C))
      Mapped.push_back(0x20);
    else if (!InRanges(MappedToNothing, C))
      Mapped.push_back(C);
  }
  const std::u32string Normal = NFKC(Mapped);
  if (!CheckOutput(Normal, Problem)) return false;
  Prepared = CutUtf8(Normal);
  return true;
}

std::string RawPasswordUtf8(std::string_view Password) {
  return CutUtf8(CodePoints(Password));
}

std::vector<std::string> AES256PasswordCandidates(std::string_view Password) {
  std::vector<std::string> Out;
  std::string Prepared, Problem;
  if (SASLprepPassword(Password, Prepared, Problem)) Out.push_back(std::move(Prepared));
  std::string Raw = RawPasswordUtf8(Password);
  if (Out.empty() || Out.front() != Raw) Out.push_back(std::move(Raw));
  return Out;
}

}  // namespace vx
