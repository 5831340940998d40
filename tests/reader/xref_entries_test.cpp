// Which cross-reference entry the load uses for each object when updates of
// different kinds are chained: the newest section's entry always wins.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "support/corpus.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

// Opens the entry lists of a document to the tests.
class TvxEntryView : public TvxPDFDocument {
 public:
  using TvxDocumentData::FXRefItems;
  using TvxDocumentData::FXRefStmItems;
};

const TvxPDFDictObject& Page(TvxCustomPDFDocument& Doc, size_t I) {
  return *static_cast<const TvxPDFDictObject*>(Doc.Pages().at(I)->Value.get());
}

int32_t IntegerEntry(const TvxPDFDictObject& D, const char* Key) {
  const TvxPDFObject* V = D.Lookup(Key);
  return V && V->IsInteger() ? static_cast<const TvxPDFIntegerObject*>(V)->Value : -1;
}

// The integers of an array, joined by spaces.
std::string Numbers(const TvxPDFObject* V) {
  std::string S;
  if (!V || !V->IsArray()) return "(none)";
  for (const auto& Item : static_cast<const TvxPDFArrayObject*>(V)->Items)
    S +=
        (S.empty() ? "" : " ") +
        (Item && Item->IsInteger() ? static_cast<TvxPDFIntegerObject*>(Item.get())->AsText() : "?");
  return S;
}

std::string ContentsOf(TvxCustomPDFDocument& Doc, size_t I) {
  TvxPDFIndirectObject* C = Doc.Store().FindObject(Page(Doc, I).Lookup("/Contents"));
  if (!C || !C->Value || !C->Value->IsStream()) return "(none)";
  return static_cast<TvxPDFStreamObject*>(C->Value.get())->Data->DataString();
}

// Catalog 1, pages 2, page 3 and its contents 4, in a classic table.
PdfBuilder TableBase() {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R >>");
  B.Stream(4, "", "old");
  B.FinishTable("/Root 1 0 R");
  B.ForgetObjects();
  return B;
}

TEST(XRefEntries, StreamUpdateOverTableWins) {
  PdfBuilder B = TableBase();
  // The page moves into an object stream, its parent is rewritten in place.
  B.ObjectStream(6, {{3, "<< /Type /Page /Rotate 90 /Contents 5 0 R >>"}});
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 30 30] >>");
  B.Stream(5, "", "new");
  B.FinishStreamUpdate(7, "/Root 1 0 R");
  TvxEntryView Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  ASSERT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(IntegerEntry(Page(Doc, 0), "/Rotate"), 90) << "the updated page";
  EXPECT_EQ(ContentsOf(Doc, 0), "new");
  EXPECT_EQ(Numbers(Page(Doc, 0).Lookup("/MediaBox")), "0 0 30 30");
  EXPECT_EQ(Doc.FXRefItems.count(2), 0u);
  ASSERT_EQ(Doc.FXRefStmItems.count(2), 1u);
  EXPECT_EQ(Doc.FXRefStmItems.at(2).EntryType, 1);
}

