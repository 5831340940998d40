// The per-call processor that builds a watermark's content stream for each
// page box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxPDFSource.h"
#include "pdf/watermark/vxContentScan.h"
#include "pdf/watermark/vxPageRange.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkTemplate.h"

namespace vx {

// A page box in points, as stamped, and the page's display rotation (0, 90,
// 180 or 270 clockwise): a turned page is stamped as it is shown.
struct TvxPageRect {
  double Left = 0, Bottom = 0, Right = 0, Top = 0;
  int32_t Rotation = 0;
};

// The box a page with Box's rotation shows, with its lower left corner at 0 0.
TvxPageRect ShownBox(const TvxPageRect& Box);

class TvxWatermarkProcessor {
 public:
  TvxWatermarkProcessor(TvxMeasurementUnit AUnit, TvxCustomWatermarkTemplate& ATemplate);
  TvxWatermarkProcessor(const TvxWatermarkProcessor&) = delete;
  TvxWatermarkProcessor& operator=(const TvxWatermarkProcessor&) = delete;

  // The anchor on Box for the template's positions, before alignment.
  void ComputeAnchor(const TvxPageRect& Box, double& X, double& Y) const;
  // The content stream for one page as a new indirect object, marked used
  // once; the caller adds it to the store.
  std::unique_ptr<TvxPDFIndirectObject> CreateWatermarkStream(
      const std::string& FontName, const std::string& GSName, const TvxPageRect& Box,
      int32_t DocumentID, int32_t ObjectNumber, const std::string& FormName = {});
  // The content text for one page box: the template's, laid out on the page
  // as shown when the box is turned or the template scales; with FormName,
  // the page shows that form of tiled copies instead.
  void BuildPageContent(const std::string& FontName, const std::string& GSName,
                        const TvxPageRect& Box, const std::string& FormName, std::string& Content);
  // The box the watermark is laid out on for Box (the shown page from its
  // lower left corner, divided by the scale), and the scale S.
  TvxPDFRect LaidBox(const TvxPageRect& Box, double& S) const;
  // The content of a form holding the tiled copies over Laid, at scale S.
  // Copies counts down what the call may still draw; once it is spent, a
  // form holds only the middle copy.
  std::string BuildTileForm(const std::string& FontName, const std::string& GSName,
                            const TvxPDFRect& Laid, double S, int64_t& Copies);
  // Index of the first stamped box equal to Box, or -1.
  int32_t FindPageRect(const TvxPageRect& Box) const;
  // A new reference to the stream made for the Index-th page.
  std::unique_ptr<TvxPDFIndirectReference> GetStreamRef(int32_t Index) const;

  struct TvxStreamID {
    int32_t DocumentID, ObjectNumber;
  };

  TvxCustomWatermarkTemplate& Template;
  // One entry per stream made, in order (held by value: a page costs no
  // allocation here).
  std::vector<TvxPageRect> PageRects;
  std::vector<TvxStreamID> StreamRefs;
  TvxMeasurementUnit Unit;
  // When set, a page whose box, font name and opacity name equal an earlier
  // page's shares that page's content bytes instead of building them again
  // (the text then holds no per-page variables).
  bool ReuseContent = false;
  // Layer mode: the page's name of the watermark group; the content is
  // marked as the group's artifact. Empty otherwise.
  std::string LayerName;
  // With ReuseContent: pages whose content would be the same share one
  // stream object instead of one each. SharedStream gives that object's
  // number (-1 for none yet); RememberStream notes a new one.
  bool ShareStreams = false;
  int32_t SharedStream(const std::string& FontName, const std::string& GSName,
                       const TvxPageRect& Box, const std::string& FormName) const;
  void RememberStream(const std::string& FontName, const std::string& GSName,
                      const TvxPageRect& Box, const std::string& FormName, int32_t ObjectNumber);

 private:
  struct TvxBoxKey {
    double L, B, R, T;
    int32_t Rotation;
    bool operator==(const TvxBoxKey&) const = default;
  };
  struct TvxBoxHash {
    size_t operator()(const TvxBoxKey& K) const noexcept;
  };
  // What a page's content text depends on besides the template: its box
  // and its two resource names.
  struct TvxContentKey {
    int32_t Box;
    std::string FontName, GSName, FormName, LayerName;
    bool operator==(const TvxContentKey&) const = default;
  };
  struct TvxContentHash {
    size_t operator()(const TvxContentKey& K) const noexcept;
  };
  std::unordered_map<TvxBoxKey, int32_t, TvxBoxHash> FRectIndex;
  std::unordered_map<TvxContentKey, int32_t, TvxContentHash> FStreams;
  // Each content text once, held in memory as a source that every stream
  // showing it reads from: 10,000 pages with one box keep one copy.
  std::unordered_map<TvxContentKey, TvxPDFSourcePtr, TvxContentHash> FContents;
  // The entry used last: pages in a row mostly share it.
  const std::pair<const TvxContentKey, TvxPDFSourcePtr>* FLastContent = nullptr;  // not owned
};

}  // namespace vx
