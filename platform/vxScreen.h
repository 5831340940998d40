// The screen the program measures text on.
#pragma once

#include <cstdint>

namespace vx {

class TvxScreenService {
 public:
  virtual ~TvxScreenService() = default;
  // Logical pixels per inch; 0 or less when the screen does not say.
  virtual int32_t LogicalPixelsPerInch() const = 0;
};

// The resolution assumed when there is no screen, or it reports nothing usable.
inline constexpr int32_t DefaultPixelsPerInch = 96;

// The service in use. Units read it once, on first use, so a substitute must
// be installed before that (nullptr restores the default). Not owned.
TvxScreenService& ScreenService();
void SetScreenService(TvxScreenService* Service);

}  // namespace vx
