#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

TvxPDFDictObject& PageDict(TvxCustomPDFDocument& Doc, int Index) {
  return *static_cast<TvxPDFDictObject*>(Doc.Pages().at(static_cast<size_t>(Index))->Value.get());
}

std::vector<int> PageNumbers(TvxCustomPDFDocument& Doc) {
  std::vector<int> Result;
  for (auto* P : Doc.Pages()) Result.push_back(P->ObjectNumber);
  return Result;
}

// A document with pages 5, 3 and 9, a nested /Pages node and inherited values.
std::string ThreePageFile() {
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseThumbs >>");
  B.Object(
      2,
      "<< /Type /Pages /Kids [5 0 R 3 0 R 4 0 R] /Count 3 /MediaBox [0 0 612 792] /Rotate 180 >>");
  B.Object(3, "<< /Type /Page /Parent 2 0 R /Rotate 90 /B [10 0 R] /Contents 6 0 R >>");
  B.Object(
      4, "<< /Type /Pages /Parent 2 0 R /Kids [9 0 R] /Count 1 /Rotate 270 /CropBox [1 1 5 5] >>");
  B.Object(5, "<< /Type /Page /Parent 2 0 R /Annots [7 0 R] >>");
  B.Stream(6, "", "BT ET");
  B.Object(7, "<< /Type /Annot /Subtype /Link /A 8 0 R >>");
  B.Object(8, "<< /S /URI /URI (x) >>");
  B.Object(9, "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 100 100] >>");
  B.Object(10, "<< /Type /Bead >>");
  B.Object(11, "<< /Title (Three) /Producer (Test) >>");
  return B.FinishTable("/Root 1 0 R /Info 11 0 R /ID [<AB> <CD>]");
}

TEST(DocumentLoad, PageTreeIsFlattenedWithInheritedValues) {
  std::string Path = vxtest::WriteTempFile("three.pdf", ThreePageFile());
  TvxPDFDocument Doc;
  std::vector<int32_t> Progress;
  std::vector<std::string> Status;
  Doc.OnIOProgress = [&](TvxCustomPDFDocument&, int32_t P) { Progress.push_back(P); };
  Doc.OnStatusMessage = [&](TvxCustomPDFDocument&, const std::string& S) { Status.push_back(S); };
  std::string Order;
  Doc.OnBeginRead = [&](TvxCustomPDFDocument& D) {
    Order += "begin" + std::to_string(D.PageCount());
  };
  Doc.OnEndRead = [&](TvxCustomPDFDocument& D) { Order += " end" + std::to_string(D.PageCount()); };
  ASSERT_TRUE(Doc.LoadFromFile(Path));
  EXPECT_EQ(Order, "begin0 end3");
  EXPECT_EQ(Doc.PageCount(), 3);
  EXPECT_EQ(PageNumbers(Doc), (std::vector<int>{5, 3, 9}));
  EXPECT_EQ(Doc.PDFVersion(), pvPDF14);
  EXPECT_FALSE(Doc.IsEncrypted());
  EXPECT_EQ(Doc.PageMode(), pmUseThumbs);
  EXPECT_EQ(Doc.PageLayout(), plNone);
  EXPECT_EQ(Doc.Filename(), Path);

  // Page 5 inherits the root's box and rotation; page 3 keeps its own /Rotate.
  EXPECT_EQ(GetNumberValue(Doc.Store().Resolve(PageDict(Doc, 0).Lookup("/Rotate"))), 180);
  EXPECT_EQ(ArrayToRect(static_cast<TvxPDFArrayObject*>(PageDict(Doc, 0).Lookup("/MediaBox"))).Top,
            792);
  EXPECT_EQ(GetNumberValue(PageDict(Doc, 1).Lookup("/Rotate")), 90);
  // The nearer ancestor wins; the page's own box wins over both.
  EXPECT_EQ(GetNumberValue(PageDict(Doc, 2).Lookup("/Rotate")), 270);
  EXPECT_EQ(ArrayToRect(static_cast<TvxPDFArrayObject*>(PageDict(Doc, 2).Lookup("/MediaBox"))).Top,
            100);
  EXPECT_NE(PageDict(Doc, 2).Lookup("/CropBox"), nullptr);
  EXPECT_NE(PageDict(Doc, 0).Lookup("/MediaBox"), PageDict(Doc, 1).Lookup("/MediaBox"))
      << "each page holds its own copy";
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(PageDict(Doc, I).Lookup("/Parent"), nullptr);
    EXPECT_EQ(PageDict(Doc, I).Lookup("/B"), nullptr);
    EXPECT_GT(Doc.Pages()[I]->UseCount, 0);
  }
  // Annotations, their actions and page contents are loaded and marked; the
  // bead only reachable through /B is not, and neither are /Pages nodes.
  TvxPDFObjectStore& S = Doc.Store();
  for (int N : {6, 7, 8}) {
    auto* Obj = S.GetObject(S.IndexOfObject(Doc.DocumentID(), N, 0));
    EXPECT_GT(Obj->UseCount, 0) << N;
  }
  EXPECT_LT(S.IndexOfObject(Doc.DocumentID(), 10, 0), 0);
  EXPECT_LT(S.IndexOfObject(Doc.DocumentID(), 2, 0), 0);
  EXPECT_LT(S.IndexOfObject(Doc.DocumentID(), 4, 0), 0);
  EXPECT_EQ(S.LastObjectNumber, 12);
  ASSERT_NE(Doc.Trailer().ID, nullptr);
  EXPECT_EQ(Doc.Trailer().ID->Count(), 2);

  EXPECT_EQ(Progress, (std::vector<int32_t>{10, 75, 30, 90, 60, 100}));
  ASSERT_FALSE(Status.empty());
  EXPECT_EQ(Status.front(), "Reading Cross-Reference Table");
  EXPECT_EQ(Status.back(), "Document read complete. Pages read = 3");
}

