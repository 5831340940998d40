// The page-side work of stamping: /Contents orders, resources, the shared
// "q"/"Q" streams and the variables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/watermark/vxWatermarkStamper.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

class StampDoc : public TvxPDFDocument {
 public:
  TvxWatermarkStamper Stamper() { return NewStamper(); }
  TvxPDFDictObject& Page(int32_t P) {
    return *static_cast<TvxPDFDictObject*>(Pages()[static_cast<size_t>(P - 1)]->Value.get());
  }
  TvxPDFObject* Resolve(TvxPDFObject* Obj) { return Store().Resolve(Obj); }
  // Object numbers of the references in the page's /Contents (0 for
  // anything else).
  std::vector<int32_t> Contents(int32_t P) {
    std::vector<int32_t> Numbers;
    auto* A = static_cast<TvxPDFArrayObject*>(Resolve(Page(P).Lookup("/Contents")));
    for (const auto& Item : A->Items)
      Numbers.push_back(Item->IsIndirectReference()
                            ? static_cast<TvxPDFIndirectReference*>(Item.get())->ObjectNumber
                            : 0);
    return Numbers;
  }
  int32_t KeyCount(const TvxPDFDictObject& D, const std::string& Key) {
    int32_t N = 0;
    for (const auto& K : D.Keys) N += K->Text == Key;
    return N;
  }
};

// Pages: 1 one balanced stream, 2 nothing at all, 3 and 4 one shared array,
// 5 /Resources null and an unbalanced stream in a direct array, 6 broken
// resource entries and /Rotate 90, 7 /Contents that is a number.
std::string SamplePdf() {
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2,
           "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R 9 0 R] /Count 7 "
           "/MediaBox [0 0 612 792] >>");
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /Contents 10 0 R "
           "/Resources << /Font << /F1 20 0 R >> >> >>");
  B.Object(4, "<< /Type /Page /Parent 2 0 R >>");
  B.Object(5, "<< /Type /Page /Parent 2 0 R /Contents 11 0 R /Resources << >> >>");
  B.Object(6, "<< /Type /Page /Parent 2 0 R /Contents 11 0 R /Resources << >> >>");
  B.Object(7, "<< /Type /Page /Parent 2 0 R /Contents [12 0 R] /Resources null >>");
  B.Object(8,
           "<< /Type /Page /Parent 2 0 R /Contents 10 0 R /Rotate 90 "
           "/Resources << /Font null /ExtGState 99 0 R >> >>");
  B.Object(9, "<< /Type /Page /Parent 2 0 R /Contents 5 /Resources << >> >>");
  B.Stream(10, "", "q 1 0 0 1 5 5 cm Q BT (q) Tj ET");
  B.Object(11, "[10 0 R]");
  B.Stream(12, "", "q q 2 0 0 2 0 0 cm % Q\n(Q) Tj");
  B.Object(20, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return B.FinishTable("/Root 1 0 R");
}

class PageStampingTest : public testing::Test {
 protected:
  PageStampingTest() { EXPECT_TRUE(Doc.LoadFromMemory(SamplePdf())); }
  // A new content stream standing for a watermark.
  std::unique_ptr<TvxPDFIndirectReference> NewStream() {
    auto Dict = std::make_unique<TvxPDFDictObject>();
    auto* Obj = Doc.Store().AddObject(std::make_unique<TvxPDFIndirectObject>(
        Doc.DocumentID(), Doc.Store().NewObjectNumber(), 0, true,
        std::make_unique<TvxPDFStreamObject>(std::move(Dict))));
    return MakeReference(*Obj);
  }
  int32_t ObjNo(TvxPDFObject* Ref) {
    return static_cast<TvxPDFIndirectReference*>(Ref)->ObjectNumber;
  }
  int32_t ContentNo(int32_t P) { return ObjNo(Doc.Page(P).Lookup("/Contents")); }

  StampDoc Doc;
};

}  // namespace

