#include "pdf/security/vxMD5.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

TvxPDFEncryption::TvxPDFEncryption(const std::string& FileName,
                                   const TvxPDFEncryptionSettings& Settings,
                                   const std::string& DateText) {
  FOwnerPassword = Settings.OwnerPassword();
  FUserPassword = Settings.UserPassword();
  SetLevel(Settings.Level());
  FPermissions = Settings.UserPermissions();
  FFileID = MD5Bytes(FileName + DateText);
  FPaddedOwner = PadPassword(FOwnerPassword.empty() ? FUserPassword : FOwnerPassword);
  FPaddedUser = PadPassword(FUserPassword);
  FOwnerKey = ComputeOwnerKey(FPaddedOwner, FPaddedUser, FRevision, FKeyLength);
  FP = vx::PermissionValue(FLevel, FPermissions);
  FKey = ComputeFileKey(FPaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength);
  FUserKey = ComputeUserKey(FKey, FFileID, FRevision);
}

TvxPDFEncryption::TvxPDFEncryption(const std::string& FileName, const TvxSourceEncryption& Source,
                                   const std::string& DateText) {
  FKeyLength = Source.KeyLength;
  FRevision = Source.Revision;
  FLevel = FKeyLength == 5 ? el40bit : el128bit;
  FPermissions = PermissionsFromP(FRevision >= 3 ? 128 : 40, static_cast<int64_t>(Source.P));
  FFileID = MD5Bytes(FileName + DateText);
  FPaddedUser = Source.PaddedUserPassword;
  FUserPassword = UnpadPassword(FPaddedUser);
  FOwnerKey = Source.OwnerKey;
  FP = Source.P;
  FKey = ComputeFileKey(FPaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength);
  FUserKey = ComputeUserKey(FKey, FFileID, FRevision);
}

std::string TvxPDFEncryption::EncryptForObject(std::string_view Data, int32_t ObjectNumber) {
  std::string Out(Data);
  CryptForObject(reinterpret_cast<uint8_t*>(Out.data()), Out.size(), ObjectNumber, 0);
  return Out;
}

}  // namespace vx
