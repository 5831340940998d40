#include "pdf/security/vxPDFEncryptionSettings.h"

#include "pdf/objects/vxExceptions.h"
#include "pdf/security/vxPasswordText.h"
#include "platform/vxUnicode.h"

namespace vx {

void TvxPDFEncryptionSettings::CheckChangeable() const {
  if (!FChangeable) throw Exception("User cannot change encryption settings");
}

void TvxPDFEncryptionSettings::SetEnabled(bool Value) {
  CheckChangeable();
  FEnabled = Value;
}

void TvxPDFEncryptionSettings::SetLevel(TvxPDFEncryptionLevel Value) {
  CheckChangeable();
  ++FRevision;
  FLevel = Value;
}

void TvxPDFEncryptionSettings::SetOwnerPassword(const std::string& Value) {
  CheckChangeable();
  ++FRevision;
  FOwnerPassword = Value;
}

void TvxPDFEncryptionSettings::SetUserPassword(const std::string& Value) {
  CheckChangeable();
  ++FRevision;
  ++FUserPasswordRevision;
  FUserPassword = Value;
}

void TvxPDFEncryptionSettings::SetUserPermissions(TvxUserPermissions Value) {
  CheckChangeable();
  ++FRevision;
  FUserPermissions = Value;
}

void TvxPDFEncryptionSettings::Reset() {
  FChangeable = true;
  FEnabled = false;
  FLevel = el40bit;
  FOwnerPassword.clear();
  FUserPassword.clear();
  FUserPermissions = TvxUserPermissions::All();
  ++FRevision;
  ++FUserPasswordRevision;
}

bool EncryptionPasswordBytes(TvxPDFEncryptionLevel Level, const std::string& Utf8,
                             std::string& Bytes) {
  if (Level == elAES256) {
    Bytes = Utf8;
    return true;
  }
  Bytes.clear();
  return UnicodeToPDFDocEncoding(Utf8ToUtf16(Utf8), Bytes);
}

void ApplyEncryptionOptions(TvxPDFEncryptionSettings& Settings,
                            const TvxEncryptionOptions& Options) {
  auto Bytes = [&Options](const std::string& Password, const char* Which) {
    std::string Result;
    if (!EncryptionPasswordBytes(Options.Level, Password, Result))
      throw Exception(std::string("The ") + Which +
                      " password holds a character PDFDocEncoding lacks");
    return Result;
  };
  // Both are converted first: a refused password changes nothing.
  const std::optional<std::string> User =
      Options.UserPassword ? std::optional(Bytes(*Options.UserPassword, "user")) : std::nullopt;
  const std::optional<std::string> Owner =
      Options.OwnerPassword ? std::optional(Bytes(*Options.OwnerPassword, "owner")) : std::nullopt;
  Settings.SetEnabled(true);
  Settings.SetLevel(Options.Level);
  if (User) Settings.SetUserPassword(*User);
  if (Owner) Settings.SetOwnerPassword(*Owner);
  Settings.SetUserPermissions(Options.Permissions);
}

}  // namespace vx
