#include "pdf/security/vxPDFCryptKeys.h"

#include <algorithm>
#include <utility>

#include "pdf/security/vxAES.h"
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
                           std::string_view FileID, int32_t Revision, int32_t KeyLength,
                           bool EncryptMetadata) {
  const auto N = static_cast<size_t>(std::clamp(KeyLength, 5, 16));
  TvxMD5Context C;
  MD5Init(C);
  MD5Update(C, PaddedUser.substr(0, 32));
  MD5Update(C, OwnerKey.substr(0, 32));
  MD5Update(C, PermissionBytes(P));
  if (!FileID.empty()) MD5Update(C, FileID);
  if (Revision >= 4 && !EncryptMetadata) MD5Update(C, "\xFF\xFF\xFF\xFF");
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

namespace {

// The file key followed by the low three bytes of the object number and the
// low two of the generation.
std::string ObjectKeyInput(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation) {
  std::string Input(FileKey);
  const auto Num = static_cast<uint32_t>(ObjectNumber);
  const auto Gen = static_cast<uint32_t>(Generation);
  Input.push_back(static_cast<char>(Num));
  Input.push_back(static_cast<char>(Num >> 8));
  Input.push_back(static_cast<char>(Num >> 16));
  Input.push_back(static_cast<char>(Gen));
  Input.push_back(static_cast<char>(Gen >> 8));
  return Input;
}

}  // namespace

std::string ObjectKey(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation) {
  return MD5Bytes(ObjectKeyInput(FileKey, ObjectNumber, Generation))
      .substr(0, std::min<size_t>(FileKey.size() + 5, 16));
}

std::string ObjectKeyAES(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation) {
  return MD5Bytes(ObjectKeyInput(FileKey, ObjectNumber, Generation) + "sAlT");
}

std::string HashAES256(std::string_view Password, std::string_view Salt, std::string_view UserKey,
                       int32_t Revision) {
  std::string Input(Password);
  Input.append(Salt);
  Input.append(UserKey);
  std::string K = SHA2Bytes(256, Input);
  if (Revision < 6) return K;
  // At least 64 rounds, then on until the last byte of E is at most the
  // round number less 32; that byte is below 256, so this ends by round 288.
  std::string K1;
  for (int Round = 1;; ++Round) {
    std::string Block(Password);
    Block.append(K);
    Block.append(UserKey);
    K1.clear();
    K1.reserve(Block.size() * 64);
    for (int I = 0; I < 64; ++I) K1.append(Block);
    const std::string E =
        AESEncryptCBC(std::string_view(K).substr(0, 16), std::string_view(K).substr(16, 16), K1);
    int Sum = 0;
    for (int I = 0; I < 16; ++I) Sum += static_cast<uint8_t>(E[static_cast<size_t>(I)]);
    static constexpr int Bits[] = {256, 384, 512};
    K = SHA2Bytes(Bits[Sum % 3], E);
    if (Round >= 64 && static_cast<uint8_t>(E.back()) <= Round - 32) break;
  }
  return K.substr(0, 32);
}

bool CheckAES256Password(std::string_view Password, bool Owner, std::string_view OwnerKey,
                         std::string_view UserKey, std::string_view EncKey, int32_t Revision,
                         std::string& FileKey) {
  if (OwnerKey.size() < 48 || UserKey.size() < 48 || EncKey.size() < 32) return false;
  const std::string_view Key = Owner ? OwnerKey : UserKey;
  const std::string_view Extra = Owner ? UserKey.substr(0, 48) : std::string_view();
  if (HashAES256(Password, Key.substr(32, 8), Extra, Revision) != Key.substr(0, 32)) return false;
  const std::string Intermediate = HashAES256(Password, Key.substr(40, 8), Extra, Revision);
  FileKey = AESDecryptCBC(Intermediate, std::string(16, '\0'), EncKey.substr(0, 32));
  return true;
}

TvxAES256Keys ComputeAES256Keys(std::string_view FileKey, std::string_view UserPassword,
                                std::string_view OwnerPassword, std::string_view Salts,
                                int32_t Revision) {
  const std::string Zero(16, '\0');
  TvxAES256Keys K;
  K.UserKey = HashAES256(UserPassword, Salts.substr(0, 8), {}, Revision);
  K.UserKey.append(Salts.substr(0, 16));
  K.UserEncKey =
      AESEncryptCBC(HashAES256(UserPassword, Salts.substr(8, 8), {}, Revision), Zero, FileKey);
  K.OwnerKey = HashAES256(OwnerPassword, Salts.substr(16, 8), K.UserKey, Revision);
  K.OwnerKey.append(Salts.substr(16, 16));
  K.OwnerEncKey = AESEncryptCBC(HashAES256(OwnerPassword, Salts.substr(24, 8), K.UserKey, Revision),
                                Zero, FileKey);
  return K;
}

std::string ComputePerms(std::string_view FileKey, int32_t P, bool EncryptMetadata,
                         std::string_view Random4) {
  std::string Block = PermissionBytes(P);
  Block.append("\xFF\xFF\xFF\xFF");
  Block.push_back(EncryptMetadata ? 'T' : 'F');
  Block.append("adb");
  Block.append(Random4.substr(0, 4));
  Block.resize(16, '\0');
  return AESEncryptBlock(FileKey, Block);
}

bool PermsValue(std::string_view FileKey, std::string_view Perms, int32_t& P) {
  if (Perms.size() < 16 || FileKey.size() != 32) return false;
  const std::string Block = AESDecryptBlock(FileKey, Perms.substr(0, 16));
  if (Block.compare(9, 3, "adb") != 0) return false;
  uint32_t Value = 0;
  for (int I = 3; I >= 0; --I)
    Value = Value << 8 | static_cast<uint8_t>(Block[static_cast<size_t>(I)]);
  P = static_cast<int32_t>(Value);
  return true;
}

bool PermsMatch(std::string_view FileKey, std::string_view Perms, int32_t P) {
  int32_t Signed = 0;
  return PermsValue(FileKey, Perms, Signed) && Signed == P;
}

int32_t PermissionValue(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions) {
  uint32_t P = Level == el40bit ? 0xFFFFFFC0u : 0xFFFFF0C0u;
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Level == el40bit) continue;
    if (!Permissions.Has(B.Permission)) continue;
    if (B.Permission == AllowHighResPrint && !Permissions.Has(AllowPrint)) continue;
    P |= static_cast<uint32_t>(B.Bit);
  }
  return static_cast<int32_t>(P);
}

