// The standard security handler (unit vxPDFCrypt): the reading side decrypts
// strings and streams of an encrypted file once a password is accepted, the
// writing side encrypts the output. RC4 (revisions 2 to 4), AES-128 through
// crypt filters (revision 4) and AES-256 (revisions 5 and 6).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/objects/vxDecryptor.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/security/vxPDFCryptKeys.h"
#include "pdf/security/vxPDFEncryptionSettings.h"

namespace vx {

// A file encrypted by a method this handler does not implement.
VX_DECLARE_EXCEPTION(EUnsupportedEncryption, EPDFException)
// An encryption dictionary whose key material is missing or cut short: no
// password can recover the file key.
VX_DECLARE_EXCEPTION(EDamagedEncryption, EPDFException)
// Encryption settings the output cannot be made with.
VX_DECLARE_EXCEPTION(EEncryptionSettingsError, EPDFException)

namespace msg {
inline constexpr std::string_view UnsupportedEncryption = "Unsupported encryption (%s)";
inline constexpr std::string_view InvalidOwnerKey = "Invalid Owner Key.";
inline constexpr std::string_view InvalidUserKey = "Invalid User Key.";
inline constexpr std::string_view InvalidPermission = "Invalid permission in encryption dictionary";
inline constexpr std::string_view ShortAESData = "Encrypted data of object %s is too short for AES";
inline constexpr std::string_view BadAESPadding = "Encrypted data of object %s has bad AES padding";
inline constexpr std::string_view PermsUnreadable =
    "The /Perms entry cannot be read: the permissions of /P are kept";
inline constexpr std::string_view PermsOverrideP =
    "The /P entry does not match /Perms: the permissions /Perms holds are taken";
inline constexpr std::string_view NoOwnerPassword =
    "no owner password given: the restrictions can only be lifted by re-encrypting from the "
    "original";
inline constexpr std::string_view UnexpressiblePermissions =
    "The encryption level cannot hold these permissions as asked: %s";
inline constexpr std::string_view AttachmentsOnlyLost =
    "The source encrypts only its attachments; with new encryption settings the whole copy is "
    "encrypted and needs the password to open";
inline constexpr std::string_view DamagedAES256Key =
    "The encryption dictionary's %s entry is missing or too short: the file key cannot be "
    "recovered";
inline constexpr std::string_view UnpreparablePassword =
    "The password cannot be used for AES-256 (%s)";
inline constexpr std::string_view UserPasswordUnknown =
    "Set a user password: the AES-256 source's user password is unknown after an owner-password "
    "open and cannot be carried to another encryption level";
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
  // The AES key of one object: the file key with "sAlT" hashed in (AESV2),
  // or the file key itself (AESV3).
  const std::string& AESKeyForObject(TvxCryptMethod Method, int32_t ObjectNumber,
                                     int32_t Generation);

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
  int32_t FLastAESNumber = -1;
  int32_t FLastAESGeneration = -1;
  std::string FLastAESKey;
};

// What an encryption dictionary says, checked before any password is tried.
struct TvxEncryptParams {
  int32_t V = 0;
  int32_t R = 0;
  int32_t Length = 40;  // bits
  // Methods of strings, streams and embedded files.
  TvxCryptMethod StrF = cmRC4;
  TvxCryptMethod StmF = cmRC4;
  TvxCryptMethod EFF = cmRC4;
  bool EncryptMetadata = true;
  // The crypt filters of /CF by name, for streams that name one.
  std::vector<std::pair<std::string, TvxCryptMethod>> Filters;

  // The method of a named crypt filter; /Identity and unknown names decrypt
  // nothing.
  TvxCryptMethod FilterMethod(std::string_view Name) const;
};

// Reading side.
class TvxPDFDecrypt : public TvxBasePDFCrypt, public TvxPDFDecryptor {
 public:
  // Version, revision, key length and methods of the dictionary; the level
  // follows them.
  void SetParams(const TvxEncryptParams& Params);
  const TvxEncryptParams& Params() const { return FParams; }
  // /OE, /UE and /Perms of revisions 5 and 6, as string text with delimiters.
  void SetAES256Keys(std::string_view OwnerEncText, std::string_view UserEncText,
                     std::string_view PermsText);
  std::string GetOwnerEncKey() const { return FOwnerEncKey; }
  std::string GetUserEncKey() const { return FUserEncKey; }
  // Non-fatal problems met while decrypting (bad padding, short data).
  std::function<void(const std::string&)> OnWarning;

  // The identifier's own bytes, whatever their length.
  void SetFileID(std::string_view Bytes) { FFileID = Bytes; }
  // String text with its delimiters; hex digits are decoded. At most 32
  // bytes are taken; fewer are filled up with zeros. An empty text raises
  // "Invalid Owner Key." / "Invalid User Key.".
  // Revisions 5 and 6 take 48 bytes.
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
  // False after an owner-password open at revision 5 or 6 when the user
  // password is not the empty one: it cannot be recovered.
  bool UserPasswordKnown() const { return FUserPasswordKnown; }
  // Revisions 5 and 6: the bytes the accepted password was checked as (the
  // prepared password, or the raw one).
  const std::string& CheckedPasswordBytes() const { return FCheckedBytes; }
  int32_t P() const { return FP; }
  // The 32 bytes of the user password that verified.
  const std::string& PaddedUserPassword() const { return FPaddedUser; }

