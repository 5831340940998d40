// A loaded document as it was before stamping, for stamping it again and
// again from the same start (one copy per recipient).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxPDFVersion.h"

namespace vx {

struct TvxDocumentSnapshot {
  int32_t DocumentID = 0;  // changes with every load
  struct TvxSavedObject {
    TvxPDFObjectPtr Value;
    int32_t UseCount = 0;
  };
  // The store's objects in store order; objects added later are dropped.
  std::vector<TvxSavedObject> Objects;
  int32_t LastObjectNumber = 0;
  // What stamping changes outside the store.
  std::unique_ptr<TvxPDFDictObject> CatalogOtherEntries;
  int32_t SaveStateObjNo = -1;
  int32_t RestoreStateObjNo = -1;
  TvxPDFVersion PDFVersion = pvPDF14;
};

}  // namespace vx
