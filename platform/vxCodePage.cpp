#include "platform/vxCodePage.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace vx {

namespace {

// 0x80..0x9F; the five bytes 1252 leaves undefined map to the C1 controls.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string IconvName(uint32_t CodePage) {
  switch (CodePage) {
    case 932: return "CP932";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "BIG5";
    case 65001: return "UTF-8";
    default: return "CP" + std::to_string(CodePage);
  }
}

// Converts with iconv; unconvertible input becomes '?' (or U+FFFD).
std::string IconvConvert(std::string_view In, const std::string& From, const std::string& To,
                         std::string_view Replacement, size_t InUnit) {
  iconv_t Cd = iconv_open(To.c_str(), From.c_str());
  if (Cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string Out;
  std::string Buf(In.size() * 4 + 16, '\0');
  char* InPtr = const_cast<char*>(In.data());
  size_t InLeft = In.size();
  while (InLeft > 0) {
    char* OutPtr = Buf.data();
    size_t OutLeft = Buf.size();
    size_t R = iconv(Cd, &InPtr, &InLeft, &OutPtr, &OutLeft);
    Out.append(Buf.data(), static_cast<size_t>(OutPtr - Buf.data()));
    if (R == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or incomplete input: replace one unit and go on.
      Out.append(Replacement);
      size_t Step = InLeft < InUnit ? InLeft : InUnit;
      InPtr += Step;
      InLeft -= Step;
    }
  }
  // Stateful converters (CP1258 combines diacritics) hold back the last
  // character until they are flushed.
  for (int Round = 0; Round < 4; ++Round) {
    char* OutPtr = Buf.data();
    size_t OutLeft = Buf.size();
    size_t R = iconv(Cd, nullptr, nullptr, &OutPtr, &OutLeft);
    Out.append(Buf.data(), static_cast<size_t>(OutPtr - Buf.data()));
    if (R != static_cast<size_t>(-1) || errno != E2BIG) break;
  }
  iconv_close(Cd);
  return Out;
}

class TvxDefaultCodePageService : public TvxCodePageService {
 public:
  uint32_t AnsiCodePage() const override { return 1252; }

  std::u16string ToUnicode(std::string_view Bytes, uint32_t CodePage) const override {
    std::u16string Out;
    if (CodePage == 1252 || CodePage == 0) {
      Out.reserve(Bytes.size());
      for (char C : Bytes) Out.push_back(Cp1252ToUnicode(static_cast<uint8_t>(C)));
      return Out;
    }
    static const char Repl[2] = {'\xFD', '\xFF'};
    std::string U =
        IconvConvert(Bytes, IconvName(CodePage), "UTF-16LE", std::string_view(Repl, 2), 1);
    for (size_t I = 0; I + 1 < U.size(); I += 2)
      Out.push_back(
          static_cast<char16_t>(static_cast<uint8_t>(U[I]) | static_cast<uint8_t>(U[I + 1]) << 8));
    return Out;
  }

  std::string FromUnicode(std::u16string_view Text, uint32_t CodePage) const override {
    std::string Out;
    if (CodePage == 1252 || CodePage == 0) {
      Out.reserve(Text.size());
      for (char16_t C : Text) {
        int B = UnicodeToCp1252(C);
        Out.push_back(B < 0 ? '?' : static_cast<char>(B));
      }
      return Out;
    }
    std::string In;
    In.reserve(Text.size() * 2);
    for (char16_t C : Text) {
      In.push_back(static_cast<char>(C & 0xFF));
      In.push_back(static_cast<char>(C >> 8));
    }
    return IconvConvert(In, "UTF-16LE", IconvName(CodePage), "?", 2);
  }

  bool IsDBCSLeadByte(uint8_t B, uint32_t CodePage) const override {
    switch (CodePage) {
      case 932: return (B >= 0x81 && B <= 0x9F) || (B >= 0xE0 && B <= 0xFC);
      case 936:
      case 949:
      case 950: return B >= 0x81 && B <= 0xFE;
      default: return false;
    }
  }
};

TvxDefaultCodePageService DefaultService;
TvxCodePageService* CurrentService = &DefaultService;

}  // namespace

TvxCodePageService& CodePageService() {
  return *CurrentService;
}

void SetCodePageService(TvxCodePageService* Service) {
  CurrentService = Service ? Service : &DefaultService;
}

char16_t Cp1252ToUnicode(uint8_t B) {
  if (B >= 0x80 && B <= 0x9F) return Cp1252High[B - 0x80];
  return B;
}

int UnicodeToCp1252(char16_t C) {
  if (C < 0x80 || (C >= 0xA0 && C <= 0xFF)) return C;
  for (int I = 0; I < 32; ++I)
    if (Cp1252High[I] == C) return 0x80 + I;
  return -1;
}

std::u16string AnsiToUnicode(std::string_view Bytes) {
  const TvxCodePageService& S = CodePageService();
  return S.ToUnicode(Bytes, S.AnsiCodePage());
}

std::string UnicodeToAnsi(std::u16string_view Text) {
  const TvxCodePageService& S = CodePageService();
  return S.FromUnicode(Text, S.AnsiCodePage());
}

}  // namespace vx
