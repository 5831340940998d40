// Saves that pack objects into object streams behind a cross-reference
// stream, checked against the classic table's output with qpdf and poppler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFEncryptionSettings.h"
#include "pdf/writer/vxXRefStreamRows.h"
#include "support/corpus.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
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
// small object, plain or packed into object streams of up to 50 objects.
std::string Source(int Pages, bool Packed) {
  std::vector<std::pair<int, std::string>> Small;
  std::vector<std::pair<int, std::string>> Streams;
  std::string Kids;
  const int First = 5;
  for (int P = 0; P < Pages; ++P) {
    const int Page = First + 3 * P;
    const std::string Label = std::to_string(P + 1);
    Kids += std::to_string(Page) + " 0 R ";
    Small.emplace_back(Page, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(Page + 1) +
                                 " 0 R /Resources << /Font << /F1 3 0 R >> >> /Annots [" +
                                 std::to_string(Page + 2) + " 0 R] >>");
    Streams.emplace_back(Page + 1, "BT /F1 20 Tf 72 700 Td (Page " + Label + " Kiwi) Tj ET");
    Small.emplace_back(Page + 2,
                       "<< /Type /Annot /Subtype /Text /Rect [300 300 320 320] "
                       "/Contents (Quokka note " +
                           Label + ") >>");
  }
  Small.emplace_back(1, "<< /Type /Catalog /Pages 2 0 R >>");
  Small.emplace_back(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) +
                            " /MediaBox [0 0 612 792] >>");
  Small.emplace_back(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  Small.emplace_back(4, "<< /Title (Kiwi title) >>");
  std::sort(Small.begin(), Small.end());
  vxtest::PdfBuilder B("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  for (const auto& [N, Data] : Streams) B.Stream(N, "", Data);
  if (!Packed) {
    for (const auto& [N, Text] : Small) B.Object(N, Text);
    return B.FinishTable("/Root 1 0 R /Info 4 0 R");
  }
  const int Next = First + 3 * Pages;
  for (size_t I = 0; I < Small.size(); I += 50) {
    const auto From = Small.begin() + static_cast<long>(I);
    const auto To = Small.begin() + static_cast<long>(std::min(Small.size(), I + 50));
    B.ObjectStream(Next + static_cast<int>(I / 50), std::vector(From, To));
  }
  return B.FinishStream(Next + static_cast<int>(Small.size() / 50) + 1, "/Root 1 0 R /Info 4 0 R");
}

std::string Saved(TvxPDFDocument& Doc, TvxObjectStreams Mode) {
  Doc.SetObjectStreams(Mode);
  return vxtest::Written(Doc);
}

std::string SaveFile(const std::string& Name, const std::string& Bytes) {
  return vxtest::WriteTempFile(Name, Bytes);
}

// The first pages drawn small, as one string of image bytes.
std::string Render(const std::string& File, const std::string& Password = "") {
  const std::string Prefix = vxtest::TempPath("objstm_render");
  std::string Pages;
  for (int P = 1; P <= 2; ++P) {
    const std::string Page = std::to_string(P);
    const std::string Options = Password.empty() ? "" : "-upw " + Quote(Password) + " ";
    if (RunCommand("pdftoppm -r 30 -singlefile -f " + Page + " -l " + Page + " " + Options +
                   Quote(File) + " " + Quote(Prefix)) != 0)
      return "<failed>";
    Pages += ReadAll(Prefix + ".ppm");
  }
  return Pages;
}

std::string Text(const std::string& File, const std::string& Password = "") {
  const std::string Options = Password.empty() ? "" : "-upw " + Quote(Password) + " ";
  return Output("pdftotext -q " + Options + Quote(File) + " -");
}

// Object streams qpdf finds and the most objects in any one of them.
std::pair<int, int> PackedShape(const std::string& File, const std::string& Password = "") {
  std::stringstream In(
      Output("qpdf --password=" + Quote(Password) + " --show-xref " + Quote(File)));
  std::set<int> Streams;
  int Largest = 0;
  std::vector<int> Counts(1 << 16, 0);
  for (std::string Line; std::getline(In, Line);) {
    const size_t At = Line.find("compressed; stream = ");
    if (At == std::string::npos) continue;
    const int Stream = std::stoi(Line.substr(At + 21));
    Streams.insert(Stream);
    if (Stream >= 0 && Stream < static_cast<int>(Counts.size()))
      Largest = std::max(Largest, ++Counts[static_cast<size_t>(Stream)]);
  }
  return {static_cast<int>(Streams.size()), Largest};
}

bool HaveTools() {
  return HaveTool("qpdf") && HaveTool("pdftotext") && HaveTool("pdftoppm") && HaveTool("pdfinfo");
}

TEST(ObjectStreams, CrossReferenceRowsUndoToTheirEntries) {
  EXPECT_EQ(XRefFieldWidth({{1, 255, 0}}), 1);
  EXPECT_EQ(XRefFieldWidth({{1, 256, 0}}), 2);
  EXPECT_EQ(XRefFieldWidth({{1, 0xFFFFFF, 0}, {2, 7, 3}}), 3);
  const std::vector<TvxXRefEntry> Entries = {{0, 0, 65535}, {1, 0x1234567, 0}, {2, 0x10, 99}};
  ASSERT_EQ(XRefFieldWidth(Entries), 4);
  const std::string Rows = XRefStreamRows(Entries, 4);
  ASSERT_EQ(Rows.size(), 3u * 8);
  // What a reader gets back through the Up filter.
  std::string Above(7, '\0'), Plain;
  for (size_t R = 0; R < 3; ++R) {
    EXPECT_EQ(Rows[R * 8], '\x02');
    for (size_t C = 0; C < 7; ++C) Above[C] = static_cast<char>(Above[C] + Rows[R * 8 + 1 + C]);
    Plain += Above;
  }
  EXPECT_EQ(Plain, std::string("\x00\x00\x00\x00\x00\xFF\xFF"
                               "\x01\x01\x23\x45\x67\x00\x00"
                               "\x02\x00\x00\x00\x10\x00\x63",
                               21));
}

TEST(ObjectStreams, APlainSourceKeepsItsTableUnlessAsked) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(40, false)));
  EXPECT_EQ(Doc.ObjectStreams(), TvxObjectStreams::Preserve);
  const std::string Disabled = Saved(Doc, TvxObjectStreams::Disable);
  EXPECT_EQ(Saved(Doc, TvxObjectStreams::Preserve), Disabled);
  EXPECT_NE(Disabled.find("\r\nxref\r\n"), std::string::npos);
  EXPECT_EQ(Disabled.find("/ObjStm"), std::string::npos);

  const std::string Generated = Saved(Doc, TvxObjectStreams::Generate);
  EXPECT_EQ(Generated.rfind("%PDF-1.5\r\n", 0), 0u);
  EXPECT_NE(Generated.find("/Type /ObjStm"), std::string::npos);
  EXPECT_NE(Generated.find("/Type /XRef"), std::string::npos);
  EXPECT_EQ(Generated.find("trailer"), std::string::npos);
  EXPECT_LT(Generated.size(), Disabled.size() * 3 / 4);

  // A new load starts from Preserve again.
  ASSERT_TRUE(Doc.LoadFromMemory(Source(2, false)));
  EXPECT_EQ(Doc.ObjectStreams(), TvxObjectStreams::Preserve);
}

