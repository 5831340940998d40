// How a viewer opens the document: page mode and page layout.
#pragma once

#include <cstdint>
#include <string_view>

namespace vx {

enum TvxPageMode : uint8_t { pmNone, pmUseOutlines, pmUseThumbs, pmFullScreen, pmUseAttachments };
enum TvxPageLayout : uint8_t {
  plNone,
  plSinglePage,
  plOneColumn,
  plTwoColumnLeft,
  plTwoColumnRight
};

inline constexpr const char* PageModeNames[] = {"/UseNone", "/UseOutlines", "/UseThumbs",
                                                "/FullScreen", "/UseAttachments"};
inline constexpr const char* PageLayoutNames[] = {"/None", "/SinglePage", "/OneColumn",
                                                  "/TwoColumnLeft", "/TwoColumnRight"};

// Ordinal of Text among Names[0..High], or -1.
int32_t IndexOfName(const char* const* Names, int32_t High, std::string_view Text);

}  // namespace vx
