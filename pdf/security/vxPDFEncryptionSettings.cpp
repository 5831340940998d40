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
  if (Value != FLevel) ++FRevision;
  FLevel = Value;
}

void TvxPDFEncryptionSettings::SetOwnerPassword(const std::string& Value) {
  CheckChangeable();
  if (Value != FOwnerPassword) ++FRevision;
  FOwnerPassword = Value;
}

void TvxPDFEncryptionSettings::SetUserPassword(const std::string& Value) {
  CheckChangeable();
  if (Value != FUserPassword) ++FRevision;
  FUserPassword = Value;
}

void TvxPDFEncryptionSettings::SetUserPermissions(TvxUserPermissions Value) {
  CheckChangeable();
  if (Value != FUserPermissions) ++FRevision;
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
