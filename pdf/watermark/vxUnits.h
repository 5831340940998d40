// Measurement units of the document's public surface, and page sizes and
// boxes in them. Everything inside PDF is in points.
#pragma once

#include <cstdint>
#include <string_view>

#include "pdf/fonts/vxTextMeasure.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

enum TvxMeasurementUnit : uint8_t {
  muPixels = 0,
  muPoints = 1,
  muInches = 2,
  muMM = 3,
  muTwips = 4,
};

// Deliberately not 72 / 25.4: both directions use this constant, so a value
// converted there and back is unchanged up to rounding.
inline constexpr double PointsPerMM = 2.83464;
inline constexpr double PointsPerTwip = 0.05;

// True when V rounds to 0 (to nearest, halves to even), as a box corner at
// the origin is told.
bool RoundsToZero(double V);
// An unknown unit value converts as points.
double UnitToPoints(TvxMeasurementUnit Unit, double Value);
double PointsToUnit(TvxMeasurementUnit Unit, double Value);
TvxPDFRect PointsToUnit(TvxMeasurementUnit Unit, const TvxPDFRect& Rect);

struct TvxPageSize {
  double Width = 0;
  double Height = 0;
};

// The page's /CropBox when it resolves to an array, else its /MediaBox, in
// points and normalised (Left <= Right, Bottom <= Top); references are
// resolved through Store. An element that is no number raises
// EUnexpectedObjectError; a page with neither box raises
// EPDFFileCorruptedError.
TvxPDFRect GetPageBoxOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store);
TvxPDFRect GetPageBoxOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                        TvxMeasurementUnit Unit);
// The first of the page's /CropBox and /MediaBox that is an array of four
// numbers, as GetPageBoxOf reads it; false when neither is.
bool FindUsablePageBox(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                       TvxPDFRect& Box);
// The part of the page a viewer shows: the usable box FindUsablePageBox
// finds, clipped to a usable /MediaBox; false when the page has neither box.
bool FindVisiblePageBox(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                        TvxPDFRect& Box);
// A page's /Rotate as viewers apply it: 0, 90, 180 or 270 (clockwise), taken
// modulo 360; a value that is no multiple of 90 counts as 0.
int32_t DisplayRotation(int32_t Rotate);
TvxPageSize GetPageSizeOf(const TvxPDFDictObject& Page, const TvxPDFObjectStore& Store,
                          TvxMeasurementUnit Unit);

}  // namespace vx
