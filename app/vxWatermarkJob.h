// The part of the watermark job that needs the watermark engine: the
// template made from the window's settings and the stamping of all pages.
#pragma once

#include <functional>

#include "app/vxAppSettings.h"
#include "pdf/document/vxCstPDFDoc.h"

namespace vx::app {

using TvxStampAction = std::function<void(TvxPDFDocument& Document)>;

// Reads the template's values from Settings, raising the angle's conversion
// error before anything is touched, and returns the stamping of every page
// of a document with that template.
TvxStampAction PrepareWatermark(const TvxJobSettings& Settings);

}  // namespace vx::app
