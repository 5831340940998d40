#include "platform/vxClock.h"

#include <ctime>

#include "platform/vxUnicode.h"

namespace vx {

namespace {

class TvxLocalClock : public TvxClockService {
 public:
  std::u16string FormatNow(TvxDateTimeFormat Format) const override {
    static const char* const Patterns[] = {"%x", "%H:%M", "%A, %d %B %Y", "%X"};
    std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    char Buf[128];
    size_t N = std::strftime(Buf, sizeof Buf, Patterns[Format <= dfLongTime ? Format : 0], &Local);
    return Utf8ToUtf16(std::string_view(Buf, N));
  }
};

TvxLocalClock DefaultClock;
TvxClockService* CurrentClock = &DefaultClock;

}  // namespace

void SetClockService(TvxClockService* Service) {
  CurrentClock = Service ? Service : &DefaultClock;
}

TvxClockService& ClockService() {
  return *CurrentClock;
}

}  // namespace vx
