#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/security/vxAES.h"
#include "pdf/writer/vxDocumentWriter.h"
#include "platform/vxShell.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::PdfBuilder;
using vxtest::ReadAll;

namespace {

// A text string as the information setters write it: UTF-16BE with FE FF.
std::string Utf16Literal(const std::string& Ascii) {
  std::string S = "(\xFE\xFF";
  for (char C : Ascii) {
    S.push_back('\0');
    S.push_back(C);
  }
  return S + ")";
}

bool Exists(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0;
}

// Two pages stored first, then their shared content and a font.
std::string TwoPageSource() {
  PdfBuilder B;
  B.Object(
      1, "<< /Type /Page /Parent 5 0 R /Contents 3 0 R /Resources << /Font << /F1 4 0 R >> >> >>");
  B.Object(2, "<< /Type /Page /Parent 5 0 R /Contents 3 0 R /Label (a\tb) /Esc (x\\(y\\)\r\n) >>");
  B.Stream(3, "", "BT /F1 12 Tf (Hi) Tj ET");
  B.Object(4,
           "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Widths [ ] /Hex <48 69> /Gone 9 0 "
           "R >>");
  B.Object(5, "<< /Type /Pages /Kids [1 0 R 2 0 R] /Count 2 >>");
  B.Object(6, "<< /Type /Catalog /Pages 5 0 R >>");
  B.Object(8, "<< /Unused true >>");
  return B.FinishTable("/Root 6 0 R /ID [<0102> <0304>]");
}

class WriterTest : public ::testing::Test {
 protected:
  std::string Save(TvxCustomPDFDocument& Doc, const std::string& Name, int32_t Mode = 2) {
    std::string Path = vxtest::TempPath(Name);
    Doc.SaveToFile(Path, Mode);
    return ReadAll(Path);
  }
  std::string Load(TvxCustomPDFDocument& Doc, const std::string& Name, const std::string& Bytes) {
    std::string Path = vxtest::WriteTempFile(Name, Bytes);
    EXPECT_TRUE(Doc.LoadFromFile(Path));
    return Path;
  }
};

TEST_F(WriterTest, FileLayoutIsExact) {
  TvxPDFDocument Doc;
  Load(Doc, "w_src.pdf", TwoPageSource());
  std::vector<std::string> Status;
  std::vector<int32_t> Progress;
  Doc.OnStatusMessage = [&](TvxCustomPDFDocument&, const std::string& S) { Status.push_back(S); };
  Doc.OnIOProgress = [&](TvxCustomPDFDocument&, int32_t P) { Progress.push_back(P); };
  std::string Out, SecondID;
  {
    vxtest::SeededRandom Seeded(4);
    Out = Save(Doc, "w_out.pdf");
  }
  {
    // The source's first identifier stays; the second is the save's one draw.
    vxtest::SeededRandom Seeded(4);
    SecondID = RandomBytes(16);
  }

  EXPECT_EQ(Out.substr(0, 17), "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n");
  // Catalog, information, page tree, then the used objects from 4 in store
  // order: page 1, its contents and font, then page 2.
  EXPECT_NE(Out.find("\r\n\r\n1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>\r\nendobj\r\n"),
            std::string::npos);
  EXPECT_NE(Out.find("\r\n3 0 obj\r\n<<\r\n/Type /Pages\r\n/Count 2\r\n/Kids [ 4 0 R 7 0 R "
                     "]\r\n>>\r\nendobj\r\n"),
            std::string::npos);
  EXPECT_NE(Out.find("/Producer " + Utf16Literal("Quillory Paginor V2.5")), std::string::npos);
  // Pages point at the new root; strings escaped; empty arrays; hex kept;
  // a reference to an object that is not written is null.
  EXPECT_NE(Out.find("/Parent 3 0 R\r\n>>"), std::string::npos);
  EXPECT_NE(Out.find("/Label (a\\tb)"), std::string::npos);
  EXPECT_NE(Out.find("/Esc (x\\(y\\)\\r\\n)"), std::string::npos);
  EXPECT_NE(Out.find("/Widths [ ]"), std::string::npos);
  EXPECT_NE(Out.find("/Hex <48 69>"), std::string::npos);
  EXPECT_NE(Out.find("/Gone null"), std::string::npos);
  EXPECT_EQ(Out.find("/Unused"), std::string::npos);
  EXPECT_NE(Out.find("stream\r\nBT /F1 12 Tf (Hi) Tj ET\r\nendstream"), std::string::npos);

  // Cross-reference table: 20-byte entries, each offset at its chunk.
  size_t XRef = Out.rfind("\r\nxref\r\n") + 2;
  ASSERT_NE(XRef, std::string::npos);
  std::smatch M;
  std::string Tail = Out.substr(XRef);
  ASSERT_TRUE(std::regex_search(Tail, M, std::regex("^xref\r\n0 (\\d+)\r\n")));
  int Count = std::stoi(M[1]);
  EXPECT_EQ(Count, 8);  // the free entry, 1-3, four used objects
  size_t Entries = XRef + M.length(0);
  EXPECT_EQ(Out.substr(Entries, 20), "0000000000 65535 f\r\n");
  for (int N = 1; N < Count; ++N) {
    std::string E = Out.substr(Entries + 20 * static_cast<size_t>(N), 20);
    ASSERT_TRUE(std::regex_match(E, std::regex("\\d{10} 00000 n\r\n"))) << E;
    size_t Offset = std::stoul(E.substr(0, 10));
    EXPECT_EQ(Out.substr(Offset, 2 + std::to_string(N).size() + 6),
              "\r\n" + std::to_string(N) + " 0 obj");
  }
  std::string Trailer = Out.substr(Entries + 20 * static_cast<size_t>(Count));
  EXPECT_EQ(Trailer, "trailer\r\n<<\r\n/Size 8\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n/ID [ <0102> <" +
                         BytesToHex(SecondID) + "> ]\r\n>>\r\nstartxref\r\n" +
                         std::to_string(XRef) + "\r\n%%EOF\r\n");

  EXPECT_EQ(Status, (std::vector<std::string>{"Saving File " + vxtest::TempPath("w_out.pdf"),
                                              "Building Outlines...", "Building Objects...",
                                              "Writing Pages", "Writing Cross-Reference Table",
                                              "Save Complete"}));
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.back(), 100);

