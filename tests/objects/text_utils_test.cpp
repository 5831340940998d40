#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxUtils.h"
#include "platform/vxSystemColors.h"
#include "support/expect_error.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

std::string AllBytes() {
  std::string S;
  for (int B = 0; B < 256; ++B) S.push_back(static_cast<char>(B));
  return S;
}

}  // namespace

TEST(TextUtils, UnescapeLiteralString) {
  EXPECT_EQ(UnescapeLiteralString("a\\(b\\)c\\\\"), "a(b)c\\");
  EXPECT_EQ(UnescapeLiteralString("\\b\\f\\n\\r\\t"), "\b\f\n\r\t");
  EXPECT_EQ(UnescapeLiteralString("\\101"), "A");
  EXPECT_EQ(UnescapeLiteralString("\\0053"), std::string("\x05"
                                                         "3"));
  EXPECT_EQ(UnescapeLiteralString("\\777"), "\xFF");
  EXPECT_EQ(UnescapeLiteralString("\\12x"), "\nx");
  EXPECT_EQ(UnescapeLiteralString("\\8"), "\\8");  // 8 is not octal
  EXPECT_EQ(UnescapeLiteralString("\\q"), "\\q");
  // The byte after a kept backslash is processed normally.
  EXPECT_EQ(UnescapeLiteralString("\\q\\n"), "\\q\n");
  EXPECT_EQ(UnescapeLiteralString("end\\"), "end\\");
}

TEST(TextUtils, EscapeLiteralString) {
  EXPECT_EQ(EscapeLiteralString("a(b)"), "a\\(b\\)");
  EXPECT_EQ(EscapeLiteralString("ab\tc"), "ab\\tc");
  EXPECT_EQ(EscapeLiteralString("\b\f\n\r"), "\\b\\f\\n\\r");
  EXPECT_EQ(EscapeLiteralString(std::string("\0\x80\xFF", 3)), std::string("\0\x80\xFF", 3));

  // Every byte survives the round trip, and the output never holds a bare
  // delimiter or control character that would break the string.
  std::string Escaped = EscapeLiteralString(AllBytes());
  EXPECT_EQ(UnescapeLiteralString(Escaped), AllBytes());
  for (char C : std::string("\t\n\r\b\f")) EXPECT_EQ(Escaped.find(C), std::string::npos);
}

TEST(TextUtils, HexBytes) {
  EXPECT_EQ(HexToBytes("48656C6c6F"), "Hello");
  EXPECT_EQ(HexToBytes("4 8\n6x5"), "He");
  EXPECT_EQ(HexToBytes("414"), "A@");  // a lone last digit is a high nibble
  EXPECT_EQ(BytesToHex(std::string("\x00\x0F\xA5\xFF", 4)), "000FA5FF");
  EXPECT_EQ(HexToBytes(BytesToHex(AllBytes())), AllBytes());

  EXPECT_TRUE(IsHexText(""));
  EXPECT_FALSE(IsHexText(" 1"));
  EXPECT_EQ(HexToByte("1Ff"), 0xFF);
  uint8_t V = 7;
  EXPECT_FALSE(HexToByte("4G", V));
  EXPECT_EQ(V, 0);
}

TEST(TextUtils, HexTextToUnicode) {
  // Without a byte-order mark: bytes through the ANSI code page.
  EXPECT_EQ(HexTextToUnicode("80 E9"), u"\u20AC\u00E9");
  EXPECT_EQ(HexTextToUnicode("FEF"), u"\u00FE\u00F0");
  EXPECT_EQ(HexTextToUnicode("FEFF00410042"), u"AB");
  EXPECT_EQ(HexTextToUnicode("feff00e9"), u"\u00E9");
  EXPECT_EQ(HexTextToUnicode("FEFFD83DDE00"), u"\U0001F600");
  EXPECT_EQ(HexTextToUnicode("FEFF"), u"");
  // An embedded mark is skipped; the length stays one unit per four digits.
  EXPECT_EQ(HexTextToUnicode("FEFF0041FEFF0042"), std::u16string(u"AB\0", 3));
  // One mark a step: the next group is a unit even when it reads FEFF too.
  EXPECT_EQ(HexTextToUnicode("FEFFFEFFFEFF0041"), std::u16string(u"\uFEFFA\0", 3));
  // An incomplete last group yields nothing.
  EXPECT_EQ(HexTextToUnicode("FEFF004100"), u"A");
  EXPECT_EQ(HexTextToUnicode("FEFF0041.0042"), u"A.B");

  // At most 999 digits after the mark are read.
  std::string Long = "FEFF";
  for (int K = 0; K < 300; ++K) Long += "0041";
  EXPECT_EQ(HexTextToUnicode(Long), std::u16string(249, u'A'));
}

