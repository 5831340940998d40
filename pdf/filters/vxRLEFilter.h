// RunLengthDecode: the writer's second compression method, and decoding.
#pragma once

#include "pdf/filters/vxFilter.h"

namespace vx {

class TvxRLEFilter : public TvxFilter {
 public:
  using TvxFilter::EncodeStream;
  using TvxFilter::EncodeString;

  // Runs of three or more (and pairs between runs) become run codes, the
  // rest literals; always ends with the end-of-data byte 128. Empty input
  // gives just 128.
  std::string EncodeString(const std::string& Source) override;
  // The last byte must be 128 and the only 128 length byte; runs and
  // literals must lie before it.
  std::string DecodeString(const std::string& Source) override;
  std::string_view Name() const override { return "/RunLengthDecode"; }
};

}  // namespace vx
