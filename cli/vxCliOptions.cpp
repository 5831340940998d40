#include "cli/vxCliOptions.h"

#include <cstdio>
#include <utility>

#include "pdf/objects/vxExceptions.h"
#include "pdf/reader/vxRepair.h"
#include "pdf/security/vxPasswordText.h"
#include "platform/vxUnicode.h"

namespace vxcli {

namespace {

// The password's PDFDocEncoding bytes; false when a character has none.
bool DocBytes(const std::string& Utf8, std::string& Out) {
  return vx::UnicodeToPDFDocEncoding(vx::Utf8ToUtf16(Utf8), Out);
}

// The password as given, refused when Level cannot take it.
std::string PasswordOption(const TvxOptions& Options, const char* Name,
                           vx::TvxPDFEncryptionLevel Level) {
  const std::string& Utf8 = Options.at(Name);
  std::string Bytes;
  if (!vx::EncryptionPasswordBytes(Level, Utf8, Bytes))
    throw TvxUsageError{std::string(Name) + " holds a character PDFDocEncoding lacks"};
  return Utf8;
}

}  // namespace

const std::vector<std::string> EncryptionOptionNames = {
    "--encrypt",     "--user-password",      "--owner-password",
    "--permissions", "--user-password-file", "--owner-password-file"};

namespace {

// The first line of File ("-": standard input), without its line end.
std::string ReadPasswordLine(const std::string& File) {
  std::FILE* In = File == "-" ? stdin : std::fopen(File.c_str(), "rb");
  if (!In) throw vx::Exception("Cannot read the password file " + File);
  std::string Line;
  int C;
  while ((C = std::fgetc(In)) != EOF && C != '\n') Line.push_back(static_cast<char>(C));
  const bool Failed = std::ferror(In) != 0;
  if (In != stdin) std::fclose(In);
  if (Failed) throw vx::Exception("Cannot read the password file " + File);
  if (!Line.empty() && Line.back() == '\r') Line.pop_back();
  return Line;
}

}  // namespace

void ResolvePasswordFiles(TvxOptions& Options) {
  bool StdinUsed = false;
  for (const char* Name : {"--password", "--user-password", "--owner-password"}) {
    const std::string FileOption = std::string(Name) + "-file";
    auto It = Options.find(FileOption);
    if (It == Options.end()) continue;
    if (Options.count(Name))
      throw TvxUsageError{std::string(Name) + " and " + FileOption + " exclude each other"};
    if (It->second == "-") {
      if (StdinUsed) throw TvxUsageError{"only one password file can be standard input"};
      StdinUsed = true;
    }
    Options[Name] = ReadPasswordLine(It->second);
    Options.erase(FileOption);
  }
}

void LoadDocument(vx::TvxCustomPDFDocument& Doc, const std::string& File, const TvxOptions& Options,
                  std::function<void(const std::string&)> Warn) {
  auto It = Options.find("--password");
  const bool Given = It != Options.end();
  // Revisions 2 to 4 take PDFDocEncoding bytes; some writers took the
  // UTF-8 bytes as they were, so those are tried next. Revisions 5 and 6
  // read bytes that are not UTF-8 as PDFDocEncoding, so either try opens.
  std::vector<std::string> Tries;
  std::string Bytes;
  if (!Given)
    Tries.emplace_back();
  else if (DocBytes(It->second, Bytes))
    Tries.push_back(Bytes);
  if (Given && (Tries.empty() || Tries[0] != It->second)) Tries.push_back(It->second);
  Doc.OnPassword = [Tries](vx::TvxCustomPDFDocument&, std::string& Pw, bool& Continue,
                           int32_t Try) {
    Continue = Try >= 0 && static_cast<size_t>(Try) < Tries.size();
    if (Continue) Pw = Tries[static_cast<size_t>(Try)];
  };
  // As viewers do, a file whose structure is damaged is repaired unless
  // --no-repair asks for the strict load; --repair says so explicitly.
  const bool Strict = Options.count("--no-repair") > 0;
  if (Strict && Options.count("--repair"))
    throw TvxUsageError{"--repair and --no-repair exclude each other"};
  Doc.RepairDamaged = !Strict;
  Doc.OnWarning = [Warn](vx::TvxCustomPDFDocument&, const std::string& Warning) {
    if (Warn)
      Warn(Warning);
    else
      std::fprintf(stderr, "warning: %s\n", Warning.c_str());
  };
  bool Loaded = false;
  try {
    Loaded = Doc.LoadFromFile(File);
  } catch (const std::exception& E) {
    if (Strict && vx::IsDamagedStructureError(E)) throw TvxDamagedFile{E.what()};
    throw;
  }
  if (!Loaded) {
    if (!Given) throw vx::Exception("The file is encrypted: give its password with --password");
    throw vx::Exception("The password is incorrect");
  }
}

vx::TvxUserPermissions ParsePermissions(const std::string& List) {
  vx::TvxUserPermissions Result = vx::TvxUserPermissions::None();
  if (List == "none" || List.empty()) return Result;
  size_t Start = 0;
  while (Start <= List.size()) {
    size_t Comma = List.find(',', Start);
    std::string Name =
        List.substr(Start, Comma == std::string::npos ? std::string::npos : Comma - Start);
    bool Found = false;
    for (uint8_t P = 0; P < 8; ++P) {
      if (Name == vx::PermissionNames[P]) {
        Result.Include(static_cast<vx::TvxUserPermissionsType>(P));
        Found = true;
      }
    }
    if (!Found)
      throw TvxUsageError{"--permissions: unknown permission '" + Name +
                          "' (copy, modify, print, annotate, fill, accessibility, assemble, "
                          "hiresprint)"};
    if (Comma == std::string::npos) break;
    Start = Comma + 1;
  }
  return Result;
}

std::string PermissionsText(vx::TvxUserPermissions Permissions) {
  std::string Text;
  for (uint8_t P = 0; P < 8; ++P) {
    if (!Permissions.Has(static_cast<vx::TvxUserPermissionsType>(P))) continue;
    if (!Text.empty()) Text += ',';
    Text += vx::PermissionNames[P];
  }
  return Text.empty() ? "none" : Text;
}

std::optional<vx::TvxEncryptionOptions> ParseEncryptionOptions(
    const TvxOptions& Options, std::optional<vx::TvxEncryptionOptions> Base) {
  auto It = Options.find("--encrypt");
  if (It == Options.end() && !Base) {
    for (const auto& Name : EncryptionOptionNames)
      if (Options.count(Name)) throw TvxUsageError{Name + " goes with --encrypt"};
    return std::nullopt;
  }
  vx::TvxEncryptionOptions Result = Base.value_or(vx::TvxEncryptionOptions{});
  if (It != Options.end()) {
    if (It->second == "40")
      Result.Level = vx::el40bit;
    else if (It->second == "128")
      Result.Level = vx::el128bit;
    else if (It->second == "aes128")
      Result.Level = vx::elAES128;
    else if (It->second == "aes256")
      Result.Level = vx::elAES256;
    else
      throw TvxUsageError{"--encrypt takes 40, 128, aes128 or aes256"};
  }
  if (Options.count("--user-password"))
    Result.UserPassword = PasswordOption(Options, "--user-password", Result.Level);
  if (Options.count("--owner-password"))
    Result.OwnerPassword = PasswordOption(Options, "--owner-password", Result.Level);
  if (auto P = Options.find("--permissions"); P != Options.end())
    Result.Permissions = ParsePermissions(P->second);
  // A job's AES-256 password may hold what a lower level given here lacks:
  // refused before anything loads.
  std::string Bytes;
  for (const auto& [Password, Which] :
       {std::pair(&Result.UserPassword, "user"), std::pair(&Result.OwnerPassword, "owner")})
    if (*Password && !vx::EncryptionPasswordBytes(Result.Level, **Password, Bytes))
      throw vx::Exception(std::string("The job's ") + Which +
                          " password holds a character PDFDocEncoding lacks");
  return Result;
}

}  // namespace vxcli
