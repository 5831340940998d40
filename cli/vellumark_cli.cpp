// vellumark-cli: drives the engine from scripts and tests.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/vxCliOptions.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/reader/vxRepair.h"
#include "platform/vxUnicode.h"

namespace {

using vxcli::TvxUsageError;

const char* const Usage =
    "Usage: vellumark-cli COMMAND [OPTIONS]\n"
    "\n"
    "Stamps text watermarks onto PDF files.\n"
    "\n"
    "Commands:\n"
    "  info FILE [--password PW] [--repair]\n"
    "                              print the document's version, page count,\n"
    "                              encryption and information\n"
    "  rewrite IN -o OUT [--password PW] [--repair] [--compress flate|runlength]\n"
    "          [--level 0-3] [--need-appearances true|false]\n"
    "          [--encrypt 40|128|aes128|aes256 [--user-password U]\n"
    "           [--owner-password O]\n"
    "           [--permissions LIST]]\n"
    "                              load IN and save it as a new file OUT\n"
    "\n"
    "Every command takes --repair: a file whose structure is damaged is\n"
    "repaired while it loads (warnings on standard error).\n"
    "--password PW opens an encrypted input. --encrypt encrypts the output with\n"
    "RC4 at 40 or 128 bits or with AES at 128 or 256 bits; LIST is a comma list of copy, modify, "
    "print,\n"
    "annotate, fill, accessibility, assemble, hiresprint (default all) or none.\n"
    "An encrypted input opened with its user password is saved with the same\n"
    "encryption.\n"
    "\n"
    "Options:\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

struct TvxArgs {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Options;
};

// Options that take a value; everything else starting with "--" is unknown.
TvxArgs ParseArgs(int argc, char** argv, int First, const std::vector<std::string>& Known) {
  TvxArgs Args;
  for (int I = First; I < argc; ++I) {
    std::string A = argv[I];
    bool IsFlag = false;
    for (const auto& F : vxcli::FlagOptionNames) IsFlag = IsFlag || F == A;
    if (IsFlag) {
      Args.Options[A] = "";
    } else if (A.rfind("--", 0) == 0 || A == "-o") {
      bool IsKnown = false;
      for (const auto& K : Known) IsKnown = IsKnown || K == A;
      if (!IsKnown) throw TvxUsageError{"unknown option '" + A + "'"};
      if (I + 1 >= argc) throw TvxUsageError{"option '" + A + "' needs a value"};
      Args.Options[A] = argv[++I];
    } else {
      Args.Positional.push_back(A);
    }
  }
  return Args;
}

const char* VersionText(vx::TvxPDFVersion V) {
  static const char* const Texts[] = {"1.0", "1.1", "1.2", "1.3", "1.4",
                                      "1.5", "1.6", "1.7", "2.0"};
  return V <= vx::pvPDF20 ? Texts[V] : "?";
}

// Loads FILE with the --password option, if any.
void Load(vx::TvxPDFDocument& Doc, const std::string& File, const TvxArgs& Args) {
  vxcli::LoadDocument(Doc, File, Args.Options);
}

int Info(int argc, char** argv) {
  TvxArgs Args = ParseArgs(argc, argv, 2, {"--password"});
  if (Args.Positional.size() != 1) throw TvxUsageError{"info takes one FILE"};
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  vx::TvxPDFInfo& I = Doc.Info();
  auto Line = [](const char* Key, const std::string& Value) {
    std::printf("%s: %s\n", Key, Value.c_str());
  };
  Line("version", VersionText(Doc.PDFVersion()));
  Line("pages", std::to_string(Doc.PageCount()));
  Line("encrypted", Doc.IsEncrypted() ? "yes" : "no");
  if (Doc.IsEncrypted()) {
    Line("owner", Doc.IsOwner() ? "yes" : "no");
    Line("permissions", vxcli::PermissionsText(Doc.Encryption().UserPermissions()));
  }
  Line("title", vx::Utf16ToUtf8(I.GetTitle()));
  Line("author", vx::Utf16ToUtf8(I.GetAuthor()));
  Line("subject", vx::Utf16ToUtf8(I.GetSubject()));
  Line("keywords", vx::Utf16ToUtf8(I.GetKeywords()));
  Line("creator", vx::Utf16ToUtf8(I.GetCreator()));
  Line("producer", vx::Utf16ToUtf8(I.GetProducer()));
  Line("page-mode", vx::PageModeNames[Doc.PageMode()] + 1);
  Line("page-layout", vx::PageLayoutNames[Doc.PageLayout()] + 1);
  return 0;
}

uint8_t LevelOption(const TvxArgs& Args) {
  auto It = Args.Options.find("--level");
  if (It == Args.Options.end()) return 2;
  const std::string& L = It->second;
  if (L.size() != 1 || L[0] < '0' || L[0] > '3') throw TvxUsageError{"--level takes 0, 1, 2 or 3"};
  return static_cast<uint8_t>(L[0] - '0');
}

int Rewrite(int argc, char** argv) {
  std::vector<std::string> Known = {"-o", "--password", "--compress", "--level",
                                    "--need-appearances"};
  Known.insert(Known.end(), vxcli::EncryptionOptionNames.begin(),
               vxcli::EncryptionOptionNames.end());
  TvxArgs Args = ParseArgs(argc, argv, 2, Known);
  auto Out = Args.Options.find("-o");
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"rewrite takes IN and -o OUT"};
  int32_t Appearance = 2;
  if (auto It = Args.Options.find("--need-appearances"); It != Args.Options.end()) {
    if (It->second == "true")
      Appearance = 0;
    else if (It->second == "false")
      Appearance = 1;
    else
      throw TvxUsageError{"--need-appearances takes true or false"};
  }
  uint8_t Level = LevelOption(Args);
  const vxcli::TvxEncryptionOptions Encryption = vxcli::ParseEncryptionOptions(Args.Options);
  vx::TvxPDFDocument Doc;
  if (auto It = Args.Options.find("--compress"); It != Args.Options.end()) {
    if (It->second == "flate")
      Doc.SetCompression(0, Level);
    else if (It->second == "runlength")
      Doc.SetCompression(1, Level);
    else
      throw TvxUsageError{"--compress takes flate or runlength"};
  } else if (Args.Options.count("--level")) {
    throw TvxUsageError{"--level goes with --compress"};
  }
  Load(Doc, Args.Positional[0], Args);
  vxcli::ApplyEncryptionOptions(Doc, Encryption);
  Doc.SaveToFile(Out->second, Appearance);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) throw TvxUsageError{"no command given"};
  std::string Command = argv[1];
  if (Command == "--help" || Command == "-h" || Command == "help") {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (Command == "--version") {
    std::printf("vellumark-cli %s\n", VX_VERSION);
    return 0;
  }
  if (Command == "info") return Info(argc, argv);
  if (Command == "rewrite") return Rewrite(argc, argv);
  throw TvxUsageError{"unknown command '" + Command + "'"};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const TvxUsageError& E) {
    std::fprintf(stderr, "vellumark-cli: %s\n\n%s", E.Message.c_str(), Usage);
    return 2;
  } catch (const vxcli::TvxDamagedFile& E) {
    std::fprintf(stderr, "%s\n%s\n", E.Message.c_str(),
                 std::string(vx::msg::RepairMayRecover).c_str());
    return 1;
  } catch (const vx::Exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  } catch (const std::exception& E) {
    // Out of memory and the like: still a clean failure.
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
}
