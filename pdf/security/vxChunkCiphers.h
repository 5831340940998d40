// The ciphers of the standard security handler as pieces-in-order stages,
// so that stream data can be decrypted and encrypted without holding it
// whole: RC4 keeps its generator between pieces, AES-CBC the last cipher
// block as the next IV.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/vxDecryptor.h"

namespace vx {

// RC4 under Key from the start of its key stream; decrypts and encrypts.
std::unique_ptr<TvxChunkCipher> MakeRC4Chunks(std::string_view Key);
// AES-CBC decryption of a 16-byte IV followed by whole blocks whose
// plaintext ends in Padding (1 to 16) bytes of padding, which are left out.
// Damaged data: Padding 0 keeps the last block whole, and Trailing (0 to 15)
// bytes after the last whole block are left out.
std::unique_ptr<TvxChunkCipher> MakeAESDecryptChunks(std::string_view Key, int Padding,
                                                     int Trailing = 0);
// AES-CBC encryption: IV first, then the data with PKCS#5 padding added.
std::unique_ptr<TvxChunkCipher> MakeAESEncryptChunks(std::string_view Key, std::string_view IV);

// The padding length (1 to 16) that the last two 16-byte blocks of AES-CBC
// data (the IV counting as a block) hold, or 0 when they hold no valid
// padding. Data must be at least 32 bytes and whole blocks.
int AESPaddingOf(std::string_view Key, std::string_view Data);

}  // namespace vx
