// Views of a value as one kind, nil (or 0) when it is of another.
#pragma once

#include <cstdint>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// The object number a reference names, 0 for anything else.
inline int32_t ReferenceNumber(const TvxPDFObject* V) {
  return V && V->IsIndirectReference()
             ? static_cast<const TvxPDFIndirectReference*>(V)->ObjectNumber
             : 0;
}

// V must be a reference.
inline const TvxPDFIndirectReference& AsReference(const TvxPDFObject* V) {
  return *static_cast<const TvxPDFIndirectReference*>(V);
}

inline TvxPDFDictObject* AsDict(TvxPDFObject* V) {
  return V && V->IsDict() ? static_cast<TvxPDFDictObject*>(V) : nullptr;
}
inline const TvxPDFDictObject* AsDict(const TvxPDFObject* V) {
  return V && V->IsDict() ? static_cast<const TvxPDFDictObject*>(V) : nullptr;
}

}  // namespace vx
