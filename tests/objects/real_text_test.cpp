// The integer fast path of RealToPDFText against the general path built on
// the library's decimal conversions, over values of every kind a file holds.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pdf/objects/vxNumberText.h"
#include "pdf/objects/vxNumberTextFast.h"

using namespace vx;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

#ifdef NDEBUG
constexpr bool Optimized = true;
#else
constexpr bool Optimized = false;
#endif

// Values per generated family: about 1.6 million in all in an optimised
// build, fewer where the general path runs slowly.
constexpr int PerFamily = Sanitized ? 25000 : Optimized ? 200000 : 60000;

// Compares both ways for each value; counts the values the fast path took.
class TvxRealTextChecker {
 public:
  void Check(double V) {
    ++FChecked;
    std::string General = RealToPDFTextGeneral(V);
    char Buf[RealTextBufferSize];
    size_t Len = FastRealToPDFText(V, Buf);
    if (Len != 0) {
      ++FFast;
      if (std::string_view(Buf, Len) != General) Fail(V, std::string(Buf, Len), General);
    }
    // Beyond the fast path's range the value must still come out whole.
    if (std::isfinite(V) && std::fabs(V) < 9e9 && Len == 0) ++FMissed;
  }
  void Fail(double V, const std::string& Fast, const std::string& General) {
    if (FFailures++ < 10) {
      char Text[64];
      std::snprintf(Text, sizeof Text, "%.17g", V);
      ADD_FAILURE() << Text << ": fast " << Fast << ", general " << General;
    }
  }
  int64_t FChecked = 0;
  int64_t FFast = 0;
  int64_t FMissed = 0;
  int64_t FFailures = 0;
};

double Parse(const std::string& Text) {
  double V = 0;
  std::from_chars(Text.data(), Text.data() + Text.size(), V);
  return V;
}

}  // namespace

TEST(RealText, KnownTexts) {
  // Ten significant digits shown, the places after them zeros.
  EXPECT_EQ(RealToPDFText(1.0 / 3), "0.3333333333");
  EXPECT_EQ(RealToPDFText(-2.5), "-2.5000000000");
  EXPECT_EQ(RealToPDFText(612), "612.0000000000");
  EXPECT_EQ(RealToPDFText(72.004), "72.0040000000");
  EXPECT_EQ(RealToPDFText(1e-7), "0.0000001000");
  EXPECT_EQ(RealToPDFText(1234567.891), "1234567.8910000000");
  EXPECT_EQ(RealToPDFText(0.00012345678912), "0.0001234568");
  // Rounding that carries into a new leading digit.
  EXPECT_EQ(RealToPDFText(9.99999999996), "10.0000000000");
  EXPECT_EQ(RealToPDFText(0.99999999996), "1.0000000000");
  EXPECT_EQ(RealToPDFText(-999999999.96), "-1000000000.0000000000");
  // Exact ties go to the even digit: 1234567062.5 and 1234567063.5 units.
  EXPECT_EQ(RealToPDFText(1234567.0625), "1234567.0620000000");
  EXPECT_EQ(RealToPDFText(1234567.1875), "1234567.1880000000");
  EXPECT_EQ(RealToPDFText(1.0 / 2048), "0.0004882812");
  EXPECT_EQ(RealToPDFText(3.0 / 2048), "0.0014648438");
  // Zero and what rounds to it carry no sign.
  EXPECT_EQ(RealToPDFText(-0.0), "0.0000000000");
  EXPECT_EQ(RealToPDFText(-4e-11), "0.0000000000");
  EXPECT_EQ(RealToPDFText(-DBL_TRUE_MIN), "0.0000000000");
  // More than ten digits before the point, or a carry to them: the ten
  // significant digits written out, since PDF numbers have no exponent form.
  EXPECT_EQ(RealToPDFText(9999999999.4), "9999999999.0000000000");
  EXPECT_EQ(RealToPDFText(9999999999.6), "10000000000.0000000000");
  EXPECT_EQ(RealToPDFText(-12345678901.0), "-12345678900.0000000000");
  EXPECT_EQ(RealToPDFText(-1.5e20), "-150000000000000000000.0000000000");
  EXPECT_EQ(RealToPDFText(DBL_MAX).size(), 309u + 11u);
  EXPECT_EQ(RealToPDFText(DBL_MAX).rfind("1797693135", 0), 0u);
  EXPECT_EQ(RealToPDFText(std::numeric_limits<double>::infinity()), "0.0000000000");
  EXPECT_EQ(RealToPDFText(std::nan("")), "0.0000000000");

  std::string Out = "[ ";
  AppendRealToPDFText(Out, 0.5);
  AppendRealToPDFText(Out, 1e12);
  EXPECT_EQ(Out, "[ 0.50000000001000000000000.0000000000");
}

