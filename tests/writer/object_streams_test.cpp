// Saves that pack objects into object streams behind a cross-reference
// stream, checked against the classic table's output with qpdf and poppler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFEncryptionSettings.h"
#include "support/corpus.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

// Standard output of a shell command; empty when it fails.
std::string Output(const std::string& Command) {
  std::string Out;
  if (std::FILE* P = ::popen((Command + " 2>/dev/null").c_str(), "r")) {
    char Buf[4096];
    for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;) Out.append(Buf, N);
    if (::pclose(P) != 0) Out.clear();
  }
  return Out;
}

// Pages with text in a shared font and a note whose text is a string in a
// small object; Packed puts the small objects into one object stream.
std::string Source(int Pages, bool Packed) {
  std::vector<std::pair<int, std::string>> Small = {
      {1, "<< /Type /Catalog /Pages 2 0 R >>"},
      {3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
      {4, "<< /Title (Kiwi title) >>"}};
  vxtest::PdfBuilder B("%PDF-1.4\n");
  std::string Kids;
  for (int P = 1, N = 5; P <= Pages; ++P, N += 3) {
    const std::string Ref = std::to_string(N);
    Kids += Ref + " 0 R ";
    Small.emplace_back(N, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(N + 1) +
                              " 0 R /Resources << /Font << /F1 3 0 R >> >> /Annots [" +
                              std::to_string(N + 2) + " 0 R] >>");
    B.Stream(N + 1, "", "BT /F1 20 Tf 72 700 Td (Page " + std::to_string(P) + " Kiwi) Tj ET");
    Small.emplace_back(N + 2,
                       "<< /Type /Annot /Subtype /Text /Rect [300 300 320 320] "
                       "/Contents (Quokka note " +
                           std::to_string(P) + ") >>");
  }
  Small.emplace_back(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) +
                            " /MediaBox [0 0 612 792] >>");
  const int Next = 5 + 3 * Pages;
  if (Packed) B.ObjectStream(Next, Small);
  for (const auto& [N, Text] : Small)
    if (!Packed) B.Object(N, Text);
  return Packed ? B.FinishStream(Next + 1, "/Root 1 0 R /Info 4 0 R")
                : B.FinishTable("/Root 1 0 R /Info 4 0 R");
}

std::string Saved(TvxPDFDocument& Doc, TvxObjectStreams Mode, const std::string& File = "") {
  Doc.SetObjectStreams(Mode);
  const std::string Bytes = vxtest::Written(Doc);
  return File.empty() ? Bytes : vxtest::WriteTempFile(File, Bytes);
}

// What poppler reads: the text, then the first two pages drawn small.
std::string Seen(const std::string& File, const std::string& Password = "") {
  const std::string Options = Password.empty() ? "" : "-upw " + Quote(Password) + " ";
  std::string Out = Output("pdftotext -q " + Options + Quote(File) + " -");
  const std::string Prefix = vxtest::TempPath("objstm_page");
  for (const char* Page : {"1", "2"}) {
    if (RunCommand("pdftoppm -r 30 -singlefile -f " + std::string(Page) + " -l " + Page + " " +
                   Options + Quote(File) + " " + Quote(Prefix)) != 0)
      return "<failed>";
    Out += ReadAll(Prefix + ".ppm");
  }
  return Out;
}

bool HaveTools() {
  for (const char* Tool : {"qpdf", "pdftotext", "pdftoppm", "pdfinfo"})
    if (!vxtest::HaveTool(Tool)) return false;
  return true;
}

TEST(ObjectStreams, OnlyPreserveOfAPackedSourceOrGenerateWriteThem) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(40, false)));
  EXPECT_EQ(Doc.ObjectStreams(), TvxObjectStreams::Preserve);
  const std::string Table = Saved(Doc, TvxObjectStreams::Disable);
  EXPECT_EQ(Saved(Doc, TvxObjectStreams::Preserve), Table);
  EXPECT_EQ(Table.find("/ObjStm"), std::string::npos);
  const std::string Packed = Saved(Doc, TvxObjectStreams::Generate);
  EXPECT_EQ(Packed.rfind("%PDF-1.5\r\n", 0), 0u);
  EXPECT_NE(Packed.find("/Type /XRef"), std::string::npos);
  EXPECT_EQ(Packed.find("trailer"), std::string::npos);
  EXPECT_LT(Packed.size(), Table.size() * 3 / 4);

  ASSERT_TRUE(Doc.LoadFromMemory(Source(3, true)));
  EXPECT_EQ(Saved(Doc, TvxObjectStreams::Preserve), Saved(Doc, TvxObjectStreams::Generate));
  EXPECT_NE(Saved(Doc, TvxObjectStreams::Preserve).find("/Type /ObjStm"), std::string::npos);
  EXPECT_EQ(Saved(Doc, TvxObjectStreams::Disable).find("/ObjStm"), std::string::npos);
}

