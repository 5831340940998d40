// The desktop shell: opens a file with the program associated with its type.
#pragma once

#include <string>

namespace vx {

class TvxShellService {
 public:
  virtual ~TvxShellService() = default;
  // Performs Verb ("open") on FileName; false when it could not be started.
  virtual bool Execute(const std::string& Verb, const std::string& FileName) = 0;
};

// Not owned; nullptr restores the default (xdg-open).
void SetShellService(TvxShellService* Service);
TvxShellService& ShellService();

}  // namespace vx
