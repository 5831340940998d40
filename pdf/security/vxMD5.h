// The MD5 message digest (RFC 1321), the security handler's hash, through
// OpenSSL's libcrypto.
#pragma once

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vx {

struct TvxMD5ContextFree {
  void operator()(EVP_MD_CTX* Context) const;
};

struct TvxMD5Context {
  // Null before MD5Init and after MD5Final.
  std::unique_ptr<EVP_MD_CTX, TvxMD5ContextFree> Digest;
};

using TvxMD5Digest = std::array<uint8_t, 16>;

// Failures (MD5 not offered by libcrypto, a context not initialized) raise
// Exception.
void MD5Init(TvxMD5Context& Context);
void MD5Update(TvxMD5Context& Context, const void* Data, size_t Count);
inline void MD5Update(TvxMD5Context& Context, std::string_view Bytes) {
  MD5Update(Context, Bytes.data(), Bytes.size());
}
// The digest; the context's state is cleared and released afterwards.
TvxMD5Digest MD5Final(TvxMD5Context& Context);

// The 16 digest bytes of Bytes.
std::string MD5Bytes(std::string_view Bytes);

}  // namespace vx
