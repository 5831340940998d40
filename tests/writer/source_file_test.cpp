// Stream data stays in the loaded file until it is needed or written: a save
// copies it from there, and a file changed on disk since the load is either
// written as loaded or refused before anything is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxPDFSource.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::Noise;
using vxtest::PdfBuilder;

namespace {

// Two pages, each drawing an image of its own; the images are the bulk.
std::string TwoImagePages() {
  PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>");
  for (int P : {3, 6}) {
    B.Object(P, "<< /Type /Page /MediaBox [0 0 200 100] /Contents " + std::to_string(P + 1) +
                    " 0 R /Resources << /XObject << /Im0 " + std::to_string(P + 2) +
                    " 0 R >> >> >>");
    B.Stream(P + 1, "", "q 200 0 0 100 0 0 cm /Im0 Do Q");
    B.Stream(P + 2,
             "/Type /XObject /Subtype /Image /Width 100 /Height 50 /ColorSpace /DeviceGray "
             "/BitsPerComponent 8",
             Noise(5000, static_cast<unsigned>(P)));
  }
  B.FinishTable("/Root 1 0 R");
  return B.Data();
}

using vxtest::Written;

// What the document gives when it is loaded from memory: the reference.
std::string FromMemory(const std::string& Bytes, bool Compress = false) {
  TvxPDFDocument Doc;
  EXPECT_TRUE(Doc.LoadFromMemory(Bytes));
  if (Compress) Doc.SetCompression(0, 2);
  return Written(Doc);
}

TvxPDFStreamObject* StreamOf(TvxCustomPDFDocument& Doc, int32_t Number) {
  TvxPDFObjectStore& Store = Doc.Store();
  int32_t I = Store.IndexOfObject(Doc.DocumentID(), Number, 0);
  if (I < 0) return nullptr;
  TvxPDFObject* V = Store.GetObject(I)->Value.get();
  return V && V->IsStream() ? static_cast<TvxPDFStreamObject*>(V) : nullptr;
}

class SourceFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Bytes = TwoImagePages();
    Path = vxtest::WriteTempFile("source_file.pdf", Bytes);
    Target = vxtest::TempPath("source_file_out.pdf");
    std::remove(Target.c_str());
  }
  void TearDown() override {
    std::remove(Path.c_str());
    std::remove(Target.c_str());
  }

  std::string Bytes, Path, Target;
};

TEST_F(SourceFileTest, StreamDataStaysInTheFileUntilAskedFor) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(Path));
  TvxPDFStreamObject* Image = StreamOf(Doc, 5);
  ASSERT_NE(Image, nullptr);
  EXPECT_TRUE(Image->Data.InSource());
  EXPECT_EQ(Image->Data.Size(), 5000);
  // Read on demand, the data is what the file holds.
  EXPECT_EQ(Image->Data->DataString(), Noise(5000, 3));
  EXPECT_FALSE(Image->Data.InSource());
  // A copy of a stream still in the file reads the same bytes.
  TvxPDFStreamObject* Other = StreamOf(Doc, 8);
  ASSERT_NE(Other, nullptr);
  auto Copy = Other->Clone();
  EXPECT_EQ(static_cast<TvxPDFStreamObject&>(*Copy).Data.ReadAll(), Noise(5000, 6));
  EXPECT_TRUE(Other->Data.InSource());
}

TEST_F(SourceFileTest, FileLoadWritesWhatAMemoryLoadWrites) {
  const std::string Expected = FromMemory(Bytes);
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(Path));
  EXPECT_EQ(Written(Doc), Expected);
  // Data read on demand and data copied from the file give the same bytes.
  StreamOf(Doc, 5)->Data.get();
  EXPECT_EQ(Written(Doc), Expected);
  // Compression on the way gives what it gives from memory.
  TvxPDFDocument Packed;
  ASSERT_TRUE(Packed.LoadFromFile(Path));
  Packed.SetCompression(0, 2);
  EXPECT_EQ(Written(Packed), FromMemory(Bytes, true));
}

TEST_F(SourceFileTest, RemovedOrReplacedSourceIsWrittenAsLoaded) {
  const std::string Expected = FromMemory(Bytes);
  TvxPDFDocument Removed;
  ASSERT_TRUE(Removed.LoadFromFile(Path));
  ASSERT_EQ(std::remove(Path.c_str()), 0);
  vxtest::SaveAsWritten(Removed, Target);
  EXPECT_EQ(vxtest::ReadAll(Target), Expected);

  vxtest::WriteTempFile("source_file.pdf", Bytes);
  TvxPDFDocument Replaced;
  ASSERT_TRUE(Replaced.LoadFromFile(Path));
  const std::string Other = vxtest::WriteTempFile("source_file_other.pdf", Noise(300, 1));
  ASSERT_EQ(std::rename(Other.c_str(), Path.c_str()), 0);
  vxtest::SaveAsWritten(Replaced, Target);
  EXPECT_EQ(vxtest::ReadAll(Target), Expected);
}

