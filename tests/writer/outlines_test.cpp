#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pdf/document/vxCatalogContent.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

struct Loaded {
  std::unique_ptr<TvxPDFDocument> Doc = std::make_unique<TvxPDFDocument>();
  std::vector<std::string> Warnings;
};

std::unique_ptr<Loaded> Load(const std::string& Name, const std::string& Bytes) {
  auto L = std::make_unique<Loaded>();
  auto* W = &L->Warnings;
  L->Doc->OnWarning = [W](TvxCustomPDFDocument&, const std::string& Msg) { W->push_back(Msg); };
  EXPECT_TRUE(L->Doc->LoadFromFile(vxtest::WriteTempFile(Name, Bytes)));
  return L;
}

TvxPDFIndirectObject* Stored(TvxCustomPDFDocument& Doc, int N) {
  int32_t I = Doc.Store().IndexOfObject(Doc.DocumentID(), N, 0);
  return I < 0 ? nullptr : Doc.Store().GetObject(I);
}

TvxPDFDictObject* DictOf(TvxPDFIndirectObject* Obj) {
  return Obj && Obj->Value && Obj->Value->IsDict()
             ? static_cast<TvxPDFDictObject*>(Obj->Value.get())
             : nullptr;
}

// The rebuilt object of an item in the save store.
TvxPDFDictObject& Saved(TvxPDFObjectStore& S, const TvxPDFIndirectObject& Item) {
  TvxPDFIndirectObject* Obj = S.FindObject(&Item);
  if (!Obj) throw std::runtime_error("item " + std::to_string(Item.ObjectNumber) + " not saved");
  EXPECT_EQ(Obj->UseCount, 1);
  return *static_cast<TvxPDFDictObject*>(Obj->Value.get());
}

int RefNum(const TvxPDFDictObject& D, const char* Key) {
  TvxPDFObject* V = D.Lookup(Key);
  return V && V->IsIndirectReference() ? static_cast<TvxPDFIndirectReference*>(V)->ObjectNumber
                                       : -1;
}

// Compact text of a value, enough to compare destinations and actions.
std::string Text(const TvxPDFObject* V) {
  if (!V) return "nil";
  std::string S;
  switch (V->ObjectType) {
    case otNull: return "null";
    case otBoolean: return static_cast<const TvxPDFBooleanObject*>(V)->AsText();
    case otInteger: return static_cast<const TvxPDFIntegerObject*>(V)->AsText();
    case otString: return static_cast<const TvxPDFStringObject*>(V)->Text;
    case otName: return static_cast<const TvxPDFNameObject*>(V)->Text;
    case otIndirectReference:
      return std::to_string(static_cast<const TvxPDFIndirectReference*>(V)->ObjectNumber) + " R";
    case otArray:
      for (const auto& Item : static_cast<const TvxPDFArrayObject*>(V)->Items)
        S += (S.empty() ? "" : " ") + Text(Item.get());
      return "[" + S + "]";
    case otDict:
      for (int32_t I = 0; I < static_cast<const TvxPDFDictObject*>(V)->Count(); ++I)
        S += " " + static_cast<const TvxPDFDictObject*>(V)->Keys[I]->Text + " " +
             Text(static_cast<const TvxPDFDictObject*>(V)->Values[I].get());
      return "<<" + S + " >>";
    default: return V->TypeName();
  }
}

std::vector<TvxPDFOutline*> Children(TvxPDFOutline* Parent) {
  std::vector<TvxPDFOutline*> Result;
  for (TvxPDFOutline* I = Parent ? Parent->FirstChild.get() : nullptr; I; I = I->NextSibling.get())
    Result.push_back(I);
  return Result;
}

// Catalog, a page tree over pages 3, 4 and 5, and the given catalog entries.
void Skeleton(PdfBuilder& B, const std::string& CatalogEntries,
              const std::string& Page3Entries = "") {
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R " + CatalogEntries + " >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 612 792] >>");
  B.Object(3, "<< /Type /Page " + Page3Entries + " >>");
  B.Object(4, "<< /Type /Page >>");
  B.Object(5, "<< /Type /Page >>");
}

