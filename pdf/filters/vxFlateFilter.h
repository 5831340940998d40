// Flate (zlib format) encoding and decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/filters/vxFilter.h"

namespace vx {

// Decompressed output is collected in chunks of this size.
inline constexpr size_t FlateChunkSize = 10240;

// The zlib level for a compression setting: 0, 1, 6 (zlib's default), 9.
int ZlibLevel(TvxCompressionLevel Level);

class TvxFlateFilter : public TvxFilter {
 public:
  using TvxFilter::EncodeStream;
  using TvxFilter::EncodeString;

  // zlib format, window bits 15, memory level 8, default strategy. Empty
  // input still gives a complete zlib stream. zlib failures raise
  // EZCompressionError with zlib's text.
  std::string EncodeString(const std::string& Source, TvxCompressionLevel Level) override;
  // At the default level.
  std::string EncodeString(const std::string& Source) override;
  // Data that ends early gives what was inflated so far; corrupt data raises
  // EZDecompressionError with zlib's text for the code ("data error").
  // Anything after the end of the zlib stream is ignored.
  std::string DecodeString(const std::string& Source) override;
  std::string_view Name() const override { return "/FlateDecode"; }
};

// Flate encoding fed piece by piece: the bytes are those EncodeString gives
// for the whole data at the same level, whatever the pieces.
class TvxFlateEncoder {
 public:
  explicit TvxFlateEncoder(TvxCompressionLevel Level);
  ~TvxFlateEncoder();
  TvxFlateEncoder(const TvxFlateEncoder&) = delete;
  TvxFlateEncoder& operator=(const TvxFlateEncoder&) = delete;

  // Appends what Piece compresses to so far to Out; Last ends the stream.
  void Update(std::string_view Piece, bool Last, std::string& Out);

 private:
  struct TvxZ;
  void StoredBlock(std::string_view Data, bool Final, std::string& Out);
  std::unique_ptr<TvxZ> FZ;  // nil at level 0, whose stored blocks are made here
  // Level 0: the bytes of the block not written yet, and the checksum.
  std::string FPending;
  uint32_t FAdler = 1;
  bool FStarted = false;
};

}  // namespace vx
