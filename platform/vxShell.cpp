#include "platform/vxShell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <vector>

extern char** environ;

namespace vx {

namespace {

// Starts xdg-open and does not wait for the viewer it launches.
class TvxXdgShell : public TvxShellService {
 public:
  bool Execute(const std::string& Verb, const std::string& FileName) override {
    if (Verb != "open" && Verb != "Open") return false;
    std::vector<char*> Args = {const_cast<char*>("xdg-open"), const_cast<char*>(FileName.c_str()),
                               nullptr};
    pid_t Pid = 0;
    if (posix_spawnp(&Pid, "xdg-open", nullptr, nullptr, Args.data(), environ) != 0) return false;
    // xdg-open hands the file to the viewer and exits; reap it.
    int Status = 0;
    waitpid(Pid, &Status, 0);
    return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  }
};

TvxXdgShell DefaultShell;
TvxShellService* CurrentShell = &DefaultShell;

}  // namespace

void SetShellService(TvxShellService* Service) {
  CurrentShell = Service ? Service : &DefaultShell;
}

TvxShellService& ShellService() {
  return *CurrentShell;
}

}  // namespace vx
