#include "pdf/document/vxOutlineManager.h"

#include "pdf/reader/vxOutlineReader.h"
#include "pdf/writer/vxFormAppearance.h"
#include "pdf/writer/vxOutlineBuilder.h"

namespace vx {

TvxOutlineManager::TvxOutlineManager(TvxDocumentData& Data, TvxDocumentEvents& Events,
                                     TvxObjectLoader& Loader)
    : TvxCatalogHandlers(Loader),
      D(Data),
      E(Events),
      FNamedDests(Data, Loader),
      FForm(Data, Loader) {}

TvxOutlineManager::~TvxOutlineManager() = default;

void TvxOutlineManager::ReadDestsDictionary(TvxPDFObject* Value) {
  FNamedDests.ReadDestsDictionary(Value);
}

void TvxOutlineManager::ReadNameDictionary(TvxPDFObject* Value) {
  FNamedDests.ReadNameDictionary(Value);
}

void TvxOutlineManager::LoadAcroForm(TvxPDFObject* Value) {
  FForm.LoadAcroForm(Value);
}

void TvxOutlineManager::LoadOutlines(TvxPDFDictObject& Catalog) {
  if (std::unique_ptr<TvxPDFOutline> Root =
          TvxOutlineReader(D, E, L, FNamedDests).LoadOutlines(Catalog))
    FOutlineRoot = std::move(Root);
}

void TvxOutlineManager::BuildOutlines(TvxPDFObjectStore& SaveStore) {
  TvxOutlineBuilder(D, E).BuildOutlines(FOutlineRoot.get(), SaveStore);
}

void TvxOutlineManager::SetNeedAppearances(int32_t AppearanceMode) {
  vx::SetNeedAppearances(D, AppearanceMode);
}

}  // namespace vx
