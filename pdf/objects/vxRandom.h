// The pseudo-random generator behind generated resource names. It can be
// seeded so that output is reproducible.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

void RandomSeed(uint64_t Seed);
// Gives this thread a generator of its own, seeded with Seed, until it is
// called again with 0: documents stamped side by side each draw the names
// a run of their own would, whatever the other threads draw.
void SeedThreadRandom(uint64_t Seed);
// Seeds from the clock.
void Randomize();
// A draw in 0 .. Range - 1.
int32_t RandomInt(int32_t Range);
// Prefix followed by the decimal text of a draw in 0 .. 2147483646, such as
// "/ZRBFnt1234".
std::string RandomResourceName(std::string_view Prefix);

inline constexpr std::string_view FontResourcePrefix = "/ZRBFnt";
inline constexpr std::string_view ImageResourcePrefix = "/ZRBImg";
inline constexpr std::string_view GStateResourcePrefix = "/GS";

}  // namespace vx
