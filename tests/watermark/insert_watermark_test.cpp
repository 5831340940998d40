// InsertWatermark on small documents, with fonts of known metrics.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "platform/vxClock.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/fake_fonts.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;

namespace {

// Page 1: a font of its own and one stream; page 2: no resources, no
// content; page 3: a crop box away from the origin, /Resources with a null
// /Font.
std::string ThreePages() {
  vxtest::PdfBuilder B;
  B.PageTree({3, 4, 5}, "", "/MediaBox [0 0 612 792]");
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /Contents 10 0 R "
           "/Resources << /Font << /F1 20 0 R >> >> >>");
  B.Object(4, "<< /Type /Page /Parent 2 0 R >>");
  B.Object(5,
           "<< /Type /Page /Parent 2 0 R /CropBox [100 100 500 700] /Contents 10 0 R "
           "/Resources << /Font null >> >>");
  B.Stream(10, "", "BT /F1 12 Tf 72 720 Td (Page) Tj ET");
  B.Object(20, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return B.FinishTable("/Root 1 0 R");
}

class InsertWatermarkTest : public testing::Test {
 protected:
  InsertWatermarkTest() {
    RandomSeed(11);
    EXPECT_TRUE(Doc.LoadFromMemory(ThreePages()));
    Doc.MeasurementUnit = muPoints;
    T.Text = u"Draft";
    T.Font->Name = "HalfEm Sans";
    T.Font->Size = 36;
  }
  TvxPDFDictObject& Page(int32_t P) {
    return *static_cast<TvxPDFDictObject*>(Doc.Pages()[static_cast<size_t>(P - 1)]->Value.get());
  }
  TvxPDFArrayObject* Contents(int32_t P) {
    TvxPDFObject* C = Doc.Store().Resolve(Page(P).Lookup("/Contents"));
    return C && C->IsArray() ? static_cast<TvxPDFArrayObject*>(C) : nullptr;
  }
  // The content text of the watermark streams on page P, in /Contents order
  // (streams that are not watermarks are left out).
  std::vector<std::string> Watermarks(int32_t P) {
    std::vector<std::string> Texts;
    TvxPDFArrayObject* A = Contents(P);
    if (!A) return Texts;
    for (const auto& Item : A->Items) {
      TvxPDFObject* S = Doc.Store().Resolve(Item.get());
      if (!S || !S->IsStream()) continue;
      const std::string& Data = static_cast<TvxPDFStreamObject*>(S)->Data->DataString();
      if (Data.rfind("q\rBT\r", 0) == 0) Texts.push_back(Data);
    }
    return Texts;
  }
  TvxPDFDictObject* Resources(int32_t P, const char* Category) {
    TvxPDFObject* R = Doc.Store().Resolve(Page(P).Lookup("/Resources"));
    if (!R || !R->IsDict()) return nullptr;
    TvxPDFObject* D = Doc.Store().Resolve(static_cast<TvxPDFDictObject*>(R)->Lookup(Category));
    return D && D->IsDict() ? static_cast<TvxPDFDictObject*>(D) : nullptr;
  }
  // The operand of " Tf" in a content text.
  static std::string FontNameOf(const std::string& Content) {
    size_t Tf = Content.find(" 36 Tf\r");
    size_t Start = Content.rfind('\r', Tf) + 1;
    return Content.substr(Start, Tf - Start);
  }

  vxtest::UseHalfEmFonts Fonts;
  TvxPDFDocument Doc;
  TvxTextWatermarkTemplate T;
};

}  // namespace

TEST_F(InsertWatermarkTest, EmptyTextChangesNothingWhateverTheRange) {
  T.Text.clear();
  int32_t Objects = Doc.Store().Count();
  Doc.InsertWatermark(T, "no such range");
  EXPECT_EQ(Doc.Store().Count(), Objects);
  EXPECT_TRUE(Watermarks(1).empty());
}