  // The result reads back with the same pages.
  TvxPDFDocument Again;
  Load(Again, "w_again.pdf", Out);
  EXPECT_EQ(Again.PageCount(), 2);
}

TEST_F(WriterTest, TextFormsOfValues) {
  // The static forms.
  EXPECT_EQ(TvxDocumentWriter::RefText(12), "12 0 R");
  EXPECT_EQ(TvxDocumentWriter::KeyLine("/K", ""), "");
  EXPECT_EQ(TvxDocumentWriter::KeyLine("/K", "1"), "/K 1\r\n");
  EXPECT_EQ(TvxDocumentWriter::WrapObject(7, "null"), "\r\n7 0 obj\r\nnull\r\nendobj\r\n");
  EXPECT_EQ(TvxDocumentWriter::VersionText(pvPDF20), "2.0");
  EXPECT_EQ(TvxDocumentWriter::VersionText(static_cast<TvxPDFVersion>(42)), "1.4");
  EXPECT_EQ(TvxCustomPDFDocument::TargetFileName("report"), "report.pdf");
  EXPECT_EQ(TvxCustomPDFDocument::TargetFileName("report.PDF"), "report.PDF");
  EXPECT_EQ(TvxCustomPDFDocument::TargetFileName("out.txt"), "out.txt.pdf");
  EXPECT_EQ(TvxCustomPDFDocument::TargetFileName("dir.v2/out"), "dir.v2/out.pdf");
}