TEST(ObjectStreams, APackedSourceStaysPackedUnlessDisabled) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(3, true)));
  const std::string Preserved = Saved(Doc, TvxObjectStreams::Preserve);
  EXPECT_EQ(Preserved, Saved(Doc, TvxObjectStreams::Generate));
  EXPECT_NE(Preserved.find("/Type /ObjStm"), std::string::npos);
  const std::string Disabled = Saved(Doc, TvxObjectStreams::Disable);
  EXPECT_EQ(Disabled.find("/ObjStm"), std::string::npos);
  // The source's version stays.
  EXPECT_EQ(Disabled.rfind("%PDF-1.5\r\n", 0), 0u);
}

TEST(ObjectStreams, PackedOutputReadsAsTheTableDoes) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(60, false)));
  const std::string Table = SaveFile("objstm_table.pdf", Saved(Doc, TvxObjectStreams::Disable));
  const std::string Packed = SaveFile("objstm_packed.pdf", Saved(Doc, TvxObjectStreams::Generate));
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(Packed)), 0);
  // 180 small objects and more: two streams at least, none over 100.
  const auto [Streams, Largest] = PackedShape(Packed);
  EXPECT_GE(Streams, 2);
  EXPECT_GE(Largest, 50);
  EXPECT_LE(Largest, 100);

  const std::string Expected = Text(Table);
  EXPECT_NE(Expected.find("Page 60 Kiwi"), std::string::npos);
  EXPECT_EQ(Text(Packed), Expected);
  const std::string Pictures = Render(Table);
  EXPECT_NE(Pictures, "<failed>");
  EXPECT_EQ(Render(Packed), Pictures);
  EXPECT_NE(Output("pdfinfo " + Quote(Packed)).find("Kiwi title"), std::string::npos);
  // The strings inside, as qpdf reads them back.
  const std::string Plain = vxtest::TempPath("objstm_plain.pdf");
  ASSERT_EQ(RunCommand("qpdf --qdf --object-streams=disable " + Quote(Packed) + " " + Quote(Plain)),
            0);
  EXPECT_NE(ReadAll(Plain).find("(Quokka note 60)"), std::string::npos);
}

