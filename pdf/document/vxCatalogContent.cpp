#include "pdf/document/vxCatalogContent.h"

#include "pdf/reader/vxOutlineReader.h"
#include "pdf/writer/vxFormAppearance.h"
#include "pdf/writer/vxOutlineBuilder.h"

namespace vx {

TvxCatalogContent::TvxCatalogContent(TvxDocumentData& Data, TvxDocumentEvents& Events,
                                     TvxObjectLoader& Loader)
    : TvxCatalogHandlers(Loader),
      FData(Data),
      FEvents(Events),
      FNamedDests(Data, Loader),
      FForm(Data, Loader) {}

TvxCatalogContent::~TvxCatalogContent() = default;

void TvxCatalogContent::ReadDestsDictionary(TvxPDFObject* Value) {
  FNamedDests.ReadDestsDictionary(Value);
}

void TvxCatalogContent::ReadNameDictionary(TvxPDFObject* Value) {
  FNamedDests.ReadNameDictionary(Value);
}

void TvxCatalogContent::LoadAcroForm(TvxPDFObject* Value) {
  FForm.LoadAcroForm(Value);
}

void TvxCatalogContent::LoadOutlines(TvxPDFDictObject& Catalog) {
  if (std::unique_ptr<TvxPDFOutline> Root =
          TvxOutlineReader(FData, FEvents, FLoader, FNamedDests).LoadOutlines(Catalog))
    FOutlineRoot = std::move(Root);
}

void TvxCatalogContent::BuildOutlines(TvxPDFObjectStore& SaveStore) {
  TvxOutlineBuilder(FData, FEvents).BuildOutlines(FOutlineRoot.get(), SaveStore);
}

void TvxCatalogContent::SetNeedAppearances(int32_t AppearanceMode) {
  vx::SetNeedAppearances(FData, AppearanceMode);
}

}  // namespace vx
