// A light scan of page content streams: how many graphics states a page's
// content leaves open.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// The number of "q" operators in Content without a matching "Q". Strings,
// comments, names and inline image data are skipped; a "Q" with nothing open
// is ignored, as viewers do, and counted in StrayRestores when given. Linear
// in the size of Content.
int32_t CountUnclosedSaves(std::string_view Content, int32_t* StrayRestores = nullptr);

// An XObject painted by "Do": its name (with the slash) and the
// transformation matrix [a b c d e f] in force, as "q", "Q" and "cm" before it
// in the same stream leave it.
struct TvxXObjectDraw {
  std::string Name;
  std::array<double, 6> Matrix;
};
// The first MaxDraws XObjects Content paints. Linear in the size of Content;
// saves nested past 64 deep are counted, not kept.
std::vector<TvxXObjectDraw> FindXObjectDraws(std::string_view Content, size_t MaxDraws);

// What one stream of a page's content does to the graphics state on its own:
// the saves it leaves open and the restores it makes with nothing of its own
// open. Streams read in order combine without being joined.
struct TvxSaveBalance {
  int32_t Open = 0;
  int32_t Stray = 0;
  // This stream read after Before.
  TvxSaveBalance After(const TvxSaveBalance& Before) const;
};

}  // namespace vx
