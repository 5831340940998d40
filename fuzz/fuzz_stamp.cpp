// Stamps whatever loads from arbitrary bytes: resources that are null, shared
// or broken, content in any shape, states left open, turned pages, in both
// modes, sized to the page and tiled, in a layer and taken off again. Only the engine's own
// exceptions may come out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxDecodeLimit.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxRandom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static vx::TvxScopedDecodeLimit Limit(64 << 20);
  vx::RandomSeed(1);
  vx::TvxPDFDocument Doc;
  try {
    Doc.LoadFromMemory(std::string(reinterpret_cast<const char*>(Data), Size));
    if (Doc.PageCount() == 0) return 0;
    Doc.MeasurementUnit = vx::muPoints;
    // The last byte picks the job, so the fuzzer can reach every branch.
    const uint8_t Pick = Size ? Data[Size - 1] : 0;
    vx::TvxTextWatermarkTemplate T;
    T.Text = (Pick & 1) ? u"A(b)\\c\n<%PageNo%> of <%TotPage%>" : u"Draft";
    T.Angle = static_cast<int32_t>(Pick) * 45 - 400;
    T.Overlay = (Pick & 2) != 0;
    T.Opacity = (Pick & 4) ? 50 : 100;
    T.HorizontalPosition = static_cast<vx::TvxHorizontalPosition>((Pick >> 3) & 3);
    T.VerticalPosition = static_cast<vx::TvxVerticalPosition>((Pick >> 5) & 3);
    T.Font->Size = 24;
    T.Font->Underline = (Pick & 0x80) != 0;
    T.Font->StrikeOut = (Pick & 0x40) != 0;
    // The byte before picks sizing to the page and tiling.
    const uint8_t Mode = Size > 1 ? Data[Size - 2] : 0;
    T.Scale = (Mode & 1) ? 40 : 0;
    T.Tile = (Mode & 2) != 0;
    T.TileStagger = (Mode & 4) != 0;
    T.TileGapX = T.TileGapY = (Mode & 8) ? 10 : 0;
    // Records and layers in the input are as untrusted as the rest.
    std::vector<std::string> Notes;
    if (Mode & 32) Doc.RemoveWatermarks(Notes);
    T.Layer = (Mode & 16) != 0;
    T.LayerView = (Mode & 64) == 0;
    Doc.InsertWatermark(T, (Pick & 8) ? "1,1" : "");
    if (Mode & 128) {
      Doc.FindWatermarks();
      Doc.RemoveWatermarks(Notes);
    }
    vx::TvxMemoryStream Out;
    Doc.WriteDocument(Out);
  } catch (const vx::Exception&) {
  }
  return 0;
}