TEST(XRefEntries, TableUpdateOverObjectStreamWins) {
  PdfBuilder B("%PDF-1.5\n");
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.ObjectStream(10, {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                      {3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R >>"}});
  B.Stream(4, "", "old");
  B.FinishStream(11, "/Root 1 0 R");
  B.ForgetObjects();
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Rotate 180 /Contents 5 0 R >>");
  B.Stream(5, "", "new");
  B.FinishTableUpdate("/Size 12 /Root 1 0 R");
  TvxEntryView Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  ASSERT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(IntegerEntry(Page(Doc, 0), "/Rotate"), 180);
  EXPECT_EQ(ContentsOf(Doc, 0), "new");
  // The older copy in the object stream is not kept beside it.
  int Copies = 0;
  for (int32_t I = 0; I < Doc.Store().Count(); ++I)
    if (Doc.Store().GetObject(I)->ObjectNumber == 3) ++Copies;
  EXPECT_EQ(Copies, 1);
}

TEST(XRefEntries, FreeEntryOfAStreamUpdateDeletes) {
  PdfBuilder B = TableBase();
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R >>");
  B.FinishStreamUpdate(7, "/Root 1 0 R", {4});
  TvxEntryView Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  EXPECT_EQ(ContentsOf(Doc, 0), "(none)");
  EXPECT_EQ(Doc.GetObjectOffset(4), 0);

  // An update after the deletion brings the object back.
  B.ForgetObjects();
  B.Stream(4, "", "again");
  B.FinishTableUpdate("/Size 8 /Root 1 0 R");
  TvxEntryView Again;
  ASSERT_TRUE(Again.LoadFromMemory(B.Data()));
  EXPECT_EQ(ContentsOf(Again, 0), "again");
}

TEST(XRefEntries, HybridTableEntriesBeforeStreamBeforeFreeOnes) {
  // The table gives object 3 an offset, frees 4 and 5; the /XRefStm stream
  // places 3 and 4 in an object stream. 3 comes from the table, 4 from the
  // object stream, 5 is free.
  PdfBuilder B("%PDF-1.5\n");
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents [4 0 R 5 0 R] >>");
  B.ObjectStream(6, {{3, "<< /Type /Page /Rotate 270 >>"}, {4, "<< /Length 1 >>"}}, true);
  std::string Data = B.Data();
  auto OffsetOf = [&](int N) { return Data.find(std::to_string(N) + " 0 obj"); };
  size_t Stm = Data.size();
  std::string Rows = PdfBuilder::XRefRow(2, 6, 0) + PdfBuilder::XRefRow(2, 6, 1);
  B.Raw("7 0 obj\n<< /Type /XRef /Size 8 /W [1 4 2] /Index [3 2] /Length " +
        std::to_string(Rows.size()) + " >>\nstream\n" + Rows + "\nendstream\nendobj\n");
  size_t XRef = B.Size();
  char Line[64];
  B.Raw("xref\n0 7\n0000000000 65535 f\r\n");
  for (int N = 1; N <= 6; ++N) {
    if (N == 4 || N == 5)
      std::snprintf(Line, sizeof Line, "%010d %05d f\r\n", 0, 1);
    else
      std::snprintf(Line, sizeof Line, "%010zu %05d n\r\n", OffsetOf(N), 0);
    B.Raw(Line);
  }
  B.Raw("trailer\n<< /Size 8 /Root 1 0 R /XRefStm " + std::to_string(Stm) + " >>\nstartxref\n" +
        std::to_string(XRef) + "\n%%EOF\n");
  TvxEntryView Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  ASSERT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(IntegerEntry(Page(Doc, 0), "/Rotate"), -1) << "the table's object 3";
  EXPECT_EQ(Doc.GetObjectOffset(3), static_cast<int64_t>(OffsetOf(3)));
  ASSERT_EQ(Doc.FXRefStmItems.count(4), 1u);
  EXPECT_EQ(Doc.FXRefStmItems.at(4).Field2, 6);
  EXPECT_EQ(Doc.FXRefItems.count(5) + Doc.FXRefStmItems.count(5), 0u);
}

TEST(XRefEntries, EntryListsGrowWithTheEntriesNotTheLargestNumber) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.FinishTable("/Root 1 0 R");
  B.ForgetObjects();
  B.Object(8388607, "<< /Big true >>");
  B.FinishTableUpdate("/Size 8388608 /Root 1 0 R");
  TvxEntryView Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  EXPECT_EQ(Doc.FXRefItems.size(), 4u);
  EXPECT_NE(Doc.GetObjectOffset(8388607), 0);
}

struct QpdfEntry {
  bool Compressed = false;
  int64_t A = 0;  // offset, or object stream number
  int64_t B = 0;  // generation, or index in the object stream
};

// "N/G: uncompressed; offset = X" and "N/0: compressed; stream = S, index = I"
// lines. qpdf keeps older entries of a number under other generations; the
// newest generation is the one a reader uses.
std::map<int32_t, QpdfEntry> QpdfEntries(const std::string& Path, int& Ambiguous) {
  std::map<int32_t, QpdfEntry> Result;
  std::map<int32_t, int> Seen;
  std::string Cmd = "qpdf --show-xref '" + Path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> P(popen(Cmd.c_str(), "r"), pclose);
  if (!P) return Result;
  char Line[512];
  while (std::fgets(Line, sizeof Line, P.get())) {
    int N = 0, G = 0;
    long long X = 0, Y = 0;
    QpdfEntry E;
    if (std::sscanf(Line, "%d/%d: uncompressed; offset = %lld", &N, &G, &X) == 3) {
      E = {false, X, G};
    } else if (std::sscanf(Line, "%d/%d: compressed; stream = %lld, index = %lld", &N, &G, &X,
                           &Y) == 4) {
      E = {true, X, Y};
    } else {
      continue;
    }
    if (++Seen[N] == 2) ++Ambiguous;
    auto It = Result.find(N);
    if (It == Result.end() || (!E.Compressed && !It->second.Compressed && E.B > It->second.B))
      Result[N] = E;
  }
  return Result;
}

TEST(XRefEntries, EveryEntryOfSoundCorpusFilesIsTheOneQpdfUses) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf missing";
  int FilesChecked = 0, Ambiguous = 0;
  int64_t Entries = 0;
  std::string Failures;
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_check") != "ok" || F.Fields.at("encryption") != "none") continue;
    TvxEntryView Doc;
    std::string Bytes = ReadFileToString(F.Path);
    TvxMemoryStream Source(std::move(Bytes));
    try {
      Doc.ReadDocument(Source);
    } catch (const vx::Exception& E) {
      continue;  // the load test lists the files the engine cannot open
    }
    ++FilesChecked;
    std::map<int32_t, QpdfEntry> Want = QpdfEntries(F.Path, Ambiguous);
    std::ostringstream Why;
    size_t Ours = 0;
    for (const auto& [N, E] : Doc.FXRefItems) {
      ++Ours;
      auto W = Want.find(N);
      if (W == Want.end() || W->second.Compressed || W->second.A != E.Offset)
        Why << " " << N << "@" << E.Offset;
    }
    for (const auto& [N, E] : Doc.FXRefStmItems) {
      ++Ours;
      auto W = Want.find(N);
      bool Same = W != Want.end() &&
                  (E.EntryType == 2
                       ? W->second.Compressed && W->second.A == E.Field2 && W->second.B == E.Field3
                       : !W->second.Compressed && W->second.A == E.Field2);
      if (!Same) Why << " " << N << "(" << E.EntryType << "," << E.Field2 << "," << E.Field3 << ")";
    }
    for (const auto& [N, E] : Want)
      if (!Doc.FXRefItems.count(N) && !Doc.FXRefStmItems.count(N)) Why << " missing " << N;
    Entries += static_cast<int64_t>(Ours);
    if (!Why.str().empty()) Failures += F.Name + ":" + Why.str().substr(0, 300) + "\n";
  }
  EXPECT_EQ(Failures, "");
  vxtest::ExpectTriedAtLeast(FilesChecked, 120);
  std::printf(
      "cross-reference entries: %d files, %lld entries as qpdf gives them (%d numbers "
      "under two generations)\n",
      FilesChecked, static_cast<long long>(Entries), Ambiguous);
}

}  // namespace
