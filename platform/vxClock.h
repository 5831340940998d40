// The clock and the locale's date and time formats.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

enum TvxDateTimeFormat : uint8_t { dfShortDate, dfShortTime, dfLongDate, dfLongTime };

class TvxClockService {
 public:
  virtual ~TvxClockService() = default;
  // The current date and time in Format; the clock is read on every call.
  virtual std::u16string FormatNow(TvxDateTimeFormat Format) const = 0;
};

// Not owned; nullptr restores the default (local time in the C library's
// LC_TIME formats).
void SetClockService(TvxClockService* Service);
TvxClockService& ClockService();

}  // namespace vx
