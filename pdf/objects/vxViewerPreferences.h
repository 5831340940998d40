// The document's /ViewerPreferences dictionary.
#pragma once

#include <memory>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxPDFViewerPreferences {
 public:
  TvxPDFViewerPreferences() : FDict(std::make_unique<TvxPDFDictObject>()) {}
  TvxPDFDictObject& Dict() { return *FDict; }
  const TvxPDFDictObject& Dict() const { return *FDict; }
  void SetDict(std::unique_ptr<TvxPDFDictObject> ADict) {
    FDict = ADict ? std::move(ADict) : std::make_unique<TvxPDFDictObject>();
  }

 private:
  std::unique_ptr<TvxPDFDictObject> FDict;
};

}  // namespace vx
