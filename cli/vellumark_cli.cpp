// vellumark-cli: drives the engine from scripts and tests.
#include <cstdio>
#include <cstring>
#include <string>

#include "pdf/objects/vxExceptions.h"

namespace {

const char* const Usage =
    "Usage: vellumark-cli COMMAND [OPTIONS]\n"
    "\n"
    "Stamps text watermarks onto PDF files.\n"
    "\n"
    "Options:\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(Usage, stderr);
    return 2;
  }
  std::string Command = argv[1];
  if (Command == "--help" || Command == "-h") {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (Command == "--version") {
    std::printf("vellumark-cli %s\n", VX_VERSION);
    return 0;
  }
  std::fprintf(stderr, "vellumark-cli: unknown command '%s'\n\n%s", Command.c_str(), Usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const vx::Exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
}