TEST_F(WriterTest, ValueTextThroughASave) {
  // One object holding every kind of value, written and read back.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /V 4 0 R >>");
  B.Object(4,
           "<< /A [ ] /B [1 2] /C << >> /D 0.5 /E 2147483648 /F false /G null /H /N#20x /I "
           "(\\000\\377) /J -3 >>");
  TvxPDFDocument Doc;
  Load(Doc, "values.pdf", B.FinishTable("/Root 1 0 R"));
  // An indirect object nested in a value is written as the value it holds.
  auto& Page = static_cast<TvxPDFDictObject&>(*Doc.Pages()[0]->Value);
  Page.Add("/Nested", std::make_unique<TvxPDFIndirectObject>(
                          Doc.DocumentID(), 90, 0, std::make_unique<TvxPDFIntegerObject>(7)));
  std::string Out = Save(Doc, "values_out.pdf");
  EXPECT_NE(Out.find("/Nested 7\r\n"), std::string::npos);
  EXPECT_EQ(Out.find("90 0 obj"), std::string::npos);
  EXPECT_NE(
      Out.find("<<\r\n/A [ ]\r\n/B [ 1 2 ]\r\n/C <<\r\n>>\r\n/D 0.5000000000\r\n/E 2147483648\r\n"
               "/F false\r\n/G null\r\n/H /N#20x\r\n/I (" +
               std::string("\x00\xFF", 2) + ")\r\n/J -3\r\n>>"),
      std::string::npos);
}

TEST_F(WriterTest, CompressionRules) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Contents [4 0 R 5 0 R 6 0 R 7 0 R 8 0 R 9 0 R] >>");
  std::string Plain(200, 'a');
  B.Stream(4, "/Filter /DCTDecode", "\xFF\xD8jpegdata");
  B.Stream(5, "/Filter /RunLengthDecode",
           std::string("\xFD"
                       "a\x80",
                       3));
  B.Stream(6, "/Filter [/RunLengthDecode]",
           std::string("\xFD"
                       "a\x80",
                       3));
  B.Stream(7, "", Plain);
  B.Stream(8, "/Filter /ASCIIHexDecode /DecodeParms << /X 1 >>", "6161>");
  // A chain longer than eight filters stays as it is.
  std::string Chain;
  for (int K = 0; K < 9; ++K) Chain += " /ASCIIHexDecode";
  B.Stream(9, "/Filter [" + Chain + "]", "3636>");
  TvxPDFDocument Doc;
  Load(Doc, "comp.pdf", B.FinishTable("/Root 1 0 R"));
  Doc.SetCompression(0, 2);
  std::string Out = Save(Doc, "comp_out.pdf");
  EXPECT_NE(Out.find("/Filter /DCTDecode\r\n/Length 10\r\n>>\r\nstream\r\n\xFF\xD8jpegdata"),
            std::string::npos);
  EXPECT_NE(Out.find("/Filter [ /FlateDecode /RunLengthDecode ]"), std::string::npos);
  EXPECT_NE(Out.find("/Filter [ /RunLengthDecode ]\r\n/Length 3\r\n"), std::string::npos);
  EXPECT_EQ(Out.find(Plain), std::string::npos) << "plain data is compressed";
  // Parameters stay with their filter when one is put in front.
  EXPECT_NE(Out.find("/Filter [ /FlateDecode /ASCIIHexDecode ]"), std::string::npos);
  EXPECT_NE(Out.find("/DecodeParms [ null <<\r\n/X 1\r\n>> ]"), std::string::npos);
  EXPECT_NE(Out.find("/Filter [" + Chain + " ]\r\n/Length 5\r\n>>\r\nstream\r\n3636>"),
            std::string::npos);
  // The stored dictionaries are not changed by a save.
  auto* S7 = static_cast<TvxPDFStreamObject*>(
      Doc.Store().GetObject(Doc.Store().IndexOfObject(Doc.DocumentID(), 7, 0))->Value.get());
  EXPECT_EQ(S7->Dict->Lookup("/Filter"), nullptr);

  // The compressed file decodes back to the same content.
  TvxPDFDocument Again;
  Load(Again, "comp_again.pdf", Out);
  auto* Again7 = static_cast<TvxPDFStreamObject*>(
      Again.Store()
          .FindObject(static_cast<TvxPDFArrayObject*>(
                          static_cast<TvxPDFDictObject*>(Again.Pages()[0]->Value.get())
                              ->Lookup("/Contents"))
                          ->GetItem(3))
          ->Value.get());
  EXPECT_EQ(DecodeStreamData(*Again7)->DataString(), Plain);

  // A /Filter of the wrong kind fails the save with the filter error.
  PdfBuilder Bad;
  Bad.PageTree({3});
  Bad.Object(3, "<< /Type /Page /Contents 4 0 R >>");
  Bad.Stream(4, "/Filter 5", "x");
  TvxPDFDocument BadDoc;
  Load(BadDoc, "badfilter.pdf", Bad.FinishTable("/Root 1 0 R"));
  BadDoc.SetCompression(1, 0);
  vxtest::ExpectError<document::EUnexpectedObjectError>(
      [&] { Save(BadDoc, "badfilter_out.pdf"); },
      "Unexpected filter object, found (Integer Object)");
}

