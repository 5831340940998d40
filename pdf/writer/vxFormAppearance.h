// The form's /NeedAppearances flag, set on save.
#pragma once

#include <cstdint>

#include "pdf/state/vxDocumentData.h"

namespace vx {

// 0 sets /NeedAppearances true, 1 false, anything else leaves it.
void SetNeedAppearances(TvxDocumentData& Data, int32_t AppearanceMode);

}  // namespace vx
