#include "pdf/security/vxRC4.h"

#include <cstring>

#include "pdf/objects/vxExceptions.h"

namespace vx {

void RC4Init(TvxRC4Context& Context, const void* Key, int32_t KeyLength) {
  if (KeyLength < 1 || KeyLength > 256) throw Exception("RC4: Invalid key length");
  const auto* K = static_cast<const uint8_t*>(Key);
  for (int I = 0; I < 256; ++I) Context.State[I] = static_cast<uint8_t>(I);
  uint8_t J = 0;
  for (int I = 0; I < 256; ++I) {
    J = static_cast<uint8_t>(J + Context.State[I] + K[I % KeyLength]);
    std::swap(Context.State[I], Context.State[J]);
  }
  std::memcpy(Context.Initial, Context.State, 256);
}

void RC4Continue(TvxRC4Context& Context, uint8_t& I, uint8_t& J, const void* In, void* Out,
                 size_t Count) {
  // The permutation and indices are worked on in locals: the output bytes
  // cannot alias them, so the loop keeps them in registers and cache instead
  // of reloading them after every byte written.
  uint8_t S[256];
  std::memcpy(S, Context.State, 256);
  uint8_t A = I, B = J;
  const auto* Src = static_cast<const uint8_t*>(In);
  auto* Dst = static_cast<uint8_t*>(Out);
  for (size_t N = 0; N < Count; ++N) {
    A = static_cast<uint8_t>(A + 1);
    const uint8_t X = S[A];
    B = static_cast<uint8_t>(B + X);
    const uint8_t Y = S[B];
    S[A] = Y;
    S[B] = X;
    Dst[N] = Src[N] ^ S[static_cast<uint8_t>(X + Y)];
  }
  std::memcpy(Context.State, S, 256);
  I = A;
  J = B;
}

void RC4Crypt(TvxRC4Context& Context, const void* In, void* Out, size_t Count) {
  std::memcpy(Context.State, Context.Initial, 256);
  uint8_t I = 0, J = 0;
  RC4Continue(Context, I, J, In, Out, Count);
}

void RC4Apply(std::string_view Key, uint8_t* Data, size_t Count) {
  TvxRC4Context C;
  RC4Init(C, Key.data(), static_cast<int32_t>(Key.size()));
  RC4Crypt(C, Data, Data, Count);
}

void RC4Apply(std::string_view Key, std::string& Data) {
  RC4Apply(Key, reinterpret_cast<uint8_t*>(Data.data()), Data.size());
}

}  // namespace vx
