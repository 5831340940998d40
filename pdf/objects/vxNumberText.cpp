#include "pdf/objects/vxNumberText.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxNumberTextFast.h"

namespace vx {

namespace {

// Decimal digits and exponent of Value rounded to Precision significant
// digits: Value ~ 0.D1D2...Dn * 10^(Exp + 1).
struct TvxDecimal {
  bool Negative = false;
  std::string Digits;  // no trailing zeros; empty for zero
  int Exp = 0;         // exponent of the first digit
};

TvxDecimal ToDecimal(double Value, int Precision) {
  TvxDecimal D;
  if (Value == 0 || !std::isfinite(Value)) return D;
  char Buf[64];
  auto Res =
      std::to_chars(Buf, Buf + sizeof(Buf), Value, std::chars_format::scientific, Precision - 1);
  std::string_view S(Buf, static_cast<size_t>(Res.ptr - Buf));
  size_t E = S.find('e');
  std::string_view Mant = S.substr(0, E);
  if (!Mant.empty() && Mant[0] == '-') {
    D.Negative = true;
    Mant.remove_prefix(1);
  }
  for (char C : Mant)
    if (C != '.') D.Digits.push_back(C);
  while (!D.Digits.empty() && D.Digits.back() == '0') D.Digits.pop_back();
  std::from_chars(S.data() + E + 1 + (S[E + 1] == '+' ? 1 : 0), S.data() + S.size(), D.Exp);
  return D;
}

// Fixed notation with exactly Decimals digits after the point, rounded from
// the exact binary value.
std::string FixedText(double Value, int Decimals) {
  char Buf[512];
  auto Res = std::to_chars(Buf, Buf + sizeof(Buf), Value, std::chars_format::fixed, Decimals);
  if (Res.ec != std::errc()) return "0";
  std::string S(Buf, Res.ptr);
  // A negative value that rounds to zero is written without its sign.
  if (!S.empty() && S[0] == '-' && S.find_first_not_of("-0.") == std::string::npos) S.erase(0, 1);
  return S;
}

std::string ExponentText(const TvxDecimal& D, int Precision, int ExpDigits) {
  std::string S;
  if (D.Negative) S.push_back('-');
  std::string Digits = D.Digits.empty() ? "0" : D.Digits;
  Digits.resize(static_cast<size_t>(std::max(Precision, 1)), '0');
  S.push_back(Digits[0]);
  if (Digits.size() > 1) {
    S.push_back('.');
    S.append(Digits, 1);
  }
  int Exp = D.Digits.empty() ? 0 : D.Exp;
  S.push_back('E');
  S.push_back(Exp < 0 ? '-' : '+');
  std::string ExpText = std::to_string(std::abs(Exp));
  if (static_cast<int>(ExpText.size()) < ExpDigits)
    ExpText.insert(0, static_cast<size_t>(ExpDigits) - ExpText.size(), '0');
  S.append(ExpText);
  return S;
}

// General form: fixed without trailing zeros unless the exponent is too
// large or too small, then "d.dddE+x".
std::string GeneralText(double Value, int Precision) {
  if (!std::isfinite(Value)) return std::isnan(Value) ? "NAN" : (Value > 0 ? "INF" : "-INF");
  TvxDecimal D = ToDecimal(Value, Precision);
  if (D.Digits.empty()) return "0";
  if (D.Exp >= Precision || D.Exp < -5) {
    std::string S;
    if (D.Negative) S.push_back('-');
    S.push_back(D.Digits[0]);
    if (D.Digits.size() > 1) {
      S.push_back('.');
      S.append(D.Digits, 1);
    }
    S.push_back('E');
    S.append(std::to_string(D.Exp));
    return S;
  }
  std::string S;
  if (D.Negative) S.push_back('-');
  int N = static_cast<int>(D.Digits.size());
  if (D.Exp < 0) {
    S.append("0.");
    S.append(static_cast<size_t>(-D.Exp - 1), '0');
    S.append(D.Digits);
  } else if (D.Exp + 1 >= N) {
    S.append(D.Digits);
    S.append(static_cast<size_t>(D.Exp + 1 - N), '0');
  } else {
    S.append(D.Digits, 0, static_cast<size_t>(D.Exp + 1));
    S.push_back('.');
    S.append(D.Digits, static_cast<size_t>(D.Exp + 1));
  }
  return S;
}

// Fixed notation with Decimals digits after the point that shows at most
// Precision significant digits: places past them are zeros, never the binary
// tail of the double (1234567.891 at ten digits is 1234567.8910000000, not
// ...8910000001). Callers write values with more than Precision integer
// digits in exponent form instead.
std::string SignificantFixedText(double Value, int Precision, int Decimals) {
  TvxDecimal D = ToDecimal(Value, Precision);
  int Shown = D.Digits.empty() ? Decimals : std::clamp(Precision - D.Exp - 1, 0, Decimals);
  std::string S = FixedText(Value, Shown);
  if (Shown < Decimals) {
    if (Shown == 0) S.push_back('.');
    S.append(static_cast<size_t>(Decimals - Shown), '0');
  }
  return S;
}

// Decimal exponent of the leading digit of a well-formed unsigned number text
// ("0.05e3" gives 1), to tell underflow from overflow.
int64_t LeadingExponent(std::string_view Text) {
  size_t E = Text.find_first_of("eE");
  std::string_view Mant = Text.substr(0, E);
  int64_t Exp = 0;
  if (E != std::string_view::npos) {
    std::string_view ExpText = Text.substr(E + 1);
    bool Negative = !ExpText.empty() && ExpText[0] == '-';
    if (!ExpText.empty() && (ExpText[0] == '-' || ExpText[0] == '+')) ExpText.remove_prefix(1);
    for (char C : ExpText)
      if (Exp < 1000000000) Exp = Exp * 10 + (C - '0');
    if (Negative) Exp = -Exp;
  }
  size_t Point = std::min(Mant.find('.'), Mant.size());
  size_t First = Mant.find_first_of("123456789");
  if (First == std::string_view::npos) return 0;
  int64_t Lead = First < Point ? static_cast<int64_t>(Point - First) - 1
                               : -static_cast<int64_t>(First - Point);
  return Lead + Exp;
}

std::string InsertThousands(const std::string& Fixed) {
  size_t Start = Fixed[0] == '-' ? 1 : 0;
  size_t Point = Fixed.find('.');
  if (Point == std::string::npos) Point = Fixed.size();
  std::string Int = Fixed.substr(Start, Point - Start);
  std::string Grouped;
  for (size_t I = 0; I < Int.size(); ++I) {
    if (I > 0 && (Int.size() - I) % 3 == 0) Grouped.push_back(',');
    Grouped.push_back(Int[I]);
  }
  return Fixed.substr(0, Start) + Grouped + Fixed.substr(Point);
}

}  // namespace

std::string FixedTextDot(double Value, int Decimals) {
  return FixedText(Value, Decimals);
}

std::string FloatToTextDot(double Value) {
  return GeneralText(Value, 15);
}

std::string FloatToTextFmtDot(double Value, TvxFloatFormat Format, int Precision, int Digits) {
  Precision = std::clamp(Precision, 1, 18);
  Digits = std::clamp(Digits, 0, 18);
  if (!std::isfinite(Value)) return GeneralText(Value, Precision);
  switch (Format) {
    case ffGeneral: return GeneralText(Value, Precision);
    case ffExponent: return ExponentText(ToDecimal(Value, Precision), Precision, Digits);
    case ffFixed:
    case ffNumber: {
      TvxDecimal D = ToDecimal(Value, Precision);
      if (!D.Digits.empty() && D.Exp >= Precision) return ExponentText(D, Precision, 0);
      std::string S = SignificantFixedText(Value, Precision, Digits);
      return Format == ffNumber ? InsertThousands(S) : S;
    }
  }
  return GeneralText(Value, Precision);
}

// Plain decimal text of at most 15 digits ("72.004", "0.5", "612."): the
// digits as an integer and the power of ten are exact doubles, so one
// division gives the correctly rounded value, as the full conversion does.
bool FastDecimalValue(std::string_view Text, double& Value) {
  static constexpr double Pow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  uint64_t M = 0;
  int Digits = 0;
  int Frac = -1;  // digits after the point; -1 before it
  for (char C : Text) {
    if (C >= '0' && C <= '9') {
      if (++Digits > 15) return false;
      M = M * 10 + static_cast<uint64_t>(C - '0');
      if (Frac >= 0) ++Frac;
    } else if (C == '.' && Frac < 0) {
      Frac = 0;
    } else {
      return false;
    }
  }
  if (Digits == 0) return false;
  Value = static_cast<double>(M) / Pow10[Frac < 0 ? 0 : Frac];
  return true;
}

namespace {

bool TextToFloat(std::string_view Text, double& Value, bool Fast) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t')) Text.remove_suffix(1);
  if (Text.empty()) return false;
  bool Negative = false;
  if (Text.front() == '+' || Text.front() == '-') {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  // Only digits, one point and an exponent: no "inf", "nan" or hex forms.
  if (Text.empty() ||
      !(std::isdigit(static_cast<unsigned char>(Text.front())) || Text.front() == '.'))
    return false;
  double Result = 0;
  if (Fast && FastDecimalValue(Text, Result)) {
    Value = Negative ? -Result : Result;
    return true;
  }
  auto Res =
      std::from_chars(Text.data(), Text.data() + Text.size(), Result, std::chars_format::general);
  if (Res.ptr != Text.data() + Text.size()) return false;
  if (Res.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is no number we can hold.
    if (LeadingExponent(Text) >= 0) return false;
    Result = 0;
  } else if (Res.ec != std::errc()) {
    return false;
  }
  Value = Negative ? -Result : Result;
  return true;
}

}  // namespace

bool TryTextToFloatDot(std::string_view Text, double& Value) {
  return TextToFloat(Text, Value, true);
}

bool TryTextToFloatDotGeneral(std::string_view Text, double& Value) {
  return TextToFloat(Text, Value, false);
}

double TextToFloatDot(std::string_view Text) {
  double V = 0;
  if (!TryTextToFloatDot(Text, V)) throw EConvertError(FormatMessage(msg::NotValidFloat, Text));
  return V;
}

std::string RealToPDFTextGeneral(double Value) {
  if (!std::isfinite(Value)) return "0.0000000000";
  TvxDecimal D = ToDecimal(Value, 10);
  if (!D.Digits.empty() && D.Exp >= 10) {
    // PDF numbers have no exponent form: the ten significant digits are
    // written out in full, zeros after them up to the point.
    std::string S = D.Negative ? "-" : "";
    S += D.Digits;
    S.append(static_cast<size_t>(D.Exp + 1) - D.Digits.size(), '0');
    S += ".0000000000";
    return S;
  }
  return SignificantFixedText(Value, 10, 10);
}

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Every finite value below 1e10 in magnitude is written as N / 10^Scale with
// ten decimals, where Scale is 10 below 1 and 9 - (exponent of the leading
// digit) from 1 on, and N is |Value| * 10^Scale rounded half to even on the
// exact binary value, as the general path's conversions round. Value is
// M * 2^-Shift with a 53-bit M, so M * 10^Scale (below 2^87) and its
// remainder are exact in 128 bits. Rounding to ten significant digits may
// carry into a new leading digit (9.99999999996 gives N = 10^10, "10.0"); the
// general path then shows one decimal fewer and pads it with a zero, which
// is the same text. Only the carry to 1e10 needs the exponent form.
size_t FastRealToPDFText(double Value, char* Buf) {
  static constexpr uint64_t Pow10[] = {
      1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000ull};
  static constexpr double Pow10D[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
  const uint64_t Bits = std::bit_cast<uint64_t>(Value);
  const bool Negative = (Bits >> 63) != 0;
  const int BiasedExp = static_cast<int>((Bits >> 52) & 0x7FF);
  const double A = std::fabs(Value);
  if (BiasedExp == 0x7FF || !(A < 1e10)) return 0;
  uint64_t N = 0;
  int Scale = 10;
  // Below 2^-40 the value times 10^10 is under 0.01: zero, like zero itself
  // and the subnormals.
  if (BiasedExp >= 1023 - 40) {
    const uint64_t M = (Bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int Shift = 1075 - BiasedExp;  // 19..92 in this range
    if (A >= 1) {
      int Lead = 0;
      while (Lead < 9 && A >= Pow10D[Lead + 1]) ++Lead;
      Scale = 9 - Lead;
    }
    const unsigned __int128 P = static_cast<unsigned __int128>(M) * Pow10[Scale];
    const unsigned __int128 One = 1;
    N = static_cast<uint64_t>(P >> Shift);
    const unsigned __int128 Rem = P & ((One << Shift) - 1);
    const unsigned __int128 Half = One << (Shift - 1);
    if (Rem > Half || (Rem == Half && (N & 1) != 0)) ++N;
    if (Scale == 0 && N >= Pow10[10]) return 0;  // rounds to 1e10: exponent form
  }
  char* P = Buf;
  // A negative value that rounds to zero is written without its sign.
  if (Negative && N != 0) *P++ = '-';
  P = std::to_chars(P, P + 12, N / Pow10[Scale]).ptr;
  *P++ = '.';
  // The Scale shown decimals followed by the padding zeros: ten digits,
  // two at a time.
  uint64_t Frac = (N % Pow10[Scale]) * Pow10[10 - Scale];
  for (int I = 8; I >= 0; I -= 2) {
    std::memcpy(P + I, DigitPairs + 2 * (Frac % 100), 2);
    Frac /= 100;
  }
  P += 10;
  return static_cast<size_t>(P - Buf);
}

void AppendRealToPDFText(std::string& Out, double Value) {
  char Buf[RealTextBufferSize];
  size_t Len = FastRealToPDFText(Value, Buf);
  if (Len != 0)
    Out.append(Buf, Len);
  else
    Out.append(RealToPDFTextGeneral(Value));
}

std::string RealToPDFText(double Value) {
  char Buf[RealTextBufferSize];
  size_t Len = FastRealToPDFText(Value, Buf);
  return Len != 0 ? std::string(Buf, Len) : RealToPDFTextGeneral(Value);
}

}  // namespace vx