TEST_F(PageStampingTest, UnderlayPutsTheWatermarkFirst) {
  TvxWatermarkStamper S = Doc.Stamper();
  int32_t C = ContentNo(1);
  auto W1 = NewStream(), W2 = NewStream();
  S.AttachWatermarkContent(1, *W1, false);
  EXPECT_EQ(Doc.Contents(1), (std::vector<int32_t>{W1->ObjectNumber, C}));
  S.AttachWatermarkContent(1, *W2, false);
  EXPECT_EQ(Doc.Contents(1), (std::vector<int32_t>{W2->ObjectNumber, W1->ObjectNumber, C}));
}

TEST_F(PageStampingTest, OverlayWrapsThePageOnceAndAppends) {
  TvxWatermarkStamper S = Doc.Stamper();
  int32_t C = ContentNo(1);
  S.EnsureStateStreams();
  TvxPDFIndirectReference QRef(Doc.DocumentID(), 0, 0);
  auto W1 = NewStream(), W2 = NewStream();
  S.AttachWatermarkContent(1, *W1, true);
  std::vector<int32_t> First = Doc.Contents(1);
  ASSERT_EQ(First.size(), 4u);
  EXPECT_EQ(First[1], C);
  EXPECT_EQ(First[3], W1->ObjectNumber);
  // The one-byte streams, marked for output now that a page uses them.
  for (int I : {0, 2}) {
    QRef.ObjectNumber = First[static_cast<size_t>(I)];
    TvxPDFIndirectObject* State = Doc.Store().FindObject(&QRef);
    ASSERT_NE(State, nullptr);
    EXPECT_EQ(State->UseCount, 1);
    auto* Stream = static_cast<TvxPDFStreamObject*>(State->Value.get());
    EXPECT_EQ(Stream->Data->DataString(), I == 0 ? "q" : "Q");
  }
  S.AttachWatermarkContent(1, *W2, true);
  EXPECT_EQ(Doc.Contents(1),
            (std::vector<int32_t>{First[0], C, First[2], W1->ObjectNumber, W2->ObjectNumber}));
  // Made once per document.
  int32_t Before = Doc.Store().LastObjectNumber;
  Doc.Stamper().EnsureStateStreams();
  EXPECT_EQ(Doc.Store().LastObjectNumber, Before);
}

TEST_F(PageStampingTest, OverlayClosesWhatThePageLeavesOpen) {
  TvxWatermarkStamper S = Doc.Stamper();
  S.EnsureStateStreams();
  auto W = NewStream();
  S.AttachWatermarkContent(5, *W, true);
  std::vector<int32_t> Order = Doc.Contents(5);
  // q, the page's stream, two "Q" for its two open states, our "Q", W.
  ASSERT_EQ(Order.size(), 5u);
  TvxPDFIndirectReference Close(Doc.DocumentID(), Order[2], 0);
  auto* Stream = static_cast<TvxPDFStreamObject*>(Doc.Store().FindObject(&Close)->Value.get());
  EXPECT_EQ(Stream->Data->DataString(), "Q Q");
  EXPECT_EQ(Order[4], W->ObjectNumber);
}

TEST_F(PageStampingTest, APageWithoutContentGetsTheWatermarkAsContent) {
  auto W = NewStream();
  Doc.Stamper().AttachWatermarkContent(2, *W, true);
  EXPECT_EQ(Doc.Contents(2), (std::vector<int32_t>{W->ObjectNumber}));
}

TEST_F(PageStampingTest, PagesSharingAnArrayEachGetTheirOwn) {
  TvxWatermarkStamper S = Doc.Stamper();
  S.CountSharedArrays();
  int32_t Shared = ContentNo(3);
  auto W3 = NewStream(), W4 = NewStream();
  S.AttachWatermarkContent(3, *W3, false);
  S.AttachWatermarkContent(4, *W4, false);
  EXPECT_EQ(Doc.Contents(3), (std::vector<int32_t>{W3->ObjectNumber, ContentNo(1)}));
  EXPECT_EQ(Doc.Contents(4), (std::vector<int32_t>{W4->ObjectNumber, ContentNo(1)}));
  // The first page took a copy; the last one keeps the original.
  EXPECT_TRUE(Doc.Page(3).Lookup("/Contents")->IsArray());
  EXPECT_EQ(ContentNo(4), Shared);
}

