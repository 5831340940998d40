// Stamping costs work in proportion to the file: decoded data has one
// allowance per operation, pages sharing a /Contents array share its copy,
// a page listed many times is stamped in linear time, and no number in the
// content stream takes the exponent form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxDecodeLimit.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/fake_fonts.h"
#include "support/hostile_files.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

class BoundedWorkTest : public testing::Test {
 protected:
  BoundedWorkTest() {
    T.Text = u"Draft";
    T.Font->Name = "HalfEm Sans";
    T.Font->Size = 36;
  }
  TvxPDFArrayObject* Contents(TvxCustomPDFDocument& Doc, int32_t P) {
    auto* Page =
        static_cast<TvxPDFDictObject*>(Doc.Pages()[static_cast<size_t>(P - 1)]->Value.get());
    TvxPDFObject* C = Doc.Store().Resolve(Page->Lookup("/Contents"));
    return C && C->IsArray() ? static_cast<TvxPDFArrayObject*>(C) : nullptr;
  }
  std::string StreamText(TvxCustomPDFDocument& Doc, const TvxPDFObject* Ref) {
    TvxPDFObject* S = Doc.Store().Resolve(const_cast<TvxPDFObject*>(Ref));
    return S && S->IsStream() ? static_cast<TvxPDFStreamObject*>(S)->Data.ReadAll() : "";
  }

  vxtest::UseHalfEmFonts Fonts;
  TvxTextWatermarkTemplate T;
};

}  // namespace

// Each stream alone is far below the ceiling of one stream; together they
// pass what the file's size allows, and the overlay, which reads every
// page's content, stops with a clear error instead.
TEST_F(BoundedWorkTest, DecodedDataHasOneAllowancePerOperation) {
  TvxScopedDecodeLimit Limit(1 << 20);
  const std::string Many = vxtest::PagesWithLargeContents(60, 512 * 1024);
  ASSERT_LT(Many.size(), 64u * 1024);
  T.Overlay = true;
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Many));
  ASSERT_EQ(Doc.PageCount(), 60);
  const std::string Message =
      "Decoded stream data of the document exceeds its allowance of " +
      std::to_string(DecodeAllowanceFor(static_cast<int64_t>(Many.size()))) + " bytes";
  vxtest::ExpectError<EDecodeLimitError>([&] { Doc.InsertWatermark(T); }, Message);

  // A few such pages are within the allowance, and each operation has its
  // own: stamping twice works.
  TvxPDFDocument Few;
  ASSERT_TRUE(Few.LoadFromMemory(vxtest::PagesWithLargeContents(2, 512 * 1024)));
  Few.InsertWatermark(T);
  TvxTextWatermarkTemplate Again;
  Again.Text = u"Again";
  Again.Font->Name = "HalfEm Sans";
  Again.Overlay = true;
  Few.InsertWatermark(Again);
  EXPECT_EQ(Contents(Few, 1)->Count(), 5);  // q, the page, Q, two watermarks
}

TEST_F(BoundedWorkTest, PagesSharingAContentsArrayShareItsCopy) {
  const std::string Shared = vxtest::PagesSharingOneContentsArray(200, 400);
  for (bool Over : {false, true}) {
    SCOPED_TRACE(Over ? "over" : "under");
    T.Overlay = Over;
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(Shared));
    Doc.InsertWatermark(T);
    // A copy of the 400 references for each of 200 pages would be 80,000.
    const std::string Out = vxtest::Written(Doc);
    EXPECT_LT(Out.size(), 4 * Shared.size());
    TvxPDFDocument Again;
    ASSERT_TRUE(Again.LoadFromMemory(Out));
    for (int32_t P : {1, 100, 200}) {
      TvxPDFArrayObject* C = Contents(Again, P);
      ASSERT_NE(C, nullptr);
      const TvxPDFObject* Mark = Over ? C->GetItem(C->Count() - 1) : C->GetItem(0);
      EXPECT_NE(StreamText(Again, Mark).find("(Draft) Tj"), std::string::npos) << P;
      EXPECT_EQ(C->Count(), Over ? 403 : 401);
    }
  }
}

