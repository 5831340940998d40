// A light scan of page content streams: how many graphics states a page's
// content leaves open.
#pragma once

#include <cstdint>
#include <string_view>

namespace vx {

// The number of "q" operators in Content without a matching "Q". Strings,
// comments, names and inline image data are skipped; a "Q" with nothing open
// is ignored, as viewers do, and counted in StrayRestores when given. Linear
// in the size of Content.
int32_t CountUnclosedSaves(std::string_view Content, int32_t* StrayRestores = nullptr);

}  // namespace vx
