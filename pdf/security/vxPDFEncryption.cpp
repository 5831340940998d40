#include <algorithm>

#include "pdf/security/vxAES.h"
#include "pdf/security/vxChunkCiphers.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxSASLprep.h"

namespace vx {

TvxPDFEncryption::TvxPDFEncryption(const TvxPDFEncryptionSettings& Settings,
                                   std::string_view OwnerBytes) {
  FOwnerPassword = Settings.OwnerPassword();
  FUserPassword = Settings.UserPassword();
  SetLevel(Settings.Level());
  FPermissions = Settings.UserPermissions();
  FFileID = RandomBytes(16);
  FP = vx::PermissionValue(FLevel, FPermissions);
  // Without an owner password the user password would open the file as its
  // owner, and every reader would grant every right.
  std::string Generated;
  if (Settings.Changeable() && FOwnerPassword.empty() && OwnerBytes.empty() &&
      FP != vx::PermissionValue(FLevel, TvxUserPermissions::All())) {
    Generated = RandomBytes(32);
    FOwnerGenerated = true;
  }
  if (FLevel == elAES256) {
    // The file key does not depend on the passwords: it is random. A
    // generated owner password is used as bytes, as SASLprep would refuse
    // most of them.
    SetupAES256(RandomBytes(32), FOwnerGenerated ? std::string_view(Generated) : OwnerBytes);
    return;
  }
  if (FOwnerGenerated) FOwnerPassword = Generated;
  FPaddedOwner = PadPassword(FOwnerPassword.empty() ? FUserPassword : FOwnerPassword);
  FPaddedUser = PadPassword(FUserPassword);
  FOwnerKey = ComputeOwnerKey(FPaddedOwner, FPaddedUser, FRevision, FKeyLength);
  FKey = ComputeFileKey(FPaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength);
  FUserKey = ComputeUserKey(FKey, FFileID, FRevision);
}

TvxPDFEncryption::TvxPDFEncryption(const TvxSourceEncryption& Source) {
  FFileID = RandomBytes(16);
  FP = Source.P;
  FAttachmentsOnly = Source.AttachmentsOnly;
  FPermissions = PermissionsFromP(Source.Revision >= 3 ? 128 : 40, static_cast<int64_t>(Source.P));
  if (Source.Revision >= 5) {
    // Passwords, salts and file key stay; /Perms is made again, as metadata
    // is now encrypted.
    FLevel = elAES256;
    FKeyLength = 32;
    FRevision = Source.Revision;
    FOwnerKey = Source.OwnerKey;
    FUserKey = Source.UserKey;
    FOwnerEncKey = Source.OwnerEncKey;
    FUserEncKey = Source.UserEncKey;
    FKey = Source.FileKey;
    FPerms = ComputePerms(FKey, FP, true, RandomBytes(4));
    return;
  }
  FKeyLength = Source.AES ? 16 : Source.KeyLength;
  // RC4 through crypt filters is written as revision 3, /O made alike,
  // unless only attachments are encrypted, which takes crypt filters.
  FRevision = Source.AES || Source.AttachmentsOnly ? 4 : std::min(Source.Revision, 3);
  FLevel = Source.AES ? elAES128 : FKeyLength == 5 ? el40bit : el128bit;
  FPaddedUser = Source.PaddedUserPassword;
  FUserPassword = UnpadPassword(FPaddedUser);
  FOwnerKey = Source.OwnerKey;
  FKey = ComputeFileKey(FPaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength);
  FUserKey = ComputeUserKey(FKey, FFileID, FRevision);
}

void TvxPDFEncryption::SetupAES256(std::string_view FileKey, std::string_view OwnerBytes) {
  FKey = FileKey;
  // A password SASLprep refuses is refused here too: a reader that prepares
  // passwords could not open the file with it.
  auto Prepare = [](const std::string& Password) {
    std::string Prepared, Problem;
    if (!SASLprepPassword(Password, Prepared, Problem))
      throw EEncryptionSettingsError(FormatMessage(msg::UnpreparablePassword, Problem));
    return Prepared;
  };
  const std::string User = Prepare(FUserPassword);
  const std::string Owner = !OwnerBytes.empty()      ? std::string(OwnerBytes)
                            : FOwnerPassword.empty() ? User
                                                     : Prepare(FOwnerPassword);
  FOwnerPrepared = Owner;
  TvxAES256Keys K = ComputeAES256Keys(FKey, User, Owner, RandomBytes(32), FRevision);
  FOwnerKey = std::move(K.OwnerKey);
  FUserKey = std::move(K.UserKey);
  FOwnerEncKey = std::move(K.OwnerEncKey);
  FUserEncKey = std::move(K.UserEncKey);
  FPerms = ComputePerms(FKey, FP, true, RandomBytes(4));
}

void TvxPDFEncryption::KeepUserKeys(const TvxSourceEncryption& Source) {
  if (FLevel != elAES256 || Source.Revision < 5 || Source.UserKey.size() < 48) return;
  FRevision = Source.Revision;
  FKey = Source.FileKey;
  FUserKey = Source.UserKey;
  FUserEncKey = Source.UserEncKey;
  // The owner values hash /U in: made again for the kept one.
  const std::string Salts = RandomBytes(16);
  FOwnerKey = HashAES256(FOwnerPrepared, std::string_view(Salts).substr(0, 8), FUserKey, FRevision);
  FOwnerKey.append(Salts);
  FOwnerEncKey = AESEncryptCBC(
      HashAES256(FOwnerPrepared, std::string_view(Salts).substr(8, 8), FUserKey, FRevision),
      std::string(16, '\0'), FKey);
  FPerms = ComputePerms(FKey, FP, true, RandomBytes(4));
}

int32_t TvxPDFEncryption::VersionValue() const {
  switch (FLevel) {
    case elAES128: return 4;
    case elAES256: return 5;
    default: return FAttachmentsOnly ? 4 : FKeyLength == 5 ? 1 : 2;
  }
}

std::string TvxPDFEncryption::EncryptForObject(std::string_view Data, int32_t ObjectNumber) {
  if (FLevel == elAES128 || FLevel == elAES256) {
    const std::string& Key =
        AESKeyForObject(FLevel == elAES128 ? cmAESV2 : cmAESV3, ObjectNumber, 0);
    std::string IV = RandomBytes(16);
    std::string Out = IV;
    Out.append(AESEncryptCBC(Key, IV, AddPadding(Data)));
    return Out;
  }
  std::string Out(Data);
  CryptForObject(reinterpret_cast<uint8_t*>(Out.data()), Out.size(), ObjectNumber, 0);
  return Out;
}

std::unique_ptr<TvxChunkCipher> TvxPDFEncryption::StartEncryption(int32_t ObjectNumber) {
  if (FLevel == elAES128 || FLevel == elAES256) {
    const std::string& Key =
        AESKeyForObject(FLevel == elAES128 ? cmAESV2 : cmAESV3, ObjectNumber, 0);
    return MakeAESEncryptChunks(Key, RandomBytes(16));
  }
  return MakeRC4Chunks(ObjectKey(FKey, ObjectNumber, 0));
}

int64_t TvxPDFEncryption::EncryptedSize(int64_t Size) const {
  if (FLevel == elAES128 || FLevel == elAES256) return 16 + (Size / 16 + 1) * 16;
  return Size;
}

}  // namespace vx
