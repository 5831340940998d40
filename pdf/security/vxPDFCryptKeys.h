// Key derivation and password checks of the standard security handler
// (RC4, revisions 2 and 3). Keys and key material are byte strings; n is the
// file key's length in bytes (5 to 16).
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
// (left out of the hash when empty).
std::string ComputeFileKey(std::string_view PaddedUser, std::string_view OwnerKey, int32_t P,
                           std::string_view FileID, int32_t Revision, int32_t KeyLength);
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

// P for writing: the level's base value plus the bits of the permissions.
int32_t PermissionValue(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions);
// The permissions P grants; the last four bits count only at 128 bits.
TvxUserPermissions PermissionsFromP(int32_t Length, int64_t P);
// Permissions with every one whose bit in P is 0 removed; at el40bit the
// last four always stay.
TvxUserPermissions ApplyPermissions(TvxUserPermissions Permissions, TvxPDFEncryptionLevel Level,
                                    int64_t P);

}  // namespace vx
