#include "platform/vxFileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vx {

namespace {

// Flushes a file or folder to the disk; false when that fails.
bool SyncPath(const std::string& Path, int Flags) {
  int Fd = ::open(Path.c_str(), Flags | O_CLOEXEC);
  if (Fd < 0) return false;
  bool Ok = ::fsync(Fd) == 0;
  ::close(Fd);
  return Ok;
}

}  // namespace

EFileReplaceError::EFileReplaceError(int AErrno)
    : std::runtime_error(std::strerror(AErrno)), Errno(AErrno) {}

void ReplaceFile(const std::string& Target,
                 const std::function<void(int Fd, const std::string& TempName)>& Write) {
  std::string Real = Target;
  struct stat Old {};
  const bool Replaces = ::stat(Target.c_str(), &Old) == 0 && S_ISREG(Old.st_mode);
  if (Replaces) {
    if (char* Resolved = ::realpath(Target.c_str(), nullptr)) {
      Real = Resolved;
      std::free(Resolved);
    }
    if (::access(Real.c_str(), W_OK) != 0) throw EFileReplaceError(errno);
  }
  std::string Temp = Real + ".XXXXXX";
  int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) throw EFileReplaceError(errno);
  try {
    Write(Fd, Temp);
    if (Replaces) {
      mode_t Mode = Old.st_mode & 07777;
      // Where the owner cannot be given, the file stays ours, and without
      // set-user or set-group bits that were meant for another owner.
      if (::chown(Temp.c_str(), Old.st_uid, Old.st_gid) != 0) Mode &= 0777;
      ::chmod(Temp.c_str(), Mode);
    } else {
      mode_t Mask = ::umask(0);
      ::umask(Mask);
      ::chmod(Temp.c_str(), 0666 & ~Mask);
    }
    // The data reaches the disk before the name does, so that a power cut
    // leaves the old file or the whole new one, never an empty one.
    if (!SyncPath(Temp, O_RDONLY)) throw EFileReplaceError(errno);
    if (std::rename(Temp.c_str(), Real.c_str()) != 0) throw EFileReplaceError(errno);
  } catch (...) {
    std::remove(Temp.c_str());
    throw;
  }
  // The rename itself is made lasting by flushing the folder; a folder that
  // cannot be flushed leaves the file replaced all the same.
  size_t Slash = Real.find_last_of('/');
  (void)SyncPath(Slash == std::string::npos ? "." : Real.substr(0, Slash + 1),
                 O_RDONLY | O_DIRECTORY);
}

}  // namespace vx
