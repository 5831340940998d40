// The document's encryption settings: level, passwords and permissions of
// the output, filled from the source on an encrypted open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// The RC4 levels, and AES-128 (/V 4 /R 4) and AES-256 (/V 5 /R 6).
enum TvxPDFEncryptionLevel : uint8_t { el40bit, el128bit, elAES128, elAES256 };

// How a string or stream is encrypted: not at all, RC4, AES-128 with a key
// per object, AES-256 with the file key.
enum TvxCryptMethod : uint8_t { cmIdentity, cmRC4, cmAESV2, cmAESV3 };

// The ordinal is the bit number in TvxUserPermissions.
enum TvxUserPermissionsType : uint8_t {
  AllowCopy,
  AllowModify,
  AllowPrint,
  AllowAnnotation,
  AllowFormFill,
  AllowAccessibility,
  AllowDocAssembly,
  AllowHighResPrint
};

// The short names front ends give the permissions, by bit number.
inline constexpr std::string_view PermissionNames[8] = {
    "copy", "modify", "print", "annotate", "fill", "accessibility", "assemble", "hiresprint"};

// A set of TvxUserPermissionsType in one byte; the full set is 255.
struct TvxUserPermissions {
  uint8_t Bits = 0;

  static constexpr TvxUserPermissions All() { return {255}; }
  static constexpr TvxUserPermissions None() { return {0}; }
  constexpr bool Has(TvxUserPermissionsType P) const { return (Bits >> P) & 1; }
  constexpr void Include(TvxUserPermissionsType P) { Bits = static_cast<uint8_t>(Bits | 1u << P); }
  constexpr void Exclude(TvxUserPermissionsType P) {
    Bits = static_cast<uint8_t>(Bits & ~(1u << P));
  }
  constexpr bool operator==(const TvxUserPermissions&) const = default;
};

// Key length in bytes and revision of a level.
inline constexpr int32_t KeyLengthOf(TvxPDFEncryptionLevel Level) {
  return Level == el40bit ? 5 : Level == elAES256 ? 32 : 16;
}
inline constexpr int32_t RevisionOf(TvxPDFEncryptionLevel Level) {
  return Level == el40bit ? 2 : Level == el128bit ? 3 : Level == elAES128 ? 4 : 6;
}

// An encryption asked for the output, as a person gives it: passwords in
// UTF-8, turned into the bytes Level takes only when applied. Only the
// passwords given are set, so an owner-opened file keeps the passwords it
// had unless they are replaced.
struct TvxEncryptionOptions {
  TvxPDFEncryptionLevel Level = el128bit;
  std::optional<std::string> UserPassword;
  std::optional<std::string> OwnerPassword;
  TvxUserPermissions Permissions = TvxUserPermissions::All();

  bool operator==(const TvxEncryptionOptions&) const = default;
};

// The bytes Level takes for a password typed as Utf8: UTF-8 itself for
// AES-256, PDFDocEncoding bytes otherwise; false when a character has none.
bool EncryptionPasswordBytes(TvxPDFEncryptionLevel Level, const std::string& Utf8,
                             std::string& Bytes);

class TvxPDFDecrypt;

class TvxPDFEncryptionSettings {
 public:
  // Passwords are 8-bit bytes (PDFDocEncoding) for the RC4 levels and AES-128,
  // UTF-8 for AES-256. Each setter raises Exception "User cannot change encryption settings"
  // while the settings are locked (after a user-password open).
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  TvxPDFEncryptionLevel Level() const { return FLevel; }
  void SetLevel(TvxPDFEncryptionLevel Value);
  // Empty while locked: a user-password open must not reveal it.
  std::string OwnerPassword() const { return FChangeable ? FOwnerPassword : std::string(); }
  void SetOwnerPassword(const std::string& Value);
  const std::string& UserPassword() const { return FUserPassword; }
  void SetUserPassword(const std::string& Value);
  TvxUserPermissions UserPermissions() const { return FUserPermissions; }
  void SetUserPermissions(TvxUserPermissions Value);

  bool Changeable() const { return FChangeable; }
  // Counts the calls that set what the output's keys depend on (level,
  // passwords, permissions), so an encryptor made earlier can tell it is
  // stale. Setting a value again counts too: it asks for that value rather
  // than for what a re-saved source keeps.
  uint64_t Revision() const { return FRevision; }
  // Counts the calls that set the user password alone.
  uint64_t UserPasswordRevision() const { return FUserPasswordRevision; }
  // Back to the state of a new document: unlocked, disabled, el40bit, no
  // passwords, all permissions.
  void Reset();

 private:
  friend class TvxPDFDecrypt;
  void CheckChangeable() const;

  bool FChangeable = true;
  bool FEnabled = false;
  TvxPDFEncryptionLevel FLevel = el128bit;
  std::string FOwnerPassword;
  std::string FUserPassword;
  TvxUserPermissions FUserPermissions = TvxUserPermissions::All();
  uint64_t FRevision = 0;
  uint64_t FUserPasswordRevision = 0;
};

// Enables the encryption Options ask for. Raises Exception when a password
// holds a character the level cannot take, or when the settings are locked
// ("User cannot change encryption settings").
void ApplyEncryptionOptions(TvxPDFEncryptionSettings& Settings,
                            const TvxEncryptionOptions& Options);

}  // namespace vx