TEST(ObjectStreams, EncryptedPackedOutputOpensWithThePassword) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(8, false)));
  const std::string Table =
      SaveFile("objstm_plain_table.pdf", Saved(Doc, TvxObjectStreams::Disable));
  const std::string Expected = Text(Table);
  const std::string Pictures = Render(Table);
  ASSERT_NE(Expected.find("Page 8 Kiwi"), std::string::npos);
  ASSERT_NE(Pictures, "<failed>");
  for (TvxPDFEncryptionLevel Level : {el128bit, elAES128, elAES256}) {
    SCOPED_TRACE(static_cast<int>(Level));
    ASSERT_TRUE(Doc.LoadFromMemory(Source(8, false)));
    TvxEncryptionOptions Options;
    Options.Level = Level;
    Options.UserPassword = "kiwi";
    Options.OwnerPassword = "boss";
    ApplyEncryptionOptions(Doc.Encryption(), Options);
    const std::string Bytes = Saved(Doc, TvxObjectStreams::Generate);
    // Sealed with the stream: no string shows in the file.
    EXPECT_EQ(Bytes.find("Quokka"), std::string::npos);
    EXPECT_EQ(Bytes.find("Helvetica"), std::string::npos);
    const std::string File = SaveFile("objstm_sealed.pdf", Bytes);
    EXPECT_EQ(RunCommand("qpdf --password=kiwi --check " + Quote(File)), 0);
    EXPECT_GE(PackedShape(File, "kiwi").first, 1);
    EXPECT_EQ(Text(File, "kiwi"), Expected);
    EXPECT_EQ(Render(File, "kiwi"), Pictures);
    // The information values, set for the save and read from the source.
    const std::string Info = Output("pdfinfo -upw kiwi " + Quote(File));
    EXPECT_NE(Info.find("Kiwi title"), std::string::npos) << Info;
    EXPECT_NE(Info.find(std::string(ProducerText)), std::string::npos) << Info;
    const std::string Plain = vxtest::TempPath("objstm_opened.pdf");
    ASSERT_EQ(RunCommand("qpdf --password=kiwi --decrypt --qdf --object-streams=disable " +
                         Quote(File) + " " + Quote(Plain)),
              0);
    EXPECT_NE(ReadAll(Plain).find("(Quokka note 8)"), std::string::npos);

    // Opened again by the engine and saved as it came: still packed and
    // sealed.
    TvxPDFDocument Again;
    Again.OnPassword = [](TvxCustomPDFDocument&, std::string& Password, bool& Continue,
                          int32_t Tries) {
      Password = "kiwi";
      Continue = Tries == 0;
    };
    ASSERT_TRUE(Again.LoadFromMemory(Bytes));
    EXPECT_EQ(Again.PageCount(), 8);
    const std::string Resaved = SaveFile("objstm_resealed.pdf", vxtest::Written(Again));
    EXPECT_EQ(RunCommand("qpdf --password=kiwi --check " + Quote(Resaved)), 0);
    EXPECT_GE(PackedShape(Resaved, "kiwi").first, 1);
    EXPECT_EQ(Text(Resaved, "kiwi"), Expected);
  }
}

TEST(ObjectStreams, PackedOutputLoadsAndSavesAgain) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler missing";
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source(12, false)));
  const std::string Expected =
      Text(SaveFile("objstm_first.pdf", Saved(Doc, TvxObjectStreams::Disable)));
  ASSERT_NE(Expected.find("Page 12 Kiwi"), std::string::npos);
  const std::string Packed = Saved(Doc, TvxObjectStreams::Generate);
  TvxPDFDocument Again;
  ASSERT_TRUE(Again.LoadFromMemory(Packed));
  EXPECT_EQ(Again.PageCount(), 12);
  for (TvxObjectStreams Mode : {TvxObjectStreams::Preserve, TvxObjectStreams::Disable}) {
    const std::string Bytes = Saved(Again, Mode);
    EXPECT_EQ(Bytes.find("/ObjStm") != std::string::npos, Mode == TvxObjectStreams::Preserve);
    const std::string File = SaveFile("objstm_again.pdf", Bytes);
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(File)), 0);
    EXPECT_EQ(Text(File), Expected);
  }
}

// The largest corpus files with object streams: the packed save reads as
// the table does and comes out near the source's size.
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
  Files.resize(std::min<size_t>(Files.size(), 2));
  vxtest::ExpectTriedAtLeast(static_cast<int>(Files.size()), 2);
  for (const vxtest::CorpusFile& F : Files) {
    SCOPED_TRACE(F.Name);
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromFile(F.Path));
    const std::string Table =
        SaveFile("objstm_corpus_table.pdf", Saved(Doc, TvxObjectStreams::Disable));
    const std::string Packed =
        SaveFile("objstm_corpus_packed.pdf", Saved(Doc, TvxObjectStreams::Preserve));
    const int Check = RunCommand("qpdf --check " + Quote(Packed));
    EXPECT_TRUE(Check == 0 || Check == 3) << "qpdf --check status " << Check;
    const std::string Expected = Text(Table);
    const std::string Pictures = Render(Table);
    EXPECT_FALSE(Expected.empty());
    EXPECT_NE(Pictures, "<failed>");
    EXPECT_EQ(Text(Packed), Expected);
    EXPECT_EQ(Render(Packed), Pictures);
    const size_t Source = ReadAll(F.Path).size();
    std::printf("%s: source %zu bytes, table %zu, object streams %zu\n", F.Name.c_str(), Source,
                ReadAll(Table).size(), ReadAll(Packed).size());
  }
}

}  // namespace