TEST(ObjectStreams, PackedOutputReadsAsTheTableDoes) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(60, false)));
  const std::string Table = Saved(Doc, TvxObjectStreams::Disable, "objstm_table.pdf");
  const std::string Packed = Saved(Doc, TvxObjectStreams::Generate, "objstm_packed.pdf");
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(Packed)), 0);
  // 180 small objects: two streams, none over 100 objects.
  const std::string XRef = Output("qpdf --show-xref " + Quote(Packed));
  EXPECT_NE(XRef.find("index = 99\n"), std::string::npos) << XRef;
  EXPECT_EQ(XRef.find("index = 100\n"), std::string::npos);
  const std::string Expected = Seen(Table);
  EXPECT_NE(Expected.find("Page 60 Kiwi"), std::string::npos);
  EXPECT_EQ(Seen(Packed), Expected);
  EXPECT_NE(Output("pdfinfo " + Quote(Packed)).find("Kiwi title"), std::string::npos);
  const std::string Plain = vxtest::TempPath("objstm_plain.pdf");
  ASSERT_EQ(RunCommand("qpdf --qdf " + Quote(Packed) + " " + Quote(Plain)), 0);
  EXPECT_NE(ReadAll(Plain).find("(Quokka note 60)"), std::string::npos);
}

TEST(ObjectStreams, EncryptedPackedOutputOpensWithThePassword) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(8, false)));
  const std::string Expected = Seen(Saved(Doc, TvxObjectStreams::Disable, "objstm_open.pdf"));
  ASSERT_NE(Expected.find("Page 8 Kiwi"), std::string::npos);
  for (TvxPDFEncryptionLevel Level : {el128bit, elAES128, elAES256}) {
    SCOPED_TRACE(static_cast<int>(Level));
    ASSERT_TRUE(Doc.LoadFromMemory(Source(8, false)));
    ApplyEncryptionOptions(Doc.Encryption(), {Level, "kiwi", "boss", TvxUserPermissions::All()});
    const std::string File = Saved(Doc, TvxObjectStreams::Generate, "objstm_sealed.pdf");
    // Strings and names sealed with their stream.
    EXPECT_EQ(ReadAll(File).find("Helvetica"), std::string::npos);
    EXPECT_EQ(RunCommand("qpdf --password=kiwi --check " + Quote(File)), 0);
    EXPECT_EQ(Seen(File, "kiwi"), Expected);
    // The information values the save sets and those of the source.
    const std::string Info = Output("pdfinfo -upw kiwi " + Quote(File));
    EXPECT_NE(Info.find("Kiwi title"), std::string::npos) << Info;
    EXPECT_NE(Info.find(std::string(ProducerText)), std::string::npos) << Info;
    const std::string Plain = vxtest::TempPath("objstm_opened.pdf");
    ASSERT_EQ(
        RunCommand("qpdf --password=kiwi --decrypt --qdf " + Quote(File) + " " + Quote(Plain)), 0);
    EXPECT_NE(ReadAll(Plain).find("(Quokka note 8)"), std::string::npos);

    // Loaded again and saved as it came: still packed and sealed.
    TvxPDFDocument Again;
    Again.OnPassword = [](TvxCustomPDFDocument&, std::string& Password, bool& Go, int32_t Tries) {
      Password = "kiwi";
      Go = Tries == 0;
    };
    ASSERT_TRUE(Again.LoadFromFile(File));
    const std::string Resaved = Saved(Again, TvxObjectStreams::Preserve, "objstm_again.pdf");
    EXPECT_NE(Output("qpdf --password=kiwi --show-xref " + Quote(Resaved)).find("compressed"),
              std::string::npos);
    EXPECT_EQ(Seen(Resaved, "kiwi"), Expected);
  }
}

// The largest corpus files with object streams read as their table output
// does; the sizes are printed.
TEST(ObjectStreams, CorpusFilesWithObjectStreams) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  std::erase_if(Files, [](const vxtest::CorpusFile& F) {
    return F.Fields.at("object_streams") != "yes" || F.Fields.at("encryption") != "none" ||
           F.Fields.at("qpdf_check") == "errors";
  });
  std::sort(Files.begin(), Files.end(), [](const auto& A, const auto& B) {
    return std::stoll(A.Fields.at("bytes")) > std::stoll(B.Fields.at("bytes"));
  });
  vxtest::ExpectTriedAtLeast(static_cast<int>(Files.size()), 2);
  for (size_t I = 0; I < 2 && I < Files.size(); ++I) {
    SCOPED_TRACE(Files[I].Name);
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromFile(Files[I].Path));
    const std::string Table = Saved(Doc, TvxObjectStreams::Disable, "objstm_corpus_table.pdf");
    const std::string Packed = Saved(Doc, TvxObjectStreams::Preserve, "objstm_corpus_packed.pdf");
    const int Check = RunCommand("qpdf --check " + Quote(Packed));
    EXPECT_TRUE(Check == 0 || Check == 3) << "qpdf --check status " << Check;
    const std::string Expected = Seen(Table);
    EXPECT_GT(Expected.size(), 1000u);
    EXPECT_EQ(Seen(Packed), Expected);
    std::printf("%s: source %zu bytes, table %zu, object streams %zu\n", Files[I].Name.c_str(),
                ReadAll(Files[I].Path).size(), ReadAll(Table).size(), ReadAll(Packed).size());
  }
}

}  // namespace