TEST_F(InsertWatermarkTest, EveryPageGetsOneStreamAndNamesAFontItHas) {
  Doc.InsertWatermark(T);
  for (int32_t P = 1; P <= 3; ++P) {
    SCOPED_TRACE(P);
    std::vector<std::string> W = Watermarks(P);
    ASSERT_EQ(W.size(), 1u);
    TvxPDFDictObject* Fonts = Resources(P, "/Font");
    ASSERT_NE(Fonts, nullptr);
    std::string Name = FontNameOf(W[0]);
    TvxPDFObject* Font = Doc.Store().Resolve(Fonts->Lookup(Name));
    ASSERT_NE(Font, nullptr) << Name;
    auto* BaseFont =
        static_cast<TvxPDFNameObject*>(static_cast<TvxPDFDictObject*>(Font)->Lookup("/BaseFont"));
    EXPECT_EQ(BaseFont->Text, "/HalfEmSans");
  }
  // The page's own /F1 stays.
  EXPECT_NE(Resources(1, "/Font")->Lookup("/F1"), nullptr);
  // Underlay: the watermark first; the blank page has it as its content.
  EXPECT_EQ(Contents(1)->Count(), 2);
  EXPECT_EQ(Contents(2)->Count(), 1);
  // Left and top of the crop box: one font size below its top.
  EXPECT_NE(Watermarks(3)[0].find(" 100.000 664.000 Tm\r"), std::string::npos) << Watermarks(3)[0];
}

TEST_F(InsertWatermarkTest, EverythingMadeIsStoredAndMarkedForOutput) {
  T.Opacity = 40;
  T.Overlay = true;
  Doc.InsertWatermark(T);
  for (int32_t P = 1; P <= 3; ++P) {
    for (const auto& Item : Contents(P)->Items) {
      TvxPDFIndirectObject* Obj = Doc.Store().FindObject(Item.get());
      ASSERT_NE(Obj, nullptr);
      EXPECT_GT(Obj->UseCount, 0);
    }
    TvxPDFDictObject* GS = Resources(P, "/ExtGState");
    ASSERT_NE(GS, nullptr);
    ASSERT_EQ(GS->Count(), 1);
    TvxPDFIndirectObject* State = Doc.Store().FindObject(GS->Values[0].get());
    ASSERT_NE(State, nullptr);
    EXPECT_GT(State->UseCount, 0);
    EXPECT_NE(Watermarks(P)[0].find(" " + GS->Keys[0]->Text + " gs \r"), std::string::npos);
  }
}

// Page 2 has no /Resources: they are made after its stream, the font and the
// opacity state before it; with opacity the page needs them for its state
// first.
TEST_F(InsertWatermarkTest, ResourcesOfABarePageAreMadeInTheirTurn) {
  auto NumberOf = [&](const TvxPDFObject* Ref) {
    return static_cast<const TvxPDFIndirectReference*>(Ref)->ObjectNumber;
  };
  auto Order = [&](int32_t Opacity) {
    TvxPDFDocument D;
    EXPECT_TRUE(D.LoadFromMemory(ThreePages()));
    D.MeasurementUnit = muPoints;
    T.Opacity = Opacity;
    D.InsertWatermark(T, "2");
    auto& Bare = *static_cast<TvxPDFDictObject*>(D.Pages()[1]->Value.get());
    auto* Res = static_cast<TvxPDFDictObject*>(D.Store().Resolve(Bare.Lookup("/Resources")));
    EXPECT_TRUE(Bare.Lookup("/Resources")->IsIndirectReference());
    auto* Fonts = static_cast<TvxPDFDictObject*>(Res->Lookup("/Font"));
    std::vector<int32_t> N{NumberOf(Fonts->Values[0].get())};
    if (auto* GS = static_cast<TvxPDFDictObject*>(Res->Lookup("/ExtGState")))
      N.push_back(NumberOf(GS->Values[0].get()));
    auto* Contents = static_cast<TvxPDFArrayObject*>(D.Store().Resolve(Bare.Lookup("/Contents")));
    const int32_t Stream = NumberOf(Contents->GetItem(0));
    const int32_t Resources = NumberOf(Bare.Lookup("/Resources"));
    return std::make_tuple(N, Stream, Resources);
  };
  auto [Made, Stream, Resources] = Order(100);
  ASSERT_EQ(Made.size(), 1u);
  EXPECT_LT(Made[0], Stream);
  EXPECT_EQ(Resources, Stream + 1);
  std::tie(Made, Stream, Resources) = Order(50);
  ASSERT_EQ(Made.size(), 2u);
  EXPECT_LT(Made[0], Made[1]);
  EXPECT_EQ(Resources, Made[1] + 1);
  EXPECT_EQ(Stream, Resources + 1);
}

