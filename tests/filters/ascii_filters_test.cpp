#include <gtest/gtest.h>

#include "pdf/filters/vxAsciiFilters.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vx::test::Bytes;
using vxtest::ExpectError;

namespace {

std::string HexDecode(const std::string& S) {
  return TvxAsciiHexFilter().DecodeString(S);
}
std::string A85Decode(const std::string& S) {
  return TvxAscii85Filter().DecodeString(S);
}

TEST(AsciiHexFilter, DecodesAndRejects) {
  EXPECT_EQ(HexDecode("41 42>"), "AB");
  EXPECT_EQ(HexDecode("4\r\n1\t42>"), "AB");
  EXPECT_EQ(HexDecode("6a6B>"), "jk");
  EXPECT_EQ(HexDecode("414>"), "A\x40");
  EXPECT_EQ(HexDecode("41>42>"), "A");
  ExpectError<Exception>([] { HexDecode("4142"); }, "EndOfData marker is wrong");
  ExpectError<Exception>([] { HexDecode("41\f42>"); }, "Illeagal character within stream");
  ExpectError<Exception>([] { HexDecode("4G>"); }, "Illeagal character within stream");
}

TEST(Ascii85Filter, DecodesGroupsZerosAndPartialGroups) {
  EXPECT_EQ(A85Decode("9jqo^Bla~>"), "Man is");
  EXPECT_EQ(A85Decode("9jq o^\r\nB\tla~>"), "Man is");
  EXPECT_EQ(A85Decode("z~>"), std::string(4, '\0'));
  EXPECT_EQ(A85Decode("~>"), "");
  EXPECT_EQ(A85Decode("s8W-!~>"), Bytes({255, 255, 255, 255}));
  // Made by a standard encoder from 0x41 0x00: padded with "u", not "!".
  EXPECT_EQ(A85Decode("5l^~>"), Bytes({0x41, 0x00}));
}

TEST(Ascii85Filter, Rejects) {
  ExpectError<Exception>([] { A85Decode("87cUR"); }, "EndOfData marker is wrong");
  ExpectError<Exception>([] { A85Decode("87z~>"); }, "\"z\" found at inappropriate position");
  ExpectError<Exception>([] { A85Decode("87cU~RD~>"); }, "Illeagal character within stream");
  ExpectError<Exception>([] { A85Decode("87cURD~>"); }, "Single Final Character");
  // Above 2^32 - 1, whole or once padded.
  ExpectError<Exception>([] { A85Decode("s8W-\"~>"); }, "ASCII85 group out of range");
  ExpectError<Exception>([] { A85Decode("uu~>"); }, "ASCII85 group out of range");
}

}  // namespace
