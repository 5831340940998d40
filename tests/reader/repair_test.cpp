// Repair of damaged files: what the exact load refuses loads with
// RepairDamaged, every repair reported as a warning; sound files load the
// same either way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/reader/vxRepair.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

// Catalog 1, pages 2, and Pages page objects from 3, each with a content
// stream naming its page.
PdfBuilder ThreePages(const std::string& Header = "%PDF-1.4\n") {
  PdfBuilder B(Header);
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R] /Count 3 /MediaBox [0 0 200 200] >>");
  for (int P = 0; P < 3; ++P) {
    B.Object(3 + 2 * P,
             "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(4 + 2 * P) + " 0 R >>");
    B.Stream(4 + 2 * P, "", "BT (page " + std::to_string(P + 1) + ") Tj ET");
  }
  return B;
}

// The three pages written with RC4-128 and the user password "user".
std::string EncryptedThreePages() {
  TvxPDFDocument Source;
  EXPECT_TRUE(Source.LoadFromMemory(ThreePages().FinishTable("/Root 1 0 R")));
  Source.Encryption().SetEnabled(true);
  Source.Encryption().SetLevel(el128bit);
  Source.Encryption().SetUserPassword("user");
  return vxtest::Written(Source);
}

struct TvxLoad {
  TvxPDFDocument Doc;
  std::vector<std::string> Warnings;
  explicit TvxLoad(bool Repair) {
    Doc.RepairDamaged = Repair;
    Doc.OnWarning = [this](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
  }
  bool Warned(const std::string& Text) const {
    for (const auto& W : Warnings)
      if (W.find(Text) != std::string::npos) return true;
    return false;
  }
  std::string Written() { return vxtest::Written(Doc); }
  // Page P's content stream, or nil.
  TvxPDFStreamObject* Stream(int P) {
    auto* Page = static_cast<TvxPDFDictObject*>(Doc.Pages()[static_cast<size_t>(P)]->Value.get());
    TvxPDFIndirectObject* C = Doc.Store().FindObject(Page->Lookup("/Contents"));
    if (!C || !C->Value || !C->Value->IsStream()) return nullptr;
    return static_cast<TvxPDFStreamObject*>(C->Value.get());
  }
  // The data of page P's content stream.
  std::string Content(int P) {
    auto* Page = static_cast<TvxPDFDictObject*>(Doc.Pages()[static_cast<size_t>(P)]->Value.get());
    TvxPDFIndirectObject* C = Doc.Store().FindObject(Page->Lookup("/Contents"));
    if (!C || !C->Value || !C->Value->IsStream()) return "";
    auto* S = static_cast<TvxPDFStreamObject*>(C->Value.get());
    return S->Data ? S->Data->DataString() : "";
  }
};

// Loads Bytes without and with repair: the first must fail, the second load
// Pages pages.
void ExpectRepaired(const std::string& Bytes, int Pages, TvxLoad& Repaired) {
  TvxLoad Exact(false);
  EXPECT_THROW(Exact.Doc.LoadFromMemory(Bytes), vx::Exception);
  EXPECT_FALSE(Exact.Doc.IsLoaded());
  ASSERT_TRUE(Repaired.Doc.LoadFromMemory(Bytes));
  EXPECT_EQ(Repaired.Doc.PageCount(), Pages);
  EXPECT_TRUE(Repaired.Warned("The file is damaged"));
}

TEST(Repair, HeaderAfterJunkKeepsTheFileItsOffsets) {
  // Offsets count from the header: the table is right once the junk is
  // skipped, so the file loads as it describes itself.
  PdfBuilder B = ThreePages();
  std::string Bytes = std::string(300, 'x') + B.FinishTable("/Root 1 0 R");
  TvxLoad L(true);
  ExpectRepaired(Bytes, 3, L);
  EXPECT_TRUE(L.Warned("The header starts at byte 300"));
  EXPECT_FALSE(L.Warned("rebuilt"));
  EXPECT_EQ(L.Content(2), "BT (page 3) Tj ET");
  // Beyond the first 1,024 bytes there is no header.
  TvxLoad Far(true);
  std::string Late = std::string(1100, 'x') + B.Data();
  ASSERT_TRUE(Far.Doc.LoadFromMemory(Late));
  EXPECT_TRUE(Far.Warned("The file has no header"));
  EXPECT_EQ(Far.Doc.PageCount(), 3);
}

TEST(Repair, DamagedHeaderVersionIsTakenForWhatItMeans) {
  PdfBuilder B = ThreePages("%PDF-1.9\n");
  TvxLoad L(true);
  ExpectRepaired(B.FinishTable("/Root 1 0 R"), 3, L);
  EXPECT_EQ(L.Doc.PDFVersion(), pvPDF17);
}

TEST(Repair, TruncatedTailIsRebuiltByScanning) {
  PdfBuilder B = ThreePages();
  B.FinishTable("/Root 1 0 R /Info 9 0 R");
  std::string Cut = B.Data().substr(0, B.LastXRef());
  TvxLoad L(true);
  ExpectRepaired(Cut, 3, L);
  EXPECT_TRUE(L.Warned("Cross-reference data rebuilt by scanning the file: 8 objects"));
  EXPECT_TRUE(L.Warned("No trailer names a catalog"));
  for (int P = 0; P < 3; ++P)
    EXPECT_EQ(L.Content(P), "BT (page " + std::to_string(P + 1) + ") Tj ET");
  // What is written loads again without repair.
  TvxLoad Again(false);
  ASSERT_TRUE(Again.Doc.LoadFromMemory(L.Written()));
  EXPECT_EQ(Again.Doc.PageCount(), 3);
}

TEST(Repair, WrongOffsetsAndBrokenPrevAreRebuilt) {
  // Every table offset 5 bytes off, and an update whose /Prev points
  // nowhere; the update replaces page 5 by a page without contents.
  PdfBuilder B = ThreePages();
  std::string Bytes = B.FinishTable("/Root 1 0 R");
  size_t Table = Bytes.find("xref\n");
  for (size_t P = Bytes.find(" 00000 n", Table); P != std::string::npos;
       P = Bytes.find(" 00000 n", P + 1))
    Bytes[P - 1] = static_cast<char>(Bytes[P - 1] == '9' ? '0' : Bytes[P - 1] + 1);
  Bytes += "5 0 obj\n<< /Type /Page /Parent 2 0 R /Rotate 90 >>\nendobj\n";
  Bytes +=
      "xref\n5 1\n0000000000 00000 n\r\ntrailer\n<< /Size 8 /Root 1 0 R /Prev 99999 >>\n"
      "startxref\n" +
      std::to_string(Bytes.find("xref\n5 1")) + "\n%%EOF\n";
  TvxLoad L(true);
  ExpectRepaired(Bytes, 3, L);
  // The last definition of object 5 wins.
  auto* Page = static_cast<TvxPDFDictObject*>(L.Doc.Pages()[1]->Value.get());
  EXPECT_NE(Page->Lookup("/Rotate"), nullptr);
  EXPECT_EQ(L.Content(0), "BT (page 1) Tj ET");
}

TEST(Repair, DirectInfoAndTrailerOfTheLastSectionWithRoot) {
  PdfBuilder B = ThreePages();
  B.Object(9, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseThumbs >>");
  std::string Bytes = B.FinishTable("/Root 9 0 R /Info << /Title (Repaired) >>");
  TvxLoad L(true);
  ExpectRepaired(Bytes, 3, L);
  EXPECT_TRUE(L.Warned("The trailer's /Info is a direct dictionary"));
  EXPECT_EQ(L.Doc.Info().GetTitle(), u"Repaired");
  EXPECT_EQ(L.Doc.PageMode(), pmUseThumbs);
}

TEST(Repair, StreamFaultsAndCountAreWarnings) {
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 7 >>");
  B.Object(3, "<< /Type /Page /MediaBox [0 0 9 9] /Contents 4 0 R >>");
  B.Object(4, "<< /Length 99 >>\nstream\nBT (long) Tj ET\nendstream");
  B.Object(5, "<< /Type /Page /MediaBox [0 0 9 9] /Contents 6 0 R >>");
  B.Object(6, "<< /Length 17 >>\nstream\nBT (no end) Tj ET");
  // No table, no trailer.
  const std::string Bytes = B.Data();
  TvxLoad L(true);
  ExpectRepaired(Bytes, 2, L);
  EXPECT_TRUE(L.Warned("Stream of object 4: /Length is wrong"));
  EXPECT_TRUE(L.Warned("Stream of object 6 has no endstream"));
  EXPECT_TRUE(L.Warned("The page tree's /Count disagrees with the 2 pages it holds"));
  // Data without "endstream" is left in the source like any other.
  EXPECT_TRUE(L.Stream(1)->Data.InSource());
  EXPECT_EQ(L.Content(0), "BT (long) Tj ET\n");
  EXPECT_EQ(L.Content(1), "BT (no end) Tj ET");
}

TEST(Repair, ObjectsAfterAStreamThatLostItsEndAreFound) {
  // Object 4's "endstream" is gone; the next one found belongs to object 6,
  // whose header must not be taken for data of object 4.
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3, "<< /Type /Page /MediaBox [0 0 9 9] /Contents 6 0 R /Thumb 4 0 R >>");
  B.Object(4, "<< /Length 5 >>\nstream\nthumb");
  B.Object(5, "<< /Producer (x) >>");
  B.Object(6, "<< /Length 19 >>\nstream\nBT (Potato 0) Tj ET\nendstream");
  TvxLoad L(true);
  ExpectRepaired(B.Data(), 1, L);
  EXPECT_EQ(L.Content(0), "BT (Potato 0) Tj ET");
}

TEST(Repair, EncryptedDataWithoutEndStreamIsDecryptedWhenRead) {
  std::string Bytes = EncryptedThreePages();
  // Page 2's content, the second stream written, loses its "endstream";
  // the table goes too.
  const size_t End = Bytes.find("endstream", Bytes.find("endstream") + 9);
  ASSERT_NE(End, std::string::npos);
  Bytes.erase(End, 9);
  Bytes = Bytes.substr(0, Bytes.rfind("xref")) + Bytes.substr(Bytes.rfind("trailer"));
  TvxLoad L(true);
  L.Doc.OnPassword = [](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Tries) {
    Continue = Tries == 0;
    Pw = "user";
  };
  ASSERT_TRUE(L.Doc.LoadFromMemory(Bytes));
  EXPECT_TRUE(L.Warned("has no endstream"));
  ASSERT_GE(L.Doc.PageCount(), 2);
  ASSERT_NE(L.Stream(1), nullptr);
  EXPECT_TRUE(L.Stream(1)->Data.InSource());
  // Up to "endobj": the line end before it is read as data too.
  EXPECT_EQ(L.Content(1).substr(0, 17), "BT (page 2) Tj ET");
  EXPECT_EQ(L.Content(0), "BT (page 1) Tj ET");
}

TEST(Repair, ObjectStreamsFoundByTheScan) {
  PdfBuilder B;
  B.ObjectStream(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                     {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                     {3, "<< /Type /Page /MediaBox [0 0 9 9] >>"}});
  std::string Bytes = B.FinishStream(6, "/Root 1 0 R");
  // The cross-reference stream is gone; an older copy of object 3 before the
  // object stream is overridden by it.
  Bytes = "%PDF-1.5\n3 0 obj\n<< /Type /Font >>\nendobj\n" +
          Bytes.substr(Bytes.find('\n') + 1, Bytes.find("6 0 obj") - Bytes.find('\n') - 1);
  TvxLoad L(true);
  ExpectRepaired(Bytes, 1, L);
}

TEST(Repair, EncryptedFileStillAsksForItsPassword) {
  std::string Bytes = EncryptedThreePages();
  Bytes = Bytes.substr(0, Bytes.rfind("xref")) + Bytes.substr(Bytes.rfind("trailer"));
  Bytes = Bytes.substr(0, Bytes.rfind("startxref"));
  for (const char* Password : {"wrong", "user"}) {
    TvxLoad L(true);
    std::vector<std::string> Asked;
    L.Doc.OnPassword = [&](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Tries) {
      Continue = Tries == 0;
      Pw = Password;
      Asked.push_back(Pw);
    };
    bool Loaded = L.Doc.LoadFromMemory(Bytes);
    EXPECT_FALSE(Asked.empty());
    EXPECT_EQ(Loaded, std::string(Password) == "user");
    if (Loaded) {
      EXPECT_EQ(L.Doc.PageCount(), 3);
      EXPECT_EQ(L.Content(1), "BT (page 2) Tj ET");
    }
  }
}

TEST(Repair, PagesTheTreeDoesNotReachAreTakenWhenItGivesNone) {
  // A chain of nodes ending in one whose kid is itself; the one page is
  // linked from nowhere.
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 3 0 R >>");
  B.Object(2, "<< /Type /Page /MediaBox [0 0 612 792] /Contents 400 0 R >>");
  for (int N = 3; N < 300; ++N)
    B.Object(N, "<< /Type /Pages /Kids [" + std::to_string(N + 1) + " 0 R] /Count 1 >>");
  B.Object(300, "<< /Type /Pages /Kids [300 0 R] /Count 1 >>");
  B.Stream(400, "", "BT (unlisted) Tj ET");
  const std::string Bytes = B.FinishTable("/Root 1 0 R");
  TvxLoad L(true);
  ExpectRepaired(Bytes, 1, L);
  EXPECT_TRUE(L.Warned("the page tree names pages but none can be read"));
  EXPECT_TRUE(L.Warned("Page object 2 is not in the page tree; taken as a page"));
  EXPECT_EQ(L.Content(0), "BT (unlisted) Tj ET");
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [&] { TvxLoad(false).Doc.LoadFromMemory(Bytes); },
      "File is corrupted: the page tree names pages but none can be read");
  // With no page object anywhere, the repair fails too rather than give an
  // empty document.
  PdfBuilder N;
  N.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  N.Object(2, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>");
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [&] { TvxLoad(true).Doc.LoadFromMemory(N.FinishTable("/Root 1 0 R")); },
      "File is corrupted: the page tree names pages but none can be read");
}

