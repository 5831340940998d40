#include "pdf/security/vxPDFCryptKeys.h"

#include <algorithm>

#include "pdf/security/vxMD5.h"
#include "pdf/security/vxRC4.h"

namespace vx {

namespace {

constexpr char Padding[33] =
    "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
    "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A";

// The 20 passes of revision 3: the key XORed with 0 to 19 (Up) or 19 to 0.
void TwentyPasses(std::string_view Key, std::string& Data, bool Up) {
  std::string K(Key);
  for (int Step = 0; Step < 20; ++Step) {
    const int X = Up ? Step : 19 - Step;
    for (size_t I = 0; I < K.size(); ++I) K[I] = static_cast<char>(Key[I] ^ X);
    RC4Apply(K, Data);
  }
}

// The RC4 key that hides the padded user password in /O.
std::string OwnerRC4Key(std::string_view PaddedOwner, int32_t Revision, int32_t KeyLength) {
  std::string Digest = MD5Bytes(PaddedOwner);
  if (Revision >= 3)
    for (int I = 0; I < 50; ++I) Digest = MD5Bytes(Digest);
  return Digest.substr(0, static_cast<size_t>(std::clamp(KeyLength, 5, 16)));
}

struct TvxPBit {
  TvxUserPermissionsType Permission;
  int64_t Bit;
  bool Only128;
};

constexpr TvxPBit PBits[] = {{AllowPrint, 4, false},         {AllowModify, 8, false},
                             {AllowCopy, 16, false},         {AllowAnnotation, 32, false},
                             {AllowFormFill, 256, true},     {AllowAccessibility, 512, true},
                             {AllowDocAssembly, 1024, true}, {AllowHighResPrint, 2048, true}};

}  // namespace

std::string_view PasswordPadding() {
  return std::string_view(Padding, 32);
}

std::string PadPassword(std::string_view Password) {
  std::string Out(Password.substr(0, 32));
  Out.append(Padding, 32 - Out.size());
  return Out;
}

std::string UnpadPassword(std::string_view Padded) {
  for (size_t I = 0; I + 1 < Padded.size(); ++I)
    if (Padded[I] == Padding[0] && Padded[I + 1] == Padding[1])
      return std::string(Padded.substr(0, I));
  return std::string(Padded);
}

std::string PermissionBytes(int32_t P) {
  auto U = static_cast<uint32_t>(P);
  std::string Out(4, '\0');
  for (int I = 0; I < 4; ++I) Out[static_cast<size_t>(I)] = static_cast<char>(U >> (8 * I));
  return Out;
}

std::string ComputeOwnerKey(std::string_view PaddedOwner, std::string_view PaddedUser,
                            int32_t Revision, int32_t KeyLength) {
  std::string Key = OwnerRC4Key(PaddedOwner, Revision, KeyLength);
  std::string Data(PaddedUser.substr(0, 32));
  if (Revision >= 3)
    TwentyPasses(Key, Data, true);
  else
    RC4Apply(Key, Data);
  return Data;
}

std::string ComputeFileKey(std::string_view PaddedUser, std::string_view OwnerKey, int32_t P,
                           std::string_view FileID, int32_t Revision, int32_t KeyLength) {
  const auto N = static_cast<size_t>(std::clamp(KeyLength, 5, 16));
  TvxMD5Context C;
  MD5Init(C);
  MD5Update(C, PaddedUser.substr(0, 32));
  MD5Update(C, OwnerKey.substr(0, 32));
  MD5Update(C, PermissionBytes(P));
  if (!FileID.empty()) MD5Update(C, FileID);
  TvxMD5Digest D = MD5Final(C);
  std::string Digest(reinterpret_cast<const char*>(D.data()), D.size());
  if (Revision >= 3)
    for (int I = 0; I < 50; ++I) Digest = MD5Bytes(std::string_view(Digest).substr(0, N));
  return Digest.substr(0, N);
}

std::string ComputeUserKey(std::string_view FileKey, std::string_view FileID, int32_t Revision) {
  if (Revision < 3) {
    std::string Data(PasswordPadding());
    RC4Apply(FileKey, Data);
    return Data;
  }
  TvxMD5Context C;
  MD5Init(C);
  MD5Update(C, PasswordPadding());
  if (!FileID.empty()) MD5Update(C, FileID);
  TvxMD5Digest D = MD5Final(C);
  std::string Data(reinterpret_cast<const char*>(D.data()), D.size());
  TwentyPasses(FileKey, Data, true);
  Data.append(16, '\0');
  return Data;
}

bool UserKeyMatches(std::string_view FileKey, std::string_view UserKey, std::string_view FileID,
                    int32_t Revision) {
  const size_t N = Revision >= 3 ? 16 : 32;
  if (UserKey.size() < N) return false;
  return ComputeUserKey(FileKey, FileID, Revision).compare(0, N, UserKey.substr(0, N)) == 0;
}

std::string RecoverPaddedUser(std::string_view OwnerPassword, std::string_view OwnerKey,
                              int32_t Revision, int32_t KeyLength) {
  std::string Key = OwnerRC4Key(PadPassword(OwnerPassword), Revision, KeyLength);
  std::string Data(OwnerKey.substr(0, 32));
  if (Revision >= 3)
    TwentyPasses(Key, Data, false);
  else
    RC4Apply(Key, Data);
  return Data;
}

std::string ObjectKey(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation) {
  std::string Input(FileKey);
  const auto Num = static_cast<uint32_t>(ObjectNumber);
  const auto Gen = static_cast<uint32_t>(Generation);
  Input.push_back(static_cast<char>(Num));
  Input.push_back(static_cast<char>(Num >> 8));
  Input.push_back(static_cast<char>(Num >> 16));
  Input.push_back(static_cast<char>(Gen));
  Input.push_back(static_cast<char>(Gen >> 8));
  return MD5Bytes(Input).substr(0, std::min<size_t>(FileKey.size() + 5, 16));
}

int32_t PermissionValue(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions) {
  uint32_t P = Level == el40bit ? 0xFFFFFFC0u : 0xFFFFF0C0u;
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Level != el128bit) continue;
    if (!Permissions.Has(B.Permission)) continue;
    if (B.Permission == AllowHighResPrint && !Permissions.Has(AllowPrint)) continue;
    P |= static_cast<uint32_t>(B.Bit);
  }
  return static_cast<int32_t>(P);
}

TvxUserPermissions PermissionsFromP(int32_t Length, int64_t P) {
  TvxUserPermissions Result = TvxUserPermissions::None();
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Length != 128) continue;
    if (P & B.Bit) Result.Include(B.Permission);
  }
  return Result;
}

TvxUserPermissions ApplyPermissions(TvxUserPermissions Permissions, TvxPDFEncryptionLevel Level,
                                    int64_t P) {
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Level != el128bit) continue;
    if (!(P & B.Bit)) Permissions.Exclude(B.Permission);
  }
  return Permissions;
}

}  // namespace vx
