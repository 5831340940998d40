#include <gtest/gtest.h>

#include "pdf/filters/vxLZWFilter.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vx::test::Codes9;
using vx::test::LzwEncode;
using vxtest::ExpectError;

namespace {

std::string Decode(const std::string& S, bool EarlyChange = true) {
  return TvxLZWFilter(EarlyChange).DecodeString(S);
}

TEST(LZWFilter, DecodesTheStandardExample) {
  // ISO 32000-1, 7.4.4.2: "-----A---B".
  const std::string Encoded =
      vx::test::Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01});
  EXPECT_EQ(Decode(Encoded), "-----A---B");
  EXPECT_EQ(LzwEncode("-----A---B"), Encoded);
}

TEST(LZWFilter, RoundTripsThroughEveryCodeWidth) {
  // Fills the table twice over.
  const std::string Data = vx::test::MixedData(60000, 11);
  EXPECT_TRUE(Decode(LzwEncode(Data)) == Data);
  EXPECT_TRUE(Decode(LzwEncode(Data, {.EarlyChange = false}), false) == Data);
  // An encoder that codes on with a full table: the entries must stay.
  EXPECT_TRUE(Decode(LzwEncode(Data, {.ClearWhenFull = false})) == Data);
  EXPECT_TRUE(Decode(LzwEncode(Data, {.EndMarker = false})) == Data);
  EXPECT_EQ(Decode(""), "");
}

TEST(LZWFilter, EndMarkerAndLastByte) {
  EXPECT_EQ(Decode(LzwEncode("end marker") + "\xff\x13 garbage"), "end marker");
  // No end marker, nine bytes: the last byte holds the whole final code.
  const std::string Encoded = Codes9({'a', 'b', 'c', 'd', 'e', 'f', '\n'});
  ASSERT_EQ(Encoded.size(), 9u);
  EXPECT_EQ(Decode(Encoded), "abcdef\n");
}

TEST(LZWFilter, ClearForgetsWhatWasLearnt) {
  // After the second Clear, 258 is "y" and its own first byte, not "xy".
  TvxLZWFilter Filter;
  EXPECT_EQ(Filter.DecodeString(Codes9({'x', 256, 'y', 258, 257})), "xyyy");
  // The same object starts the next stream from a fresh table.
  EXPECT_EQ(Filter.DecodeString(Codes9({'y', 'x', 258, 257})), "yxyx");
}

TEST(LZWFilter, CodesBeyondTheTableRaise) {
  ExpectError<Exception>([] { Decode(Codes9({'a', 300})); }, "Invalid LZW code (300)");
  // The entry being defined may only follow a previous code.
  ExpectError<Exception>([] { Decode(Codes9({258})); }, "Invalid LZW code (258)");
}

}  // namespace
