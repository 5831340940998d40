// Loads that fail, files without readable pages, and files made to cost a
// careless load time or memory out of proportion to their size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "support/expect_error.h"
#include "support/hostile_files.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

std::string TwoPages() {
  PdfBuilder B;
  B.PageTree({3, 4});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.Object(4, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  return B.FinishTable("/Root 1 0 R");
}

TEST(LoadFaults, FailedLoadLeavesNothingBehind) {
  // The newest section names a catalog and an encryption dictionary, then
  // its /Prev leads to an object that is no cross-reference stream.
  PdfBuilder B;
  B.Object(3, "<< /Type /Page >>");
  B.Object(7, "<< /Type /Catalog /Pages 8 0 R >>");
  B.FinishTable(
      "/Root 7 0 R /Encrypt << /Filter /Standard /V 1 /R 2 /O <00> /U <00> /P -4 >> "
      "/Prev 15");
  TvxPDFDocument Doc;
  const std::string Bad = vxtest::WriteTempFile("bad.pdf", B.Data());
  const std::string Good = vxtest::WriteTempFile("good.pdf", TwoPages());
  for (int Round = 0; Round < 2; ++Round) {
    EXPECT_THROW(Doc.LoadFromFile(Bad), vx::Exception);
    EXPECT_FALSE(Doc.IsLoaded());
    EXPECT_FALSE(Doc.IsEncrypted());
    EXPECT_EQ(Doc.Trailer().RootObjectNumber, -1);
    EXPECT_EQ(Doc.Store().Count(), 0);
    ASSERT_TRUE(Doc.LoadFromFile(Good));
    EXPECT_FALSE(Doc.IsEncrypted());
    EXPECT_EQ(Doc.PageCount(), 2);
    EXPECT_EQ(Doc.Trailer().RootObjectNumber, 1);
  }
  // The same from memory.
  EXPECT_THROW(Doc.LoadFromMemory(B.Data()), vx::Exception);
  ASSERT_TRUE(Doc.LoadFromMemory(TwoPages()));
  EXPECT_EQ(Doc.PageCount(), 2);
}

TEST(LoadFaults, BrokenPrevChainIsNamed) {
  // /Prev leads to a page object, not to an older section.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  const size_t Page = B.Data().find("3 0 obj");
  const std::string Bytes = B.FinishTable("/Root 1 0 R /Prev " + std::to_string(Page));
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [&] {
        TvxPDFDocument Doc;
        Doc.LoadFromMemory(Bytes);
      },
      "File is corrupted: no cross-reference stream at offset " + std::to_string(Page));
}

