#include "pdf/security/vxSASLprep.h"

#include <idn-free.h>
#include <stringprep.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "pdf/security/vxPasswordText.h"

namespace vx {

namespace {

constexpr size_t MaxPasswordBytes = 127;
// Unassigned code points allowed, as in a query.
constexpr auto QueryFlags = static_cast<Stringprep_profile_flags>(0);

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

std::string Utf8(const std::u32string& Code) {
  std::string Out;
  for (char32_t C : Code) EncodeUtf8(C, Out);
  return Out;
}

std::string Cut(std::string Utf8) {
  if (Utf8.size() > MaxPasswordBytes) Utf8.resize(MaxPasswordBytes);
  return Utf8;
}

std::string CodePointText(char32_t C) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "U+%04X", static_cast<unsigned>(C));
  return Text;
}

// libidn reports a prohibited character without saying which; these steps
// of its own SASLprep profile find it: the mapping and NFKC steps, and the
// prohibition steps, each list zero-terminated.
struct TvxProfileSteps {
  std::vector<Stringprep_profile> Normalize, Prohibit;
};

const TvxProfileSteps& SASLprepSteps() {
  static const TvxProfileSteps Steps = [] {
    TvxProfileSteps S;
    for (const Stringprep_profile* P = stringprep_saslprep; P->operation; ++P) {
      if (P->operation == STRINGPREP_MAP_TABLE || P->operation == STRINGPREP_NFKC)
        S.Normalize.push_back(*P);
      else if (P->operation == STRINGPREP_PROHIBIT_TABLE)
        S.Prohibit.push_back(*P);
    }
    S.Normalize.push_back(Stringprep_profile{});
    S.Prohibit.push_back(Stringprep_profile{});
    return S;
  }();
  return Steps;
}

// Code mapped and normalized as the profile does; nullopt if libidn fails.
std::optional<std::u32string> MapAndNormalize(const std::u32string& Code) {
  // NFKC expands a code point to at most 18.
  std::vector<uint32_t> Buffer(Code.size() * 18 + 1);
  for (;;) {
    std::copy(Code.begin(), Code.end(), Buffer.begin());
    size_t Length = Code.size();
    const int Rc = stringprep_4i(Buffer.data(), &Length, Buffer.size(), QueryFlags,
                                 SASLprepSteps().Normalize.data());
    if (Rc == STRINGPREP_OK) return std::u32string(Buffer.begin(), Buffer.begin() + Length);
    if (Rc != STRINGPREP_TOO_SMALL_BUFFER) return std::nullopt;
    Buffer.resize(Buffer.size() * 2);
  }
}

bool IsProhibited(char32_t C) {
  uint32_t One[2] = {C, 0};
  size_t Length = 1;
  return stringprep_4i(One, &Length, 2, QueryFlags, SASLprepSteps().Prohibit.data()) ==
         STRINGPREP_CONTAINS_PROHIBITED;
}

// The first prohibited character of Code once mapped and normalized.
std::optional<char32_t> FirstProhibited(const std::u32string& Code) {
  if (const std::optional<std::u32string> Normal = MapAndNormalize(Code))
    for (char32_t C : *Normal)
      if (IsProhibited(C)) return C;
  return std::nullopt;
}

std::string ProblemText(int Rc, const std::u32string& Code) {
  switch (Rc) {
    case STRINGPREP_CONTAINS_PROHIBITED:
      if (const std::optional<char32_t> C = FirstProhibited(Code))
        return "prohibited character " + CodePointText(*C);
      break;
    case STRINGPREP_BIDI_BOTH_L_AND_RAL: return "right-to-left text mixed with left-to-right text";
    case STRINGPREP_BIDI_LEADTRAIL_NOT_RAL:
      return "right-to-left text that does not start and end with a right-to-left character";
  }
  return stringprep_strerror(static_cast<Stringprep_rc>(Rc));
}

}  // namespace

bool SASLprepPassword(std::string_view Password, std::string& Prepared, std::string& Problem) {
  Prepared.clear();
  Problem.clear();
  const std::u32string Code = CodePoints(Password);
  // libidn reads text up to a NUL. U+0000 is itself prohibited, and neither
  // mapping nor NFKC moves or joins it, so the text before it tells whether
  // another prohibited character comes first.
  if (const size_t Nul = Code.find(U'\0'); Nul != std::u32string::npos) {
    Problem =
        "prohibited character " + CodePointText(FirstProhibited(Code.substr(0, Nul)).value_or(0));
    return false;
  }
  char* Out = nullptr;
  const int Rc = stringprep_profile(Utf8(Code).c_str(), &Out, "SASLprep", QueryFlags);
  const std::unique_ptr<char, decltype(&idn_free)> Owned(Out, idn_free);
  if (Rc != STRINGPREP_OK) {
    Problem = ProblemText(Rc, Code);
    return false;
  }
  Prepared = Cut(Out);
  return true;
}

std::string RawPasswordUtf8(std::string_view Password) {
  return Cut(Utf8(CodePoints(Password)));
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
