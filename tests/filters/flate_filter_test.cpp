#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "pdf/filters/vxFlateFilter.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

// What zlib's compress2 makes of Data (window bits 15, memory level 8).
std::string ZlibCompress(const std::string& Data, int Level) {
  uLongf Size = compressBound(static_cast<uLong>(Data.size()));
  std::string Out(Size, '\0');
  compress2(reinterpret_cast<Bytef*>(Out.data()), &Size,
            reinterpret_cast<const Bytef*>(Data.data()), static_cast<uLong>(Data.size()), Level);
  Out.resize(Size);
  return Out;
}

TEST(FlateFilter, LevelsMatchZlibAndRoundTrip) {
  // Several 10,240-byte decode chunks, compressible and not.
  for (const std::string& Data : {vx::test::MixedData(100000, 7), std::string()}) {
    const std::pair<TvxCompressionLevel, int> Levels[] = {
        {clNone, 0}, {clFastest, 1}, {clDefault, 6}, {clMax, 9}};
    for (auto [Level, Zlib] : Levels) {
      std::string Encoded = TvxFlateFilter().EncodeString(Data, Level);
      EXPECT_TRUE(Encoded == ZlibCompress(Data, Zlib)) << "level " << Zlib;
      EXPECT_TRUE(TvxFlateFilter().DecodeString(Encoded) == Data) << "level " << Zlib;
    }
    EXPECT_TRUE(TvxFlateFilter().EncodeString(Data) == ZlibCompress(Data, 6));
  }
}

TEST(FlateFilter, EarlyEndGivesWhatWasInflated) {
  const std::string Data = vx::test::MixedData(60000, 3);
  const std::string Encoded = ZlibCompress(Data, 6);
  std::string Partial = TvxFlateFilter().DecodeString(Encoded.substr(0, Encoded.size() / 2));
  EXPECT_GT(Partial.size(), 0u);
  EXPECT_LT(Partial.size(), Data.size());
  EXPECT_TRUE(Partial == Data.substr(0, Partial.size()));
  // Whatever follows the end of the zlib stream is not looked at.
  EXPECT_TRUE(TvxFlateFilter().DecodeString(Encoded + "\r\nendstream") == Data);
  EXPECT_EQ(TvxFlateFilter().DecodeString(""), "");
}

TEST(FlateFilter, CorruptDataRaisesZlibText) {
  ExpectError<EZDecompressionError>([] { TvxFlateFilter().DecodeString("not zlib"); },
                                    "data error");
  // A header that asks for a preset dictionary.
  ExpectError<EZDecompressionError>(
      [] {
        TvxFlateFilter().DecodeString(vx::test::Bytes({0x78, 0x20, 0, 0, 0, 1, 0x4B, 0x04, 0}));
      },
      "need dictionary");
}

}  // namespace

// The writer compresses data it reads from the source piece by piece: every
// split must give the bytes of the whole, at every level, across stored
// block edges and across window slides.
TEST(FlateEncoder, PiecesGiveTheBytesOfTheWhole) {
  std::mt19937 Rng(5);
  std::string Noise(200000, '\0');
  for (char& C : Noise) C = static_cast<char>(Rng());
  std::vector<std::string> Inputs = {std::string(),
                                     "x",
                                     vx::test::MixedData(65535, 1),
                                     vx::test::MixedData(65536, 2),
                                     vx::test::MixedData(131070, 3),
                                     Noise,
                                     vx::test::MixedData(3 << 20, 4)};
  for (const std::string& Data : Inputs) {
    for (TvxCompressionLevel Level : {clNone, clFastest, clDefault, clMax}) {
      const std::string Whole = TvxFlateFilter().EncodeString(Data, Level);
      for (size_t Piece : {size_t{1} << 20, size_t{65535}, size_t{7000}, size_t{1}}) {
        if (Piece == 1 && Data.size() > 70000) continue;  // slow, and no new edge
        SCOPED_TRACE(testing::Message()
                     << Data.size() << " bytes, level " << Level << ", pieces " << Piece);
        TvxFlateEncoder E(Level);
        std::string Out;
        for (size_t At = 0; At < Data.size(); At += Piece)
          E.Update(std::string_view(Data).substr(At, Piece), false, Out);
        E.Update({}, true, Out);
        ASSERT_TRUE(Out == Whole);
      }
    }
  }
}
