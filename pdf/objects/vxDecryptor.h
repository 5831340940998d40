// What the tokenizer needs from a security handler to decrypt strings and
// stream data while reading, and what stream data left in the file needs to
// be decrypted later.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFDictObject;
class TvxPDFDecryptor;

// Runs the data of one stream through a cipher in order, piece by piece;
// the pieces together give what the cipher gives for the whole data.
class TvxChunkCipher {
 public:
  virtual ~TvxChunkCipher() = default;
  // Appends to Out what In gives; Last marks the final piece (which may be
  // empty).
  virtual void Update(std::string_view In, bool Last, std::string& Out) = 0;
};

// How the data of a stream that stays in the file is decrypted when it is
// read; decided at load.
struct TvxStreamCrypt {
  // Kept alive as long as the data can be read; nil for plain data.
  std::shared_ptr<const TvxPDFDecryptor> Decryptor;
  int32_t ObjectNumber = 0;
  int32_t Generation = 0;
  uint8_t Method = 0;    // the decryptor's own code; 0 decrypts nothing
  uint8_t Overhead = 0;  // bytes decryption removes (AES: IV, padding, trailing bytes)
  uint8_t Trailing = 0;  // AES: bytes after the last whole block, left out (damaged data)
};

class TvxPDFDecryptor {
 public:
  virtual ~TvxPDFDecryptor() = default;
  // Decrypt in place (AES data gets shorter).
  virtual void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) = 0;
  // Dict, the stream's dictionary, may tell how the data is encrypted and
  // may lose a /Crypt filter.
  virtual void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation,
                             TvxPDFDictObject* Dict = nullptr) = 0;

  // Decides at load how Cipher, a stream's data as the file holds it, is
  // decrypted, deciding and editing Dict exactly as DecryptStream does.
  // True: Plan tells how to decrypt the data when it is read (Decryptor is
  // left to the caller). False: the data is decrypted now, into Data, as
  // DecryptStream does it (data that does not decrypt cleanly reports its
  // problems during the load, as it always has).
  virtual bool PlanStream(std::string_view Cipher, int32_t ObjectNumber, int32_t Generation,
                          TvxPDFDictObject* Dict, TvxStreamCrypt& Plan, TvxMemoryStream& Data) {
    (void)Plan;
    Data.DataString().assign(Cipher);
    DecryptStream(Data, ObjectNumber, Generation, Dict);
    return false;
  }
  // A cipher that decrypts data PlanStream planned, piece by piece.
  virtual std::unique_ptr<TvxChunkCipher> StartDecryption(const TvxStreamCrypt& Plan) const {
    (void)Plan;
    return nullptr;
  }
};

}  // namespace vx
