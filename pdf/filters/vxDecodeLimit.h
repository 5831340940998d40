// A ceiling on the size of decoded stream data. Every codec checks its output
// against it so that a few kilobytes of hostile input cannot expand into
// gigabytes.
#pragma once

#include <cstdint>

namespace vx {

// Generous for real documents (page contents, fonts, object streams).
inline constexpr int64_t DefaultMaxDecodedSize = int64_t{256} * 1024 * 1024;

// The current ceiling, process-wide.
int64_t MaxDecodedSize();
// Sets the ceiling; a value of 0 or less restores the default.
void SetMaxDecodedSize(int64_t Limit);
// Raises EDecodeLimitError when Size is above the ceiling.
void CheckDecodedSize(uint64_t Size);

// Sets the ceiling for the lifetime of the object (tests, tools).
class TvxScopedDecodeLimit {
 public:
  explicit TvxScopedDecodeLimit(int64_t Limit) : FSaved(MaxDecodedSize()) {
    SetMaxDecodedSize(Limit);
  }
  ~TvxScopedDecodeLimit() { SetMaxDecodedSize(FSaved); }
  TvxScopedDecodeLimit(const TvxScopedDecodeLimit&) = delete;
  TvxScopedDecodeLimit& operator=(const TvxScopedDecodeLimit&) = delete;

 private:
  int64_t FSaved;
};

}  // namespace vx
