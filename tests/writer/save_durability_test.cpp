// A save flushes the new file to the disk before renaming it into place,
// and the folder after the rename. The test binary puts its own fsync in
// front of the C library's to see the calls.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "support/pdf_builder.h"

namespace {

struct TvxSyncCall {
  std::string Path;   // what the descriptor names
  bool TargetExists;  // whether the target name existed at that moment
};

std::vector<TvxSyncCall>* Calls = nullptr;
std::string Watched;

}  // namespace

extern "C" int fsync(int Fd) {
  if (Calls) {
    char Buf[4096];
    ssize_t N = ::readlink(("/proc/self/fd/" + std::to_string(Fd)).c_str(), Buf, sizeof Buf - 1);
    struct stat St {};
    Calls->push_back({N > 0 ? std::string(Buf, static_cast<size_t>(N)) : std::string(),
                      ::stat(Watched.c_str(), &St) == 0});
  }
  using TvxFsync = int (*)(int);
  static auto Real = reinterpret_cast<TvxFsync>(dlsym(RTLD_NEXT, "fsync"));
  return Real ? Real(Fd) : 0;
}

namespace {

TEST(SaveDurability, FileFlushedBeforeRenameFolderAfter) {
  std::string Dir = vxtest::TempPath("durable");
  std::system(("rm -rf '" + Dir + "' && mkdir -p '" + Dir + "'").c_str());
  char Real[4096];
  ASSERT_NE(::realpath(Dir.c_str(), Real), nullptr);
  Dir = Real;
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  vx::TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));

  std::vector<TvxSyncCall> Seen;
  Watched = Dir + "/out.pdf";
  Calls = &Seen;
  Doc.SaveToFile(Watched);
  Calls = nullptr;

  ASSERT_EQ(Seen.size(), 2u);
  EXPECT_EQ(Seen[0].Path.rfind(Watched + ".", 0), 0u) << "the temporary file: " << Seen[0].Path;
  EXPECT_FALSE(Seen[0].TargetExists) << "flushed before the rename";
  EXPECT_EQ(Seen[1].Path, Dir);
  EXPECT_TRUE(Seen[1].TargetExists) << "the folder flushed after the rename";
}

}  // namespace
