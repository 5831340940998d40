// What the window remembers between runs (QSettings): the last options set
// in the options dialog and the last folders files were opened from.
#pragma once

#include <QString>

#include "pdf/watermark/vxWatermarkJob.h"

namespace vx::app {

// Job with the remembered options over its own; unchanged when none are
// remembered or they cannot be read.
void LoadRememberedOptions(TvxWatermarkJob& Job);
void SaveRememberedOptions(const TvxWatermarkJob& Job);
// The options the dialog sets, copied from From onto To.
void CopyOptions(const TvxWatermarkJob& From, TvxWatermarkJob& To);

QString RememberedFolder();
void RememberFolder(const QString& Folder);

}  // namespace vx::app