TEST_F(InsertWatermarkTest, OpacityOf100MakesNoGraphicsState) {
  Doc.InsertWatermark(T);
  for (int32_t P = 1; P <= 3; ++P) {
    EXPECT_EQ(Resources(P, "/ExtGState"), nullptr);
    EXPECT_EQ(Watermarks(P)[0].find(" gs "), std::string::npos);
  }
}

TEST_F(InsertWatermarkTest, RangesKeepOrderAndRepeats) {
  Doc.InsertWatermark(T, "3,1");
  TvxPDFObject* On3 = Contents(3)->GetItem(0);
  TvxPDFObject* On1 = Contents(1)->GetItem(0);
  EXPECT_LT(static_cast<TvxPDFIndirectReference*>(On3)->ObjectNumber,
            static_cast<TvxPDFIndirectReference*>(On1)->ObjectNumber);
  EXPECT_TRUE(Watermarks(2).empty());
  Doc.InsertWatermark(T, "1,1");
  EXPECT_EQ(Watermarks(1).size(), 3u);
}

TEST_F(InsertWatermarkTest, BadRangesRaise) {
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.InsertWatermark(T, "4"); },
                                         "Invalid page number (4)");
  TvxTextWatermarkTemplate U;
  U.Text = u"x";
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.InsertWatermark(U, "2-9"); },
                                         "Invalid page range (2-9)");
}

TEST_F(InsertWatermarkTest, PageNumbersAndAngles) {
  T.Text = u"<%PageNo%> of <%totpage%>";
  T.Angle = 405;
  Doc.InsertWatermark(T);
  for (int32_t P = 1; P <= 3; ++P) {
    std::string W = Watermarks(P)[0];
    EXPECT_NE(W.find("(" + std::to_string(P) + " of 3) Tj"), std::string::npos) << W;
    EXPECT_NE(W.find("\r0.7071 0.7071 -0.7071 0.7071 "), std::string::npos) << W;
  }
  EXPECT_EQ(T.Angle, 45);
  TvxTextWatermarkTemplate U;
  U.Text = u"x";
  U.Font->Name = "HalfEm Sans";
  U.Angle = -45;
  Doc.InsertWatermark(U, "1");
  EXPECT_NE(Watermarks(1)[0].find("\r0.7071 -0.7071 0.7071 0.7071 "), std::string::npos);
}

TEST_F(InsertWatermarkTest, PagesWithTheSameBoxGetEqualContent) {
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  Doc.InsertWatermark(T);
  std::string W1 = Watermarks(1)[0], W2 = Watermarks(2)[0];
  // The same font name on both (page 2 had none: it got the new one).
  EXPECT_EQ(FontNameOf(W1), FontNameOf(W2));
  EXPECT_EQ(W1, W2);
  EXPECT_NE(W1, Watermarks(3)[0]);
  // The pages share the bytes, not the streams: one page's data changed
  // leaves the other's as it was, and a save writes each with its length.
  auto Stream = [&](int32_t P) {
    return static_cast<TvxPDFStreamObject*>(Doc.Store().Resolve(Contents(P)->GetItem(0)));
  };
  Stream(1)->Data->DataString() += "0 0 m";
  EXPECT_EQ(Watermarks(2)[0], W2);
  EXPECT_EQ(Watermarks(1)[0], W1 + "0 0 m");
  const std::string Saved = vxtest::Written(Doc);
  EXPECT_NE(Saved.find("/Length " + std::to_string(W1.size() + 5) + "\r\n>>\r\nstream\r\n" + W1 +
                       "0 0 m\r\nendstream"),
            std::string::npos);
  EXPECT_NE(Saved.find("/Length " + std::to_string(W2.size()) + "\r\n>>\r\nstream\r\n" + W2 +
                       "\r\nendstream"),
            std::string::npos);
}