TEST(DocumentLoad, MissingFileAndExtension) {
  TvxPDFDocument Doc;
  std::string Base = vxtest::TempPath("no_such_file");
  vxtest::ExpectError<EFileNotFound>([&] { Doc.LoadFromFile(Base); }, Base + ".pdf File Not Found");
  EXPECT_EQ(Doc.WorkFileName(), Base + ".pdf");
  // A name without extension finds the file with ".pdf".
  std::string Path = vxtest::WriteTempFile("noext.pdf", ThreePageFile());
  EXPECT_TRUE(Doc.LoadFromFile(Path.substr(0, Path.size() - 4)));
  EXPECT_EQ(Doc.PageCount(), 3);
  // Loading again clears the document and gives it a new number.
  int32_t OldID = Doc.DocumentID();
  EXPECT_TRUE(Doc.LoadFromFile(Path));
  EXPECT_NE(Doc.DocumentID(), OldID);
  EXPECT_EQ(Doc.PageCount(), 3);
}

TEST(DocumentLoad, IncrementalUpdateNewestWins) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 4 0 R >>");
  B.Stream(4, "", "old");
  B.FinishTable("/Root 1 0 R");
  size_t FirstXRef = B.LastXRef();
  B.ForgetObjects();
  // The update replaces the page list and frees object 4: it is gone.
  B.Object(5, "<< /Type /Catalog /Pages 6 0 R >>");
  B.Object(6, "<< /Type /Pages /Kids [3 0 R 7 0 R] >>");
  B.Object(7, "<< /Type /Page /MediaBox [0 0 20 20] /Contents 4 0 R >>");
  size_t XRef = B.Size();
  B.Raw("xref\n0 1\n0000000000 65535 f\r\n4 1\n0000000000 00001 f\r\n5 3\n");
  // Entries with one-byte line ends are tolerated.
  std::string Data = B.Data();
  auto OffsetOf = [&](int N) { return Data.find("\n" + std::to_string(N) + " 0 obj") + 1; };
  char Line[32];
  for (int N = 5; N <= 7; ++N) {
    std::snprintf(Line, sizeof Line, "%010zu 00000 n\n", OffsetOf(N));
    B.Raw(Line);
  }
  B.Raw("trailer\n<< /Size 8 /Root 5 0 R /Prev " + std::to_string(FirstXRef) + " >>\nstartxref\n" +
        std::to_string(XRef) + "\n%%EOF\n");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("update.pdf", B.Data())));
  EXPECT_EQ(Doc.Trailer().RootObjectNumber, 5);
  EXPECT_EQ(PageNumbers(Doc), (std::vector<int>{3, 7}));
  EXPECT_EQ(Doc.Store().FindObject(PageDict(Doc, 1).Lookup("/Contents")), nullptr)
      << "a free entry of an update deletes the older object";
}

