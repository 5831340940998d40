#include <gtest/gtest.h>

#include <vector>

#include "pdf/filters/vxRLEFilter.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vx::test::Bytes;
using vxtest::ExpectError;

namespace {

std::string Encode(const std::string& S) {
  return TvxRLEFilter().EncodeString(S);
}
std::string Decode(const std::string& S) {
  return TvxRLEFilter().DecodeString(S);
}

TEST(RLEFilter, EncodesRunsPairsAndLiterals) {
  EXPECT_EQ(Encode(std::string(6, 'x')), Bytes({251, 'x', 128}));
  EXPECT_EQ(Encode("aab"), Bytes({255, 'a', 0, 'b', 128}));
  EXPECT_EQ(Encode(std::string(130, 'x')), Bytes({129, 'x', 255, 'x', 128}));
  EXPECT_EQ(Encode("abbcc"), Bytes({0, 'a', 255, 'b', 255, 'c', 128}));  // pair before a run
  EXPECT_EQ(Encode(""), Bytes({128}));
  std::string Distinct;
  for (int I = 0; I < 300; ++I) Distinct.push_back(static_cast<char>(I % 251));
  EXPECT_EQ(Decode(Encode(Distinct)), Distinct);  // literals split at 128
}

TEST(RLEFilter, RoundTripsMixedData) {
  for (uint32_t Seed = 1; Seed <= 40; ++Seed) {
    const std::string Data = vx::test::MixedData(1 + Seed * 97, Seed);
    ASSERT_EQ(Decode(Encode(Data)), Data) << "seed " << Seed;
  }
}

TEST(RLEFilter, DecodeRejectsBrokenData) {
  EXPECT_EQ(Decode(Bytes({128})), "");
  ExpectError<Exception>([] { Decode(""); }, "EndOfData Marker is wrong");
  ExpectError<Exception>([] { Decode(Bytes({0, 'a'})); }, "EndOfData Marker is wrong");
  ExpectError<Exception>(
      [] {
        Decode(Bytes({0, 'a', 128, 0, 'b', 128}));
      },
      "Premature EndOfData Marker found");
  ExpectError<Exception>([] { Decode(Bytes({2, 'a', 'b', 128})); }, "Unexpected EndOfFile found");
  ExpectError<Exception>([] { Decode(Bytes({0, 'a', 200, 128})); }, "Unexpected EndOfFile found");
}

}  // namespace

// Fed piece by piece (the writer reads large data that way), the encoder
// gives the bytes of the whole, whatever falls on a piece edge: a pair
// waiting for the byte after it, a run, a long literal.
TEST(RLEEncoder, PiecesGiveTheBytesOfTheWhole) {
  std::vector<std::string> Inputs = {"", "a", "aab", "abbcc", "abbc", std::string(300, 'z')};
  for (uint32_t Seed = 1; Seed <= 12; ++Seed) Inputs.push_back(vx::test::MixedData(5000, Seed));
  std::string Distinct;
  for (int I = 0; I < 1000; ++I) Distinct.push_back(static_cast<char>(I % 251));
  Inputs.push_back(Distinct);
  for (const std::string& Data : Inputs) {
    const std::string Whole = Encode(Data);
    ASSERT_EQ(Decode(Whole), Data);
    for (size_t Piece : {size_t{1}, size_t{2}, size_t{3}, size_t{127}, size_t{4096}}) {
      TvxRLEEncoder E;
      std::string Out;
      for (size_t At = 0; At < Data.size(); At += Piece)
        E.Update(std::string_view(Data).substr(At, Piece), false, Out);
      E.Update({}, true, Out);
      ASSERT_EQ(Out, Whole) << Data.size() << " bytes in pieces of " << Piece;
    }
  }
}