TEST_F(InsertWatermarkTest, APageWithoutABoxIsNamed) {
  std::string Content;
  auto Stamp = [&](const std::string& Page) {
    vxtest::PdfBuilder B;
    B.PageTree({3});
    B.Object(3, Page);
    TvxPDFDocument D;
    EXPECT_TRUE(D.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
    T.Text = u"Draft";
    D.InsertWatermark(T);
    auto* C = static_cast<TvxPDFArrayObject*>(D.Store().Resolve(
        static_cast<TvxPDFDictObject*>(D.Pages()[0]->Value.get())->Lookup("/Contents")));
    Content =
        static_cast<TvxPDFStreamObject*>(D.Store().Resolve(C->GetItem(0)))->Data->DataString();
  };
  // No box, or boxes that are no arrays of four numbers.
  for (const char* Page :
       {"<< /Type /Page >>", "<< /Type /Page /MediaBox [0 0 612] >>",
        "<< /Type /Page /CropBox 5 /MediaBox [0 0 /a 792] >>",
        "<< /Type /Page /CropBox [0 0 612 (x)] >>", "<< /Type /Page /MediaBox 7 0 R >>"}) {
    SCOPED_TRACE(Page);
    vxtest::ExpectError<EPDFFileCorruptedError>([&] { Stamp(Page); },
                                                "Page 1 has no usable /CropBox or /MediaBox");
  }
  // A broken crop box gives way to the media box.
  Stamp("<< /Type /Page /CropBox [0 0 300] /MediaBox [0 0 400 500] >>");
  EXPECT_NE(Content.find(" 0.000 464.000 Tm\r"), std::string::npos) << Content;
}

TEST_F(InsertWatermarkTest, ALoadThatMayRepairTakesAPageWithoutABoxAsUSLetter) {
  for (const char* Page : {"<< /Type /Page >>", "<< /Type /Page /MediaBox [0 0 612] >>"}) {
    SCOPED_TRACE(Page);
    vxtest::PdfBuilder B;
    B.PageTree({3});
    B.Object(3, Page);
    TvxPDFDocument D;
    D.RepairDamaged = true;
    std::vector<std::string> Warnings;
    D.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
    ASSERT_TRUE(D.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
    EXPECT_EQ(Warnings, std::vector<std::string>{
                            "Page 1 has no usable /MediaBox; taken as US Letter (0 0 612 792)"});
    const TvxPDFRect Box = D.GetPageBox(1, muPoints);
    EXPECT_EQ(std::tie(Box.Left, Box.Bottom, Box.Right, Box.Top),
              std::make_tuple(0.0, 0.0, 612.0, 792.0));
    T.Text = u"Draft";
    D.InsertWatermark(T);
    EXPECT_NE(vxtest::Written(D).find("/MediaBox [ 0 0 612 792 ]"), std::string::npos);
  }
}

TEST_F(InsertWatermarkTest, ADocumentWithoutPagesSaysSo) {
  vxtest::PdfBuilder B;
  B.PageTree({});
  TvxPDFDocument D;
  ASSERT_TRUE(D.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  ASSERT_EQ(D.PageCount(), 0);
  vxtest::ExpectError<EInvalidPageError>([&] { D.InsertWatermark(T); },
                                         "The document has no pages");
  vxtest::ExpectError<EInvalidPageError>([&] { D.InsertWatermark(T, "1"); },
                                         "The document has no pages");
}

TEST_F(InsertWatermarkTest, CustomOffsetsRunFromTheTopLeftOfEachBoxInTheUnit) {
  Doc.MeasurementUnit = muMM;
  T.HorizontalPosition = hpCustom;
  T.VerticalPosition = vpCustom;
  T.X = 10;  // 28.3464 points
  T.Y = 20;  // 56.6928 points down from the top
  Doc.InsertWatermark(T);
  // The first baseline one font size below the given point.
  EXPECT_NE(Watermarks(1)[0].find(" 28.346 699.307 Tm\r"), std::string::npos) << Watermarks(1)[0];
  EXPECT_NE(Watermarks(3)[0].find(" 128.346 607.307 Tm\r"), std::string::npos) << Watermarks(3)[0];
}

namespace {

class FixedClock : public TvxClockService {
 public:
  std::u16string FormatNow(TvxDateTimeFormat Format) const override {
    static const char16_t* const Texts[] = {u"07/12/2026", u"11:20", u"Monday, 7 December 2026",
                                            u"11:20:07"};
    return Texts[Format];
  }
};

}  // namespace

TEST_F(InsertWatermarkTest, DatesAndTimesComeFromTheClock) {
  FixedClock Clock;
  SetClockService(&Clock);
  T.Text = u"<%ShortDate%> <%shorttime%>|<%LongDate%>|<%LongTime%>";
  Doc.InsertWatermark(T, "1");
  SetClockService(nullptr);
  EXPECT_NE(Watermarks(1)[0].find("(07/12/2026 11:20|Monday, 7 December 2026|11:20:07) Tj"),
            std::string::npos)
      << Watermarks(1)[0];
}

TEST_F(InsertWatermarkTest, ABoxWithSwappedCornersIsTakenInOrder) {
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [612 792 0 0] >>");
  TvxPDFDocument D;
  ASSERT_TRUE(D.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  D.InsertWatermark(T);
  auto* Page = static_cast<TvxPDFDictObject*>(D.Pages()[0]->Value.get());
  auto* Contents = static_cast<TvxPDFArrayObject*>(Page->Lookup("/Contents"));
  auto* S = static_cast<TvxPDFStreamObject*>(D.Store().Resolve(Contents->GetItem(0)));
  EXPECT_NE(S->Data->DataString().find(" 0.000 756.000 Tm\r"), std::string::npos);
}

// Pages 1, 2, 4 and 5 share one font dictionary without a usable font; page
// 3 has its own with one; page 4 has a box of its own.
TEST_F(InsertWatermarkTest, SharedFontDictionariesAndRepeatedBoxes) {
  vxtest::PdfBuilder B;
  B.PageTree({3, 4, 5, 6, 7}, "", "/MediaBox [0 0 612 792]");
  B.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font 30 0 R >> >>");
  B.Object(4, "<< /Type /Page /Parent 2 0 R /Resources << /Font 30 0 R >> >>");
  B.Object(5, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /Own 21 0 R >> >> >>");
  B.Object(6,
           "<< /Type /Page /Parent 2 0 R /CropBox [50 50 400 500] "
           "/Resources << /Font 30 0 R >> >>");
  B.Object(7, "<< /Type /Page /Parent 2 0 R /Resources << /Font 30 0 R >> >>");
  B.Object(20, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Object(
      21,
      "<< /Type /Font /Subtype /Type1 /BaseFont /HalfEmSans /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 255 /Widths [" +
          [] {
            std::string W;
            for (int C = 32; C < 256; ++C) W += "500 ";
            return W;
          }() +
          "] >>");
  B.Object(30, "<< /F1 20 0 R >>");
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  Doc.InsertWatermark(T);
  std::vector<std::string> W;
  for (int32_t P = 1; P <= 5; ++P) {
    SCOPED_TRACE(P);
    ASSERT_EQ(Watermarks(P).size(), 1u);
    W.push_back(Watermarks(P)[0]);
    // Each page names a font its own dictionary holds, and it is ours.
    TvxPDFObject* Font = Doc.Store().Resolve(Resources(P, "/Font")->Lookup(FontNameOf(W.back())));
    ASSERT_TRUE(Font && Font->IsDict());
    auto* Base = static_cast<TvxPDFDictObject*>(Font)->Lookup("/BaseFont");
    EXPECT_EQ(static_cast<TvxPDFNameObject*>(Base)->Text, "/HalfEmSans");
  }
  EXPECT_EQ(FontNameOf(W[2]), "/Own");
  // The shared dictionary got the font once; the pages after the first
  // found it there.
  EXPECT_EQ(Resources(1, "/Font")->Count(), 2);
  EXPECT_EQ(FontNameOf(W[1]), FontNameOf(W[0]));
  // Content is shared only between pages of equal box and names.
  EXPECT_EQ(W[1], W[0]);
  EXPECT_EQ(W[4], W[0]);
  EXPECT_NE(W[2], W[0]);
  EXPECT_NE(W[3], W[0]);
  EXPECT_EQ(W[2].substr(W[2].find(" Tf\r")), W[0].substr(W[0].find(" Tf\r")));
  // Every page has a stream of its own.
  std::vector<int32_t> Numbers;
  for (int32_t P = 1; P <= 5; ++P)
    Numbers.push_back(static_cast<TvxPDFIndirectReference*>(Contents(P)->GetItem(0))->ObjectNumber);
  std::sort(Numbers.begin(), Numbers.end());
  EXPECT_EQ(std::unique(Numbers.begin(), Numbers.end()), Numbers.end());
}

// The CLI prepares the font on a thread of its own while the document loads:
// stamping afterwards writes the same file as stamping without it.
TEST_F(InsertWatermarkTest, AFontPreparedOnAnotherThreadStampsTheSame) {
  auto StampOnce = [&](bool Prepare, const std::string& Name) {
    vxtest::UseHalfEmFonts Fresh;  // nothing of an earlier run is cached
    RandomSeed(5);
    std::thread Work;
    if (Prepare) Work = std::thread([Font = *T.Font] { PrepareWatermarkFont(Font); });
    TvxPDFDocument D;
    EXPECT_TRUE(D.LoadFromMemory(ThreePages()));
    if (Prepare) Work.join();
    D.MeasurementUnit = muPoints;
    TvxTextWatermarkTemplate U;
    U.Text = u"Draft";
    U.SetFont(*T.Font);
    U.Font->Underline = true;
    D.InsertWatermark(U);
    std::string Path = vxtest::TempPath(Name);
    vxtest::SeededRandom Seeded(3);
    D.SaveToFile(Path);
    return vxtest::ReadAll(Path);
  };
  const std::string Plain = StampOnce(false, "plain.pdf");
  EXPECT_NE(Plain.find("/HalfEmSans"), std::string::npos);
  EXPECT_EQ(StampOnce(true, "prepared.pdf"), Plain);
  // A font the service cannot make is no error of the preparation (on its
  // thread it would end the program); stamping meets the error itself.
  struct NoFonts : TvxFontService {
    std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont&) override {
      throw Exception("No font found");
    }
    std::vector<uint8_t> FontCharsets(std::string_view) override { return {}; }
  } None;
  SetFontService(&None);
  EXPECT_NO_THROW(PrepareWatermarkFont(*T.Font));
  EXPECT_THROW(Doc.InsertWatermark(T), Exception);
  SetFontService(nullptr);
}

// A reference to a missing object keeps naming nothing: the objects stamping
// makes are numbered above every number the document names, so the overlay's
// own "q" cannot be taken for it and the page is still wrapped.
TEST_F(InsertWatermarkTest, DanglingReferencesDoNotNameNewObjects) {
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] /Contents [5 0 R 7 0 R] >>");
  B.Stream(5, "", "0 0 0 0 re W n");
  TvxPDFDocument D;
  ASSERT_TRUE(D.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  T.Overlay = true;
  D.InsertWatermark(T);
  TvxPDFIndirectReference Seven(D.DocumentID(), 7, 0);
  EXPECT_EQ(D.Store().FindObject(&Seven), nullptr);
  auto& Page = *static_cast<TvxPDFDictObject*>(D.Pages()[0]->Value.get());
  auto* C = static_cast<TvxPDFArrayObject*>(D.Store().Resolve(Page.Lookup("/Contents")));
  ASSERT_NE(C, nullptr);
  // The shared "q" first, the page's own entries, the shared "Q", the watermark.
  ASSERT_EQ(C->Count(), 5);
  auto* First = static_cast<TvxPDFStreamObject*>(D.Store().Resolve(C->GetItem(0)));
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(First->Data->DataString(), "q");
}

// What stamping does that the user would not see: signatures it breaks.
TEST(StampingWarnings, SignedDocumentsAreNamed) {
  vxtest::UseHalfEmFonts Fonts;
  for (const char* Flags : {"3", "1", "2", ""}) {
    SCOPED_TRACE(Flags);
    vxtest::PdfBuilder B;
    B.PageTree({3},
               *Flags ? std::string("/AcroForm << /Fields [] /SigFlags ") + Flags + " >>" : "");
    B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    TvxPDFDocument Doc;
    std::vector<std::string> Warnings;
    Doc.OnWarning = [&Warnings](TvxCustomPDFDocument&, const std::string& W) {
      Warnings.push_back(W);
    };
    ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
    TvxTextWatermarkTemplate T;
    T.Text = u"Draft";
    T.Font->Name = "HalfEm Sans";
    Doc.InsertWatermark(T);
    const bool Signed = std::string(Flags) == "3" || std::string(Flags) == "1";
    EXPECT_EQ(Warnings, Signed ? std::vector<std::string>{"The document is digitally signed; "
                                                          "stamping it invalidates its signatures"}
                               : std::vector<std::string>{});
  }
}

// A scanned page: an image without transparency over the whole page hides
// a watermark under the content, and the user is told how to show it.
TEST(StampingWarnings, PagesCoveredByAnOpaqueImageAreCounted) {
  vxtest::UseHalfEmFonts Fonts;
  auto Page = [](const std::string& Image, const std::string& Draw) {
    vxtest::PdfBuilder B;
    B.PageTree({3});
    B.Object(3,
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents 4 0 R "
             "/Resources << /XObject << /Im0 5 0 R >> >> >>");
    B.Stream(4, "", Draw);
    B.Stream(5,
             "/Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 "
             "/ColorSpace /DeviceGray " +
                 Image,
             "\x80");
    return B.FinishTable("/Root 1 0 R");
  };
  const std::string Full = "q 600 0 0 800 0 0 cm /Im0 Do Q";
  const std::string Warning =
      "The watermark lies under the content, and 1 page(s) are covered by an opaque image "
      "where it will not show: put it over the content, with an opacity below 100";
  struct TvxCase {
    std::string Image, Draw, Range;
    bool Over, Warned;
  };
  for (const TvxCase& C :
       {TvxCase{"", Full, "1,1", false, true}, TvxCase{"", Full, "1", true, false},
        TvxCase{"/SMask 5 0 R", Full, "1", false, false},
        TvxCase{"/ImageMask true", Full, "1", false, false},
        TvxCase{"", "q 300 0 0 400 0 0 cm /Im0 Do Q", "1", false, false}}) {
    SCOPED_TRACE(C.Image + " " + C.Draw);
    TvxPDFDocument Doc;
    std::vector<std::string> Warnings;
    Doc.OnWarning = [&Warnings](TvxCustomPDFDocument&, const std::string& W) {
      Warnings.push_back(W);
    };
    ASSERT_TRUE(Doc.LoadFromMemory(Page(C.Image, C.Draw)));
    TvxTextWatermarkTemplate T;
    T.Text = u"Draft";
    T.Font->Name = "HalfEm Sans";
    T.Overlay = C.Over;
    Doc.InsertWatermark(T, C.Range);
    // A page listed twice is counted once.
    EXPECT_EQ(Warnings, C.Warned ? std::vector<std::string>{Warning} : std::vector<std::string>{});
  }
}
