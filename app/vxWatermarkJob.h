// The window's settings and the engine's watermark job, one onto the other.
#pragma once

#include <QStringList>

#include "app/vxAppSettings.h"
#include "pdf/watermark/vxWatermarkJob.h"

namespace vx::app {

// Base with what the window's controls say put over it: the text, angle,
// font, render mode, stroke colour, layer, position and opening after the
// save. Raises the angle's conversion error (EConvertError).
TvxWatermarkJob ToWatermarkJob(const TvxJobSettings& Settings, TvxWatermarkJob Base = {});
// Settings with the job's values for the window's controls put over it;
// the source file stays. Every line end becomes CR LF, as the memo gives it.
TvxJobSettings FromWatermarkJob(const TvxWatermarkJob& Job, TvxJobSettings Settings = {});

// The names of what Job sets that neither the form nor its options dialog
// shows and that differ from a new job's ("the encryption"); empty when
// there is none.
QStringList UnshownJobSettings(const TvxWatermarkJob& Job);

}  // namespace vx::app