TEST(DocumentLoad, CrossReferenceStreamWithObjectStreams) {
  PdfBuilder B("%PDF-1.5\n");
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.ObjectStream(10, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] >>"},
                      {3, "<< /Type /Page /MediaBox [0 0 1 1] /Resources 5 0 R >>"},
                      {4, "<< /Type /Page /MediaBox [0 0 2 2] /Resources 5 0 R >>"},
                      {5, "<< /Font << /F1 6 0 R >> >>"},
                      {6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
                      {7, "<< /Title (From object stream) >>"}});
  B.FinishStream(11, "/Root 1 0 R /Info 7 0 R");
  TvxPDFDocument Doc;
  std::vector<std::string> Status;
  Doc.OnStatusMessage = [&](TvxCustomPDFDocument&, const std::string& S) { Status.push_back(S); };
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("objstm.pdf", B.Data())));
  EXPECT_EQ(Doc.PDFVersion(), pvPDF15);
  EXPECT_EQ(PageNumbers(Doc), (std::vector<int>{3, 4}));
  EXPECT_EQ(Status.front(), "Reading Cross-Reference Stream Table");
  TvxPDFObjectStore& S = Doc.Store();
  for (int N : {2, 3, 4, 5, 6}) EXPECT_GE(S.IndexOfObject(Doc.DocumentID(), N, 0), 0) << N;
  // The information dictionary goes to the document information instead.
  EXPECT_LT(S.IndexOfObject(Doc.DocumentID(), 7, 0), 0);
  EXPECT_EQ(Doc.Info().GetTitle(), u"From object stream");
  auto* Font = S.GetObject(S.IndexOfObject(Doc.DocumentID(), 6, 0));
  EXPECT_GT(Font->UseCount, 0);
}

TEST(DocumentLoad, HybridFileReadsItsStreamEntries) {
  // Objects 3 and 4 live only in an object stream listed by /XRefStm.
  PdfBuilder B;
  B.PageTree({3, 4});
  B.ObjectStream(5, {{3, "<< /Type /Page /MediaBox [0 0 1 1] >>"},
                     {4, "<< /Type /Page /MediaBox [0 0 2 2] >>"}});
  PdfBuilder Stm = B;
  Stm.FinishStream(6, "");
  size_t StmOffset = Stm.LastXRef();
  // Keep the stream section's bytes, then add a table that names it.
  PdfBuilder Hybrid(Stm.Data().substr(0, Stm.Data().rfind("startxref")));
  std::string Data = Hybrid.Data();
  size_t XRef = Data.size();
  char Line[32];
  std::string Table = "xref\n0 3\n0000000000 65535 f\r\n";
  for (int N = 1; N <= 2; ++N) {
    std::snprintf(Line, sizeof Line, "%010zu 00000 n\r\n", Data.find(std::to_string(N) + " 0 obj"));
    Table += Line;
  }
  Hybrid.Raw(Table + "trailer\n<< /Size 7 /Root 1 0 R /XRefStm " + std::to_string(StmOffset) +
             " >>\nstartxref\n" + std::to_string(XRef) + "\n%%EOF\n");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("hybrid.pdf", Hybrid.Data())));
  EXPECT_EQ(PageNumbers(Doc), (std::vector<int>{3, 4}));
  EXPECT_GE(Doc.Store().LastObjectNumber, 7) << "new numbers stay above every stream entry";
}

