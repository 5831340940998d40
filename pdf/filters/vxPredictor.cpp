#include "pdf/filters/vxPredictor.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

namespace {

[[noreturn]] void BadParam(std::string_view Key, int64_t Value) {
  throw EInvalidDecodeParms(
      FormatMessage(msg::InvalidDecodeParms, std::string(Key) + " " + std::to_string(Value)));
}

// Rows are never longer than the decoded data may be; checked before any
// buffer is sized from them.
void CheckRowBytes(std::string_view Key, int64_t Value, uint64_t RowBytes) {
  if (RowBytes > static_cast<uint64_t>(MaxDecodedSize())) BadParam(Key, Value);
}

// PNG rows: a tag byte, then RowBytes bytes; Bpp bytes per pixel back is the
// "left" neighbour. With PadShortRow a short final row after a whole one is
// completed from the raw bytes the previous row left in the row buffer, as
// cross-reference streams have always been read; otherwise it yields only
// what it holds. Either way no row is longer than the input.
std::string UndoPNG(const std::string& In, size_t RowBytes, size_t Bpp, bool PadShortRow) {
  std::string Out;
  Out.reserve(In.size());
  const auto* Src = reinterpret_cast<const uint8_t*>(In.data());
  // No row can be longer than the input, whatever /Columns claims.
  std::vector<uint8_t> Prev(std::min(RowBytes, In.size()), 0);
  std::vector<uint8_t> Raw(Prev.size(), 0);
  bool HadWholeRow = false;
  size_t Pos = 0;
  while (Pos < In.size()) {
    uint8_t Tag = Src[Pos++];
    if (Tag > 4) throw EImproperPNGAlgorithm(std::string(msg::ImproperPNGAlgorithm));
    size_t Got = std::min(RowBytes, In.size() - Pos);
    std::copy(Src + Pos, Src + Pos + Got, Raw.begin());
    Pos += Got;
    size_t Len = PadShortRow && HadWholeRow ? RowBytes : Got;
    HadWholeRow = HadWholeRow || Got == RowBytes;
    size_t Start = Out.size();
    Out.resize(Start + Len);
    auto* Cur = reinterpret_cast<uint8_t*>(Out.data() + Start);
    for (size_t X = 0; X < Len; ++X) {
      unsigned Left = X >= Bpp ? Cur[X - Bpp] : 0;
      unsigned Above = Prev[X];
      unsigned AboveLeft = X >= Bpp ? Prev[X - Bpp] : 0;
      unsigned Pred = 0;
      switch (Tag) {
        case 0: Pred = 0; break;
        case 1: Pred = Left; break;
        case 2: Pred = Above; break;
        case 3: Pred = (Left + Above) / 2; break;
        case 4:
          Pred = PaethPredictor(static_cast<uint8_t>(Left), static_cast<uint8_t>(Above),
                                static_cast<uint8_t>(AboveLeft));
          break;
      }
      Cur[X] = static_cast<uint8_t>(Raw[X] + Pred);
    }
    std::copy(Cur, Cur + Len, Prev.begin());
  }
  return Out;
}

unsigned GetSample(const uint8_t* Row, size_t Index, int Bits) {
  size_t Bit = Index * static_cast<size_t>(Bits);
  unsigned Shift = static_cast<unsigned>(8 - Bits - static_cast<int>(Bit % 8));
  return (Row[Bit / 8] >> Shift) & ((1u << Bits) - 1);
}

void SetSample(uint8_t* Row, size_t Index, int Bits, unsigned Value) {
  size_t Bit = Index * static_cast<size_t>(Bits);
  unsigned Shift = static_cast<unsigned>(8 - Bits - static_cast<int>(Bit % 8));
  unsigned Mask = ((1u << Bits) - 1) << Shift;
  Row[Bit / 8] = static_cast<uint8_t>((Row[Bit / 8] & ~Mask) | ((Value << Shift) & Mask));
}

// TIFF predictor 2: each sample is stored as the difference to the same
// component of the pixel before it in the row.
std::string UndoTIFF(std::string Data, size_t RowBytes, const TvxPredictorParams& P) {
  const size_t Colors = static_cast<size_t>(P.Colors);
  const int Bits = P.BitsPerComponent;
  const size_t RowSamples = Colors * static_cast<size_t>(P.Columns);
  for (size_t Start = 0; Start < Data.size(); Start += RowBytes) {
    size_t Len = std::min(RowBytes, Data.size() - Start);
    auto* Row = reinterpret_cast<uint8_t*>(Data.data() + Start);
    if (Bits == 8) {
      for (size_t I = Colors; I < Len; ++I) Row[I] = static_cast<uint8_t>(Row[I] + Row[I - Colors]);
    } else if (Bits == 16) {
      for (size_t I = Colors; I < Len / 2; ++I) {
        unsigned V = ((Row[2 * I] << 8) | Row[2 * I + 1]) +
                     ((Row[2 * (I - Colors)] << 8) | Row[2 * (I - Colors) + 1]);
        Row[2 * I] = static_cast<uint8_t>(V >> 8);
        Row[2 * I + 1] = static_cast<uint8_t>(V);
      }
    } else {
      size_t Samples = std::min(RowSamples, Len * 8 / static_cast<size_t>(Bits));
      for (size_t I = Colors; I < Samples; ++I)
        SetSample(Row, I, Bits, GetSample(Row, I, Bits) + GetSample(Row, I - Colors, Bits));
    }
  }
  return Data;
}

int32_t IntegerEntry(const TvxPDFDictObject* Parms, std::string_view Key, int32_t Default,
                     const TvxPDFObjectStore* Store) {
  TvxPDFObject* Obj = Parms->Lookup(Key);
  if (Store) Obj = Store->Resolve(Obj);
  if (!Obj || Obj->IsNull()) return Default;
  const auto* N = ObjectAs<TvxPDFIntegerObject>(Obj);
  if (!N) throw EInvalidDecodeParms(FormatMessage(msg::InvalidDecodeParms, Key));
  return N->Value;
}

}  // namespace

