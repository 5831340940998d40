#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/watermark/vxUnits.h"
#include "platform/vxScreen.h"
#include "support/expect_error.h"

using namespace vx;

namespace {

class FixedScreen : public TvxScreenService {
 public:
  explicit FixedScreen(int32_t Ppi) : FPpi(Ppi) {}
  int32_t LogicalPixelsPerInch() const override { return FPpi; }

 private:
  int32_t FPpi;
};

std::unique_ptr<TvxPDFArrayObject> Numbers(std::initializer_list<double> Values) {
  auto A = std::make_unique<TvxPDFArrayObject>();
  for (double V : Values) A->Add(std::make_unique<TvxPDFRealObject>(V));
  return A;
}

void ExpectRect(const TvxPDFRect& R, double Left, double Bottom, double Right, double Top) {
  EXPECT_DOUBLE_EQ(R.Left, Left);
  EXPECT_DOUBLE_EQ(R.Bottom, Bottom);
  EXPECT_DOUBLE_EQ(R.Right, Right);
  EXPECT_DOUBLE_EQ(R.Top, Top);
}

}  // namespace

TEST(Units, ConvertThroughPointsPerTheTable) {
  EXPECT_DOUBLE_EQ(UnitToPoints(muMM, 10), 28.3464);
  EXPECT_DOUBLE_EQ(PointsToUnit(muInches, 792), 11);
  EXPECT_DOUBLE_EQ(UnitToPoints(muTwips, 20), 1);
  EXPECT_DOUBLE_EQ(PointsToUnit(muPoints, 12.5), 12.5);
  for (TvxMeasurementUnit U : {muPixels, muPoints, muInches, muMM, muTwips})
    EXPECT_NEAR(PointsToUnit(U, UnitToPoints(U, 123.456)), 123.456, 1e-9) << int(U);
}

TEST(Units, PixelsFollowTheScreenReadOnce) {
  // Nothing in the tests installs a screen before first use.
  ASSERT_EQ(PixelsPerInch(), DefaultPixelsPerInch);
  EXPECT_DOUBLE_EQ(UnitToPoints(muPixels, 96), 72);
  EXPECT_DOUBLE_EQ(PointsToPixels(612), 816);
  FixedScreen Late(120);
  SetScreenService(&Late);
  EXPECT_DOUBLE_EQ(PixelsToPoints(96), 72);
  SetScreenService(nullptr);
}

TEST(UnitsDeathTest, ScreenInstalledBeforeFirstUseDecides) {
  // A fresh process, so the resolution has not been read yet.
  const std::string Style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int32_t Reported : {120, 0}) {
    EXPECT_EXIT(
        {
          static FixedScreen Screen(Reported);
          SetScreenService(&Screen);
          int32_t Expected = Reported > 0 ? Reported : DefaultPixelsPerInch;
          std::exit(PixelsPerInch() == Expected && PointsToPixels(72) == Expected &&
                            PixelsToPoints(Expected) == 72
                        ? 0
                        : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << Reported;
  }
  GTEST_FLAG_SET(death_test_style, Style);
}

TEST(PageBox, CropBoxWinsOverMediaBoxAndReferencesAreFollowed) {
  TvxPDFObjectStore Store;
  Store.AddObject(std::make_unique<TvxPDFIndirectObject>(1, 7, 0, Numbers({0, 0, 612, 792})));
  Store.AddObject(
      std::make_unique<TvxPDFIndirectObject>(1, 8, 0, std::make_unique<TvxPDFIntegerObject>(36)));
  TvxPDFDictObject Page;
  Page.Add("/MediaBox", std::make_unique<TvxPDFIndirectReference>(1, 7, 0));
  ExpectRect(GetPageBoxOf(Page, Store), 0, 0, 612, 792);
  auto Crop = Numbers({18});
  Crop->Add(std::make_unique<TvxPDFIndirectReference>(1, 8, 0));
  Crop->AddInteger(594);
  Crop->AddInteger(756);
  Page.Add("/CropBox", std::move(Crop));
  ExpectRect(GetPageBoxOf(Page, Store), 18, 36, 594, 756);
}

TEST(PageBox, CropBoxIsTakenWheneverItIsAnArray) {
  TvxPDFObjectStore Store;
  // Not an array: the media box.
  std::vector<TvxPDFObjectPtr> NotArrays;
  NotArrays.push_back(std::make_unique<TvxPDFNullObject>());
  NotArrays.push_back(std::make_unique<TvxPDFIndirectReference>(1, 99, 0));  // not in the store
  for (TvxPDFObjectPtr& Crop : NotArrays) {
    TvxPDFDictObject Page;
    Page.Add("/MediaBox", Numbers({0, 0, 612, 792}));
    Page.Add("/CropBox", std::move(Crop));
    ExpectRect(GetPageBoxOf(Page, Store), 0, 0, 612, 792);
  }
  // An array, however odd, is the box: its area may be zero, and an element
  // that is no number (a name turned into a one-element array leaves three
  // missing) raises.
  TvxPDFDictObject Page;
  Page.Add("/MediaBox", Numbers({0, 0, 612, 792}));
  Page.Add("/CropBox", Numbers({10, 10, 10, 10}));
  ExpectRect(GetPageBoxOf(Page, Store), 10, 10, 10, 10);
  EXPECT_DOUBLE_EQ(GetPageSizeOf(Page, Store, muPoints).Width, 0);
  std::vector<TvxPDFObjectPtr> Bad;
  Bad.push_back(Numbers({0, 0, 300}));
  Bad.push_back(std::make_unique<TvxPDFNameObject>("/A4"));
  for (TvxPDFObjectPtr& Crop : Bad) {
    TvxPDFDictObject P;
    P.Add("/MediaBox", Numbers({0, 0, 612, 792}));
    P.Add("/CropBox", std::move(Crop));
    vxtest::ExpectError<EUnexpectedObjectError>([&] { GetPageBoxOf(P, Store); },
                                                "Unexpected PDF object encountered");
  }
  // An integer is neither an array nor a name.
  TvxPDFDictObject Int;
  Int.Add("/CropBox", std::make_unique<TvxPDFIntegerObject>(5));
  vxtest::ExpectError<EUnexpectedObjectError>([&] { GetPageBoxOf(Int, Store); },
                                              "Unexpected PDF object encountered");
}

TEST(PageBox, PageWithoutBoxFails) {
  TvxPDFObjectStore Store;
  TvxPDFDictObject Page;
  vxtest::ExpectError<EPDFFileCorruptedError>([&] { GetPageBoxOf(Page, Store); },
                                              "Page has no usable /MediaBox");
}

TEST(PageBox, SizeAndBoxInTheRequestedUnitWithCornersInOrder) {
  TvxPDFObjectStore Store;
  TvxPDFDictObject Page;
  Page.Add("/MediaBox", Numbers({612, 792, 0, 0}));
  TvxPageSize Px = GetPageSizeOf(Page, Store, muPixels);
  EXPECT_DOUBLE_EQ(Px.Width, 816);
  EXPECT_DOUBLE_EQ(Px.Height, 1056);
  ExpectRect(GetPageBoxOf(Page, Store, muInches), 0, 0, 8.5, 11);
  Page.Add("/CropBox", Numbers({72, 144, 540, 720}));
  TvxPageSize Crop = GetPageSizeOf(Page, Store, muPoints);
  EXPECT_DOUBLE_EQ(Crop.Width, 468);
  EXPECT_DOUBLE_EQ(Crop.Height, 576);
}
