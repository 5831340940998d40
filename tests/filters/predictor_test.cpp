#include <gtest/gtest.h>

#include <climits>

#include "pdf/filters/vxPredictor.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vx::test::Bytes;
using vxtest::ExpectError;

namespace {

// PNG-filters Rows (each RowBytes long), every row with Tag.
std::string PngEncode(const std::string& Rows, size_t RowBytes, size_t Bpp, uint8_t Tag) {
  std::string Out, Prev(RowBytes, '\0');
  for (size_t Start = 0; Start < Rows.size(); Start += RowBytes) {
    const auto* Cur = reinterpret_cast<const uint8_t*>(Rows.data() + Start);
    const auto* Up = reinterpret_cast<const uint8_t*>(Prev.data());
    Out.push_back(static_cast<char>(Tag));
    for (size_t X = 0; X < RowBytes; ++X) {
      int A = X >= Bpp ? Cur[X - Bpp] : 0, B = Up[X], C = X >= Bpp ? Up[X - Bpp] : 0;
      int P = Tag == 1   ? A
              : Tag == 2 ? B
              : Tag == 3 ? (A + B) / 2
              : Tag == 4 ? PaethPredictor(A, B, C)
                         : 0;
      Out.push_back(static_cast<char>(Cur[X] - P));
    }
    Prev.assign(Rows, Start, RowBytes);
  }
  return Out;
}

std::string Png(const std::string& Data, int32_t Columns) {
  TvxMemoryStream S(Data);
  return ApplyPNGPredictor(S, Columns)->DataString();
}

TEST(PNGPredictor, PaethPicksTheClosestNeighbour) {
  EXPECT_EQ(PaethPredictor(20, 10, 10), 20);  // left
  EXPECT_EQ(PaethPredictor(10, 20, 10), 20);  // above
  EXPECT_EQ(PaethPredictor(10, 20, 15), 15);  // above-left
  EXPECT_EQ(PaethPredictor(10, 40, 20), 40);  // tie of above and above-left: above
  EXPECT_EQ(PaethPredictor(255, 0, 255), 0);  // distances do not wrap
}

TEST(PNGPredictor, UndoesEveryTag) {
  // Cross-reference rows, Columns 4, all Up: the first row against zeros.
  EXPECT_EQ(Png(Bytes({2, 1, 0, 16, 0, 2, 0, 0, 1, 0, 2, 0, 0, 0, 255}), 4),
            Bytes({1, 0, 16, 0, 1, 0, 17, 0, 1, 0, 17, 255}));
  const std::string Rows = vx::test::MixedData(12 * 40, 21);
  for (uint8_t Tag = 0; Tag <= 4; ++Tag) {
    EXPECT_EQ(Png(PngEncode(Rows, 12, 1, Tag), 12), Rows) << int{Tag};
    // Three components: "left" is three bytes back.
    TvxPredictorParams P{.Predictor = 11, .Colors = 3, .BitsPerComponent = 8, .Columns = 4};
    EXPECT_EQ(ApplyPredictor(PngEncode(Rows, 12, 3, Tag), P), Rows) << int{Tag};
  }
}

TEST(PNGPredictor, ShortFinalRow) {
  // Columns 5, 14 bytes: two whole rows, then a tag and one byte; the rest of
  // the third row comes from the raw bytes the second row left behind.
  EXPECT_EQ(Png(Bytes({0, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1, 1, 9}), 5),
            Bytes({1, 2, 3, 4, 5, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13}));
  // With decode parameters a short row yields only its own bytes.
  TvxPredictorParams P{.Predictor = 12, .Colors = 1, .BitsPerComponent = 8, .Columns = 5};
  EXPECT_EQ(ApplyPredictor(Bytes({0, 1, 2, 3, 4, 5, 2, 1, 1, 1, 1, 1, 1, 9}), P),
            Bytes({1, 2, 3, 4, 5, 2, 3, 4, 5, 6, 9}));
  EXPECT_EQ(Png(Bytes({0, 7, 2}), 1), Bytes({7, 14}));
  // Rows are never longer than the data, whatever /Columns says.
  EXPECT_EQ(Png(Bytes({1, 1, 1, 1}), 100000000), Bytes({1, 2, 3}));
}

TEST(PNGPredictor, RejectsBadTagsAndParameters) {
  ExpectError<EImproperPNGAlgorithm>(
      [] {
        Png(Bytes({0, 1, 5, 1}), 1);
      },
      "Improper PNG algorithm tag in stream");
  ExpectError<EInvalidDecodeParms>(
      [] {
        Png(Bytes({0, 1}), INT32_MAX);
      },
      "Invalid decode parameters (/Columns 2147483647)");
  const std::pair<TvxPredictorParams, const char*> Bad[] = {
      {{.Predictor = 5}, "(/Predictor 5)"},
      {{.Predictor = 12, .Columns = 0}, "(/Columns 0)"},
      {{.Predictor = 12, .Colors = 32, .BitsPerComponent = 16, .Columns = INT32_MAX},
       "(/Columns 2147483647)"},
  };
  // Structured bindings cannot be captured by clang 14's lambdas.
  for (const auto& Case : Bad) {
    const TvxPredictorParams& P = Case.first;
    ExpectError<EInvalidDecodeParms>(
        [&] {
          ApplyPredictor(Bytes({0, 1}), P);
        },
        std::string("Invalid decode parameters ") + Case.second);
  }
}

TEST(TIFFPredictor, AddsEachSampleToTheOneBefore) {
  TvxPredictorParams P{.Predictor = 2, .Colors = 2, .BitsPerComponent = 8, .Columns = 3};
  EXPECT_EQ(ApplyPredictor(Bytes({10, 20, 1, 2, 255, 1, 5, 5, 0, 0, 1, 1}), P),
            Bytes({10, 20, 11, 22, 10, 23, 5, 5, 5, 5, 6, 6}));
  // One bit, six columns: the two padding bits are left alone.
  P = {.Predictor = 2, .Colors = 1, .BitsPerComponent = 1, .Columns = 6};
  EXPECT_EQ(ApplyPredictor(Bytes({0x83, 0x80}), P), Bytes({0xFF, 0xFC}));
}

}  // namespace