TEST(LoadFaults, DocumentWithoutReadablePagesIsCorrupted) {
  auto Load = [](const std::string& Bytes) {
    return [Bytes] {
      TvxPDFDocument Doc;
      Doc.LoadFromMemory(Bytes);
    };
  };
  const std::string NoneRead = "File is corrupted: the page tree names pages but none can be read";
  // /Pages names an object the file does not hold.
  vxtest::ExpectError<EPDFFileCorruptedError>(
      Load(vxtest::FileOfObjects({"<< /Type /Catalog /Pages 9 0 R >>"})), NoneRead);
  // Every kid is missing.
  vxtest::ExpectError<EPDFFileCorruptedError>(
      Load(vxtest::FileOfObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [8 0 R 9 0 R] /Count 2 >>"})),
      NoneRead);
  // Kids that lead back up the tree, or a /Count that names pages the kids
  // do not hold.
  vxtest::ExpectError<EPDFFileCorruptedError>(
      Load(vxtest::FileOfObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [3 0 R] >>",
                                  "<< /Type /Pages /Kids [2 0 R 3 0 R] >>"})),
      NoneRead);
  vxtest::ExpectError<EPDFFileCorruptedError>(
      Load(vxtest::FileOfObjects(
          {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 4 >>"})),
      NoneRead);
  // No page tree at all.
  vxtest::ExpectError<EPDFFileCorruptedError>(Load(vxtest::FileOfObjects({"<< /Type /Catalog >>"})),
                                              "File is corrupted: the catalog names no page tree");
  // A page tree that really is empty loads with no pages.
  TvxPDFDocument Empty;
  ASSERT_TRUE(Empty.LoadFromMemory(vxtest::FileOfObjects(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"})));
  EXPECT_EQ(Empty.PageCount(), 0);
  // One readable page among missing ones is enough.
  TvxPDFDocument One;
  ASSERT_TRUE(One.LoadFromMemory(vxtest::FileOfObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                                        "<< /Type /Pages /Kids [8 0 R 3 0 R] >>",
                                                        "<< /Type /Page /MediaBox [0 0 1 1] >>"})));
  EXPECT_EQ(One.PageCount(), 1);
}

std::string StreamData(TvxCustomPDFDocument& Doc, int32_t N) {
  TvxPDFIndirectReference Ref(Doc.DocumentID(), N, 0);
  TvxPDFIndirectObject* Obj = Doc.Store().FindObject(&Ref);
  if (!Obj || !Obj->Value || !Obj->Value->IsStream()) return "(none)";
  auto* S = static_cast<TvxPDFStreamObject*>(Obj->Value.get());
  return S->Data ? S->Data->DataString() : "";
}

TEST(LoadFaults, StreamDataEndsAtItsOwnEndstream) {
  // A /Length past the end of the file: each stream keeps its own bytes,
  // not everything up to the last "endstream" of the file.
  TvxPDFDocument Long;
  ASSERT_TRUE(Long.LoadFromMemory(vxtest::StreamsWithLongLengths(3)));
  EXPECT_EQ(StreamData(Long, 4), "% stream 0\n");
  EXPECT_EQ(StreamData(Long, 6), "% stream 2\n");

  // A damaged keyword after data that fits the object: the data is what
  // /Length says, with a warning.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents [4 0 R 5 0 R] >>");
  B.Object(4, "<< /Length 14 >>\nstream\n(Potato 13) Tj\nendstre\xA7m");
  B.Object(5, "<< /Length 6 >>\nstream\n0 0 m\nendstream");
  TvxPDFDocument Damaged;
  std::vector<std::string> Warnings;
  Damaged.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
  ASSERT_TRUE(Damaged.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  EXPECT_EQ(StreamData(Damaged, 4), "(Potato 13) Tj");
  EXPECT_EQ(StreamData(Damaged, 5), "0 0 m\n");
  EXPECT_EQ(Warnings, std::vector<std::string>{"Stream of object 4 has no endstream"});

  // Without "endstream" and with a length past the object, a stream stays
  // without data; the search does not run on into the next object.
  TvxPDFDocument Missing;
  ASSERT_TRUE(Missing.LoadFromMemory(vxtest::StreamsWithoutEndstream(3)));
  EXPECT_EQ(StreamData(Missing, 4), "");
  EXPECT_EQ(StreamData(Missing, 5), "");
  EXPECT_EQ(StreamData(Missing, 6), "% stream 2\n");
}

TEST(LoadFaults, SharedObjectsDoNotUnfoldIntoAHugeCopy) {
  // 2^15 values from a file of a few hundred bytes.
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [] {
        TvxPDFDocument Doc;
        Doc.LoadFromMemory(vxtest::SharedArrayGraph(14));
      },
      "File is corrupted");
  // A few shared levels are copied as before; an array is then refused as
  // an encryption dictionary, after the copy.
  TvxPDFDocument Small;
  TvxMemoryStream Source(vxtest::SharedArrayGraph(3));
  EXPECT_THROW(Small.ReadDocument(Source), vx::Exception);
  ASSERT_TRUE(Small.Trailer().Encrypt && Small.Trailer().Encrypt->IsArray());
  EXPECT_EQ(static_cast<TvxPDFArrayObject*>(Small.Trailer().Encrypt.get())->Count(), 2);
}

TEST(LoadFaults, PageTreeOfAnyDepthIsWalked) {
  // A chain of 20,000 nodes: the page at its end inherits from the root,
  // and a nearer node's value wins.
  constexpr int Depth = 20000;
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  for (int N = 2; N < 2 + Depth; ++N)
    B.Object(N, "<< /Type /Pages /Kids [" + std::to_string(N + 1) + " 0 R] /Count 1" +
                    (N == 2 ? " /Rotate 90 /MediaBox [0 0 10 10]" : "") +
                    (N == 3 ? " /Rotate 180" : "") + " >>");
  B.Object(2 + Depth, "<< /Type /Page /Parent " + std::to_string(1 + Depth) + " 0 R >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  ASSERT_EQ(Doc.PageCount(), 1);
  auto* Page = static_cast<TvxPDFDictObject*>(Doc.Pages()[0]->Value.get());
  EXPECT_EQ(GetNumberValue(Page->Lookup("/Rotate")), 180);
  // The keys in the order the root gave them first.
  ASSERT_EQ(Page->Count(), 3);
  EXPECT_EQ(Page->Keys[1]->Text, "/Rotate");
  EXPECT_EQ(Page->Keys[2]->Text, "/MediaBox");
}

TEST(LoadFaults, PageTreeNodeIsExpandedOnce) {
  // Three levels of 80 kids each naming the same node: the node's pages are
  // listed once, the page the last node lists 80 times becomes 80 pages.
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(vxtest::RepeatedKids(3, 80)));
  EXPECT_EQ(Doc.PageCount(), 80);
}

}  // namespace
