// The document's outlines, named destinations, name trees and form: the
// catalog reader hands them over here on load, and the outlines read are
// rebuilt on every save.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/vxPDFOutline.h"
#include "pdf/reader/vxCatalogReader.h"
#include "pdf/reader/vxFormReader.h"
#include "pdf/reader/vxNamedDests.h"

namespace vx {

class TvxCatalogContent : public TvxCatalogHandlers {
 public:
  static constexpr int MaxOutlineDepth = TvxPDFOutline::MaxOutlineDepth;

  TvxCatalogContent(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader);
  ~TvxCatalogContent() override;

  // Load side, called by the catalog reader.
  void ReadDestsDictionary(TvxPDFObject* Value) override;
  void LoadAcroForm(TvxPDFObject* Value) override;
  void ReadNameDictionary(TvxPDFObject* Value) override;
  void LoadOutlines(TvxPDFDictObject& Catalog) override;

  // A copy of the named destination's value, or nil.
  TvxPDFObjectPtr FindNamedDest(const std::string& Name) const {
    return FNamedDests.FindNamedDest(Name);
  }

  // Save side: rebuilds the outline objects into SaveStore and points the
  // catalog's Outlines at the new root.
  void BuildOutlines(TvxPDFObjectStore& SaveStore);
  // 0 sets /NeedAppearances true, 1 false, anything else leaves it.
  void SetNeedAppearances(int32_t AppearanceMode);

  TvxPDFOutline* OutlineRoot() const { return FOutlineRoot.get(); }

 private:
  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxNamedDests FNamedDests;
  TvxFormReader FForm;
  std::unique_ptr<TvxPDFOutline> FOutlineRoot;
};

}  // namespace vx
