#include "pdf/objects/vxFlatIndex.h"

#include <chrono>

namespace vx {

namespace {

uint64_t ProcessSeed() {
  // Clock and the address the program was loaded at: no file can know them.
  static const int Anchor = 0;
  uint64_t S = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  S ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&Anchor)) << 17;
  return S * 0x9E3779B97F4A7C15ull;
}

}  // namespace

const uint64_t IndexKeySeed = ProcessSeed();

}  // namespace vx