TEST_F(WriterTest, EveryLoadStartsWithPlainOutputSettings) {
  const std::string Source = TwoPageSource();
  TvxPDFDocument Doc;
  Doc.SetCompression(0, 3);
  Doc.SetAsciiEncoding(true);
  Doc.Encryption().SetLevel(elAES256);
  Doc.Encryption().SetUserPassword("u");
  Doc.Encryption().SetEnabled(true);
  Load(Doc, "plain_settings.pdf", Source);
  EXPECT_EQ(Doc.Compression().Enabled, 0);
  EXPECT_FALSE(Doc.AsciiEncoding());
  EXPECT_FALSE(Doc.Encryption().Enabled());
  EXPECT_EQ(Doc.Encryption().Level(), el40bit);
  EXPECT_EQ(Doc.Encryption().UserPassword(), "");
  // Set after the load, the compression holds for the save.
  Doc.SetCompression(0, 3);
  EXPECT_NE(Save(Doc, "plain_settings_out.pdf").find("/FlateDecode"), std::string::npos);
  Doc.SetAsciiEncoding(true);
  Doc.ClearDocument();
  EXPECT_EQ(Doc.Compression().Enabled, 0);
  EXPECT_FALSE(Doc.AsciiEncoding());
}

TEST_F(WriterTest, PageTransitionsOnTheDocumentReachTheFile) {
  TvxPDFDocument Doc;
  EXPECT_TRUE(Doc.MergeOptions.Contains(moIncludeOutlines));
  EXPECT_TRUE(Doc.MergeOptions.Contains(moIncludeFormFields));
  EXPECT_FALSE(Doc.EMailAfterSave);
  EXPECT_FALSE(Doc.CustomRenderText);
  Load(Doc, "trans.pdf", TwoPageSource());
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.SetPageTransition("1,,2", 11, 2); },
                                         "Invalid page range (1,,2)");
  vxtest::ExpectError<EInvalidPageError>([&] { Doc.SetPageTransition("1,3", 11, 2); },
                                         "Invalid page number (3)");
  Doc.SetPageTransition("2", 11, 2);
  std::string Out = Save(Doc, "trans_out.pdf");
  const std::string Trans =
      "/Dur 2.0000000000\r\n/Trans <<\r\n/Type /Trans\r\n/D 2.0000000000\r\n/S "
      "/Wipe\r\n/Di 180\r\n>>";
  size_t At = Out.find(Trans);
  ASSERT_NE(At, std::string::npos) << Out;
  EXPECT_EQ(Out.find(Trans, At + 1), std::string::npos) << "only page 2 has a transition";
  EXPECT_NE(Out.rfind("/Label (a", At), std::string::npos) << "on the second page";
}

TEST_F(WriterTest, FailedSaveKeepsTheExistingFile) {
  PdfBuilder Bad;
  Bad.PageTree({3});
  Bad.Object(3, "<< /Type /Page /Contents 4 0 R >>");
  Bad.Stream(4, "/Filter 5", "x");
  TvxPDFDocument Doc;
  Load(Doc, "keep_src.pdf", Bad.FinishTable("/Root 1 0 R"));
  Doc.SetCompression(0, 1);
  std::string Target = vxtest::WriteTempFile("keep.pdf", "precious");
  EXPECT_THROW(Doc.SaveToFile(Target), Exception);
  EXPECT_EQ(ReadAll(Target), "precious");
  // No temporary file is left behind.
  std::string Dir = ::testing::TempDir();
  std::string Listing;
  if (std::FILE* P = ::popen(("ls -a " + Dir + " | grep '^keep.pdf.' || true").c_str(), "r")) {
    char Buf[256];
    while (std::fgets(Buf, sizeof Buf, P)) Listing += Buf;
    ::pclose(P);
  }
  EXPECT_EQ(Listing, "");
}