TEST(Repair, SoundFileLoadsTheSameAndGarbageFailsCleanly) {
  PdfBuilder B = ThreePages();
  B.Object(9, "<< /Title (Sound) >>");
  const std::string Good = B.FinishTable("/Root 1 0 R /Info 9 0 R");
  TvxLoad Exact(false), Repaired(true);
  ASSERT_TRUE(Exact.Doc.LoadFromMemory(Good));
  ASSERT_TRUE(Repaired.Doc.LoadFromMemory(Good));
  EXPECT_EQ(Exact.Written(), Repaired.Written());
  EXPECT_TRUE(Repaired.Warnings.empty());

  for (const std::string& Garbage :
       {std::string("not a pdf at all"), std::string("%PDF-1.4\n1 0 obj << /A 1 >> endobj\n"),
        std::string(5000, '\0'), std::string("%PDF-1.4\n") + std::string(3000, '[')}) {
    TvxLoad L(true);
    try {
      L.Doc.LoadFromMemory(Garbage);
      ADD_FAILURE() << "garbage loaded";
    } catch (const vx::Exception&) {
      EXPECT_FALSE(L.Doc.IsLoaded());
    }
  }
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [] {
        TvxLoad L(true);
        L.Doc.LoadFromMemory("%PDF-1.4\n1 0 obj << /A 1 >> endobj\n");
      },
      "File is corrupted: no catalog can be found");
}

TEST(Repair, WhichFailuresAreDamage) {
  EXPECT_TRUE(IsDamagedStructureError(EPDFFileCorruptedError("x")));
  EXPECT_TRUE(IsDamagedStructureError(EInvalidHeader("x")));
  EXPECT_FALSE(IsDamagedStructureError(EFileNotFound("x")));
  EXPECT_FALSE(IsDamagedStructureError(EDecodeLimitError("x")));
  EXPECT_FALSE(IsDamagedStructureError(std::runtime_error("x")));
}

}  // namespace