TEST_F(PageStampingTest, ContentThatIsNeitherReferenceNorArrayIsRefused) {
  auto W = NewStream();
  vxtest::ExpectError<EUnexpectedError>([&] { Doc.Stamper().AttachWatermarkContent(7, *W, false); },
                                        "Unexpected content object for page 7");
}

TEST_F(PageStampingTest, ResourcesAreMadeOrRepairedNeverDoubled) {
  TvxWatermarkStamper S = Doc.Stamper();
  auto Font = NewStream(), GS = NewStream();
  // Page 5: /Resources null becomes a new dictionary object.
  TvxPDFDictObject* R5 = S.EnsurePageResources(5);
  ASSERT_NE(R5, nullptr);
  EXPECT_EQ(Doc.KeyCount(Doc.Page(5), "/Resources"), 1);
  EXPECT_EQ(Doc.Resolve(Doc.Page(5).Lookup("/Resources")), R5);
  EXPECT_EQ(S.AddPageResource(R5, "/Font", *Font, "/ZRBFnt1"), "/ZRBFnt1");
  EXPECT_EQ(S.AddOpacityResource(5, "/GS1", GS.get()), "/GS1");
  // Page 6: /Font null and /ExtGState pointing nowhere are replaced.
  TvxPDFDictObject* R6 = S.EnsurePageResources(6);
  EXPECT_EQ(S.AddPageResource(R6, "/Font", *Font, "/ZRBFnt1"), "/ZRBFnt1");
  EXPECT_EQ(S.AddOpacityResource(6, "/GS1", GS.get()), "/GS1");
  EXPECT_EQ(Doc.KeyCount(*R6, "/Font"), 1);
  EXPECT_EQ(Doc.KeyCount(*R6, "/ExtGState"), 1);
  auto* Fonts = static_cast<TvxPDFDictObject*>(R6->Lookup("/Font"));
  EXPECT_EQ(ObjNo(Fonts->Lookup("/ZRBFnt1")), Font->ObjectNumber);
  // The same entry again adds nothing; no opacity state, nothing at all.
  EXPECT_EQ(S.AddPageResource(R6, "/Font", *Font, "/ZRBFnt1"), "/ZRBFnt1");
  EXPECT_EQ(Fonts->Count(), 1);
  EXPECT_EQ(S.AddOpacityResource(6, "", nullptr), "");
  EXPECT_EQ(Doc.KeyCount(*R6, "/ExtGState"), 1);
  vxtest::ExpectError<EUnexpectedError>(
      [&] { S.AddPageResource(nullptr, "/Font", *Font, "/ZRBFnt1"); },
      "Error inserting page resource");
}

TEST_F(PageStampingTest, AGeneratedNameTakenByAnotherResourceIsDrawnAgain) {
  TvxWatermarkStamper S = Doc.Stamper();
  auto Font = NewStream();
  TvxPDFDictObject* R1 = S.EnsurePageResources(1);
  auto* Fonts = static_cast<TvxPDFDictObject*>(R1->Lookup("/Font"));
  std::string Name = S.AddPageResource(R1, "/Font", *Font, "/F1");
  EXPECT_NE(Name, "/F1");
  EXPECT_EQ(Name.rfind("/F", 0), 0u);
  EXPECT_EQ(ObjNo(Fonts->Lookup("/F1")), 20);
  EXPECT_EQ(ObjNo(Fonts->Lookup(Name)), Font->ObjectNumber);
}

TEST_F(PageStampingTest, PageRotation) {
  EXPECT_EQ(Doc.GetPageRotation(6), 90);
  EXPECT_EQ(Doc.GetPageRotation(1), 0);
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.GetPageRotation(0); },
                                         "Invalid page number (0)");
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.GetPageRotation(8); },
                                         "Invalid page number (8)");
}

