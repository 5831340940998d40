#include "platform/vxScreen.h"

namespace vx {

namespace {

// The engine runs without a window system; the desktop default stands in.
class TvxDefaultScreen : public TvxScreenService {
 public:
  int32_t LogicalPixelsPerInch() const override { return DefaultPixelsPerInch; }
};

TvxDefaultScreen DefaultScreen;
TvxScreenService* CurrentScreen = &DefaultScreen;

}  // namespace

TvxScreenService& ScreenService() {
  return *CurrentScreen;
}

void SetScreenService(TvxScreenService* Service) {
  CurrentScreen = Service ? Service : &DefaultScreen;
}

}  // namespace vx