TEST(RealText, FastPathMatchesGeneralPath) {
  TvxRealTextChecker C;
  std::mt19937_64 Rng(20261207);

  // Edges: zeros, the smallest and largest values, powers of ten and their
  // neighbours, the places where rounding carries or the form changes.
  for (double V : {0.0, -0.0, DBL_TRUE_MIN, DBL_MIN, DBL_MAX, -DBL_MAX, 1e10, 1e-10, 5e-11, 0x1p-40,
                   0x1p-41, 0x1p34, std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(), std::nan("")})
    for (double S : {1.0, -1.0}) C.Check(S * V);
  for (int K = -14; K <= 12; ++K) {
    double P = std::pow(10.0, K);
    for (double Base : {P, P * 9.9999999995, P * 9.99999999949, P * 9.99999999951, P * 0.5}) {
      double V = Base;
      for (int I = 0; I < 8; ++I) V = std::nextafter(V, 0.0);
      for (int I = 0; I < 16; ++I, V = std::nextafter(V, DBL_MAX)) {
        C.Check(V);
        C.Check(-V);
      }
    }
  }

  // Random bit patterns over the magnitudes the fast path serves and past
  // them on either side.
  std::uniform_int_distribution<uint64_t> Mantissa(0, (uint64_t{1} << 52) - 1);
  std::uniform_int_distribution<int> Exponent(1023 - 50, 1023 + 40);
  for (int I = 0; I < PerFamily * 2; ++I) {
    uint64_t Bits = (static_cast<uint64_t>(Exponent(Rng)) << 52) | Mantissa(Rng);
    if (I & 1) Bits |= uint64_t{1} << 63;
    C.Check(std::bit_cast<double>(Bits));
  }

  // Integers and halves, small and up to past 1e10.
  std::uniform_int_distribution<int64_t> Small(-100000, 100000);
  std::uniform_int_distribution<int64_t> Large(-20000000000, 20000000000);
  for (int I = 0; I < PerFamily; ++I) {
    int64_t N = (I & 1) ? Small(Rng) : Large(Rng);
    C.Check(static_cast<double>(N));
    C.Check(static_cast<double>(N) + 0.5);
  }

  // Exact binary fractions: k / 2^j lands exactly halfway between two
  // shown digits at many magnitudes (1234567.0625 at three decimals).
  std::uniform_int_distribution<int> Pow2(1, 40);
  std::uniform_int_distribution<int64_t> Numerator(1, int64_t{1} << 45);
  for (int I = 0; I < PerFamily * 2; ++I) {
    double V = std::ldexp(static_cast<double>(Numerator(Rng)), -Pow2(Rng));
    C.Check((I & 1) ? -V : V);
  }

  // Near rounding boundaries: a ten-digit decimal plus half a unit of its
  // last shown digit, and the doubles right around it.
  std::uniform_int_distribution<int64_t> TenDigits(1000000000, 9999999999);
  std::uniform_int_distribution<int> Lead(-12, 10);
  for (int I = 0; I < PerFamily / 2; ++I) {
    int E = Lead(Rng);
    int Places = E >= 0 ? 9 - E : 10;
    double V = (static_cast<double>(TenDigits(Rng) / 10) * 10 + 5) / std::pow(10.0, Places + 1);
    if (E < 0) V /= std::pow(10.0, -E - 1);
    double D = V;
    for (int K = 0; K < 2; ++K) D = std::nextafter(D, 0.0);
    for (int K = 0; K < 5; ++K, D = std::nextafter(D, DBL_MAX)) C.Check(D);
  }

  // Numbers as files write them: up to twelve digits with the point
  // anywhere, a sign, sometimes an exponent ("72.004", "-0.5", "1e-7").
  std::uniform_int_distribution<int> DigitCount(1, 12);
  std::uniform_int_distribution<int> Digit(0, 9);
  std::uniform_int_distribution<int> ExpPart(-12, 12);
  for (int I = 0; I < PerFamily * 2; ++I) {
    std::string Text;
    if (I % 3 == 0) Text.push_back('-');
    int Count = DigitCount(Rng);
    std::uniform_int_distribution<int> Point(0, Count);
    int At = Point(Rng);
    for (int K = 0; K < Count; ++K) {
      if (K == At) Text.push_back('.');
      Text.push_back(static_cast<char>('0' + Digit(Rng)));
    }
    if (I % 7 == 0) Text += "e" + std::to_string(ExpPart(Rng));
    C.Check(Parse(Text));
  }

  EXPECT_EQ(C.FFailures, 0);
  // Every value in range took the fast path, so the comparison covered it.
  EXPECT_EQ(C.FMissed, 0);
  EXPECT_GT(C.FFast, C.FChecked / 2);
}