TEST_F(PageStampingTest, OpacityState) {
  EXPECT_EQ(Doc.CreateOpacityState(100, 100), nullptr);
  auto Ref = Doc.CreateOpacityState(50, 25);
  ASSERT_NE(Ref, nullptr);
  TvxPDFIndirectObject* Obj = Doc.Store().FindObject(Ref.get());
  ASSERT_NE(Obj, nullptr);
  EXPECT_EQ(Obj->UseCount, 1);
  auto* D = static_cast<TvxPDFDictObject*>(Obj->Value.get());
  ASSERT_EQ(D->Count(), 3);
  EXPECT_EQ(D->Keys[0]->Text, "/CA");
  EXPECT_EQ(static_cast<TvxPDFNameObject*>(D->Values[0].get())->Text, "0.5");
  EXPECT_EQ(D->Keys[1]->Text, "/ca");
  EXPECT_EQ(static_cast<TvxPDFNameObject*>(D->Values[1].get())->Text, "0.25");
  EXPECT_EQ(static_cast<TvxPDFNameObject*>(D->Values[2].get())->Text, "/ExtGState");
}

TEST_F(PageStampingTest, ApplicationVariablesExpandInOnePass) {
  std::vector<std::u16string> Asked;
  Doc.OnCalcVariables = [&](TvxCustomPDFDocument&, const std::u16string& Name,
                            std::u16string& Value, int32_t PageNo) {
    Asked.push_back(Name);
    if (Name == u"Self") Value = u"<%Self%>";
    if (Name == u"Who") Value = u"p" + std::u16string(1, static_cast<char16_t>(u'0' + PageNo));
  };
  TvxWatermarkStamper S = Doc.Stamper();
  // A value holding its own marker is inserted as it stands.
  EXPECT_EQ(S.ExpandApplicationVariables(u"a<%Self%>b", 1), u"a<%Self%>b");
  // Adjacent variables with empty values are both expanded; the same name in
  // another case is asked once.
  Asked.clear();
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%A%><%B%>[<%Who%>|<%WHO%>]", 3), u"[p3|p3]");
  EXPECT_EQ(Asked, (std::vector<std::u16string>{u"A", u"B", u"Who"}));
  // No name between the markers: left as typed. A marker opened again
  // before its close sends the search on two characters past that opening:
  // a variable starting sooner than that is passed over, a later one not.
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%%> <%> <%x<%Who%>", 2), u"<%%> <%> <%x<%Who%>");
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%<%Who%>!", 2), u"<%<%Who%>!");
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%xy<%Who%>", 2), u"<%xyp2");
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%Who%", 2), u"<%Who%");
}

TEST_F(PageStampingTest, AVariablesArgumentKeepsItsCase) {
  std::vector<std::u16string> Asked;
  Doc.OnCalcVariables = [&](TvxCustomPDFDocument&, const std::u16string& Name,
                            std::u16string& Value, int32_t) {
    Asked.push_back(Name);
    Value = u"(" + Name + u")";
  };
  TvxWatermarkStamper S = Doc.Stamper();
  EXPECT_EQ(S.ExpandApplicationVariables(u"<%Date:%m%> <%date:%M%> <%DATE:%m%>", 1),
            u"(Date:%m) (date:%M) (Date:%m)");
  EXPECT_EQ(Asked, (std::vector<std::u16string>{u"Date:%m", u"date:%M"}));
}

TEST_F(PageStampingTest, FixedVariables) {
  Doc.Info().SetAuthor(u"Ann <%Title%>");
  Doc.Info().SetTitle(u"Report");
  TvxWatermarkStamper S = Doc.Stamper();
  EXPECT_EQ(S.ExpandFixedVariables(u"<%totpage%>/<%TotPage%> by <%Author%>"), u"7/7 by Ann Report");
  EXPECT_EQ(S.ExpandFixedVariables(u"<%PageNo%>"), u"<%PageNo%>");
}
