// A watermark job as both front ends describe it: what to stamp, on which
// pages, and how the copy is saved. It starts at the window's defaults, and
// it is read from and written to a JSON job file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxPDFEncryptionSettings.h"
#include "pdf/state/vxDocumentEnums.h"
#include "pdf/watermark/vxWatermarkTemplate.h"

namespace vx {

struct TvxWatermarkJob {
  // The watermark font; Name is UTF-8, Size in whole points.
  struct TvxJobFont {
    std::string Name = "Arial";
    int32_t Size = 36;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    TvxColor Color = MakeColor(0xFF, 0, 0);

    bool operator==(const TvxJobFont&) const = default;
  };

  std::u16string Text = u"Type your watermark text here";  // a line end starts a new line
  int32_t Angle = 45;                                      // degrees, counter-clockwise
  TvxJobFont Font;
  TvxTextRenderMode RenderMode = trFillStroke;
  TvxColor StrokeColor = MakeColor(0, 0, 0xFF);
  bool Overlay = false;  // over the content rather than under it
  TvxHorizontalPosition HorizontalPosition = hpCenter;
  TvxVerticalPosition VerticalPosition = vpCenter;
  std::string Pages;  // a page range; empty for every page
  int32_t Opacity = 100;
  int32_t Scale = 0;  // percent of the shown page's shorter side; 0 keeps the size
  // Copies in a grid over the whole page, TileGapX, TileGapY apart (in
  // points); every other row shifted by half a step with TileStagger.
  bool Tile = false;
  double TileGapX = 0, TileGapY = 0;
  bool TileStagger = false;
  // Layer mode (a pagination artifact in the "Watermark" group, shown on
  // paper and screen as LayerPrint and LayerView say), and whether the
  // layer watermarks already there are taken off first.
  bool Layer = false;
  bool LayerPrint = true, LayerView = true;
  bool Replace = false;
  // Pages stamped alike share one watermark stream.
  bool Compact = false;
  uint8_t FontEmbedding = 0;  // feNone, feFull or feSubset
  std::optional<TvxEncryptionOptions> Encryption;
  TvxObjectStreams ObjectStreams = TvxObjectStreams::Preserve;
  bool OpenAfterSave = true;

  bool operator==(const TvxWatermarkJob&) const = default;
};

// The text watermark the job stamps. Positions outside left/center/right
// and top/center/bottom are not a job's.
std::unique_ptr<TvxTextWatermarkTemplate> MakeWatermarkTemplate(const TvxWatermarkJob& Job);

// The largest job file read (1 MiB); a job is a few hundred bytes.
inline constexpr size_t MaxJobFileSize = 1 << 20;

// Reads a job from JSON text over Base: keys left out keep Base's values.
// Raises Exception on text that is not JSON, an unknown key, or a value of
// the wrong type or out of range, naming the key ("font.size").
TvxWatermarkJob ReadWatermarkJob(std::string_view Json, const TvxWatermarkJob& Base = {});
// The same from the file Path (bytes as the system names files).
TvxWatermarkJob LoadWatermarkJob(const std::string& Path, const TvxWatermarkJob& Base = {});

// The job as JSON text with every key; passwords only where the job has
// them, and "encrypt": false when it does not encrypt.
std::string WriteWatermarkJob(const TvxWatermarkJob& Job);
void SaveWatermarkJob(const std::string& Path, const TvxWatermarkJob& Job);

}  // namespace vx