TEST(RealText, DecimalReadingMatchesGeneralPath) {
  // Texts as files write them, short and long: the fast division must give
  // the very double the full conversion gives, and leave the rest to it.
  EXPECT_EQ(TextToFloatDot("72.004"), 72.004);
  EXPECT_EQ(std::bit_cast<uint64_t>(TextToFloatDot("-0.0")), std::bit_cast<uint64_t>(-0.0));
  double V = 0;
  for (const char* NotPlain : {"1e-7", "1.2.3", ".", "", "1234567890123456", "-1", "+1", "1,5"})
    EXPECT_FALSE(FastDecimalValue(NotPlain, V)) << NotPlain;

  std::mt19937_64 Rng(72004);
  std::uniform_int_distribution<int> DigitCount(1, 18);
  std::uniform_int_distribution<int> Digit(0, 9);
  int64_t Fast = 0, Failures = 0;
  for (int I = 0; I < PerFamily * 2; ++I) {
    std::string Text;
    if (I % 3 == 0) Text.push_back('-');
    int Count = DigitCount(Rng);
    std::uniform_int_distribution<int> Point(-1, Count);
    int At = Point(Rng);  // -1: no point
    for (int K = 0; K < Count; ++K) {
      if (K == At) Text.push_back('.');
      Text.push_back(static_cast<char>('0' + Digit(Rng)));
    }
    if (At == Count) Text.push_back('.');
    double Got = -1, Want = -2;
    bool GotOk = TryTextToFloatDot(Text, Got);
    bool WantOk = TryTextToFloatDotGeneral(Text, Want);
    double Plain = 0;
    std::string_view Unsigned(Text);
    if (!Unsigned.empty() && Unsigned[0] == '-') Unsigned.remove_prefix(1);
    if (FastDecimalValue(Unsigned, Plain)) {
      ++Fast;
      if (Count > 15) ADD_FAILURE() << Text << " taken with more than 15 digits";
    }
    if (GotOk != WantOk || std::bit_cast<uint64_t>(Got) != std::bit_cast<uint64_t>(Want)) {
      if (Failures++ < 10) ADD_FAILURE() << Text << ": " << Got << " against " << Want;
    }
  }
  EXPECT_EQ(Failures, 0);
  EXPECT_GT(Fast, PerFamily);  // most texts took the fast way
}
