// Page-range text: which pages an operation applies to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// 1-based page numbers in the order the range names them, duplicates kept.
using TvxPageList = std::vector<int32_t>;

// Items are separated by commas or by characters 1 to 32 (so "1 - 3" is the
// three items 1, "-" and 3); an item is a page number N or a range A-B, where
// a missing A means 1 and a missing B means PageCount. An empty Range means
// every page. Raises EInvalidPageError; nothing is returned then.
TvxPageList ParsePageRange(std::string_view Range, int32_t PageCount);

// The items of comma text: quoted items may hold separators, a doubled quote
// inside them standing for one quote.
std::vector<std::string> SplitCommaText(std::string_view Text);

// Raises EInvalidPageError "Invalid page number (%d)" unless
// 1 <= PageNo <= PageCount.
void CheckPageNumber(int32_t PageNo, int32_t PageCount);

}  // namespace vx
