#include "pdf/watermark/vxUnits.h"

#include <algorithm>
#include <cmath>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

// A box element through references; a value that is no number raises as
// GetNumberValue does.
double BoxNumber(TvxPDFObject* Item, const TvxPDFObjectStore& Store) {
  return GetNumberValue(Store.Resolve(Item));
}

// Reads Key of Page as a rectangle; false when the key does not resolve to an
// array. Any two opposite corners describe a rectangle, so the corners are
// put in order: a box stored top-right corner first is a valid page.
bool ReadBox(const TvxPDFDictObject& Page, std::string_view Key, const TvxPDFObjectStore& Store,
             TvxPDFRect& Box) {
  std::unique_ptr<TvxPDFArrayObject> Owned;
  TvxPDFArrayObject* Array = Store.ResolveArray(Page.Lookup(Key), Owned);
  if (!Array) return false;
  double N[4];
  for (int32_t I = 0; I < 4; ++I) N[I] = BoxNumber(Array->GetItem(I), Store);
  Box.Left = std::min(N[0], N[2]);
  Box.Right = std::max(N[0], N[2]);
  Box.Bottom = std::min(N[1], N[3]);
  Box.Top = std::max(N[1], N[3]);
  return true;
}

// Key of Page as a rectangle when it is an array whose first four elements
// are numbers; false otherwise, without raising.
bool ReadUsableBox(const TvxPDFDictObject& Page, std::string_view Key,
                   const TvxPDFObjectStore& Store, TvxPDFRect& Box) {
  const auto* Array = ObjectAs<TvxPDFArrayObject>(Store.Resolve(Page.Lookup(Key)));
  if (!Array || Array->Count() < 4) return false;
  for (int32_t I = 0; I < 4; ++I) {
    const TvxPDFObject* V = Store.Resolve(Array->GetItem(I));
    if (!V || !(V->IsInteger() || V->IsReal())) return false;
  }
  return ReadBox(Page, Key, Store, Box);
}

}  // namespace

bool RoundsToZero(double V) {
  return std::nearbyint(V) == 0;
}

double UnitToPoints(TvxMeasurementUnit Unit, double Value) {
  switch (Unit) {
    case muPixels: return PixelsToPoints(Value);
    case muPoints: return Value;
    case muInches: return Value * 72;
    case muMM: return Value * PointsPerMM;
    case muTwips: return Value * PointsPerTwip;
  }
  return Value;
}

double PointsToUnit(TvxMeasurementUnit Unit, double Value) {
  switch (Unit) {
    case muPixels: return PointsToPixels(Value);
    case muPoints: return Value;
    case muInches: return Value / 72;
    case muMM: return Value / PointsPerMM;
    case muTwips: return Value / PointsPerTwip;
  }
  return Value;
}

TvxPDFRect PointsToUnit(TvxMeasurementUnit Unit, const TvxPDFRect& Rect) {
  return TvxPDFRect{PointsToUnit(Unit, Rect.Left), PointsToUnit(Unit, Rect.Bottom),
                    PointsToUnit(Unit, Rect.Right), PointsToUnit(Unit, Rect.Top)};
}

TvxPDFRect GetPageBoxOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store) {
  TvxPDFRect Box;
  if (ReadBox(Page, "/CropBox", Store, Box)) return Box;
  if (ReadBox(Page, "/MediaBox", Store, Box)) return Box;
  throw EPDFFileCorruptedError(std::string(msg::NoUsablePageBox));
}

bool FindUsablePageBox(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                       TvxPDFRect& Box) {
  return ReadUsableBox(Page, "/CropBox", Store, Box) ||
         ReadUsableBox(Page, "/MediaBox", Store, Box);
}

bool FindVisiblePageBox(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                        TvxPDFRect& Box) {
  TvxPDFRect Media;
  const bool HasCrop = ReadUsableBox(Page, "/CropBox", Store, Box);
  const bool HasMedia = ReadUsableBox(Page, "/MediaBox", Store, Media);
  if (!HasCrop) {
    Box = Media;
    return HasMedia;
  }
  if (!HasMedia) return true;
  // Viewers show only the part of the crop box on the medium; a crop box
  // that misses the medium altogether leaves the medium to show.
  const TvxPDFRect Clipped{std::max(Box.Left, Media.Left), std::max(Box.Bottom, Media.Bottom),
                           std::min(Box.Right, Media.Right), std::min(Box.Top, Media.Top)};
  Box = Clipped.Left < Clipped.Right && Clipped.Bottom < Clipped.Top ? Clipped : Media;
  return true;
}

int32_t DisplayRotation(int32_t Rotate) {
  const int32_t R = (Rotate % 360 + 360) % 360;
  return R % 90 == 0 ? R : 0;
}

TvxPDFRect GetPageBoxOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                        TvxMeasurementUnit Unit) {
  return PointsToUnit(Unit, GetPageBoxOf(Page, Store));
}

TvxPageSize GetPageSizeOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                          TvxMeasurementUnit Unit) {
  TvxPDFRect Box = GetPageBoxOf(Page, Store);
  return TvxPageSize{PointsToUnit(Unit, Box.Right - Box.Left),
                     PointsToUnit(Unit, Box.Top - Box.Bottom)};
}

}  // namespace vx
