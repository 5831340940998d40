#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/vxCodePage.h"

using namespace vx;

namespace {

std::string AllBytes() {
  std::string S;
  for (int B = 0; B < 256; ++B) S.push_back(static_cast<char>(B));
  return S;
}

// One byte through the system's iconv, as an independent reading of the
// code page; 0 when iconv does not know the byte.
char16_t IconvCp1252(uint8_t B) {
  iconv_t Cd = iconv_open("UTF-16LE", "CP1252");
  if (Cd == reinterpret_cast<iconv_t>(-1)) return 0;
  char In = static_cast<char>(B);
  unsigned char Out[4] = {};
  char* InPtr = &In;
  char* OutPtr = reinterpret_cast<char*>(Out);
  size_t InLeft = 1, OutLeft = sizeof(Out);
  size_t R = iconv(Cd, &InPtr, &InLeft, &OutPtr, &OutLeft);
  iconv_close(Cd);
  if (R == static_cast<size_t>(-1) || OutLeft != 2) return 0;
  return static_cast<char16_t>(Out[0] | Out[1] << 8);
}

}  // namespace

TEST(CodePage, Windows1252IsLosslessForAllBytes) {
  EXPECT_EQ(CodePageService().AnsiCodePage(), 1252u);
  std::u16string U = AnsiToUnicode(AllBytes());
  ASSERT_EQ(U.size(), 256u);
  for (int B : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(U[B], B) << std::hex << B;
  EXPECT_EQ(U[0x41], u'A');
  EXPECT_EQ(U[0x80], 0x20AC);
  EXPECT_EQ(U[0x9F], 0x0178);
  EXPECT_EQ(U[0xFF], 0x00FF);
  EXPECT_EQ(UnicodeToAnsi(U), AllBytes());
}

TEST(CodePage, Windows1252AgreesWithIconv) {
  if (IconvCp1252('A') != u'A') GTEST_SKIP() << "iconv has no CP1252";
  for (int B = 0x80; B <= 0xFF; ++B) {
    char16_t Expected = IconvCp1252(static_cast<uint8_t>(B));
    if (Expected == 0) continue;  // one of the five bytes iconv leaves undefined
    EXPECT_EQ(Cp1252ToUnicode(static_cast<uint8_t>(B)), Expected) << std::hex << B;
  }
}

TEST(CodePage, UnmappableTextBecomesQuestionMarks) {
  EXPECT_EQ(UnicodeToCp1252(0x0100), -1);
  EXPECT_EQ(UnicodeToAnsi(u"a\u4E2D\u20ACb"),
            "a?\x80"
            "b");
}

TEST(CodePage, OtherCodePages) {
  const TvxCodePageService& S = CodePageService();
  if (S.ToUnicode("\x82\xA0", 932).empty()) GTEST_SKIP() << "iconv has no CP932";
  EXPECT_EQ(S.ToUnicode("\x82\xA0"
                        "A",
                        932),
            u"\u3042A");
  EXPECT_EQ(S.FromUnicode(u"\u3042A", 932),
            "\x82\xA0"
            "A");
  EXPECT_EQ(S.ToUnicode("\xC6", 1251), u"\u0416");
  EXPECT_EQ(S.FromUnicode(u"\u0416", 1251), "\xC6");
  EXPECT_EQ(S.FromUnicode(u"\U0001F600", 65001), "\xF0\x9F\x98\x80");
  // Bad input is replaced and conversion goes on.
  EXPECT_EQ(S.ToUnicode("a\xFF"
                        "b",
                        65001),
            u"a\uFFFDb");
  EXPECT_EQ(S.FromUnicode(u"x\u00E9y", 932), "x?y");
  // Code page 0 is the ANSI code page.
  EXPECT_EQ(S.ToUnicode("\x80", 0), u"\u20AC");
}
