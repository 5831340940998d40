// What the tokenizer needs from a security handler to decrypt strings and
// stream data while reading.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFDictObject;

class TvxPDFDecryptor {
 public:
  virtual ~TvxPDFDecryptor() = default;
  // Decrypt in place (AES data gets shorter).
  virtual void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) = 0;
  // Dict, the stream's dictionary, may tell how the data is encrypted and
  // may lose a /Crypt filter.
  virtual void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation,
                             TvxPDFDictObject* Dict = nullptr) = 0;
};

}  // namespace vx
