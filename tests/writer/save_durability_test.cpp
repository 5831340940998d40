// A save flushes the new file to the disk before renaming it into place,
// and the folder after the rename. The test binary puts its own fsync in
// front of the C library's to see the calls.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxDocumentExceptions.h"
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

std::string FileText(const std::string& Path) {
  std::string Text;
  if (FILE* F = std::fopen(Path.c_str(), "rb")) {
    char Buf[4096];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0) Text.append(Buf, N);
    std::fclose(F);
  }
  return Text;
}

// An existing target is replaced as writing to it would change it: through a
// link the linked file changes and the link stays; the permissions stay; a
// file the user may not write is refused and left as it was.
TEST(SaveDurability, ReplacedFilesKeepTheirLinkAndPermissions) {
  std::string Dir = vxtest::TempPath("replace");
  std::system(("rm -rf '" + Dir + "' && mkdir -p '" + Dir + "/real'").c_str());
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  vx::TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.FinishTable("/Root 1 0 R")));

  const std::string Linked = Dir + "/real/target.pdf", Link = Dir + "/link.pdf";
  std::FILE* F = std::fopen(Linked.c_str(), "wb");
  ASSERT_NE(F, nullptr);
  std::fputs("old", F);
  std::fclose(F);
  ASSERT_EQ(::chmod(Linked.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real/target.pdf", Link.c_str()), 0);
  Doc.SaveToFile(Link);
  struct stat St {};
  ASSERT_EQ(::lstat(Link.c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
  EXPECT_EQ(FileText(Linked).rfind("%PDF-", 0), 0u);
  ASSERT_EQ(::stat(Linked.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0640u);

  // Write protection holds for everyone but the superuser.
  ASSERT_EQ(::chmod(Linked.c_str(), 0444), 0);
  if (::geteuid() != 0) {
    EXPECT_THROW(Doc.SaveToFile(Linked), vx::EFCreateError);
    EXPECT_EQ(::stat(Linked.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0444u);
  }
  std::system(("rm -rf '" + Dir + "'").c_str());
}

}  // namespace
