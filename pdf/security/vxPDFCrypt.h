// The standard security handler (unit vxPDFCrypt): the reading side decrypts
// strings and streams of an encrypted file once a password is accepted, the
// writing side encrypts the output. RC4 only, revisions 2 and 3.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/vxDecryptor.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/security/vxPDFCryptKeys.h"
#include "pdf/security/vxPDFEncryptionSettings.h"

namespace vx {

// A file encrypted by a method this handler does not implement.
VX_DECLARE_EXCEPTION(EUnsupportedEncryption, EPDFException)

namespace msg {
inline constexpr std::string_view UnsupportedEncryption = "Unsupported encryption (%s)";
inline constexpr std::string_view InvalidOwnerKey = "Invalid Owner Key.";
inline constexpr std::string_view InvalidUserKey = "Invalid User Key.";
inline constexpr std::string_view InvalidPermission = "Invalid permission in encryption dictionary";
}  // namespace msg

// An owner password nobody knows, for the settings after a user-password
// open: "Quillory", the local date and time (yyyymmddhhnnss) and a random
// number from 0 to 2147483646.
std::string GenerateOwnerPassword();

class TvxBasePDFCrypt {
 public:
  virtual ~TvxBasePDFCrypt() = default;

  TvxPDFEncryptionLevel Level() const { return FLevel; }
  // Also sets the level's key length and revision.
  void SetLevel(TvxPDFEncryptionLevel Value);
  int32_t KeyLength() const { return FKeyLength; }
  int32_t Revision() const { return FRevision; }
  TvxUserPermissions Permissions() const { return FPermissions; }

  std::string GetFileID() const { return FFileID; }
  std::string GetOwnerKey() const { return FOwnerKey; }
  std::string GetUserKey() const { return FUserKey; }
  // The n bytes of the file key.
  std::string GetKey() const { return FKey; }

  static std::string PadPassword(std::string_view Password) { return vx::PadPassword(Password); }

 protected:
  // Algorithm 1: RC4 under the key of one object; the last key is kept, as
  // consecutive strings mostly belong to one object.
  void CryptForObject(uint8_t* Data, size_t Count, int32_t ObjectNumber, int32_t Generation);

  TvxPDFEncryptionLevel FLevel = el128bit;
  int32_t FKeyLength = 16;
  int32_t FRevision = 3;
  std::string FFileID;
  std::string FOwnerKey = std::string(32, '\0');
  std::string FUserKey = std::string(32, '\0');
  std::string FKey;
  TvxUserPermissions FPermissions = TvxUserPermissions::All();

 private:
  int32_t FLastNumber = -1;
  int32_t FLastGeneration = -1;
  std::string FLastObjectKey;
};

// What an encryption dictionary says, checked before any password is tried.
struct TvxEncryptParams {
  int32_t V = 0;
  int32_t R = 0;
  int32_t Length = 40;  // bits
};

// Reading side.
class TvxPDFDecrypt : public TvxBasePDFCrypt, public TvxPDFDecryptor {
 public:
  // The identifier's own bytes, whatever their length.
  void SetFileID(std::string_view Bytes) { FFileID = Bytes; }
  // String text with its delimiters; hex digits are decoded. At most 32
  // bytes are taken; fewer are filled up with zeros. An empty text raises
  // "Invalid Owner Key." / "Invalid User Key.".
  void SetOwnerKey(std::string_view Text);
  void SetUserKey(std::string_view Text);
  void SetPermissions(int64_t P);
  // Key length in bytes (5 to 16) and revision (2 or 3) as the file gives
  // them; the level follows the key length.
  void SetKeyLengthAndRevision(int32_t KeyLength, int32_t Revision);

  bool CheckUserPassword(std::string_view Password);
  // On success UserPassword gets the user password text /O hides.
  bool CheckOwnerPassword(std::string_view Password, std::string& UserPassword);
  bool VerifyPassword(const std::string& Password, TvxPDFEncryptionSettings& Settings);
  void ApplyPermissions();

  bool IsOwnerFlag() const { return FIsOwner; }
  int32_t P() const { return FP; }
  // The 32 bytes of the user password that verified.
  const std::string& PaddedUserPassword() const { return FPaddedUser; }

  void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) override;
  void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation) override;

 private:
  static std::string KeyBytes(std::string_view Text);
  bool CheckPaddedUser(std::string_view PaddedUser);

  int32_t FP = 0;
  bool FIsOwner = false;
  std::string FPaddedUser;
};

// What a re-saved copy keeps of its encrypted source, so that the source's
// owner password still opens it with full rights and its /P stays.
struct TvxSourceEncryption {
  int32_t Revision = 0;
  int32_t KeyLength = 0;
  std::string OwnerKey;
  int32_t P = 0;
  std::string PaddedUserPassword;
};

// Writing side: identifier and keys are fixed at construction.
class TvxPDFEncryption : public TvxBasePDFCrypt {
 public:
  // From the settings. The file identifier is the MD5 of FileName followed
  // by DateText.
  TvxPDFEncryption(const std::string& FileName, const TvxPDFEncryptionSettings& Settings,
                   const std::string& DateText);
  // Keeping the source's /O, /P, revision and key length, with a new
  // identifier.
  TvxPDFEncryption(const std::string& FileName, const TvxSourceEncryption& Source,
                   const std::string& DateText);

  std::string EncryptForObject(std::string_view Data, int32_t ObjectNumber);
  int32_t PermissionValue() const { return FP; }
  // /V as written: 1 for a 40-bit key, else 2.
  int32_t VersionValue() const { return FKeyLength == 5 ? 1 : 2; }

 private:
  std::string FOwnerPassword;
  std::string FUserPassword;
  std::string FPaddedOwner;
  std::string FPaddedUser;
  int32_t FP = 0;
};

}  // namespace vx
