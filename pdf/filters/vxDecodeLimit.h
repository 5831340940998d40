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
// Raises EDecodeLimitError when Size is above the ceiling, or when Size more
// bytes would pass the current budget.
void CheckDecodedSize(uint64_t Size);

// What one operation on a document (a load, a stamping, a save) may decode in
// all streams together, so that many small streams cannot add up to
// gigabytes where no single one passes the ceiling.
class TvxDecodeBudget {
 public:
  void Reset(int64_t Allowance) {
    FAllowance = Allowance;
    FUsed = 0;
  }
  int64_t Allowance() const { return FAllowance; }
  int64_t Used() const { return FUsed; }
  void Charge(uint64_t Size) { FUsed += static_cast<int64_t>(Size); }

 private:
  int64_t FAllowance = 0;
  int64_t FUsed = 0;
};

// The allowance for a file of FileSize bytes: the ceiling of one stream,
// and 32 times the file's size.
int64_t DecodeAllowanceFor(int64_t FileSize);

// Makes Budget, reset to Allowance, the one this thread's decoding draws on
// while the object lives; the one before comes back after it.
class TvxDecodeBudgetScope {
 public:
  TvxDecodeBudgetScope(TvxDecodeBudget& Budget, int64_t Allowance);
  ~TvxDecodeBudgetScope();
  TvxDecodeBudgetScope(const TvxDecodeBudgetScope&) = delete;
  TvxDecodeBudgetScope& operator=(const TvxDecodeBudgetScope&) = delete;

 private:
  TvxDecodeBudget* FSaved;
};

// Counts Size decoded bytes against the current budget, if any.
void ChargeDecodedSize(uint64_t Size);

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
