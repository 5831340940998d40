#include "pdf/objects/vxRandom.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <random>

namespace vx {

namespace {

std::mutex RandomLock;
std::mt19937_64& Generator() {
  static std::mt19937_64 G(
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return G;
}
thread_local std::optional<std::mt19937_64> ThreadGenerator;

}  // namespace

void RandomSeed(uint64_t Seed) {
  std::lock_guard<std::mutex> Lock(RandomLock);
  Generator().seed(Seed);
}

void SeedThreadRandom(uint64_t Seed) {
  if (Seed == 0)
    ThreadGenerator.reset();
  else
    ThreadGenerator.emplace(Seed);
}

void Randomize() {
  RandomSeed(static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

int32_t RandomInt(int32_t Range) {
  if (Range <= 1) return 0;
  if (ThreadGenerator)
    return static_cast<int32_t>((*ThreadGenerator)() % static_cast<uint64_t>(Range));
  std::lock_guard<std::mutex> Lock(RandomLock);
  // Modulo keeps the sequence identical across standard libraries.
  return static_cast<int32_t>(Generator()() % static_cast<uint64_t>(Range));
}

std::string RandomResourceName(std::string_view Prefix) {
  return std::string(Prefix) + std::to_string(RandomInt(2147483647));
}

}  // namespace vx