TEST(Outlines, TreeIsReadAndRebuiltWithLinksAndCounts) {
  PdfBuilder B;
  Skeleton(B, "/Outlines 10 0 R");
  B.Object(10, "<< /Type /Outlines /First 11 0 R /Last 13 0 R /Count 3 >>");
  B.Object(11, "<< /Title (One) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>");
  B.Object(12,
           "<< /Parent 10 0 R /Prev 11 0 R /Next 13 0 R /First 14 0 R /Last 15 0 R /Count -2 "
           "/F 2 /C 16 0 R /Title (Two) /Dest [4 0 R /XYZ 0 792 0] >>");
  B.Object(13, "<< /Title 20 0 R /Parent 10 0 R /Prev 12 0 R /Dest [5 0 R /Fit] >>");
  B.Object(14, "<< /Title (Two.A) /Parent 12 0 R /Next 15 0 R /Count 0 >>");
  B.Object(15, "<< /Title (Two.B) /Parent 12 0 R /Prev 14 0 R /SE 21 0 R >>");
  B.Object(16, "[1 0 0]");
  B.Object(20, "(Three)");
  auto L = Load("outline_tree.pdf", B.FinishTable("/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  TvxPDFOutline* Root = Doc.CatalogContent().OutlineRoot();
  ASSERT_NE(Root, nullptr);
  std::vector<TvxPDFOutline*> Top = Children(Root);
  ASSERT_EQ(Top.size(), 3u);
  std::vector<TvxPDFOutline*> Kids = Children(Top[1]);
  ASSERT_EQ(Kids.size(), 2u);
  EXPECT_TRUE(Top[1]->Closed);
  EXPECT_FALSE(Top[0]->Closed);
  EXPECT_FALSE(Kids[0]->Closed);
  EXPECT_EQ(Top[2]->PrevSibling, Top[1]);
  EXPECT_EQ(Kids[1]->Parent, Top[1]);
  // Links are taken out; an indirect title and colour are taken over.
  EXPECT_EQ(Text(Top[1]->Value.get()),
            "<< /F 2 /C [1 0 0] /Title (Two) /Dest [4 R /XYZ 0 792 0] >>");
  EXPECT_EQ(Text(DictOf(Top[2])->Lookup("/Title")), "(Three)");

  TvxPDFObjectStore Save;
  Doc.CatalogContent().BuildOutlines(Save);
  ASSERT_NE(Doc.Catalog().Outlines, nullptr);
  EXPECT_EQ(Doc.Catalog().Outlines->ObjectNumber, 10);
  EXPECT_EQ(Text(&Saved(Save, *Root)), "<< /First 11 R /Last 13 R /Count 3 >>");
  EXPECT_EQ(Text(&Saved(Save, *Top[0])),
            "<< /Dest [3 R /Fit] /Title (One) /Parent 10 R /Next 12 R >>");
  EXPECT_EQ(
      Text(&Saved(Save, *Top[1])),
      "<< /Dest [4 R /XYZ 0 792 0] /Title (Two) /C [1 0 0] /F 2 /Parent 10 R /Prev 11 R /Next 13 R "
      "/First 14 R /Last 15 R /Count -2 >>");
  EXPECT_EQ(Text(&Saved(Save, *Kids[1])), "<< /Title (Two.B) /Parent 12 R /Prev 14 R >>");
  EXPECT_EQ(RefNum(Saved(Save, *Top[2]), "/Next"), -1);
  // Stored last sibling first, each after its children: the output order.
  std::vector<int> Order;
  for (int32_t I = 0; I < Save.Count(); ++I) Order.push_back(Save.GetObject(I)->ObjectNumber);
  EXPECT_EQ(Order, (std::vector<int>{13, 15, 14, 12, 11, 10}));
  // A second save rebuilds the same from the tree kept in memory.
  TvxPDFObjectStore Again;
  Doc.CatalogContent().BuildOutlines(Again);
  EXPECT_EQ(Text(&Saved(Again, *Top[1])), Text(&Saved(Save, *Top[1])));
  EXPECT_TRUE(L->Warnings.empty());

  PdfBuilder N;
  Skeleton(N, "");
  auto Plain = Load("no_outline.pdf", N.FinishTable("/Root 1 0 R"));
  TvxPDFObjectStore Empty;
  Plain->Doc->CatalogContent().BuildOutlines(Empty);
  EXPECT_EQ(Empty.Count(), 0);
  EXPECT_EQ(Plain->Doc->Catalog().Outlines, nullptr);
}

TEST(Outlines, NamedDestinationsReplaceNames) {
  PdfBuilder B;
  // /Dests keys out of order, one repeated: every one must be found.
  Skeleton(B, "/Dests 30 0 R /Names << /Dests 40 0 R >> /Outlines 10 0 R",
           "/Annots [50 0 R 51 0 R]");
  B.Object(10, "<< /First 60 0 R >>");
  B.Object(30,
           "<< /Zeta [4 0 R /Fit] /Alpha 31 0 R /Mid << /D [5 0 R /FitH 100] >> /Ref 32 0 R "
           "/Alpha [5 0 R /Fit] /Empty << /S /GoTo >> >>");
  B.Object(31, "[3 0 R /XYZ 1 2 3]");
  B.Object(32, "<< /D 33 0 R >>");
  B.Object(33, "[4 0 R /FitV 7]");
  // A name tree whose last kid leads back to its root.
  B.Object(40, "<< /Kids [41 0 R 42 0 R 44 0 R] >>");
  B.Object(41, "<< /Limits [(a) (b)] /Names [(tree1) 43 0 R (tree2) [5 0 R /Fit]] >>");
  B.Object(42,
           "<< /Names [(tree3) 45 0 R (direct) << /D [4 0 R /Fit] >> (missing) 99 0 R (odd)] >>");
  B.Object(43, "<< /D [4 0 R /Fit] >>");
  B.Object(45, "<< /D [3 0 R /Fit] >>");
  B.Object(44, "<< /Kids [40 0 R] >>");
  B.Object(50, "<< /Type /Annot /Subtype /Link /Dest /Zeta >>");
  B.Object(51, "<< /Type /Annot /Subtype /Link /Dest (tree1) >>");
  B.Object(60, "<< /Dest /Alpha /Next 61 0 R >>");
  B.Object(61, "<< /Dest (tree1) /Next 62 0 R >>");
  B.Object(62, "<< /Dest /Nowhere /Next 63 0 R >>");
  B.Object(63, "<< /A << /S /GoTo /D (tree3) >> /Next 64 0 R >>");
  B.Object(64, "<< /A 65 0 R /Next 66 0 R >>");
  B.Object(65, "<< /S /GoToR /F (other.pdf) /D (Alpha) >>");
  B.Object(66, "<< /Dest 67 0 R /Next 68 0 R >>");
  B.Object(67, "/Ref");
  B.Object(68, "<< /Dest (Mid) /Next 69 0 R >>");
  B.Object(69, "<< /A << /S /JavaScript /JS 70 0 R /Next 71 0 R >> >>");
  B.Stream(70, "", "app.alert(1);");
  B.Object(71, "<< /S /URI /URI (http://example.com) >>");
  auto L = Load("named.pdf", B.FinishTable("/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  TvxCatalogContent& M = Doc.CatalogContent();

  EXPECT_EQ(Text(M.FindNamedDest("Alpha").get()), "[3 R /XYZ 1 2 3]")
      << "the first entry added wins";
  EXPECT_EQ(Text(M.FindNamedDest("Zeta").get()), "[4 R /Fit]");
  EXPECT_EQ(Text(M.FindNamedDest("Ref").get()), "[4 R /FitV 7]");
  EXPECT_EQ(Text(M.FindNamedDest("tree2").get()), "[5 R /Fit]");
  EXPECT_EQ(Text(M.FindNamedDest("tree3").get()), "[3 R /Fit]");
  EXPECT_EQ(Text(M.FindNamedDest("Empty").get()), "null");
  EXPECT_EQ(Text(M.FindNamedDest("missing").get()), "null");
  EXPECT_EQ(M.FindNamedDest("odd"), nullptr);
  // A direct dictionary in a name tree gives no entry.
  EXPECT_EQ(M.FindNamedDest("direct"), nullptr);

  // Annotations are read before the name tree: only /Dests names resolve.
  EXPECT_EQ(Text(DictOf(Stored(Doc, 50))->Lookup("/Dest")), "[4 R /Fit]");
  EXPECT_EQ(Text(DictOf(Stored(Doc, 51))->Lookup("/Dest")), "(tree1)");

  std::vector<std::string> Items;
  for (TvxPDFOutline* Item : Children(M.OutlineRoot())) Items.push_back(Text(Item->Value.get()));
  EXPECT_EQ(Items,
            (std::vector<std::string>{"<< /Dest [3 R /XYZ 1 2 3] >>", "<< /Dest [4 R /Fit] >>",
                                      "<< /Dest /Nowhere >>",  // unknown: the name stays
                                      "<< /A << /S /GoTo /D [3 R /Fit] >> >>",
                                      // another file's destination is not looked up here
                                      "<< /A << /S /GoToR /F (other.pdf) /D (Alpha) >> >>",
                                      "<< /Dest [4 R /FitV 7] >>", "<< /Dest [5 R /FitH 100] >>",
                                      "<< /A << /S /JavaScript /JS 70 R /Next 71 R >> >>"}));

  // The name tree, and whatever an action names, reach the saved file.
  for (int N : {40, 41, 42, 43, 44, 70, 71}) {
    ASSERT_NE(Stored(Doc, N), nullptr) << N;
    EXPECT_GT(Stored(Doc, N)->UseCount, 0) << N;
  }
  EXPECT_EQ(Text(Doc.Catalog().Names.get()), "<< /Dests 40 R >>");
}

TEST(Outlines, ItemsOfUnwrittenPagesAreLeftOut) {
  PdfBuilder B;
  Skeleton(B, "/Outlines 10 0 R");
  B.Object(10, "<< /First 11 0 R >>");
  B.Object(11, "<< /Dest [3 0 R /Fit] /Next 12 0 R >>");
  B.Object(12, "<< /Dest [4 0 R /Fit] /Next 13 0 R /First 16 0 R >>");
  B.Object(13, "<< /Dest [5 0 R /Fit] /Next 14 0 R /First 17 0 R /Count 1 >>");
  B.Object(14, "<< /Dest [7 /Fit] /Next 15 0 R >>");
  B.Object(15, "<< /Dest [4 0 R /Fit] >>");
  B.Object(16, "<< /Dest [3 0 R /Fit] >>");
  B.Object(17, "<< /Dest [4 0 R /Fit] >>");
  auto L = Load("dropped.pdf", B.FinishTable("/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  std::vector<TvxPDFOutline*> Top = Children(Doc.CatalogContent().OutlineRoot());
  ASSERT_EQ(Top.size(), 5u);
  Doc.Pages()[1]->UseCount = 0;  // page 4 is not written

  TvxPDFObjectStore Save;
  Doc.CatalogContent().BuildOutlines(Save);
  EXPECT_EQ(Text(&Saved(Save, *Doc.CatalogContent().OutlineRoot())),
            "<< /First 11 R /Last 14 R /Count 3 >>");
  EXPECT_EQ(Text(&Saved(Save, *Top[0])), "<< /Dest [3 R /Fit] /Parent 10 R /Next 13 R >>");
  // 13 keeps no children: its only one is left out.
  EXPECT_EQ(Text(&Saved(Save, *Top[2])),
            "<< /Dest [5 R /Fit] /Parent 10 R /Prev 11 R /Next 14 R >>");
  // A destination naming a page by number stays, with a warning; the left
  // out last item is skipped.
  EXPECT_EQ(Text(&Saved(Save, *Top[3])), "<< /Dest [7 /Fit] /Parent 10 R /Prev 13 R >>");
  EXPECT_EQ(Save.Count(), 4);
  EXPECT_EQ(Top[1]->FirstChild, nullptr) << "a left-out item's children are freed";
  EXPECT_EQ(L->Warnings,
            (std::vector<std::string>{"Expected Page Indirect Reference in Outline Destination!"}));
}

TEST(Outlines, LoopsEndAndDepthIsBounded) {
  PdfBuilder B;
  Skeleton(B, "/Outlines 10 0 R");
  // 11 names the root as its child, 12 leads back to 11 and down to a page.
  B.Object(10, "<< /First 11 0 R >>");
  B.Object(11, "<< /Next 12 0 R /First 10 0 R >>");
  B.Object(12, "<< /Next 11 0 R /First 4 0 R >>");
  auto L = Load("outline_loop.pdf", B.FinishTable("/Root 1 0 R"));
  std::vector<TvxPDFOutline*> Top = Children(L->Doc->CatalogContent().OutlineRoot());
  ASSERT_EQ(Top.size(), 2u);
  EXPECT_EQ(Top[0]->FirstChild, nullptr);
  EXPECT_EQ(Top[1]->FirstChild, nullptr) << "a page is no outline item";
  EXPECT_GT(L->Doc->Pages()[1]->UseCount, 0) << "a page the chain runs into is still written";

  // Each item the only child of the one before, 300 levels down.
  PdfBuilder D;
  Skeleton(D, "/Outlines 10 0 R");
  D.Object(10, "<< /First 11 0 R >>");
  for (int N = 11; N < 311; ++N) D.Object(N, "<< /First " + std::to_string(N + 1) + " 0 R >>");
  auto Deep = Load("outline_deep.pdf", D.FinishTable("/Root 1 0 R"));
  int Depth = 0;
  for (TvxPDFOutline* I = Deep->Doc->CatalogContent().OutlineRoot()->FirstChild.get(); I;
       I = I->FirstChild.get())
    ++Depth;
  EXPECT_EQ(Depth, TvxCatalogContent::MaxOutlineDepth);
  EXPECT_EQ(Deep->Warnings,
            (std::vector<std::string>{"Outline items nested deeper than 256 levels left out"}));
  TvxPDFObjectStore Save;
  Deep->Doc->CatalogContent().BuildOutlines(Save);
  EXPECT_EQ(Save.Count(), TvxCatalogContent::MaxOutlineDepth + 1);
}

TEST(Outlines, NullOrDanglingTargetsCountAsAbsent) {
  // A null value, or a reference to no object, stands for a missing entry:
  // the file loads and the item keeps only its title.
  PdfBuilder B;
  Skeleton(B, "/Outlines 10 0 R");
  B.Object(10, "<< /First 11 0 R >>");
  B.Object(11, "<< /Title (a) /Dest null /Next 12 0 R >>");
  B.Object(12, "<< /Title (b) /Dest 98 0 R /Next 13 0 R >>");
  B.Object(13, "<< /Title (c) /A null /Next 14 0 R >>");
  B.Object(14, "<< /Title (d) /A 99 0 R >>");
  auto L = Load("outline_absent.pdf", B.FinishTable("/Root 1 0 R"));
  std::vector<std::string> Items;
  for (TvxPDFOutline* Item : Children(L->Doc->CatalogContent().OutlineRoot()))
    Items.push_back(Text(Item->Value.get()));
  EXPECT_EQ(Items, (std::vector<std::string>{"<< /Title (a) >>", "<< /Title (b) >>",
                                             "<< /Title (c) >>", "<< /Title (d) >>"}));
}

TEST(Outlines, LongSiblingChainsNeedNoDeepRecursion) {
  const int Count = 100000;
  PdfBuilder B;
  Skeleton(B, "/Outlines 10 0 R");
  B.Object(10, "<< /First 11 0 R >>");
  for (int N = 11; N < 11 + Count; ++N)
    B.Object(N, "<< /Dest [3 0 R /Fit]" +
                    (N < 10 + Count ? " /Next " + std::to_string(N + 1) + " 0 R" : "") + " >>");
  auto L = Load("outline_long.pdf", B.FinishTable("/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  TvxPDFOutline* Root = Doc.CatalogContent().OutlineRoot();
  ASSERT_NE(Root, nullptr);
  std::vector<TvxPDFOutline*> Top = Children(Root);
  ASSERT_EQ(Top.size(), static_cast<size_t>(Count));
  TvxPDFObjectStore Save;
  Doc.CatalogContent().BuildOutlines(Save);
  EXPECT_EQ(Save.Count(), Count + 1);
  EXPECT_EQ(Text(Saved(Save, *Root).Lookup("/Count")), "100000");
  EXPECT_EQ(RefNum(Saved(Save, *Top.back()), "/Prev"), 9 + Count);
  // Freeing the tree with the document.
  Doc.ClearDocument();
  EXPECT_EQ(Doc.CatalogContent().OutlineRoot(), nullptr);
}

TEST(Outlines, ItemsAlreadyStoredAreReplacedByTheRebuiltOnes) {
  // The catalog and the outline live in an object stream, which stores them
  // before the outline is read.
  PdfBuilder B("%PDF-1.5\n");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.ObjectStream(20, {{1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>"},
                      {10, "<< /First 11 0 R /Last 12 0 R >>"},
                      {11, "<< /Title (a) /Parent 10 0 R /Next 12 0 R >>"},
                      {12, "<< /Title (b) /Parent 10 0 R /Prev 11 0 R >>"}});
  auto L = Load("outline_objstm.pdf", B.FinishStream(21, "/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  for (int N : {10, 11, 12}) {
    ASSERT_NE(Stored(Doc, N), nullptr) << N;
    EXPECT_EQ(Stored(Doc, N)->UseCount, 0) << "the stored copy of " << N << " is not written";
  }
  TvxPDFOutline* Root = Doc.CatalogContent().OutlineRoot();
  std::vector<TvxPDFOutline*> Top = Children(Root);
  ASSERT_EQ(Top.size(), 2u);
  TvxPDFObjectStore Save;
  Doc.CatalogContent().BuildOutlines(Save);
  // Every link leads to a rebuilt item, never to a stored copy.
  for (const TvxPDFObject* Link :
       {static_cast<TvxPDFObject*>(Doc.Catalog().Outlines.get()),
        Saved(Save, *Root).Lookup("/First"), Saved(Save, *Root).Lookup("/Last"),
        Saved(Save, *Top[0]).Lookup("/Next"), Saved(Save, *Top[1]).Lookup("/Prev"),
        Saved(Save, *Top[1]).Lookup("/Parent")}) {
    ASSERT_NE(Link, nullptr);
    EXPECT_NE(Save.FindObject(Link), nullptr) << Text(Link);
    // The stored copy under the same numbers is not written.
    if (TvxPDFIndirectObject* Copy = Doc.Store().FindObject(Link)) {
      EXPECT_EQ(Copy->UseCount, 0) << Text(Link);
    }
  }
}

TEST(Outlines, FormIsStoredWithItsFields) {
  PdfBuilder B;
  Skeleton(B, "/AcroForm << /Fields [20 0 R] /DR << /Font << /Helv 25 0 R >> >> /Ext 26 0 R >>");
  // Field 21 names its parent as a kid.
  B.Object(20, "<< /FT /Tx /T (a) /Kids [21 0 R 22 0 R] >>");
  B.Object(21, "<< /Parent 20 0 R /T (b) /Kids [20 0 R] /V 23 0 R >>");
  B.Object(22, "<< /Parent 20 0 R /T (c) /AP << /N 24 0 R >> >>");
  B.Object(23, "(value)");
  B.Stream(24, "", "q Q");
  B.Object(25, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Object(26, "<< /X 1 >>");
  auto L = Load("form_direct.pdf", B.FinishTable("/Root 1 0 R"));
  TvxPDFDocument& Doc = *L->Doc;
  // The direct form became an object of its own.
  TvxPDFObject* Form = Doc.Catalog().AcroForm.get();
  ASSERT_TRUE(Form && Form->IsIndirectReference());
  TvxPDFIndirectObject* FormObj = Doc.Store().FindObject(Form);
  ASSERT_NE(FormObj, nullptr);
  EXPECT_GT(FormObj->ObjectNumber, 26);
  EXPECT_GT(FormObj->UseCount, 0);
  for (int N : {20, 21, 22, 23, 24, 25, 26}) {
    ASSERT_NE(Stored(Doc, N), nullptr) << N;
    EXPECT_GT(Stored(Doc, N)->UseCount, 0) << N;
  }
  Doc.CatalogContent().SetNeedAppearances(0);
  EXPECT_EQ(Text(DictOf(FormObj)->Lookup("/NeedAppearances")), "true");
  Doc.CatalogContent().SetNeedAppearances(1);
  Doc.CatalogContent().SetNeedAppearances(2);
  EXPECT_EQ(Text(DictOf(FormObj)->Lookup("/NeedAppearances")), "false");
  EXPECT_EQ(DictOf(FormObj)->Count(), 4);

  // A form by reference, its fields in an indirect array.
  PdfBuilder R;
  Skeleton(R, "/AcroForm 30 0 R");
  R.Object(30, "<< /NeedAppearances false /Fields 31 0 R >>");
  R.Object(31, "[32 0 R]");
  R.Object(32, "<< /FT /Btn /T (x) >>");
  auto L2 = Load("form_ref.pdf", R.FinishTable("/Root 1 0 R"));
  for (int N : {30, 31, 32}) {
    ASSERT_NE(Stored(*L2->Doc, N), nullptr) << N;
    EXPECT_GT(Stored(*L2->Doc, N)->UseCount, 0) << N;
  }
  L2->Doc->CatalogContent().SetNeedAppearances(0);
  EXPECT_EQ(Text(Stored(*L2->Doc, 30)->Value.get()), "<< /NeedAppearances true /Fields 31 R >>");

  PdfBuilder N;
  Skeleton(N, "");
  auto L3 = Load("form_none.pdf", N.FinishTable("/Root 1 0 R"));
  L3->Doc->CatalogContent().SetNeedAppearances(0);
  EXPECT_EQ(L3->Doc->Catalog().AcroForm, nullptr);
}

TEST(Outlines, UnusableValuesEndTheLoad) {
  struct Case {
    std::string Catalog, Object10, Message;
    bool DocumentUnit;  // document::EUnexpectedObjectError, else EUnexpectedError
  };
  const std::vector<Case> Cases = {
      {"/Outlines 9 0 R", "<< /Title 5 >>", "Unexpected PDF object encountered", true},
      {"/Outlines 9 0 R", "<< /A 5 >>", "Unexpected Error", false},
      {"/Outlines 9 0 R", "<< /Dest 5 >>", "Unexpected Error", false},
      {"/Dests 10 0 R", "<< /X 5 >>", "Unexpected PDF object encountered", false},
      {"/Names << /Dests 5 >>", "<< >>", "Unexpected PDF object encountered", true},
  };
  for (const Case& C : Cases) {
    PdfBuilder B;
    Skeleton(B, C.Catalog);
    B.Object(9, "<< /First 10 0 R >>");
    B.Object(10, C.Object10);
    TvxPDFDocument Doc;
    try {
      Doc.LoadFromFile(vxtest::WriteTempFile("bad_outline.pdf", B.FinishTable("/Root 1 0 R")));
      ADD_FAILURE() << "no exception for " << C.Object10;
    } catch (const document::EUnexpectedObjectError& E) {
      EXPECT_TRUE(C.DocumentUnit) << C.Object10;
      EXPECT_EQ(E.Message(), C.Message);
    } catch (const EUnexpectedError& E) {
      EXPECT_FALSE(C.DocumentUnit) << C.Object10;
      EXPECT_EQ(E.Message(), C.Message);
    }
  }
}

TEST(Outlines, PageModeOfARepeatedKeyIsTheLastAsViewersReadIt) {
  // An outline root without /Count, and /PageMode given twice.
  PdfBuilder B;
  B.PageTree({3}, "/PageMode /UseNone /Outlines 4 0 R /PageMode /UseOutlines",
             "/MediaBox [0 0 9 9]");
  B.Object(3, "<< /Type /Page >>");
  B.Object(4, "<< /Type /Outlines /First 5 0 R /Last 5 0 R >>");
  B.Object(5, "<< /Title (One) /Parent 4 0 R /Dest [3 0 R /Fit] >>");
  auto L = Load("pagemode.pdf", B.FinishTable("/Root 1 0 R"));
  EXPECT_EQ(L->Doc->PageMode(), pmUseOutlines);
  const std::string Out = vxtest::Written(*L->Doc);
  EXPECT_NE(Out.find("/PageMode /UseOutlines\r\n"), std::string::npos);
  EXPECT_NE(Out.find("/Count 1\r\n"), std::string::npos);
}

}  // namespace