TEST_F(BoundedWorkTest, APageListedManyTimesGetsEveryWatermarkInOrder) {
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R] >>");
  B.Stream(4, "", "0 0 m 10 10 l S");
  const std::string One = B.FinishTable("/Root 1 0 R");
  std::string Range = "1";
  for (int I = 1; I < 3000; ++I) Range += ",1";
  for (bool Over : {false, true}) {
    SCOPED_TRACE(Over ? "over" : "under");
    T.Overlay = Over;
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(One));
    Doc.InsertWatermark(T, Range);
    TvxPDFArrayObject* C = Contents(Doc, 1);
    ASSERT_NE(C, nullptr);
    ASSERT_EQ(C->Count(), Over ? 3003 : 3001);
    // Under the content the last made comes first, as putting each in front
    // gives; over it, in the order made, after the wrapped page.
    auto Number = [&](int32_t I) {
      return static_cast<const TvxPDFIndirectReference*>(C->GetItem(I))->ObjectNumber;
    };
    if (Over) {
      EXPECT_LT(Number(3), Number(4));
      EXPECT_LT(Number(3001), Number(3002));
    } else {
      EXPECT_GT(Number(0), Number(1));
      EXPECT_GT(Number(2998), Number(2999));
      EXPECT_EQ(Number(3000), 4);
    }
  }
}

TEST_F(BoundedWorkTest, HugePageBoxesGiveNumbersWithoutExponents) {
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 4000000000000000000000.0 5000] >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  T.Font->Underline = true;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  Doc.InsertWatermark(T);
  TvxPDFArrayObject* C = Contents(Doc, 1);
  ASSERT_NE(C, nullptr);
  const std::string Text = StreamText(Doc, C->GetItem(0));
  ASSERT_NE(Text.find(" Tm\r"), std::string::npos);
  for (const char* Exponent : {"E+", "E-", "e+", "e-"})
    EXPECT_EQ(Text.find(Exponent), std::string::npos) << Text;
  EXPECT_NE(Text.find(" 2000000000000000000000.000 "), std::string::npos) << Text;
}

// Tiling draws a grid for each page size: pages of ever new sizes with a
// tiny font cannot make the output grow without bound. Past the call's
// allowance each new size gets the middle copy only.
TEST_F(BoundedWorkTest, TilingPagesOfManySizesStaysWithinItsAllowance) {
  vxtest::PdfBuilder B;
  constexpr int Pages = 400;
  std::string Kids;
  for (int I = 0; I < Pages; ++I) Kids += std::to_string(10 + I) + " 0 R ";
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>");
  for (int I = 0; I < Pages; ++I)
    B.Object(10 + I, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(2000 + I) +
                         " 2000] >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  T.Font->Size = 1;
  T.Text = u"x";
  T.Tile = true;
  Doc.InsertWatermark(T);
  const std::string Out = vxtest::Written(Doc);
  size_t Copies = 0;
  for (size_t At = Out.find(") Tj"); At != std::string::npos; At = Out.find(") Tj", At + 1))
    ++Copies;
  // Without the allowance every one of the 400 forms would hold its whole
  // grid of several thousand copies.
  EXPECT_GT(Copies, 20000u);
  EXPECT_LE(Copies, 20000u + 64 * Pages + Pages);
}

// A box too large for doubles to measure: sizing and tiling give up on it
// without a grid of NaNs or a cast out of range.
TEST_F(BoundedWorkTest, BoxesBeyondDoublesAreStampedWithoutTiles) {
  const std::string Huge = std::string(308, '9') + ".0";
  vxtest::PdfBuilder B;
  B.PageTree({3, 4});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [-" + Huge + " -" + Huge + " " + Huge + " " +
                  Huge + "] >>");
  B.Object(4,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Huge + " " + Huge + "] /Rotate 90 >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  T.Tile = true;
  T.Scale = 50;
  Doc.InsertWatermark(T);
  TvxPDFDocument Again;
  EXPECT_TRUE(Again.LoadFromMemory(vxtest::Written(Doc)));
  EXPECT_EQ(Again.PageCount(), 2);
}