TEST_F(WriterTest, SaveOverTheLoadedFile) {
  TvxPDFDocument Doc;
  std::string Path = Load(Doc, "self.pdf", TwoPageSource());
  Doc.SaveToFile(Path);
  TvxPDFDocument Again;
  EXPECT_TRUE(Again.LoadFromFile(Path));
  EXPECT_EQ(Again.PageCount(), 2);
  // Saving twice gives the same bytes, but for the random draws.
  for (const char* Name : {".second.pdf", ".third.pdf"}) {
    vxtest::SeededRandom Seeded(9);
    Doc.SaveToFile(Path + Name);
  }
  EXPECT_EQ(ReadAll(Path + ".second.pdf"), ReadAll(Path + ".third.pdf"));
}

class TvxRecordingShell : public TvxShellService {
 public:
  bool Execute(const std::string& Verb, const std::string& FileName) override {
    Calls.push_back(Verb + " " + FileName);
    return true;
  }
  std::vector<std::string> Calls;
};

class TvxCancelDialog : public TvxSetupDialog {
 public:
  explicit TvxCancelDialog(int32_t AResult) : Result(AResult) {}
  int32_t Execute(TvxCustomPDFDocument& Doc) override {
    Doc.SetCompression(0, 3);
    return Result;
  }
  int32_t Result;
};

TEST_F(WriterTest, OpenAfterSaveAndSetupDialog) {
  TvxRecordingShell Shell;
  SetShellService(&Shell);
  TvxPDFDocument Doc;
  Load(Doc, "open_src.pdf", TwoPageSource());
  std::string Base = vxtest::TempPath("opened");
  Doc.OpenAfterSave = true;
  Doc.SaveToFile(Base);
  EXPECT_EQ(Shell.Calls, (std::vector<std::string>{"open " + Base + ".pdf"}));

  // A cancelled dialog stops the save before anything is written.
  TvxCancelDialog Cancel(mrCancel);
  Doc.ShowSetupDialog = true;
  Doc.SetupDialog = &Cancel;
  std::vector<std::string> Status;
  Doc.OnStatusMessage = [&](TvxCustomPDFDocument&, const std::string& S) { Status.push_back(S); };
  std::string Cancelled = vxtest::TempPath("cancelled.pdf");
  std::remove(Cancelled.c_str());
  Doc.SaveToFile(Cancelled);
  EXPECT_FALSE(Exists(Cancelled));
  EXPECT_TRUE(Status.empty());
  // An accepted dialog's settings apply to the save.
  TvxCancelDialog Ok(1);
  Doc.SetupDialog = &Ok;
  Doc.SaveToFile(Cancelled);
  EXPECT_TRUE(Exists(Cancelled));
  EXPECT_EQ(Doc.Compression().Enabled, 1);
  SetShellService(nullptr);
}

TEST_F(WriterTest, EachKeyIsWrittenOnce) {
  // A page listed in the tree with two /Parent keys, one only an annotation
  // reaches (as a merge leaves the old pages), a repeated key elsewhere,
  // large dictionaries as well as small.
  std::string Many;
  for (int K = 0; K < 40; ++K) Many += " /K" + std::to_string(K) + " " + std::to_string(K);
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Parent 2 0 R "
           "/Annots [5 0 R] /Rotate 90 /Rotate 180 >>");
  B.Object(5, "<< /Type /Annot /Subtype /Text /Rect [0 0 9 9] /P 6 0 R >>");
  B.Object(6, "<< /Type /Page /Parent 7 0 R /MediaBox [0 0 100 100] >>");
  B.Object(7, "<< /Type /Pages /Kids [6 0 R] /Count 1 >>");
  B.Object(8, "<<" + Many + " /K3 (again) >>");
  TvxPDFDocument Doc;
  Load(Doc, "dupkeys.pdf", B.FinishTable("/Root 1 0 R /Info 8 0 R"));
  const std::string Out = Save(Doc, "dupkeys_out.pdf");
  auto Occurrences = [&Out](const std::string& Text) {
    size_t N = 0;
    for (size_t P = Out.find(Text); P != std::string::npos; P = Out.find(Text, P + 1)) ++N;
    return N;
  };
  // Every page once under the new root, the first value of a repeated key.
  EXPECT_EQ(Occurrences("/Parent 3 0 R"), 2u);
  EXPECT_EQ(Occurrences("/Parent "), 2u);
  EXPECT_EQ(Occurrences("/Rotate 90"), 1u);
  EXPECT_EQ(Occurrences("/Rotate 180"), 0u);
  EXPECT_EQ(Occurrences("/K3 "), 1u);
  EXPECT_EQ(Occurrences("(again)"), 0u);
  if (vxtest::HaveTool("qpdf")) {
    const std::string Path = vxtest::TempPath("dupkeys_out.pdf");
    EXPECT_EQ(vxtest::RunCommand("qpdf --check " + vxtest::Quote(Path)), 0);
  }
}