TEST(TextUtils, FloatText) {
  EXPECT_EQ(FloatToTextDot(0), "0");
  EXPECT_EQ(FloatToTextDot(-0.001), "-0.001");
  EXPECT_EQ(FloatToTextDot(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToTextDot(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToTextDot(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToTextDot(1e15), "1E15");
  EXPECT_EQ(FloatToTextDot(-2.5e-10), "-2.5E-10");

  EXPECT_EQ(FloatToTextFmtDot(-0.001, ffFixed, 15, 2), "0.00");
  EXPECT_EQ(FloatToTextFmtDot(2.7, ffFixed, 15, 0), "3");
  EXPECT_EQ(FloatToTextFmtDot(1234567.891, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(FloatToTextFmtDot(1234.56, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(FloatToTextFmtDot(1.0 / 3, ffGeneral, 5, 0), "0.33333");
  // Places past the significant digits are zeros, not the double's binary tail.
  EXPECT_EQ(FloatToTextFmtDot(5000000.123, ffFixed, 15, 10), "5000000.1230000000");
  EXPECT_EQ(RealToPDFText(987654.3211), "987654.3211000000");

  EXPECT_EQ(TextToFloatDot(" -2.25 "), -2.25);
  EXPECT_EQ(TextToFloatDot("+.5"), 0.5);
  EXPECT_EQ(TextToFloatDot("1e3"), 1000);
  EXPECT_EQ(TextToFloatDot("1e-400"), 0);
  EXPECT_EQ(TextToFloatDot("0.0001e-400"), 0);
  for (const char* Bad :
       {"", "1,5", "abc", "inf", "nan", "0x10", "1e", "--1", "1.5x", "1e400", "0.5e400", ".5e400"})
    ExpectError<EConvertError>([&] { TextToFloatDot(Bad); },
                               "'" + std::string(Bad) + "' is not a valid floating point value");
}

namespace {

// Switches the process locale for one test and always switches it back.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* Name) : FActive(std::setlocale(LC_ALL, Name) != nullptr) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, "C"); }
  bool Active() const { return FActive; }

 private:
  bool FActive;
};

void ExpectDotNumbers() {
  EXPECT_EQ(FloatToTextDot(1.5), "1.5");
  EXPECT_EQ(FloatToTextFmtDot(1234.5, ffNumber, 15, 1), "1,234.5");
  EXPECT_EQ(RealToPDFText(0.5), "0.5000000000");
  EXPECT_EQ(TvxPDFRealObject(-2.5).AsText(), "-2.5000000000");
  EXPECT_EQ(TextToFloatDot("2.5"), 2.5);
  EXPECT_EQ(ColorToPDFText(MakeColor(128, 128, 128)), "0.5020 0.5020 0.5020");
}

}  // namespace

TEST(TextUtils, NumberTextIgnoresLocale) {
  ExpectDotNumbers();
  {
    LocaleGuard German("de_DE.UTF-8");
    if (German.Active()) {
      ASSERT_STREQ(std::localeconv()->decimal_point, ",");
      ExpectDotNumbers();
    } else {
      std::printf("locale de_DE.UTF-8 not installed: comma locale not exercised\n");
    }
  }
  EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}

TEST(TextUtils, ColorText) {
  EXPECT_EQ(ColorToPDFText(MakeColor(255, 0, 0)), "1.0000 0.0000 0.0000");
  EXPECT_EQ(ColorToPDFText(MakeColor(0, 0, 255)), "0.0000 0.0000 1.0000");
  EXPECT_EQ(ColorToPDFText(MakeColor(128, 128, 128)), "0.5020 0.5020 0.5020");

  // System colours resolve to their current RGB value first.
  EXPECT_EQ(ColorToPDFText(clWindow), "1.0000 1.0000 1.0000");
  EXPECT_EQ(ColorToPDFText(clBtnFace), "0.8314 0.8157 0.7843");
  EXPECT_EQ(ResolveSystemColor(clHighlight), MakeColor(10, 36, 106));
}