std::string_view PermissionName(TvxUserPermissionsType Permission) {
  static constexpr std::string_view Names[] = {"copy", "modify",        "print",    "annotate",
                                               "fill", "accessibility", "assemble", "hiresprint"};
  return Names[Permission & 7];
}

std::string UnexpressiblePermissions(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions) {
  std::string List;
  auto Add = [&List](TvxUserPermissionsType P, std::string_view Why) {
    if (!List.empty()) List += ", ";
    List += PermissionName(P);
    List += " (";
    List += Why;
    List += ')';
  };
  if (Level == el40bit) {
    // Revision 2 has no bits of their own for these: each goes with an older
    // permission.
    static constexpr std::pair<TvxUserPermissionsType, TvxUserPermissionsType> Follow[] = {
        {AllowFormFill, AllowAnnotation},
        {AllowAccessibility, AllowCopy},
        {AllowDocAssembly, AllowModify},
        {AllowHighResPrint, AllowPrint}};
    for (const auto& [Own, Older] : Follow)
      if (Permissions.Has(Own) != Permissions.Has(Older))
        Add(Own, std::string("goes with ") + std::string(PermissionName(Older)) + " at 40 bits");
    return List;
  }
  if (Permissions.Has(AllowHighResPrint) && !Permissions.Has(AllowPrint))
    Add(AllowHighResPrint, "needs print");
  return List;
}

TvxUserPermissions PermissionsFromP(int32_t Length, int64_t P) {
  TvxUserPermissions Result = TvxUserPermissions::None();
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Length < 128) continue;
    if (P & B.Bit) Result.Include(B.Permission);
  }
  return Result;
}

TvxUserPermissions ApplyPermissions(TvxUserPermissions Permissions, TvxPDFEncryptionLevel Level,
                                    int64_t P) {
  for (const TvxPBit& B : PBits) {
    if (B.Only128 && Level == el40bit) continue;
    if (!(P & B.Bit)) Permissions.Exclude(B.Permission);
  }
  return Permissions;
}

}  // namespace vx