TEST_F(WriterTest, StreamsAfterUnusualLineEndsStayStreams) {
  // The keyword followed by a bare CR, by data on its line, by a comment.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /MediaBox [0 0 612 792] /Contents [4 0 R 5 0 R 6 0 R 7 0 R] "
           "/Resources << /Font << /F1 8 0 R >> >> >>");
  B.Object(4, "<< /Length 14 >>\nstream\r\nBT\n /F1 24 Tf\nendstream");
  B.Object(5, "<< /Length 10 >>\nstream\r72 720 Td\nendstream");
  B.Object(6, "<< /Length 12 >>\nstream (Potato) Tj\nendstream");
  B.Object(7, "<< /Length 4 >>\nstream%ET\nendstream");
  B.Object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  TvxPDFDocument Doc;
  Load(Doc, "lineends.pdf", B.FinishTable("/Root 1 0 R"));
  const std::string Out = Save(Doc, "lineends_out.pdf");
  EXPECT_EQ(Out.find("/Length 4\r\n>>\r\nendobj"), std::string::npos);
  EXPECT_NE(Out.find("stream\r\n%ET\n\r\nendstream"), std::string::npos);
  if (vxtest::HaveTool("pdftotext")) {
    const std::string Text = vxtest::TempPath("lineends.txt");
    ASSERT_EQ(
        vxtest::RunCommand("pdftotext " + vxtest::Quote(vxtest::TempPath("lineends_out.pdf")) +
                           " " + vxtest::Quote(Text)),
        0);
    EXPECT_NE(ReadAll(Text).find("Potato"), std::string::npos);
  }
}

TEST_F(WriterTest, StreamWithoutDataAndEmptyDocument) {
  // A stream with no "endstream" anywhere after it is left without data; a
  // /Length of 0 before real data is corrected by the search.
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Contents [5 0 R 4 0 R] >>");
  B.Object(5, "<< /Length 0 >>\nstream\nfound\nendstream");
  B.Object(4, "<< /Length 99 >>\nstream\nunreadable, cut off");
  TvxPDFDocument Doc;
  Load(Doc, "nodata.pdf", B.FinishTable("/Root 1 0 R"));
  std::string Out = Save(Doc, "nodata_out.pdf");
  EXPECT_NE(Out.find("<<\r\n/Length 0\r\n>>\r\nstream\r\n\r\nendstream"), std::string::npos);
  EXPECT_NE(Out.find("<<\r\n/Length 6\r\n>>\r\nstream\r\nfound\n\r\nendstream"), std::string::npos);

  TvxPDFDocument Empty;
  std::string E = Save(Empty, "empty_out.pdf");
  EXPECT_NE(E.find("/Count 0\r\n/Kids [ ]"), std::string::npos);
  EXPECT_NE(E.find("\r\n2 0 obj\r\n<<\r\n/Producer " + Utf16Literal("Quillory Paginor V2.5") +
                   "\r\n>>\r\nendobj"),
            std::string::npos);
  // A document without an identifier gets a new one.
  EXPECT_TRUE(std::regex_search(E, std::regex("/ID \\[ <[0-9A-F]{32}> <[0-9A-F]{32}> \\]\r\n")));
}

}  // namespace
