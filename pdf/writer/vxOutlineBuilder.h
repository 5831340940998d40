// Rebuilds the outline tree read from the source into new objects on save.
#pragma once

#include <cstdint>

#include "pdf/objects/vxPDFOutline.h"
#include "pdf/state/vxDocumentData.h"

namespace vx {

class TvxOutlineBuilder {
 public:
  TvxOutlineBuilder(TvxDocumentData& Data, TvxDocumentEvents& Events)
      : FData(Data), FEvents(Events) {}

  // Rebuilds the outline objects under OutlineRoot into SaveStore and points
  // the catalog's Outlines at the new root; nothing without a root.
  void BuildOutlines(TvxPDFOutline* OutlineRoot, TvxPDFObjectStore& SaveStore);

 private:
  // Builds the chain of siblings starting at First under Parent; gives the
  // first and last item written and their number.
  TvxPDFOutline* BuildOutlineItems(TvxPDFOutline& Parent, TvxPDFOutline* First, int32_t& Count,
                                   TvxPDFOutline*& Last, TvxPDFObjectStore& SaveStore, int Depth);
  void BuildOutlineItem(TvxPDFOutline& Parent, TvxPDFOutline* Prev, TvxPDFOutline* Next,
                        TvxPDFOutline& Item, TvxPDFObjectStore& SaveStore, int Depth);
  // True when the item's destination page is not written.
  bool DestinationDropped(const TvxPDFOutline& Item);
  void AssignNumber(TvxPDFOutline& Item);

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  bool FDepthWarned = false;
};

}  // namespace vx
