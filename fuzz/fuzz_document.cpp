// Feeds arbitrary bytes to the whole load (cross-reference chain, object
// streams, catalog, page tree, outlines, form), or to its repair, and writes
// what loads. Only the engine's own exceptions may come out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxDecodeLimit.h"
#include "pdf/objects/vxExceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Small inputs must not inflate into huge allocations.
  static vx::TvxScopedDecodeLimit Limit(64 << 20);
  vx::TvxPDFDocument Doc;
  // A leading "R" loads the rest with repair on.
  if (Size > 0 && Data[0] == 'R') {
    Doc.RepairDamaged = true;
    ++Data;
    --Size;
  }
  try {
    Doc.LoadFromMemory(std::string(reinterpret_cast<const char*>(Data), Size));
    vx::TvxMemoryStream Out;
    Doc.WriteDocument(Out);
    Doc.SetCompression(0, 1);
    Out.Clear();
    Doc.WriteDocument(Out);
  } catch (const vx::Exception&) {
  }
  return 0;
}
