// The document's encryption settings: level, passwords and permissions of
// the output, filled from the source on an encrypted open.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

enum TvxPDFEncryptionLevel : uint8_t { el40bit, el128bit };

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
  return Level == el40bit ? 5 : 16;
}
inline constexpr int32_t RevisionOf(TvxPDFEncryptionLevel Level) {
  return Level == el40bit ? 2 : 3;
}

class TvxPDFDecrypt;

class TvxPDFEncryptionSettings {
 public:
  // Each setter raises Exception "User cannot change encryption settings"
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
};

}  // namespace vx