TEST_F(SourceFileTest, SourceChangedInPlaceIsRefusedBeforeAnythingIsWritten) {
  const std::string Message =
      "The file \"" + Path + "\" was changed since it was loaded; load it again";
  // A target that exists keeps its content.
  vxtest::WriteTempFile("source_file_out.pdf", "old");

  TvxPDFDocument Cut;
  ASSERT_TRUE(Cut.LoadFromFile(Path));
  ASSERT_EQ(::truncate(Path.c_str(), 1000), 0);
  vxtest::ExpectError<ESourceChangedError>([&] { vxtest::SaveAsWritten(Cut, Target); }, Message);
  EXPECT_EQ(vxtest::ReadAll(Target), "old");
  // Written past the check, the copy finds the data gone and stops.
  vxtest::ExpectError<ESourceChangedError>([&] { Written(Cut); }, Message);

  vxtest::WriteTempFile("source_file.pdf", Bytes);
  TvxPDFDocument Rewritten;
  ASSERT_TRUE(Rewritten.LoadFromFile(Path));
  // Same size, other bytes, a later time.
  struct stat St {};
  ASSERT_EQ(::stat(Path.c_str(), &St), 0);
  std::string Changed = Bytes;
  Changed[Changed.size() / 2] ^= 1;
  vxtest::WriteTempFile("source_file.pdf", Changed);
  struct timespec Times[2] = {St.st_atim, St.st_mtim};
  Times[1].tv_sec += 5;
  ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), Times, 0), 0);
  vxtest::ExpectError<ESourceChangedError>([&] { vxtest::SaveAsWritten(Rewritten, Target); },
                                           Message);
  EXPECT_EQ(vxtest::ReadAll(Target), "old");
}

TEST_F(SourceFileTest, SaveOverTheSourceItself) {
  const std::string Expected = FromMemory(Bytes);
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(Path));
  vxtest::SaveAsWritten(Doc, Path);
  EXPECT_EQ(vxtest::ReadAll(Path), Expected);
  // The document still reads its data from the file as loaded.
  vxtest::SaveAsWritten(Doc, Path);
  EXPECT_EQ(vxtest::ReadAll(Path), Expected);
  EXPECT_EQ(StreamOf(Doc, 8)->Data->DataString(), Noise(5000, 6));
}

// A file cut short by another program while it loads would fault the map:
// its missing pages read as zeros, the view says so, and the load fails with
// a clear error instead of ending the process.
TEST(PDFSource, AFileCutShortWhileMappedReadsAsZeros) {
  const std::string Data = Noise(3 * 65536, 9);
  const std::string Path = vxtest::WriteTempFile("source_cut.pdf", Data);
  auto Source = TvxPDFSource::OpenFile(Path);
  auto Other = TvxPDFSource::FromMemory(Data);
  ASSERT_EQ(Source->View().substr(70000, 100), Data.substr(70000, 100));
  EXPECT_FALSE(Source->ViewFaulted());
  ASSERT_EQ(::truncate(Path.c_str(), 4096), 0);
  EXPECT_EQ(Source->View().substr(0, 100), Data.substr(0, 100));
  EXPECT_FALSE(Source->ViewFaulted());
  EXPECT_EQ(Source->View()[70000], '\0');
  EXPECT_EQ(Source->View()[3 * 65536 - 1], '\0');
  EXPECT_TRUE(Source->ViewFaulted());
  EXPECT_FALSE(Other->ViewFaulted());
  Source->ReleaseView();
  EXPECT_TRUE(Source->ViewFaulted());
  // A later map of the same file starts clean.
  auto Again = TvxPDFSource::OpenFile(Path);
  EXPECT_EQ(Again->View(), Data.substr(0, 4096));
  EXPECT_FALSE(Again->ViewFaulted());
  std::remove(Path.c_str());
}

TEST_F(SourceFileTest, AFileCutShortWhileItLoadsIsRefused) {
  // Encrypted, so that the password is asked for between reading the
  // cross-reference data and reading the pages.
  TvxPDFDocument Plain;
  ASSERT_TRUE(Plain.LoadFromMemory(Bytes));
  Plain.Encryption().SetEnabled(true);
  Plain.Encryption().SetLevel(el128bit);
  Plain.Encryption().SetUserPassword("user");
  vxtest::SaveAsWritten(Plain, Path);
  TvxPDFDocument Doc;
  int32_t Asked = 0;
  Doc.OnPassword = [&](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Tries) {
    ++Asked;
    Continue = Tries == 0;
    Pw = "user";
    ASSERT_EQ(::truncate(Path.c_str(), 0), 0);
  };
  vxtest::ExpectError<ESourceChangedError>(
      [&] { Doc.LoadFromFile(Path); },
      "The file \"" + Path + "\" was changed since it was loaded; load it again");
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(Doc.PageCount(), 0);
  // Written again, the file loads.
  vxtest::SaveAsWritten(Plain, Path);
  Doc.OnPassword = [](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Tries) {
    Continue = Tries == 0;
    Pw = "user";
  };
  ASSERT_TRUE(Doc.LoadFromFile(Path));
  EXPECT_EQ(Doc.PageCount(), 2);
}

TEST(PDFSource, RangesOutsideTheDataAreRefused) {
  auto Source = TvxPDFSource::FromMemory("0123456789");
  EXPECT_EQ(Source->Read(2, 3), "234");
  auto Tail = Source->Tail(4);
  EXPECT_EQ(Tail->View(), "456789");
  EXPECT_EQ(Tail->Read(0, 2), "45");
  EXPECT_THROW(Tail->Read(5, 2), ESourceChangedError);
  EXPECT_THROW(Source->Read(-1, 2), ESourceChangedError);
  TvxMemoryStream Out;
  Tail->CopyTo(Out, 1, 3);
  EXPECT_EQ(Out.DataString(), "567");
  EXPECT_THROW(Tail->CopyTo(Out, 4, 3), ESourceChangedError);
}

}  // namespace
