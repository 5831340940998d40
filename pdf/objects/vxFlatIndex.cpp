#include "pdf/objects/vxFlatIndex.h"

#include <chrono>

namespace vx {

namespace {

uint64_t ProcessSeed() {
  // Clock and the address the program was loaded at: no file can know them.
  static const uint64_t Seed = [] {
    static const int Anchor = 0;
    uint64_t S = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    S ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&Anchor)) << 17;
    return S * 0x9E3779B97F4A7C15ull;
  }();
  return Seed;
}

}  // namespace

uint64_t MixIndexKey(uint64_t X) {
  static const uint64_t Seed = ProcessSeed();
  X ^= Seed;
  X ^= X >> 33;
  X *= 0xFF51AFD7ED558CCDull;
  X ^= X >> 33;
  X *= 0xC4CEB9FE1A85EC53ull;
  X ^= X >> 33;
  return X;
}

}  // namespace vx
