// The document's security state: its encryption settings, the password
// check that sets up decryption of a loaded file, and the encryptor of its
// output, kept across saves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

class TvxSecurityHandler {
 public:
  TvxSecurityHandler() = default;

  TvxPDFEncryptionSettings& Settings() { return FSettings; }
  const TvxPDFEncryptionSettings& Settings() const { return FSettings; }

  // Method, revision, key length and crypt filters of an encryption
  // dictionary; anything but the standard handler with RC4 (revisions 2 to
  // 4), AES-128 (revision 4) or AES-256 (revisions 5 and 6) raises
  // EUnsupportedEncryption naming the method or the handler.
  static TvxEncryptParams CheckEncryptDict(const TvxPDFObject* Encrypt);
  // One password attempt against the (direct) encryption dictionary and the
  // trailer's ID array: the decryptor when the password is accepted, else
  // nil.
  std::unique_ptr<TvxPDFDecrypt> ReadEncryptDict(const TvxPDFObject* Encrypt,
                                                 const TvxPDFArrayObject* ID,
                                                 const std::string& Password);
  // True for an unencrypted file and after an owner-password open.
  bool IsOwner() const { return !FSource || FIsOwner; }

  // A new encryptor from the settings, or from the source's values while the
  // settings are as the open left them.
  void CreateEncryptor();
  // A new encryptor for each save, so no two saved files share an
  // identifier or keys; warns of an owner password made up for it and of
  // permissions the level cannot express.
  void PrepareEncryptor();
  TvxPDFEncryption* Encryptor() const { return FEncryptor.get(); }
  // Data encrypted for object ObjNum, generation 0; creates the encryptor
  // when there is none.
  std::string EncryptData(std::string_view Data, int32_t ObjNum);
  // The same piece by piece, and the length it gives for Size bytes.
  std::unique_ptr<TvxChunkCipher> StartEncryption(int32_t ObjNum);
  int64_t EncryptedSize(int64_t Size);
  // The encryption dictionary of the output; gives Trailer a new ID array.
  std::unique_ptr<TvxPDFDictObject> BuildEncryptDict(TvxPDFTrailer& Trailer);

  // The state of a new document.
  void Reset();

  // Receives the decryptors' warnings.
  void SetOnWarning(std::function<void(const std::string&)> OnWarning) {
    FOnWarning = std::move(OnWarning);
  }

 private:
  TvxPDFEncryptionSettings FSettings;
  std::unique_ptr<TvxPDFEncryption> FEncryptor;
  // The encryptor was made from the settings, not from the source's values.
  bool FFromSettings = false;
  std::optional<TvxSourceEncryption> FSource;
  uint64_t FSourceRevision = 0;
  uint64_t FSourceUserPasswordRevision = 0;
  bool FIsOwner = false;
  std::function<void(const std::string&)> FOnWarning;
};

}  // namespace vx
