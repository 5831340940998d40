// The rows of a cross-reference stream (/Type /XRef): one entry per object
// number from 0, laid out as /W [1 Width 2] behind the PNG Up predictor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

struct TvxXRefEntry {
  uint8_t Type = 0;    // 0 free, 1 at an offset, 2 in an object stream
  int64_t Field2 = 0;  // the offset, or the object stream's number
  int32_t Field3 = 0;  // the generation, or the index in the object stream
};

// Bytes the second field needs for every entry; at least 1.
int32_t XRefFieldWidth(const std::vector<TvxXRefEntry>& Entries);

// The rows, each behind the tag of the Up filter (/Predictor 12 with
// /Columns 3 + Width): every byte the difference to the one above, which
// the compression after it takes down to little.
std::string XRefStreamRows(const std::vector<TvxXRefEntry>& Entries, int32_t Width);

}  // namespace vx
