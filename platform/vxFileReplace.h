// Replaces a file as a whole: the new content is written beside it and
// renamed into place, so that a failure or a power cut leaves the old file or
// the complete new one, never a part.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace vx {

// A step of the replacement itself failed; Errno says why.
class EFileReplaceError : public std::runtime_error {
 public:
  explicit EFileReplaceError(int AErrno);
  int Errno;
};

// Writes Target's new content through Write, which gets the new, empty
// temporary file beside the target and its name, and owns the descriptor:
// it must close it. An existing Target is replaced as writing to it would
// change it: through a link, the file linked to; keeping its permissions and,
// where allowed, its owner; refused before anything is written when it may
// not be written. A new file gets the permissions a created file would have.
// On failure the temporary is removed and Target is left as it was; what
// Write throws passes through unchanged.
void ReplaceFile(const std::string& Target,
                 const std::function<void(int Fd, const std::string& TempName)>& Write);

}  // namespace vx
