#include <gtest/gtest.h>
#include <zlib.h>

#include "pdf/filters/vxFlateFilter.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "tests/filters/filter_test_helpers.h"

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
