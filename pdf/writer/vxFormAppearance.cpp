#include "pdf/writer/vxFormAppearance.h"

#include "pdf/objects/vxObjectCasts.h"

namespace vx {

void SetNeedAppearances(TvxDocumentData& Data, int32_t AppearanceMode) {
  if (AppearanceMode != 0 && AppearanceMode != 1) return;
  TvxPDFDictObject* Form = AsDict(Data.FStore->Resolve(Data.FCatalog->AcroForm.get()));
  if (!Form) return;
  const bool Need = AppearanceMode == 0;
  int32_t I = Form->IndexOf("/NeedAppearances");
  if (I < 0)
    Form->Add("/NeedAppearances", std::make_unique<TvxPDFBooleanObject>(Need));
  else if (auto* Flag = ObjectAs<TvxPDFBooleanObject>(Form->Values[I].get()))
    Flag->Value = Need;
  else
    (void)Form->PutValueAt(I, std::make_unique<TvxPDFBooleanObject>(Need));
}

}  // namespace vx