TEST(DocumentLoad, StartXRefOffsetTolerance) {
  std::string Good = ThreePageFile();
  size_t Pos = Good.rfind("startxref\n") + 10;
  size_t End = Good.find('\n', Pos);
  long XRef = std::stol(Good.substr(Pos, End - Pos));
  auto WithOffset = [&](long Offset) {
    return Good.substr(0, Pos) + std::to_string(Offset) + Good.substr(End);
  };
  TvxPDFDocument Doc;
  // One blank byte before "xref" is accepted.
  EXPECT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("off1.pdf", WithOffset(XRef - 1))));
  EXPECT_EQ(Doc.PageCount(), 3);
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [&] { Doc.LoadFromFile(vxtest::WriteTempFile("off2.pdf", WithOffset(XRef - 2))); },
      "File is corrupted");
}

TEST(DocumentLoad, DamagedStructuresEnd) {
  // A /Prev pointing at its own section, a page tree that contains itself and
  // lists a page twice, and a reference chain that loops.
  PdfBuilder B;
  B.PageTree({3, 2, 3, 4});
  B.Object(3, "<< /Type /Page /X 5 0 R >>");
  B.Object(4, "<< /Kids [] >>");
  B.Object(5, "<< /Next 6 0 R >>");
  B.Object(6, "<< /Next 5 0 R /Self 6 0 R /Zero 0 0 R >>");
  std::string Data = B.FinishTable("/Root 1 0 R");
  size_t XRef = B.LastXRef();
  Data.insert(Data.rfind(">>\nstartxref"), "/Prev " + std::to_string(XRef) + " ");
  TvxPDFDocument Doc;
  std::vector<std::string> Warnings;
  Doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("loops.pdf", Data)));
  // A page listed twice becomes two pages, the second a copy of its own.
  ASSERT_EQ(Doc.PageCount(), 2);
  EXPECT_EQ(Doc.Pages()[0]->ObjectNumber, 3);
  EXPECT_GT(Doc.Pages()[1]->ObjectNumber, 6);
  EXPECT_NE(Doc.Pages()[0]->Value.get(), Doc.Pages()[1]->Value.get());
  EXPECT_EQ(Warnings, (std::vector<std::string>{"Invalid Object number in PDF (0)"}));

  // Pages given directly in /Kids get objects of their own.
  PdfBuilder K;
  K.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  K.Object(
      2,
      "<< /Type /Pages /Kids [<< /Type /Page /Contents 3 0 R >> << /Type /Page >>] /Rotate 90 >>");
  K.Stream(3, "", "q Q");
  ASSERT_TRUE(
      Doc.LoadFromFile(vxtest::WriteTempFile("directkids.pdf", K.FinishTable("/Root 1 0 R"))));
  ASSERT_EQ(Doc.PageCount(), 2);
  EXPECT_EQ(GetNumberValue(PageDict(Doc, 1).Lookup("/Rotate")), 90);
  EXPECT_NE(Doc.Store().FindObject(PageDict(Doc, 0).Lookup("/Contents")), nullptr);
  // Any other node given directly is refused as a kid that is no reference.
  for (const char* Kid :
       {"<< /Type /Catalog >>", "<< /Type /Pages /Kids [] >>", "<< /Kids [] >>"}) {
    SCOPED_TRACE(Kid);
    PdfBuilder N;
    N.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    N.Object(2, "<< /Type /Pages /Kids [" + std::string(Kid) + "] >>");
    vxtest::ExpectError<EInvalidCast>(
        [&] {
          Doc.LoadFromFile(vxtest::WriteTempFile("directnode.pdf", N.FinishTable("/Root 1 0 R")));
        },
        "Invalid class typecast");
  }

  PdfBuilder C;
  C.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  C.Object(2, "<< /Type /Catalog /Kids [] >>");
  vxtest::ExpectError<EUnexpectedError>(
      [&] { Doc.LoadFromFile(vxtest::WriteTempFile("badnode.pdf", C.FinishTable("/Root 1 0 R"))); },
      "Unexpected Error");
}

