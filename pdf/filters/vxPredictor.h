// Undoing the PNG and TIFF row predictors that /DecodeParms may ask for after
// Flate or LZW.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/vxStreams.h"

namespace vx {

class TvxPDFDictObject;
class TvxPDFObjectStore;

// Beyond what any colour space needs (DeviceN has at most 32 components).
inline constexpr int32_t MaxPredictorColors = 32;

// The PNG Paeth function on left, above and above-left.
uint8_t PaethPredictor(uint8_t Left, uint8_t Above, uint8_t AboveLeft);

// Undoes PNG prediction with one byte per sample: rows of Columns + 1 bytes,
// a tag and Columns data bytes. A final short row yields only the bytes it
// holds. A tag above 4 raises EImproperPNGAlgorithm; Columns below 1 or
// beyond the decode limit raise EInvalidDecodeParms. The result is at 0.
std::unique_ptr<TvxMemoryStream> ApplyPNGPredictor(TvxStream& Stream, int32_t Columns);

// The predictor entries of a /DecodeParms dictionary, PDF defaults when absent.
struct TvxPredictorParams {
  int32_t Predictor = 1;
  int32_t Colors = 1;
  int32_t BitsPerComponent = 8;
  int32_t Columns = 1;
};

// Reads /Predictor, /Colors, /BitsPerComponent and /Columns from Parms (nil:
// defaults). An entry that is not an integer raises EInvalidDecodeParms;
// references are resolved through Store when given.
TvxPredictorParams PredictorParamsFromDict(const TvxPDFDictObject* Parms,
                                           const TvxPDFObjectStore* Store = nullptr);

// Predictor 1 (and 0) leaves the data as it is, 2 is the TIFF predictor,
// 10 to 15 PNG (the tag of each row decides). Anything else, and values no
// image can have, raise EInvalidDecodeParms.
std::string ApplyPredictor(const std::string& Data, const TvxPredictorParams& Params);

}  // namespace vx
