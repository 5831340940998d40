#include "platform/vxShell.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

extern char** environ;

namespace vx {

namespace {

// Starts xdg-open detached: an intermediate child starts it in a session of
// its own and exits at once, so the caller never waits for xdg-open or the
// viewer it may keep running, and no zombie is left behind. A pipe closed on
// exec tells whether xdg-open could be started.
class TvxXdgShell : public TvxShellService {
 public:
  bool Execute(const std::string& Verb, const std::string& FileName) override {
    if (Verb != "open" && Verb != "Open") return false;
    std::vector<char*> Args = {const_cast<char*>("xdg-open"), const_cast<char*>(FileName.c_str()),
                               nullptr};
    int Pipe[2];
    if (::pipe2(Pipe, O_CLOEXEC) != 0) return false;
    pid_t Child = ::fork();
    if (Child < 0) {
      ::close(Pipe[0]);
      ::close(Pipe[1]);
      return false;
    }
    if (Child == 0) {
      // Only async-signal-safe calls between fork and exec.
      ::close(Pipe[0]);
      ::setsid();
      pid_t Opener = ::fork();
      if (Opener == 0) {
        ::execvp("xdg-open", Args.data());
        int Error = errno;
        (void)!::write(Pipe[1], &Error, sizeof Error);
        ::_exit(127);
      }
      ::_exit(Opener < 0 ? 127 : 0);
    }
    ::close(Pipe[1]);
    int Status = 0;
    while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
    }
    // End of file: xdg-open is running; an errno: it could not be started.
    int Error = 0;
    ssize_t Got;
    while ((Got = ::read(Pipe[0], &Error, sizeof Error)) < 0 && errno == EINTR) {
    }
    ::close(Pipe[0]);
    return WIFEXITED(Status) && WEXITSTATUS(Status) == 0 && Got == 0;
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