TEST(DocumentLoad, CatalogAndPagesWithoutType) {
  // A /Root naming no dictionary is no catalog; the message says which.
  for (const auto& Case :
       {std::pair{"/Root 9 0 R", "File is corrupted: the catalog (object 9) is not in the file"},
        std::pair{"/Root 3 0 R", "File is corrupted: the catalog (object 3) is not a dictionary"},
        std::pair{"", "File is corrupted: the trailer names no catalog"}}) {
    const std::string Root = Case.first, Message = Case.second;
    PdfBuilder B;
    B.PageTree({3});
    B.Object(3, "[ ]");
    TvxPDFDocument Doc;
    vxtest::ExpectError<EPDFFileCorruptedError>([&] { Doc.LoadFromMemory(B.FinishTable(Root)); },
                                                Message);
  }
  // Nodes without /Type: /Kids makes a page tree node, anything else a page,
  // which gets /Type /Page so that it is written as a page with its /Parent.
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Kids [3 0 R 4 0 R] >>");
  B.Object(3, "<< /Kids [5 0 R] >>");
  B.Object(4, "<< /MediaBox [0 0 10 10] >>");
  B.Object(5, "<< /MediaBox [0 0 20 20] >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  ASSERT_EQ(Doc.PageCount(), 2);
  for (int I : {0, 1}) {
    TvxPDFObject* Type = PageDict(Doc, I).Lookup("/Type");
    ASSERT_NE(Type, nullptr);
    EXPECT_EQ(static_cast<TvxPDFNameObject*>(Type)->Text, "/Page");
  }
  const std::string Text = vxtest::Written(Doc);
  size_t Parents = 0;
  for (size_t At = Text.find("/Type /Page\r\n"); At != std::string::npos;
       At = Text.find("/Type /Page\r\n", At + 1))
    Parents += Text.compare(Text.find(">>", At) - 15, 15, "/Parent 3 0 R\r\n") == 0;
  EXPECT_EQ(Parents, 2u) << Text;
}

TEST(DocumentLoad, LongReferenceChainsDoNotRecurse) {
  // 100,000 objects each naming the next, reachable from the page.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Chain 4 0 R >>");
  const int Last = 100003;
  for (int N = 4; N < Last; ++N) B.Object(N, "<< /Next " + std::to_string(N + 1) + " 0 R >>");
  B.Object(Last, "<< >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("chain.pdf", B.FinishTable("/Root 1 0 R"))));
  EXPECT_EQ(Doc.Store().Count(), Last - 2);
}

TEST(DocumentLoad, StaleObjectStreamCopiesDoNotShadowUpdates) {
  PdfBuilder B("%PDF-1.5\n");
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.ObjectStream(5, {{2, "<< /Type /Pages /Kids [3 0 R] >>"}, {3, "<< /Type /Page /V (old) >>"}});
  B.FinishStream(6, "/Root 1 0 R");
  size_t Prev = B.LastXRef();
  B.ForgetObjects();
  B.Object(3, "<< /Type /Page /V (new) >>");
  // The update: object 3 now lives at a plain offset.
  size_t Off3 = B.Data().rfind("3 0 obj");
  size_t XRef = B.Size();
  std::string Rows = PdfBuilder::XRefRow(1, static_cast<uint32_t>(Off3), 0) +
                     PdfBuilder::XRefRow(1, static_cast<uint32_t>(XRef), 0);
  B.Raw("7 0 obj\n<< /Type /XRef /Size 8 /W [1 4 2] /Index [3 1 7 1] /Root 1 0 R /Prev " +
        std::to_string(Prev) + " /Length " + std::to_string(Rows.size()) + " >>\nstream\n" + Rows +
        "\nendstream\nendobj\nstartxref\n" + std::to_string(XRef) + "\n%%EOF\n");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("stale.pdf", B.Data())));
  ASSERT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(static_cast<TvxPDFStringObject*>(PageDict(Doc, 0).Lookup("/V"))->Text, "(new)");
}