uint8_t PaethPredictor(uint8_t Left, uint8_t Above, uint8_t AboveLeft) {
  int A = Left, B = Above, C = AboveLeft;
  int Pa = std::abs(B - C);
  int Pb = std::abs(A - C);
  int Pc = std::abs(A + B - 2 * C);
  if (Pa <= Pb && Pa <= Pc) return Left;
  if (Pb <= Pc) return Above;
  return AboveLeft;
}

std::unique_ptr<TvxMemoryStream> ApplyPNGPredictor(TvxStream& Stream, int32_t Columns) {
  if (Columns < 1) BadParam("/Columns", Columns);
  CheckRowBytes("/Columns", Columns, static_cast<uint64_t>(Columns));
  return NewMemoryStream(UndoPNG(ReadWholeStream(Stream), static_cast<size_t>(Columns), 1, true));
}

TvxPredictorParams PredictorParamsFromDict(const TvxPDFDictObject* Parms,
                                           const TvxPDFObjectStore* Store) {
  TvxPredictorParams P;
  if (!Parms) return P;
  P.Predictor = IntegerEntry(Parms, "/Predictor", P.Predictor, Store);
  P.Colors = IntegerEntry(Parms, "/Colors", P.Colors, Store);
  P.BitsPerComponent = IntegerEntry(Parms, "/BitsPerComponent", P.BitsPerComponent, Store);
  P.Columns = IntegerEntry(Parms, "/Columns", P.Columns, Store);
  return P;
}

std::string ApplyPredictor(const std::string& Data, const TvxPredictorParams& Params) {
  const bool Png = Params.Predictor >= 10 && Params.Predictor <= 15;
  if (Params.Predictor == 0 || Params.Predictor == 1) return Data;
  if (!Png && Params.Predictor != 2) BadParam("/Predictor", Params.Predictor);
  if (Params.Colors < 1 || Params.Colors > MaxPredictorColors) BadParam("/Colors", Params.Colors);
  const int32_t Bpc = Params.BitsPerComponent;
  if (Bpc != 1 && Bpc != 2 && Bpc != 4 && Bpc != 8 && Bpc != 16) BadParam("/BitsPerComponent", Bpc);
  if (Params.Columns < 1) BadParam("/Columns", Params.Columns);

  const uint64_t BitsPerPixel = static_cast<uint64_t>(Params.Colors) * static_cast<uint64_t>(Bpc);
  const uint64_t RowBytes = (BitsPerPixel * static_cast<uint64_t>(Params.Columns) + 7) / 8;
  CheckRowBytes("/Columns", Params.Columns, RowBytes);
  if (Png)
    return UndoPNG(Data, static_cast<size_t>(RowBytes), static_cast<size_t>((BitsPerPixel + 7) / 8),
                   false);
  return UndoTIFF(Data, static_cast<size_t>(RowBytes), Params);
}

}  // namespace vx
