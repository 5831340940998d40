// What the tokenizer needs from a security handler to decrypt strings and
// stream data while reading.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFDecryptor {
 public:
  virtual ~TvxPDFDecryptor() = default;
  // Decrypt in place; the length does not change.
  virtual void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) = 0;
  virtual void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation) = 0;
};

}  // namespace vx
