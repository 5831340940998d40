// How a viewer opens the document (page mode and page layout), what a merge
// of documents takes over, and whether a save packs objects into object
// streams.
#pragma once

#include <cstdint>
#include <initializer_list>
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

enum TvxMergeOption : uint8_t { moIncludeOutlines, moIncludeFormFields };

// A set of merge options.
class TvxMergeOptions {
 public:
  constexpr TvxMergeOptions() = default;
  constexpr TvxMergeOptions(std::initializer_list<TvxMergeOption> Options) {
    for (TvxMergeOption O : Options) Include(O);
  }
  constexpr bool Contains(TvxMergeOption O) const { return (FBits >> O & 1) != 0; }
  constexpr void Include(TvxMergeOption O) { FBits = static_cast<uint8_t>(FBits | 1 << O); }
  constexpr void Exclude(TvxMergeOption O) { FBits = static_cast<uint8_t>(FBits & ~(1 << O)); }
  constexpr bool operator==(const TvxMergeOptions&) const = default;

 private:
  uint8_t FBits = 0;
};

// Object streams and a cross-reference stream on save: as the source had
// them, always, or never (a classic cross-reference table).
enum class TvxObjectStreams : uint8_t { Preserve, Generate, Disable };

}  // namespace vx
