// The codec interface, the table of filter names and decoding through a
// whole /Filter chain.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/filters/vxDecodeLimit.h"
#include "pdf/filters/vxPredictor.h"
#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFObject;
class TvxPDFStreamObject;
class TvxPDFObjectStore;

// The ordinal is an index into the name table; do not reorder.
enum TvxDecodeFilter : uint8_t {
  ftASCIIHexDecode,
  ftASCII85Decode,
  ftFlateDecode,
  ftRunLengthDecode,
  ftLZWDecode,
  ftCCITTFaxDecode,
  ftDCTDecode,
};
inline constexpr int DecodeFilterCount = 7;

// Element 0 is applied first when decoding.
using TvxFilterList = std::vector<TvxDecodeFilter>;

class TvxDecodeFilters {
 public:
  TvxDecodeFilters() = default;
  explicit TvxDecodeFilters(const TvxFilterList& List) {
    for (TvxDecodeFilter F : List) Include(F);
  }
  void Include(TvxDecodeFilter F) { FBits = static_cast<uint8_t>(FBits | Bit(F)); }
  bool Contains(TvxDecodeFilter F) const { return (FBits & Bit(F)) != 0; }
  bool Empty() const { return FBits == 0; }

 private:
  static uint8_t Bit(TvxDecodeFilter F) {
    return F < DecodeFilterCount ? static_cast<uint8_t>(1u << F) : 0;
  }
  uint8_t FBits = 0;
};

// The document's compression setting, mapped to zlib levels by Flate.
enum TvxCompressionLevel : uint8_t { clNone, clFastest, clDefault, clMax };

// A codec. Stream forms read the whole source from position 0 and return a
// new stream (positioned at 0) that the caller owns; the source is not
// changed. Byte strings hold arbitrary bytes, NUL included.
class TvxFilter {
 public:
  virtual ~TvxFilter() = default;
  TvxFilter() = default;
  TvxFilter(const TvxFilter&) = delete;
  TvxFilter& operator=(const TvxFilter&) = delete;

  virtual std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& Source,
                                                        TvxCompressionLevel Level);
  // Codecs without levels ignore Level.
  virtual std::string EncodeString(const std::string& Source, TvxCompressionLevel Level);
  virtual std::unique_ptr<TvxMemoryStream> EncodeStream(TvxStream& Source);
  // Raises EUnsupportedFilterError for a decode-only codec; an encoder that
  // silently returned nothing would lose the stream.
  virtual std::string EncodeString(const std::string& Source);
  virtual std::unique_ptr<TvxMemoryStream> DecodeStream(TvxStream& Source);
  virtual std::string DecodeString(const std::string& Source) = 0;

  // The PDF name, "/FlateDecode" etc.
  virtual std::string_view Name() const = 0;
};

// The whole content of a stream, from position 0.
std::string ReadWholeStream(TvxStream& Source);
std::unique_ptr<TvxMemoryStream> NewMemoryStream(std::string Data);

// "/ASCIIHexDecode" ... "/DCTDecode"; empty for an ordinal outside the table.
std::string_view FilterName(TvxDecodeFilter Kind);
// The codec for Kind; EUnsupportedFilterError for the image filters that the
// engine cannot decode (CCITTFax, DCT) and for an unknown ordinal.
std::unique_ptr<TvxFilter> CreateFilter(TvxDecodeFilter Kind);

// Exact, case-sensitive, with the slash. /A85 is the only abbreviation
// accepted; any other name raises EUnsupportedFilterError.
TvxDecodeFilter FilterFromName(std::string_view Name);
// From a /Filter value: a name or an array of names. Array items that are not
// names raise EInvalidCast, unless Store is given and resolves a reference to
// a name. Any other value raises EUnexpectedFilterObject; nil gives an empty
// list.
TvxFilterList GetFilterList(const TvxPDFObject* Filter, const TvxPDFObjectStore* Store = nullptr);

// One decode step; Stream is read, never changed. Trailing CR and LF are
// ignored for the text codecs and RunLength, and ASCIIHex data need not end
// in ">". CCITTFax and DCT pass their data through unchanged.
std::unique_ptr<TvxMemoryStream> DecodeWithFilter(TvxDecodeFilter Kind, TvxStream& Stream);

// Decodes through every filter of a /Filter value (nil: a plain copy).
// CCITTFax and DCT steps are skipped, their data left as it is; the other
// steps still run. /DecodeParms are not applied; see DecodeStreamData.
std::unique_ptr<TvxMemoryStream> DecodeFilterChain(TvxStream& Stream, const TvxPDFObject* Filter);

// Decodes a stream object's data through its /Filter chain, giving each
// Flate and LZW step its /DecodeParms (predictor, EarlyChange): a parameter
// array pairs with the filters by index, a single dictionary goes to every
// Flate and LZW step. References are resolved through Store when given. A
// chain naming CCITTFax or DCT raises EUnsupportedFilterError before any work.
std::unique_ptr<TvxMemoryStream> DecodeStreamData(const TvxPDFStreamObject& Stream,
                                                  const TvxPDFObjectStore* Store = nullptr);

}  // namespace vx