  void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) override;
  // Dict decides the method: cross-reference streams and, without
  // EncryptMetadata, metadata streams are not encrypted; embedded files take
  // /EFF; a /Crypt filter first in /Filter names its own and is removed.
  void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation,
                     TvxPDFDictObject* Dict = nullptr) override;
  // RC4 and AES data that ends in valid padding are decrypted when read;
  // AES data too short, not of whole blocks or badly padded is decrypted
  // now, with its warnings.
  bool PlanStream(std::string_view Cipher, int32_t ObjectNumber, int32_t Generation,
                  TvxPDFDictObject* Dict, TvxStreamCrypt& Plan, TvxMemoryStream& Data) override;
  std::unique_ptr<TvxChunkCipher> StartDecryption(const TvxStreamCrypt& Plan) const override;

 private:
  // The key Method uses for one object; empty for cmIdentity.
  std::string StreamKey(TvxCryptMethod Method, int32_t ObjectNumber, int32_t Generation) const;
  static std::string KeyBytes(std::string_view Text, size_t Size);
  // A string's text in hexadecimal form: first character "<", last ">".
  static bool IsHexString(std::string_view Text);
  bool CheckPaddedUser(std::string_view PaddedUser);
  bool CheckAES256(std::string_view Password, bool Owner);
  void CheckPerms();
  void Decrypt(TvxCryptMethod Method, std::string& Bytes, int32_t ObjectNumber, int32_t Generation);
  TvxCryptMethod StreamMethod(TvxPDFDictObject* Dict) const;
  void Warn(std::string_view Message, int32_t ObjectNumber);

  TvxEncryptParams FParams;
  int32_t FP = 0;
  bool FIsOwner = false;
  bool FUserPasswordKnown = true;
  std::string FCheckedBytes;
  std::string FPaddedUser;
  std::string FOwnerEncKey;
  std::string FUserEncKey;
  std::string FPerms;
};

// What a re-saved copy keeps of its encrypted source, so that the source's
// owner password still opens it with full rights and its /P stays.
struct TvxSourceEncryption {
  int32_t Revision = 0;
  int32_t KeyLength = 0;
  std::string OwnerKey;
  int32_t P = 0;
  std::string PaddedUserPassword;
  // AES-128 at revision 4 (else RC4).
  bool AES = false;
  // Only embedded files are encrypted (/StmF and /StrF /Identity, /EFF a
  // crypt filter): the password is asked for when an attachment is opened.
  bool AttachmentsOnly = false;
  // See TvxPDFDecrypt::UserPasswordKnown.
  bool UserPasswordKnown = true;
  // Revisions 5 and 6 after an owner-password open: the password as typed
  // and the bytes it was accepted as.
  std::string OwnerPassword;
  std::string OwnerPasswordBytes;
  // Revisions 5 and 6: /U, /OE, /UE and the file key are kept as well.
  std::string UserKey;
  std::string OwnerEncKey;
  std::string UserEncKey;
  std::string FileKey;
};

// Writing side: identifier and keys are fixed at construction. Every
// encryptor draws its own file identifier from the system's random source,
// so no two saved files share a file key or an RC4 key stream.
class TvxPDFEncryption : public TvxBasePDFCrypt {
 public:
  // From the settings. At AES-256, OwnerBytes, when given, are the owner
  // password's bytes as a source accepted them, taken without SASLprep.
  // Restricted permissions without an owner password get a random owner
  // password of 32 bytes, which nobody learns (OwnerPasswordGenerated).
  explicit TvxPDFEncryption(const TvxPDFEncryptionSettings& Settings,
                            std::string_view OwnerBytes = {});
  // Keeping the source's /O, /P, revision and key length, with a new
  // identifier.
  explicit TvxPDFEncryption(const TvxSourceEncryption& Source);

  // True when the owner password is a random one nobody knows.
  bool OwnerPasswordGenerated() const { return FOwnerGenerated; }
  // Only the data of embedded-file streams is encrypted; strings and other
  // streams are written plain.
  bool AttachmentsOnly() const { return FAttachmentsOnly; }
  // At AES-256: the file key, /U and /UE of Source instead of new ones, so
  // that its user password, which an owner-password open cannot learn, still
  // opens the output; /O, /OE and /Perms follow the settings.
  void KeepUserKeys(const TvxSourceEncryption& Source);
  // RC4 keeps the length; AES puts a random IV in front and pads.
  std::string EncryptForObject(std::string_view Data, int32_t ObjectNumber);
  // The same encryption piece by piece; the AES IV is drawn here, as
  // EncryptForObject draws it.
  std::unique_ptr<TvxChunkCipher> StartEncryption(int32_t ObjectNumber);
  // The length EncryptForObject gives for Size bytes.
  int64_t EncryptedSize(int64_t Size) const;
  int32_t PermissionValue() const { return FP; }
  // /V as written: 1 for a 40-bit key, 2 for other RC4 keys, 4 for AES-128,
  // 5 for AES-256.
  int32_t VersionValue() const;
  // AES-256 only: /OE, /UE, /Perms.
  std::string GetOwnerEncKey() const { return FOwnerEncKey; }
  std::string GetUserEncKey() const { return FUserEncKey; }
  std::string GetPerms() const { return FPerms; }

 private:
  void SetupAES256(std::string_view FileKey, std::string_view OwnerBytes);
  std::string FOwnerPrepared;

  std::string FOwnerEncKey;
  std::string FUserEncKey;
  std::string FPerms;
  std::string FOwnerPassword;
  std::string FUserPassword;
  std::string FPaddedOwner;
  std::string FPaddedUser;
  int32_t FP = 0;
  bool FOwnerGenerated = false;
  bool FAttachmentsOnly = false;
};

}  // namespace vx
