// LZWDecode (decode only), codes packed most significant bit first.
#pragma once

#include <string>
#include <vector>

#include "pdf/filters/vxFilter.h"

namespace vx {

class TvxLZWFilter : public TvxFilter {
 public:
  // EarlyChange as in /DecodeParms: true (PDF's default) widens the code one
  // entry early.
  explicit TvxLZWFilter(bool EarlyChange = true) : FEarlyChange(EarlyChange) { ResetTable(); }

  // Stops at code 257 (what follows is ignored) or when the data runs out.
  // A code beyond the next free entry raises Exception("Invalid LZW code").
  // Once the table holds 4096 entries it stays as it is until a Clear code.
  std::string DecodeString(const std::string& Source) override;
  std::string_view Name() const override { return "/LZWDecode"; }

  // The 256 one-byte strings, then a placeholder at 256 (Clear): 257
  // entries. The next code adds a filler at 257, so new entries start at 258.
  void ResetTable();
  const std::vector<std::string>& Table() const { return FTable; }

 private:
  std::vector<std::string> FTable;
  bool FEarlyChange;
};

}  // namespace vx
