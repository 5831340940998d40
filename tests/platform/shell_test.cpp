// The default shell service starts xdg-open and returns without waiting for
// it or for the viewer it starts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/vxShell.h"
#include "support/pdf_builder.h"

namespace {

bool Exists(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0;
}

// Waits for Path to appear, at most about ten seconds.
bool AwaitFile(const std::string& Path) {
  for (int I = 0; I < 1000 && !Exists(Path); ++I) ::usleep(10000);
  return Exists(Path);
}

// Puts a folder holding a fake xdg-open in front of PATH while it lives.
class TvxFakeOpener {
 public:
  explicit TvxFakeOpener(const std::string& Script) : FDir(vxtest::TempPath("shell/")) {
    std::system(("rm -rf '" + FDir + "' && mkdir -p '" + FDir + "'").c_str());
    if (!Script.empty()) {
      std::ofstream(FDir + "xdg-open") << "#!/bin/sh\n" << Script;
      ::chmod((FDir + "xdg-open").c_str(), 0755);
    }
    const char* Path = std::getenv("PATH");
    FOldPath = Path ? Path : "";
    ::setenv("PATH", (FDir + ":" + FOldPath).c_str(), 1);
  }
  ~TvxFakeOpener() { ::setenv("PATH", FOldPath.c_str(), 1); }
  const std::string& Dir() const { return FDir; }

 private:
  std::string FDir;
  std::string FOldPath;
};

TEST(Shell, OpenDoesNotWaitForTheViewer) {
  // The viewer runs until the test releases it (or ten seconds pass).
  std::string Dir = vxtest::TempPath("shell/");
  // "started" appears whole (written aside, then renamed), so the test never
  // reads it half written.
  TvxFakeOpener Fake("echo \"$1\" > '" + Dir + "started.part' && mv '" + Dir + "started.part' '" +
                     Dir + "started'\n" + "i=0\nwhile [ ! -e '" + Dir +
                     "release' ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done\n" + "touch '" +
                     Dir + "done'\n");
  ASSERT_TRUE(vx::ShellService().Execute("open", "some file.pdf"));
  EXPECT_FALSE(Exists(Dir + "done")) << "returned only after the viewer ended";
  std::ofstream(Dir + "release") << "";
  ASSERT_TRUE(AwaitFile(Dir + "started"));
  std::ifstream In(Dir + "started");
  std::string Line;
  std::getline(In, Line);
  EXPECT_EQ(Line, "some file.pdf");
  EXPECT_TRUE(AwaitFile(Dir + "done"));
}

TEST(Shell, MissingOpenerIsReported) {
  TvxFakeOpener Fake("");
  ::setenv("PATH", Fake.Dir().c_str(), 1);
  EXPECT_FALSE(vx::ShellService().Execute("open", "x.pdf"));
  EXPECT_FALSE(vx::ShellService().Execute("print", "x.pdf"));
}

}  // namespace
