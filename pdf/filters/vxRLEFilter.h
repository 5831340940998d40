// RunLengthDecode: the writer's second compression method, and decoding.
#pragma once

#include <string>
#include <string_view>

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

// Run-length encoding fed piece by piece, giving the bytes EncodeString
// gives for the whole data. It holds at most a literal packet and a byte.
class TvxRLEEncoder {
 public:
  // Appends what is decided so far to Out; Last ends the data with the
  // end-of-data byte.
  void Update(std::string_view Piece, bool Last, std::string& Out);

 private:
  // The byte after the current run or pair; Next is the one after it, when
  // there is one.
  void Step(char X, bool HasNext, char Next, std::string& Out);
  std::string FLit;
  char FCur = 0;
  size_t FN = 0;
  bool FStarted = false;
  // Each byte is decided when the byte after it is known.
  bool FHasPending = false;
  char FPending = 0;
};

}  // namespace vx
