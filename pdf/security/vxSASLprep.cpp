#include "pdf/security/vxSASLprep.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pdf/security/vxPasswordText.h"

namespace vx {

namespace {

#include "pdf/security/vxNFKCTables.inc"

constexpr size_t MaxPasswordBytes = 127;

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

// RFC 3454 table B.1: mapped to nothing.
bool MapsToNothing(char32_t C) {
  return C == 0x00AD || C == 0x034F || C == 0x1806 || (C >= 0x180B && C <= 0x180D) ||
         (C >= 0x200C && C <= 0x200D) || C == 0x2060 || (C >= 0xFE00 && C <= 0xFE0F) || C == 0xFEFF;
}

// RFC 3454 table C.1.2: non-ASCII spaces, mapped to U+0020.
bool IsNonAsciiSpace(char32_t C) {
  return C == 0x00A0 || C == 0x1680 || (C >= 0x2000 && C <= 0x200B) || C == 0x202F || C == 0x205F ||
         C == 0x3000;
}

uint8_t CombiningClass(char32_t C) {
  auto It = std::lower_bound(std::begin(NFKCCombiningClasses), std::end(NFKCCombiningClasses), C,
                             [](const TvxCombiningClass& E, char32_t V) { return E.Code < V; });
  return It != std::end(NFKCCombiningClasses) && It->Code == C ? It->Class : 0;
}

void Decompose(char32_t C, std::u32string& Out) {
  auto It = std::lower_bound(std::begin(NFKCDecompositions), std::end(NFKCDecompositions), C,
                             [](const TvxDecomposition& E, char32_t V) { return E.Code < V; });
  if (It == std::end(NFKCDecompositions) || It->Code != C) {
    Out.push_back(C);
    return;
  }
  for (int I = 0; I < NFKCMaxDecomposition && It->To[I] != 0; ++I) Out.push_back(It->To[I]);
}

char32_t Compose(char32_t First, char32_t Second) {
  auto It =
      std::lower_bound(std::begin(NFKCCompositions), std::end(NFKCCompositions),
                       std::pair(First, Second), [](const TvxComposition& E, auto V) {
                         return E.First < V.first || (E.First == V.first && E.Second < V.second);
                       });
  return It != std::end(NFKCCompositions) && It->First == First && It->Second == Second
             ? It->Composed
             : 0;
}

std::u32string NFKC(const std::u32string& Text) {
  std::u32string D;
  D.reserve(Text.size());
  for (char32_t C : Text) Decompose(C, D);
  // Canonical order: marks between starters sorted by class, stably.
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
  // Canonical composition.
  std::u32string Out;
  Out.reserve(D.size());
  size_t Starter = std::u32string::npos;
  int LastClass = -1;
  for (char32_t C : D) {
    const int Class = CombiningClass(C);
    if (Starter != std::u32string::npos &&
        (LastClass < Class || (LastClass == 0 && Class == 0 && Out.size() == Starter + 1))) {
      if (char32_t P = Compose(Out[Starter], C)) {
        Out[Starter] = P;
        continue;
      }
    }
    if (Class == 0) {
      Starter = Out.size();
      LastClass = 0;
    } else {
      LastClass = Class;
    }
    Out.push_back(C);
  }
  return Out;
}

}  // namespace

std::string SASLprepPassword(std::string_view Password) {
  std::u32string Code;
  if (!DecodeUtf8(Password, Code)) {
    Code.clear();
    for (char16_t C : PDFDocEncodingToUnicode(Password)) Code.push_back(C);
  }
  std::u32string Mapped;
  Mapped.reserve(Code.size());
  for (char32_t C : Code) {
    if (IsNonAsciiSpace(C))
      Mapped.push_back(0x20);
    else if (!MapsToNothing(C))
      Mapped.push_back(C);
  }
  std::string Out;
  for (char32_t C : NFKC(Mapped)) EncodeUtf8(C, Out);
  if (Out.size() > MaxPasswordBytes) Out.resize(MaxPasswordBytes);
  return Out;
}

}  // namespace vx
