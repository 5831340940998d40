// A file replaced through ReplaceFile changes as a whole or not at all, and
// no temporary file stays behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/vxFileReplace.h"
#include "support/pdf_builder.h"

namespace {

std::string FileText(const std::string& Path) {
  std::string Text;
  if (std::FILE* F = std::fopen(Path.c_str(), "rb")) {
    char Buf[256];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0) Text.append(Buf, N);
    std::fclose(F);
  }
  return Text;
}

void WriteText(const std::string& Path, const std::string& Text) {
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  ASSERT_NE(F, nullptr) << Path;
  std::fputs(Text.c_str(), F);
  std::fclose(F);
}

// The names in Dir, sorted, without "." and "..".
std::vector<std::string> Listing(const std::string& Dir) {
  std::vector<std::string> Names;
  if (DIR* D = ::opendir(Dir.c_str())) {
    while (dirent* Entry = ::readdir(D)) {
      std::string Name = Entry->d_name;
      if (Name != "." && Name != "..") Names.push_back(Name);
    }
    ::closedir(D);
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

// Writes Text to the temporary and closes it, as a writer must.
void Put(int Fd, const std::string& Text) {
  EXPECT_EQ(::write(Fd, Text.data(), Text.size()), static_cast<ssize_t>(Text.size()));
  ::close(Fd);
}

mode_t ModeOf(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 ? St.st_mode & 07777 : 0;
}

struct TvxOwnError {};

class FileReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = vxtest::TempPath("replace_unit");
    std::system(("rm -rf '" + Dir + "' && mkdir -p '" + Dir + "'").c_str());
    char Real[4096];
    ASSERT_NE(::realpath(Dir.c_str(), Real), nullptr);
    Dir = Real;
  }
  void TearDown() override { std::system(("rm -rf '" + Dir + "'").c_str()); }

  std::string Dir;
};

TEST_F(FileReplace, ReplacesTheLinkedFileKeepingItsMode) {
  const std::string Linked = Dir + "/target.pdf", Link = Dir + "/link.pdf";
  WriteText(Linked, "old");
  ASSERT_EQ(::chmod(Linked.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("target.pdf", Link.c_str()), 0);

  std::string TempName, TargetWhileWriting;
  vx::ReplaceFile(Link, [&](int Fd, const std::string& Temp) {
    TempName = Temp;
    TargetWhileWriting = FileText(Linked);
    Put(Fd, "new");
  });

  EXPECT_EQ(TempName.rfind(Linked + ".", 0), 0u) << "written beside the linked file: " << TempName;
  EXPECT_EQ(TargetWhileWriting, "old");
  EXPECT_EQ(FileText(Linked), "new");
  EXPECT_EQ(ModeOf(Linked), 0640u);
  struct stat St {};
  ASSERT_EQ(::lstat(Link.c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode)) << "the link stays a link";
  EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"link.pdf", "target.pdf"}));
}

TEST_F(FileReplace, NewFileGetsTheModeOfACreatedFile) {
  const mode_t Old = ::umask(027);
  const std::string Target = Dir + "/new.pdf";
  vx::ReplaceFile(Target, [](int Fd, const std::string&) { Put(Fd, "fresh"); });
  ::umask(Old);
  EXPECT_EQ(FileText(Target), "fresh");
  EXPECT_EQ(ModeOf(Target), 0640u);
  EXPECT_EQ(Listing(Dir), std::vector<std::string>{"new.pdf"});
}

// Whatever fails, before or after the writing, the target keeps its content
// and mode and the folder holds nothing more than before.
TEST_F(FileReplace, FailureLeavesTheTargetAndNoTemporary) {
  const std::string Target = Dir + "/keep.pdf";
  WriteText(Target, "precious");
  ASSERT_EQ(::chmod(Target.c_str(), 0644), 0);
  int Calls = 0;
  auto Throwing = [&](int Fd, const std::string&) {
    ++Calls;
    Put(Fd, "partial");
    throw TvxOwnError{};
  };
  EXPECT_THROW(vx::ReplaceFile(Target, Throwing), TvxOwnError) << "passes through as it is";
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(FileText(Target), "precious");
  EXPECT_EQ(ModeOf(Target), 0644u);
  EXPECT_EQ(Listing(Dir), std::vector<std::string>{"keep.pdf"});

  auto Writing = [&](int Fd, const std::string&) {
    ++Calls;
    Put(Fd, "new");
  };
  // The rename fails after the writing: a folder stands under the name.
  Calls = 0;
  const std::string Folder = Dir + "/folder.pdf";
  ASSERT_EQ(::mkdir(Folder.c_str(), 0755), 0);
  try {
    vx::ReplaceFile(Folder, Writing);
    ADD_FAILURE() << "a folder was replaced";
  } catch (const vx::EFileReplaceError& Err) {
    EXPECT_EQ(Err.Errno, EISDIR);
  }
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"folder.pdf", "keep.pdf"}));

  // No temporary can be made: the folder is missing.
  Calls = 0;
  try {
    vx::ReplaceFile(Dir + "/missing/new.pdf", Writing);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const vx::EFileReplaceError& Err) {
    EXPECT_EQ(Err.Errno, ENOENT);
  }
  EXPECT_EQ(Calls, 0);

  // A file the user may not write is refused before anything is written;
  // the superuser may write any.
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(Target.c_str(), 0444), 0);
    try {
      vx::ReplaceFile(Target, Writing);
      ADD_FAILURE() << "a write-protected file was replaced";
    } catch (const vx::EFileReplaceError& Err) {
      EXPECT_EQ(Err.Errno, EACCES);
    }
    EXPECT_EQ(Calls, 0);
    EXPECT_EQ(FileText(Target), "precious");
    EXPECT_EQ(ModeOf(Target), 0444u);
  }
  EXPECT_EQ(Listing(Dir), (std::vector<std::string>{"folder.pdf", "keep.pdf"}));
}

}  // namespace
