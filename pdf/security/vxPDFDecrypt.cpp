#include <algorithm>
#include <cctype>
#include <ctime>
#include <random>

#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxRC4.h"

namespace vx {

// The number comes from a generator of its own, so that a seeded
// resource-name generator stays reproducible.
std::string GenerateOwnerPassword() {
  std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Stamp[16];
  std::strftime(Stamp, sizeof Stamp, "%Y%m%d%H%M%S", &Local);
  std::random_device Device;
  std::uniform_int_distribution<int32_t> Draw(0, 2147483646);
  return std::string("Quillory") + Stamp + std::to_string(Draw(Device));
}

void TvxBasePDFCrypt::SetLevel(TvxPDFEncryptionLevel Value) {
  FLevel = Value;
  FKeyLength = KeyLengthOf(Value);
  FRevision = RevisionOf(Value);
}

void TvxBasePDFCrypt::CryptForObject(uint8_t* Data, size_t Count, int32_t ObjectNumber,
                                     int32_t Generation) {
  if (Count == 0) return;
  if (ObjectNumber != FLastNumber || Generation != FLastGeneration || FLastObjectKey.empty()) {
    FLastObjectKey = ObjectKey(FKey, ObjectNumber, Generation);
    FLastNumber = ObjectNumber;
    FLastGeneration = Generation;
  }
  RC4Apply(FLastObjectKey, Data, Count);
}

std::string TvxPDFDecrypt::KeyBytes(std::string_view Text) {
  std::string_view Body = Text.size() >= 2 ? Text.substr(1, Text.size() - 2) : std::string_view();
  std::string Bytes;
  if (!Text.empty() && Text.front() == '<' && Text.back() == '>') {
    // Only as many digits as give 32 bytes are decoded.
    std::string Digits;
    for (char C : Body) {
      if (Digits.size() >= 64) break;
      if (std::isxdigit(static_cast<unsigned char>(C))) Digits.push_back(C);
    }
    Bytes = HexToBytes(Digits);
  } else {
    Bytes = Body.substr(0, 32);
  }
  Bytes.resize(32, '\0');
  return Bytes;
}

void TvxPDFDecrypt::SetOwnerKey(std::string_view Text) {
  if (Text.empty()) throw Exception(std::string(msg::InvalidOwnerKey));
  FOwnerKey = KeyBytes(Text);
}

void TvxPDFDecrypt::SetUserKey(std::string_view Text) {
  if (Text.empty()) throw Exception(std::string(msg::InvalidUserKey));
  FUserKey = KeyBytes(Text);
}

void TvxPDFDecrypt::SetPermissions(int64_t P) {
  // The low four bytes, as key derivation uses them.
  FP = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(P)));
}

void TvxPDFDecrypt::SetKeyLengthAndRevision(int32_t KeyLength, int32_t Revision) {
  FKeyLength = std::clamp(KeyLength, 5, 16);
  FRevision = Revision;
  FLevel = FKeyLength == 5 ? el40bit : el128bit;
}

bool TvxPDFDecrypt::CheckPaddedUser(std::string_view PaddedUser) {
  std::string Key = ComputeFileKey(PaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength);
  if (!UserKeyMatches(Key, FUserKey, FFileID, FRevision)) return false;
  FKey = std::move(Key);
  FPaddedUser = std::string(PaddedUser.substr(0, 32));
  return true;
}

bool TvxPDFDecrypt::CheckUserPassword(std::string_view Password) {
  return CheckPaddedUser(PadPassword(Password));
}

bool TvxPDFDecrypt::CheckOwnerPassword(std::string_view Password, std::string& UserPassword) {
  std::string PaddedUser = RecoverPaddedUser(Password, FOwnerKey, FRevision, FKeyLength);
  if (!CheckPaddedUser(PaddedUser)) return false;
  UserPassword = UnpadPassword(PaddedUser);
  return true;
}

void TvxPDFDecrypt::ApplyPermissions() {
  // Revision 3 gives the last four bits their meaning, whatever the key length.
  FPermissions = vx::ApplyPermissions(FPermissions, FRevision >= 3 ? el128bit : el40bit, FP);
}

bool TvxPDFDecrypt::VerifyPassword(const std::string& Password,
                                   TvxPDFEncryptionSettings& Settings) {
  TvxPDFEncryptionSettings& S = Settings;
  std::string UserPassword;
  if (CheckOwnerPassword(Password, UserPassword)) {
    FIsOwner = true;
    S.FEnabled = true;
    S.FOwnerPassword = Password;
    S.FUserPassword = UserPassword;
    S.FUserPermissions = FPermissions;
    S.FLevel = FLevel;
    ++S.FRevision;
    return true;
  }
  if (!CheckUserPassword(Password)) return false;
  ApplyPermissions();
  S.FEnabled = true;
  S.FUserPassword = Password;
  S.FOwnerPassword = GenerateOwnerPassword();
  S.FUserPermissions = FPermissions;
  S.FLevel = FLevel;
  ++S.FRevision;
  S.FChangeable = false;
  return true;
}

void TvxPDFDecrypt::DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) {
  CryptForObject(reinterpret_cast<uint8_t*>(Bytes.data()), Bytes.size(), ObjectNumber, Generation);
}

void TvxPDFDecrypt::DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation) {
  std::string& Bytes = Data.DataString();
  CryptForObject(reinterpret_cast<uint8_t*>(Bytes.data()), Bytes.size(), ObjectNumber, Generation);
}

}  // namespace vx
