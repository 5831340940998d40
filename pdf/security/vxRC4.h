// The RC4 stream cipher of the standard security handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

struct TvxRC4Context {
  uint8_t State[256];
  // The permutation as it stood right after the key schedule.
  uint8_t Initial[256];
};

// The key schedule; a key length outside 1..256 raises Exception
// "RC4: Invalid key length".
void RC4Init(TvxRC4Context& Context, const void* Key, int32_t KeyLength);
// XORs Count bytes with the key stream from its beginning (both indices 0);
// In and Out may be the same buffer.
void RC4Crypt(TvxRC4Context& Context, const void* In, void* Out, size_t Count);

// XORs Count bytes with the key stream where it stands: State and the
// indices I and J carry on from the previous call. In and Out may be the
// same buffer.
void RC4Continue(TvxRC4Context& Context, uint8_t& I, uint8_t& J, const void* In, void* Out,
                 size_t Count);

// Data run through RC4 under Key, in place.
void RC4Apply(std::string_view Key, std::string& Data);
void RC4Apply(std::string_view Key, uint8_t* Data, size_t Count);

}  // namespace vx
