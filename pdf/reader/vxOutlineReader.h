// Reads the outline tree while the catalog is loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>

#include "pdf/objects/vxPDFOutline.h"
#include "pdf/reader/vxNamedDests.h"

namespace vx {

class TvxOutlineReader {
 public:
  TvxOutlineReader(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader,
                   const TvxNamedDests& Dests)
      : FData(Data), FEvents(Events), FLoader(Loader), FDests(Dests) {}

  // The outline root the catalog's /Outlines names with its items, or nil.
  std::unique_ptr<TvxPDFOutline> LoadOutlines(TvxPDFDictObject& Catalog);

 private:
  // Reads the sibling chain starting at object N with their children.
  std::unique_ptr<TvxPDFOutline> ReadOutlineItem(int32_t N, TvxPDFOutline* Parent,
                                                 TvxPDFOutline* Prev, int Depth);
  // One item without its links; First and Next get the numbers its /First
  // and /Next name (0 when none).
  std::unique_ptr<TvxPDFOutline> ReadOneItem(int32_t N, TvxPDFOutline* Parent, TvxPDFOutline* Prev,
                                             int32_t& First, int32_t& Next);
  void ProcessAction(TvxPDFDictObject& Action);
  // True for an outline item or root: a dictionary that is neither a page,
  // nor a form field, nor an annotation. Its rebuilt item replaces it in the
  // saved file.
  bool IsOutlineCopy(const TvxPDFIndirectObject& Obj) const;

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxObjectLoader& FLoader;
  const TvxNamedDests& FDests;
  std::unordered_set<int32_t> FOutlineSeen;                  // item objects read
  std::unordered_set<const TvxPDFIndirectObject*> FPageSet;  // while the outline is read
  bool FDepthWarned = false;
};

}  // namespace vx
