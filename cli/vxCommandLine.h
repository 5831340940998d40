// The command line's grammar: the commands, their options and the checks on
// the options' values, read with CLI11.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/vxCliOptions.h"

namespace CLI {
class App;
}

namespace vxcli {

// A command's arguments as given.
struct TvxArgs {
  std::vector<std::string> Positional;
  // The last value of each option given; "--repair" and "--no-repair" with
  // an empty one. The password files are read into their passwords.
  TvxOptions Options;
  // Every value of an option that can be repeated (--var), in order.
  std::vector<std::pair<std::string, std::string>> All;
  std::vector<std::string> Flags;  // switches given
  bool Has(const std::string& Flag) const;
};

class TvxCommandLine {
 public:
  TvxCommandLine();
  ~TvxCommandLine();
  TvxCommandLine(const TvxCommandLine&) = delete;
  TvxCommandLine& operator=(const TvxCommandLine&) = delete;

  // Reads the command line. Raises TvxUsageError when it is wrong; returns
  // false when it asked for help or the version, which is then printed.
  bool Parse(int argc, char** argv);

  const std::string& Command() const { return FCommand; }
  const TvxArgs& Args() const { return FArgs; }

 private:
  std::unique_ptr<CLI::App> FApp;
  std::string FCommand;
  TvxArgs FArgs;
};

// The usage text shown by --help and after a wrong command line.
extern const char* const UsageText;

}  // namespace vxcli
