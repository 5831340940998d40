// Key derivation and password checks of the standard security handler:
// revisions 2 to 4 (MD5 and RC4; n is the file key's length in bytes, 5 to
// 16) and revisions 5 and 6 (SHA-2 and AES-256, 32-byte file key). Keys and
// key material are byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/security/vxPDFEncryptionSettings.h"

namespace vx {

// The 32-byte padding string every password is filled up with.
std::string_view PasswordPadding();
// The password's first 32 bytes followed by as much of the padding as is
// needed to reach 32.
std::string PadPassword(std::string_view Password);
// The password text in a padded password: the part before the padding starts.
std::string UnpadPassword(std::string_view Padded);

// The four bytes that stand for P in key derivation, low byte first.
std::string PermissionBytes(int32_t P);

// The owner key /O from the padded owner and user passwords.
std::string ComputeOwnerKey(std::string_view PaddedOwner, std::string_view PaddedUser,
                            int32_t Revision, int32_t KeyLength);
// The file key from a padded user password, /O, /P and the file identifier
// (left out of the hash when empty); from revision 4 on, four bytes 255 are
// hashed in when metadata is not encrypted.
std::string ComputeFileKey(std::string_view PaddedUser, std::string_view OwnerKey, int32_t P,
                           std::string_view FileID, int32_t Revision, int32_t KeyLength,
                           bool EncryptMetadata = true);
// The user key /U, 32 bytes (at revision 3 the last 16 are zeros).
std::string ComputeUserKey(std::string_view FileKey, std::string_view FileID, int32_t Revision);
// True when FileKey produces UserKey (all 32 bytes at revision 2, the first
// 16 at revision 3).
bool UserKeyMatches(std::string_view FileKey, std::string_view UserKey, std::string_view FileID,
                    int32_t Revision);
// The padded user password /O hides, recovered with an owner password.
std::string RecoverPaddedUser(std::string_view OwnerPassword, std::string_view OwnerKey,
                              int32_t Revision, int32_t KeyLength);
// The RC4 key of one object: n + 5 bytes hashed, min(n + 5, 16) kept.
std::string ObjectKey(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation);

// The AES-128 key of one object: n + 9 bytes ("sAlT" added) hashed, 16 kept.
std::string ObjectKeyAES(std::string_view FileKey, int32_t ObjectNumber, int32_t Generation);

// Revisions 5 and 6. Passwords are prepared (SASLprepPassword).
// The hash of a password with an 8-byte salt and UserKey (the 48 bytes of /U
// for owner values, else empty): SHA-256 at revision 5, the iterated
// SHA-256/384/512 and AES-128 hash at revision 6; 32 bytes.
std::string HashAES256(std::string_view Password, std::string_view Salt, std::string_view UserKey,
                       int32_t Revision);
// True when Password is the owner (Owner) or user password of /O, /U (48
// bytes each); FileKey gets the file key from EncKey (/OE or /UE).
bool CheckAES256Password(std::string_view Password, bool Owner, std::string_view OwnerKey,
                         std::string_view UserKey, std::string_view EncKey, int32_t Revision,
                         std::string& FileKey);
struct TvxAES256Keys {
  std::string OwnerKey;     // /O, 48 bytes
  std::string UserKey;      // /U, 48 bytes
  std::string OwnerEncKey;  // /OE, 32 bytes
  std::string UserEncKey;   // /UE, 32 bytes
};
// /U, /UE, /O, /OE for FileKey; Salts gives the 32 random bytes of the four
// salts (user validation and key salt, then the owner's).
TvxAES256Keys ComputeAES256Keys(std::string_view FileKey, std::string_view UserPassword,
                                std::string_view OwnerPassword, std::string_view Salts,
                                int32_t Revision);
// /Perms: P, EncryptMetadata and "adb" with 4 random bytes, under the file key.
std::string ComputePerms(std::string_view FileKey, int32_t P, bool EncryptMetadata,
                         std::string_view Random4);
// P as /Perms holds it, when /Perms decrypts to a block marked "adb".
bool PermsValue(std::string_view FileKey, std::string_view Perms, int32_t& P);
// True when /Perms decrypts to P (low four bytes) and "adb".
bool PermsMatch(std::string_view FileKey, std::string_view Perms, int32_t P);

// P for writing: the level's base value plus the bits of the permissions.
int32_t PermissionValue(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions);
// The permission's name as users give it: "copy", "modify", "print",
// "annotate", "fill", "accessibility", "assemble", "hiresprint".
std::string_view PermissionName(TvxUserPermissionsType Permission);
// The permissions the level's P cannot hold as they are set, each with the
// reason ("fill (goes with annotate at 40 bits)"), comma-separated; empty
// when P holds them all.
std::string UnexpressiblePermissions(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions);
// The permissions P grants; the last four bits count only from 128 bits on.
TvxUserPermissions PermissionsFromP(int32_t Length, int64_t P);
// Permissions with every one whose bit in P is 0 removed; at el40bit the
// last four always stay.
TvxUserPermissions ApplyPermissions(TvxUserPermissions Permissions, TvxPDFEncryptionLevel Level,
                                    int64_t P);

}  // namespace vx