TEST(DocumentLoad, EncryptedFileAsksForPasswords) {
  PdfBuilder B;
  B.PageTree({});
  B.Object(3, "<< /Filter /Standard /V 1 /R 2 /O (x) /U (y) /P -4 /Length 4 0 R >>");
  B.Object(4, "40");
  std::string Path = vxtest::WriteTempFile("enc.pdf", B.FinishTable("/Root 1 0 R /Encrypt 3 0 R"));
  TvxPDFDocument Doc;
  std::vector<int32_t> Tries;
  int64_t Length = 0;
  Doc.OnPassword = [&](TvxCustomPDFDocument& Sender, std::string& Password, bool& Continue,
                       int32_t T) {
    Tries.push_back(T);
    Password = "guess";
    Continue = T < 2;
    // The encryption dictionary is made direct before any password is tried.
    TvxPDFObject* Enc = Sender.Trailer().Encrypt.get();
    if (Enc && Enc->IsDict())
      Length = GetNumberValue(static_cast<TvxPDFDictObject*>(Enc)->Lookup("/Length"));
  };
  EXPECT_FALSE(Doc.LoadFromFile(Path));
  EXPECT_EQ(Tries, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_FALSE(Doc.IsLoaded());
  EXPECT_EQ(Length, 40);

  // Without a handler the empty password is tried once; refused, it leaves
  // nothing loaded, as a cancelled dialog does.
  TvxPDFDocument Plain;
  EXPECT_FALSE(Plain.LoadFromFile(Path));
  EXPECT_FALSE(Plain.IsLoaded());
  EXPECT_FALSE(Plain.IsEncrypted());
  EXPECT_EQ(Plain.PageCount(), 0);
}

}  // namespace

