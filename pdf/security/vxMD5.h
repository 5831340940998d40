// The MD5 message digest (RFC 1321), the security handler's hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

struct TvxMD5Context {
  uint32_t State[4];
  uint64_t BitCount;
  uint8_t Buffer[64];
};

using TvxMD5Digest = std::array<uint8_t, 16>;

void MD5Init(TvxMD5Context& Context);
void MD5Update(TvxMD5Context& Context, const void* Data, size_t Count);
inline void MD5Update(TvxMD5Context& Context, std::string_view Bytes) {
  MD5Update(Context, Bytes.data(), Bytes.size());
}
// The digest; the whole context is cleared afterwards.
TvxMD5Digest MD5Final(TvxMD5Context& Context);

// The 16 digest bytes of Bytes.
std::string MD5Bytes(std::string_view Bytes);

}  // namespace vx
