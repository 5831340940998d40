#include "pdf/security/vxMD5.h"

#include <cstring>

namespace vx {

namespace {

constexpr uint32_t K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int Shift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                           5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                           4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                           6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t Rotl(uint32_t X, int C) {
  return (X << C) | (X >> (32 - C));
}

void Transform(uint32_t State[4], const uint8_t Block[64]) {
  uint32_t M[16];
  for (int I = 0; I < 16; ++I)
    M[I] = static_cast<uint32_t>(Block[I * 4]) | static_cast<uint32_t>(Block[I * 4 + 1]) << 8 |
           static_cast<uint32_t>(Block[I * 4 + 2]) << 16 |
           static_cast<uint32_t>(Block[I * 4 + 3]) << 24;
  uint32_t A = State[0], B = State[1], C = State[2], D = State[3];
  for (int I = 0; I < 64; ++I) {
    uint32_t F;
    int G;
    if (I < 16) {
      F = (B & C) | (~B & D);
      G = I;
    } else if (I < 32) {
      F = (D & B) | (~D & C);
      G = (5 * I + 1) % 16;
    } else if (I < 48) {
      F = B ^ C ^ D;
      G = (3 * I + 5) % 16;
    } else {
      F = C ^ (B | ~D);
      G = (7 * I) % 16;
    }
    uint32_t Tmp = D;
    D = C;
    C = B;
    B = B + Rotl(A + F + K[I] + M[G], Shift[I]);
    A = Tmp;
  }
  State[0] += A;
  State[1] += B;
  State[2] += C;
  State[3] += D;
}

}  // namespace

void MD5Init(TvxMD5Context& Context) {
  Context.State[0] = 0x67452301;
  Context.State[1] = 0xefcdab89;
  Context.State[2] = 0x98badcfe;
  Context.State[3] = 0x10325476;
  Context.BitCount = 0;
  std::memset(Context.Buffer, 0, sizeof Context.Buffer);
}

void MD5Update(TvxMD5Context& Context, const void* Data, size_t Count) {
  const auto* In = static_cast<const uint8_t*>(Data);
  size_t Used = static_cast<size_t>((Context.BitCount >> 3) & 63);
  Context.BitCount += static_cast<uint64_t>(Count) << 3;
  if (Used) {
    size_t Take = 64 - Used < Count ? 64 - Used : Count;
    std::memcpy(Context.Buffer + Used, In, Take);
    In += Take;
    Count -= Take;
    if (Used + Take < 64) return;
    Transform(Context.State, Context.Buffer);
  }
  for (; Count >= 64; In += 64, Count -= 64) Transform(Context.State, In);
  if (Count) std::memcpy(Context.Buffer, In, Count);
}

TvxMD5Digest MD5Final(TvxMD5Context& Context) {
  uint8_t Length[8];
  for (int I = 0; I < 8; ++I) Length[I] = static_cast<uint8_t>(Context.BitCount >> (8 * I));
  size_t Used = static_cast<size_t>((Context.BitCount >> 3) & 63);
  static const uint8_t Padding[64] = {0x80};
  MD5Update(Context, Padding, Used < 56 ? 56 - Used : 120 - Used);
  MD5Update(Context, Length, 8);
  TvxMD5Digest Digest;
  for (int I = 0; I < 4; ++I)
    for (int B = 0; B < 4; ++B)
      Digest[static_cast<size_t>(I * 4 + B)] = static_cast<uint8_t>(Context.State[I] >> (8 * B));
  std::memset(&Context, 0, sizeof Context);
  return Digest;
}

std::string MD5Bytes(std::string_view Bytes) {
  TvxMD5Context C;
  MD5Init(C);
  MD5Update(C, Bytes);
  TvxMD5Digest D = MD5Final(C);
  return std::string(reinterpret_cast<const char*>(D.data()), D.size());
}

}  // namespace vx
