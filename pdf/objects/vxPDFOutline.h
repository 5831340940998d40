// One outline item, as read from a file and rebuilt on save.
#pragma once

#include <cstdint>
#include <memory>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// It owns its first child and its next sibling.
class TvxPDFOutline : public TvxPDFIndirectObject {
 public:
  // Items nested deeper are left out: no real outline comes near, and reading
  // and rebuilding recurse once per level.
  static constexpr int MaxOutlineDepth = 256;

  TvxPDFOutline(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration,
                TvxPDFObjectPtr AValue);
  ~TvxPDFOutline() override;

  bool Closed = false;
  TvxPDFOutline* Parent = nullptr;  // not owned
  std::unique_ptr<TvxPDFOutline> FirstChild;
  TvxPDFOutline* PrevSibling = nullptr;  // not owned
  std::unique_ptr<TvxPDFOutline> NextSibling;
};

}  // namespace vx
