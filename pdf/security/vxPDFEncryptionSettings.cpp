#include "pdf/security/vxPDFEncryptionSettings.h"

#include "pdf/objects/vxExceptions.h"

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
}

}  // namespace vx
