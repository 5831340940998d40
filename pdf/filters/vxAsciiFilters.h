// ASCIIHexDecode and ASCII85Decode (decode only). Format errors raise
// Exception with fixed texts.
#pragma once

#include "pdf/filters/vxFilter.h"

namespace vx {

class TvxAsciiHexFilter : public TvxFilter {
 public:
  // The data must end in ">"; decoding stops at the first ">". Space, LF, CR
  // and TAB are skipped; an odd final digit is completed with 0.
  std::string DecodeString(const std::string& Source) override;
  std::string_view Name() const override { return "/ASCIIHexDecode"; }
};

class TvxAscii85Filter : public TvxFilter {
 public:
  // The data must end in "~>". A final partial group is completed with "u"
  // digits as ISO 32000-1 prescribes; a group worth more than 32 bits raises.
  std::string DecodeString(const std::string& Source) override;
  std::string_view Name() const override { return "/ASCII85Decode"; }
};

}  // namespace vx
