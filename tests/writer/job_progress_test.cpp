// A stamp and a save tell how far they have come and stop when asked; a
// stopped or failed save leaves no file and says why it failed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;

namespace {

// Pages, the first drawing an image of Noise bytes so that the save has
// more than a few steps to report.
std::string Document(int Pages, size_t Noise) {
  vxtest::PdfBuilder B;
  std::string Kids;
  for (int I = 0; I < Pages; ++I) Kids += std::to_string(10 + I) + " 0 R ";
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Pages) + " >>");
  B.Object(10,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 "
           "5 0 R >> >> /Contents 6 0 R >>");
  for (int I = 1; I < Pages; ++I)
    B.Object(10 + I, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  B.Stream(5,
           "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
           "/BitsPerComponent 8",
           vxtest::Noise(Noise, 7));
  B.Stream(6, "", "q 100 0 0 100 0 0 cm /Im1 Do Q");
  return B.FinishTable("/Root 1 0 R");
}

void Stamp(TvxPDFDocument& Doc) {
  TvxTextWatermarkTemplate T;
  T.Text = u"DRAFT";
  T.Font->Name = "Arial";
  Doc.InsertWatermark(T);
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& Dir) {
  std::vector<std::filesystem::path> Files;
  for (const auto& E : std::filesystem::directory_iterator(Dir)) Files.push_back(E.path());
  return Files;
}

std::filesystem::path FreshDir(const std::string& Name) {
  const std::filesystem::path Dir = vxtest::TempPath(Name);
  std::filesystem::remove_all(Dir);
  std::filesystem::create_directories(Dir);
  return Dir;
}

}  // namespace

TEST(JobProgress, StampCountsPagesAndSaveCountsBytesToTheEnd) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Document(5, 3 << 20)));
  std::vector<TvxJobProgress> Seen;
  Doc.OnJobProgress = [&Seen](TvxCustomPDFDocument&, const TvxJobProgress& P, bool&) {
    Seen.push_back(P);
  };
  Stamp(Doc);
  ASSERT_EQ(Seen.size(), 5u);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ(Seen[I].Stage, TvxJobProgress::jsStamping);
    EXPECT_EQ(Seen[I].Done, I + 1);
    EXPECT_EQ(Seen[I].Total, 5);
  }

  Seen.clear();
  const std::string Out = vxtest::Written(Doc);
  // A step a megabyte: the 3 MB image alone gives some, and the last one
  // is the whole file.
  ASSERT_GE(Seen.size(), 3u);
  for (size_t I = 0; I < Seen.size(); ++I) {
    EXPECT_EQ(Seen[I].Stage, TvxJobProgress::jsWriting);
    EXPECT_LE(Seen[I].Done, Seen[I].Total);
    if (I > 0) {
      EXPECT_GE(Seen[I].Done, Seen[I - 1].Done);
    }
  }
  EXPECT_EQ(Seen.back().Done, static_cast<int64_t>(Out.size()));
  EXPECT_EQ(Seen.back().Total, static_cast<int64_t>(Out.size()));
}

TEST(JobProgress, CancelStopsStampingAndSavingAndLeavesTheTargetAsItWas) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Document(4, 3 << 20)));
  int Calls = 0;
  Doc.OnJobProgress = [&Calls](TvxCustomPDFDocument&, const TvxJobProgress& P, bool& Cancel) {
    ++Calls;
    if (P.Stage == TvxJobProgress::jsStamping) Cancel = P.Done == 2;
  };
  EXPECT_THROW(Stamp(Doc), EJobCancelled);
  EXPECT_EQ(Calls, 2);  // stopped on the page it was told

  const auto Dir = FreshDir("vx_cancelled_save");
  const std::string Target = (Dir / "out.pdf").string();
  vxtest::WriteTempFile("vx_cancelled_save/out.pdf", "earlier result");
  Doc.OnJobProgress = [](TvxCustomPDFDocument&, const TvxJobProgress& P, bool& Cancel) {
    Cancel = P.Stage == TvxJobProgress::jsWriting && P.Done > (1 << 20);
  };
  try {
    Doc.SaveToFile(Target, 2);
    ADD_FAILURE() << "the save went on";
  } catch (const EJobCancelled& E) {
    EXPECT_STREQ(E.what(), "The job was cancelled");
  }
  EXPECT_EQ(vxtest::ReadAll(Target), "earlier result");
  EXPECT_EQ(FilesIn(Dir).size(), 1u);  // no temporary file left beside it

  // Without a cancel the same document saves.
  Doc.OnJobProgress = nullptr;
  Doc.SaveToFile(Target, 2);
  EXPECT_EQ(vxtest::ReadAll(Target).substr(0, 5), "%PDF-");
}

TEST(JobProgress, FailedWriteNamesTheFileAndTheSystemsReason) {
  {
    TvxFileStream Full("/dev/full", fmCreate);
    EXPECT_EQ(Full.Write("abc", 3), 3);  // buffered: the failure shows on flush
    EXPECT_THROW(Full.Close(), EStreamError);
    EXPECT_EQ(Full.LastError(), ENOSPC);
  }

  // A file size limit stands in for a full disk.
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Document(2, 2 << 20)));
  const auto Dir = FreshDir("vx_failed_save");
  const std::string Target = (Dir / "big.pdf").string();
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
  struct sigaction Ignore {};
  struct sigaction Before {};
  Ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &Ignore, &Before);
  rlimit Small = Old;
  Small.rlim_cur = 256 << 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
  std::string Message;
  try {
    Doc.SaveToFile(Target, 2);
  } catch (const EStreamError& E) {
    Message = E.what();
  }
  setrlimit(RLIMIT_FSIZE, &Old);
  sigaction(SIGXFSZ, &Before, nullptr);
  EXPECT_EQ(Message, "Error writing file \"" + Target + "\". " + std::strerror(EFBIG));
  EXPECT_TRUE(FilesIn(Dir).empty());
}
