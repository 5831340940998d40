#include "app/vxWatermarkJob.h"

#include "pdf/objects/vxExceptions.h"

namespace vx::app {

TvxStampAction PrepareWatermark(const TvxJobSettings& Settings) {
  StrToInt(Settings.AngleText);
  return [](TvxPDFDocument&) {
    throw Exception("This build of Vellumark cannot stamp watermarks yet");
  };
}

}  // namespace vx::app