namespace {

TEST(DocumentPages, SizeAndBoxInUnits) {
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /MediaBox [0 0 612 792] >>");
  B.Object(3, "<< /Type /Page >>");
  B.Object(4, "<< /Type /Page /CropBox [72 72 144 216] >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("sizes.pdf", B.FinishTable("/Root 1 0 R"))));
  EXPECT_EQ(Doc.MeasurementUnit, muPixels);
  TvxPageSize Letter = Doc.GetPageSize(1, muPixels);
  EXPECT_DOUBLE_EQ(Letter.Width, 816);
  EXPECT_DOUBLE_EQ(Letter.Height, 1056);
  EXPECT_DOUBLE_EQ(Doc.GetPageSize(2, muInches).Height, 2);
  TvxPDFRect Box = Doc.GetPageBox(2, muPoints);
  EXPECT_DOUBLE_EQ(Box.Left, 72);
  EXPECT_DOUBLE_EQ(Box.Top, 216);
  for (int32_t Bad : {0, 3}) {
    vxtest::ExpectError<EInvalidPageError>([&] { Doc.GetPageSize(Bad, muPoints); },
                                           "Invalid page number (" + std::to_string(Bad) + ")");
  }
}

TEST(DocumentLoad, RemoteDestinationsAreNotReplaced) {
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R /Dests 5 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  B.Object(3, "<< /Type /Page /Annots [4 0 R 6 0 R] >>");
  B.Object(4, "<< /Type /Annot /Subtype /Link /A << /S /GoToR /F (other.pdf) /D (Chap) >> >>");
  B.Object(5, "<< /Chap [3 0 R /Fit] >>");
  B.Object(6, "<< /Type /Annot /Subtype /Link /Dest (Chap) >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("remote.pdf", B.FinishTable("/Root 1 0 R"))));
  TvxPDFObjectStore& S = Doc.Store();
  auto* Remote = static_cast<TvxPDFDictObject*>(
      S.GetObject(S.IndexOfObject(Doc.DocumentID(), 4, 0))->Value.get());
  auto* Action = static_cast<TvxPDFDictObject*>(Remote->Lookup("/A"));
  EXPECT_TRUE(Action->Lookup("/D")->IsString()) << "another file's destination stays a name";
  auto* Local = static_cast<TvxPDFDictObject*>(
      S.GetObject(S.IndexOfObject(Doc.DocumentID(), 6, 0))->Value.get());
  EXPECT_TRUE(Local->Lookup("/Dest")->IsArray());
}

}  // namespace

namespace {

TEST(DocumentLoad, EntryPointingAtAnotherObjectIsNotTrusted) {
  // The entry for object 4 leads to object 5, which names 4 again: reading
  // it on every reference would never end.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /X 4 0 R >>");
  // A stream, so that its dictionary is met while the walk is running.
  B.Stream(5, "/Back 4 0 R /Self 5 0 R /Res << /X 6 0 R >>", "data");
  B.Object(6, "<< /Deep [4 0 R] >>");
  std::string Data = B.FinishTable("/Root 1 0 R");
  size_t Five = Data.find("5 0 obj");
  size_t Entry4 = Data.find("xref\n0 7\n") + 9 + 20 * 4;
  char Line[21];
  std::snprintf(Line, sizeof Line, "%010zu 00000 n\r\n", Five);
  Data.replace(Entry4, 20, Line);
  TvxPDFDocument Doc;
  std::vector<std::string> Warnings;
  Doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("wrongentry.pdf", Data)));
  EXPECT_EQ(Doc.PageCount(), 1);
  EXPECT_LT(Doc.Store().IndexOfObject(Doc.DocumentID(), 5, 0), 0);
  // Named three times, read and reported once.
  EXPECT_EQ(std::count(Warnings.begin(), Warnings.end(),
                       "Object 4 is not where the cross-reference table puts it"),
            1);
}

TEST(DocumentLoad, OverlappingObjectStreamMembersAreReadOnce) {
  // Objects 5 and 6 are placed inside the array that begins at object 4's
  // place: one place named for many objects would otherwise be read, and
  // kept, once for each of them.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] /A 4 0 R /B 5 0 R /C 6 0 R /D 7 0 R >>");
  B.ObjectStream(10, {{4, ""}, {5, ""}, {6, "[1 2 3]"}, {7, "(seven)"}});
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishStream(11, "/Root 1 0 R")));
  auto Value = [&](int32_t N) {
    TvxPDFIndirectReference R(Doc.DocumentID(), N, 0);
    return Doc.Store().Resolve(&R);
  };
  ASSERT_NE(Value(4), nullptr);
  EXPECT_TRUE(Value(4)->IsArray());
  EXPECT_EQ(Value(5), nullptr);
  EXPECT_EQ(Value(6), nullptr);
  ASSERT_NE(Value(7), nullptr);
  EXPECT_TRUE(Value(7)->IsString());
}

}  // namespace

namespace {

TEST(DocumentLoad, LengthsThatAreStreamsDoNotRecurse) {
  // Each content stream's /Length names the next stream; the last names itself.
  PdfBuilder B;
  B.PageTree({3});
  const int First = 4, Last = 20003;
  std::string Contents;
  for (int N = First; N <= Last; N += 1000) Contents += std::to_string(N) + " 0 R ";
  B.Object(3, "<< /Type /Page /Contents [" + Contents + "] >>");
  for (int N = First; N <= Last; ++N)
    B.Object(N, "<< /Length " + std::to_string(N == Last ? N : N + 1) +
                    " 0 R >>\nstream\nq Q\nendstream");
  TvxPDFDocument Doc;
  ASSERT_TRUE(
      Doc.LoadFromFile(vxtest::WriteTempFile("lengthchain.pdf", B.FinishTable("/Root 1 0 R"))));
  auto* S = Doc.Store().FindObject(
      static_cast<TvxPDFArrayObject*>(
          static_cast<TvxPDFDictObject*>(Doc.Pages()[0]->Value.get())->Lookup("/Contents"))
          ->GetItem(0));
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(static_cast<TvxPDFStreamObject*>(S->Value.get())->Data->DataString(), "q Q\n");
}

}  // namespace

