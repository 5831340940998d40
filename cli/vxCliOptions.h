// Pieces of the command line shared by its commands.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFEncryptionSettings.h"

namespace vxcli {

// A wrong command line: usage on standard error, status 2.
struct TvxUsageError {
  std::string Message;
};

using TvxOptions = std::map<std::string, std::string>;

// "--password-file", "--user-password-file", "--owner-password-file" FILE:
// the first line of FILE, without its line end ("-" reads standard input),
// becomes the value of "--password", "--user-password", "--owner-password",
// so that a password need not show in the process list. Raises
// TvxUsageError when both forms are given or two read standard input, and
// vx::Exception when FILE cannot be read.
void ResolvePasswordFiles(TvxOptions& Options);

// A load that failed on damaged structure with "--no-repair": the message,
// and a hint that a repair may recover the file.
struct TvxDamagedFile {
  std::string Message;
};

// Loads File, trying the "--password" option (or the empty password) as
// PDFDocEncoding bytes and then as given; a load that fails on damage is
// repaired unless "--no-repair" is given; warnings go to standard error.
// Raises vx::Exception when the password is refused or the repair fails,
// TvxDamagedFile on damage with "--no-repair", TvxUsageError when both
// options are given. Warn, when given, takes the warnings instead.
void LoadDocument(vx::TvxCustomPDFDocument& Doc, const std::string& File, const TvxOptions& Options,
                  std::function<void(const std::string&)> Warn = nullptr);

// The options of output encryption.
extern const std::vector<std::string> EncryptionOptionNames;

// "--encrypt 40|128|aes128|aes256 [--user-password U] [--owner-password O]
// [--permissions LIST]" over Base (a job's encryption): the options given
// replace Base's. Raises TvxUsageError on a wrong value or a password option
// without --encrypt and without Base, and vx::Exception when a password of
// Base cannot be taken at the level the options ask for.
std::optional<vx::TvxEncryptionOptions> ParseEncryptionOptions(
    const TvxOptions& Options, std::optional<vx::TvxEncryptionOptions> Base = std::nullopt);

// "copy,modify,..." in the order of the permission bits, or "none".
std::string PermissionsText(vx::TvxUserPermissions Permissions);
// LIST as the option takes it; raises TvxUsageError on an unknown name.
vx::TvxUserPermissions ParsePermissions(const std::string& List);

}  // namespace vxcli