namespace {

TEST(DocumentLoad, ObjectWithAnotherGenerationIsStoredOnce) {
  // The entry says generation 0, the file says 1, and the object names itself
  // with generation 0: every reference would read and store it again.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /X 4 0 R >>");
  B.Object(4, "<< /Parent 4 0 R /Other 5 0 R >>", 1);
  B.Object(5, "<< /Back 4 0 R >>");
  std::string Data = B.FinishTable("/Root 1 0 R");
  // Give object 4 the generation 0 in its entry.
  size_t Entry = Data.find(" 00001 n");
  Data.replace(Entry, 8, " 00000 n");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(vxtest::WriteTempFile("othergen.pdf", Data)));
  EXPECT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(Doc.Store().Count(), 3);  // page, object 4 (generation 1), object 5
}

}  // namespace

namespace {

// Values kept in objects of their own: a page mode given by reference counts,
// one that is no name means the default instead of failing the load, and
// information entries are taken in rather than written as null.
TEST(DocumentLoad, CatalogAndInformationValuesByReference) {
  PdfBuilder B;
  B.PageTree({3}, "/PageMode 4 0 R /PageLayout (SinglePage)", "/MediaBox [0 0 612 792]");
  B.Object(3, "<< /Type /Page /Parent 2 0 R >>");
  B.Object(4, "/UseOutlines");
  B.Object(5, "(Indirect title)");
  B.Object(6, "/True");
  B.Object(7, "<< /Title 5 0 R /Author (Ann) /Trapped 6 0 R >>");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R /Info 7 0 R")));
  EXPECT_EQ(Doc.PageMode(), pmUseOutlines);
  EXPECT_EQ(Doc.PageLayout(), plNone);
  EXPECT_EQ(Doc.Info().GetTitle(), u"Indirect title");
  const std::string Saved = vxtest::Written(Doc);
  EXPECT_EQ(Saved.find("null"), std::string::npos);
  EXPECT_NE(Saved.find("/Trapped /True"), std::string::npos);
  TvxPDFDocument Again;
  ASSERT_TRUE(Again.LoadFromMemory(Saved));
  EXPECT_EQ(Again.Info().GetTitle(), u"Indirect title");
  EXPECT_EQ(Again.Info().GetAuthor(), u"Ann");
  EXPECT_EQ(Again.PageMode(), pmUseOutlines);
}

}  // namespace

namespace {

// Objects enter the store, and so the written file, in the order of a depth
// first walk: an object's references right after it, before its siblings.
TEST(DocumentLoad, ObjectsAreStoredDepthFirst) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /MediaBox [0 0 10 10] /Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> "
           "/Contents 9 0 R >>");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Marker 7 0 R >>");
  B.Object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Marker [8 0 R] >>");
  B.Object(7, "(seven)");
  B.Object(8, "(eight)");
  B.Stream(9, "", "q Q");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));
  std::vector<int32_t> Order;
  for (int32_t I = 0; I < Doc.Store().Count(); ++I) {
    const int32_t N = Doc.Store().GetObject(I)->ObjectNumber;
    if (N >= 5) Order.push_back(N);
  }
  EXPECT_EQ(Order, (std::vector<int32_t>{5, 7, 6, 8, 9}));
}

}  // namespace

namespace {

// Entries that all name one large value are copied for each entry: past an
// allowance proportional to the file the load is refused instead of growing
// without end (a few kilobytes could otherwise cost gigabytes).
TEST(DocumentLoad, SharedValuesCopiedPerEntryHaveABound) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.Object(5, "(" + std::string(10000, 'A') + ")");
  std::string Entries;
  for (int K = 0; K < 3000; ++K) Entries += "/K" + std::to_string(K) + " 5 0 R";
  B.Object(6, "<< " + Entries + " >>");
  TvxPDFDocument Doc;
  vxtest::ExpectError<EPDFFileCorruptedError>(
      [&] { Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R /Info 6 0 R")); }, "File is corrupted");
}

}  // namespace
