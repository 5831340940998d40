#include "pdf/reader/vxFormReader.h"

#include <unordered_set>
#include <vector>

#include "pdf/objects/vxObjectCasts.h"

namespace vx {

TvxPDFIndirectObject* TvxFormReader::FetchObject(int32_t N) {
  TvxLoadedObject Loaded = FLoader.LoadObject(N);
  if (!Loaded) return nullptr;
  Loaded.Object->MarkUsed();
  if (Loaded.Fresh) return FData.FStore->AddObject(std::move(Loaded.Fresh));
  return Loaded.Object;
}

void TvxFormReader::LoadAcroForm(TvxPDFObject* Value) {
  if (!Value) return;
  FFieldsSeen.clear();
  TvxPDFDictObject* Form = nullptr;
  if (Value->IsIndirectReference()) {
    if (TvxPDFIndirectObject* Obj = FetchObject(AsReference(Value).ObjectNumber))
      Form = AsDict(Obj->Value.get());
  } else {
    Form = AsDict(Value);
  }
  if (!Form) return;

  // Every entry, not only the standard ones: a reference left unloaded
  // would be written pointing nowhere.
  for (int32_t I = 0; I < Form->Count(); ++I)
    if (!Form->Keys[I] || Form->Keys[I]->Text != "/Fields")
      FLoader.LoadReferences(Form->Values[I].get());

  TvxPDFObject* Fields = Form->Lookup("/Fields");
  if (Fields && (Fields->IsArray() || Fields->IsIndirectReference())) {
    std::unique_ptr<TvxPDFIndirectObject> Holder;
    std::vector<TvxRefKey> Refs;
    if (TvxPDFArrayObject* A = FLoader.ResolveArrayLoading(Fields, true, Holder)) {
      for (int32_t I = 0; I < A->Count(); ++I) {
        TvxPDFObject* Item = A->GetItem(I);
        if (Item && Item->IsIndirectReference()) {
          const auto& R = AsReference(Item);
          Refs.push_back({R.DocumentID, R.ObjectNumber, R.Generation});
        } else {
          FLoader.LoadReferences(Item);
        }
      }
    }
    for (const TvxRefKey& R : Refs) ReadField(R);
  }

  if (Value->IsDict()) {
    // A form given directly is written as an object of its own.
    TvxPDFObjectPtr Dict = FData.FCatalog->AcroForm.get() == Value
                               ? std::move(FData.FCatalog->AcroForm)
                               : Value->Clone();
    auto Obj = std::make_unique<TvxPDFIndirectObject>(
        FData.FDocumentID, FData.FStore->NewObjectNumber(), 0, std::move(Dict));
    Obj->MarkUsed();
    TvxPDFIndirectObject* Stored = FData.FStore->AddObject(std::move(Obj));
    FData.FCatalog->AcroForm = MakeReference(*Stored);
  }
}

void TvxFormReader::ReadField(const TvxRefKey& Ref) {
  // Kids are taken from a list, not by recursion: field trees can be deep
  // or name their own ancestors.
  std::vector<TvxRefKey> Pending{Ref};
  // A kid is listed once, and a /Kids array object shared by many fields is
  // expanded once: the list stays as long as the file.
  std::unordered_set<int64_t> Listed{(int64_t{Ref.ObjectNumber} << 16) | Ref.Generation};
  std::unordered_set<int32_t> KidsExpanded;
  while (!Pending.empty()) {
    TvxRefKey R = Pending.back();
    Pending.pop_back();
    TvxPDFIndirectReference Probe(R.DocumentID, R.ObjectNumber, R.Generation);
    TvxPDFIndirectObject* Field = FData.FStore->FindObject(&Probe);
    if (Field)
      Field->MarkUsed();
    else
      Field = FetchObject(R.ObjectNumber);
    if (!Field || !FFieldsSeen.insert(Field).second) continue;
    TvxPDFDictObject* Dict = AsDict(Field->Value.get());
    if (!Dict) continue;
    for (int32_t I = 0; I < Dict->Count(); ++I)
      if (!Dict->Keys[I] || Dict->Keys[I]->Text != "/Kids")
        FLoader.LoadReferences(Dict->Values[I].get());
    TvxPDFObject* Kids = Dict->Lookup("/Kids");
    if (!Kids || !(Kids->IsArray() || Kids->IsIndirectReference())) continue;
    if (Kids->IsIndirectReference() && !KidsExpanded.insert(AsReference(Kids).ObjectNumber).second)
      continue;
    std::unique_ptr<TvxPDFIndirectObject> Holder;
    TvxPDFArrayObject* A = FLoader.ResolveArrayLoading(Kids, true, Holder);
    if (!A) continue;
    // Pushed last first, so kids are read in their order, each with its own
    // kids before the next one.
    for (int32_t I = A->Count(); I-- > 0;) {
      TvxPDFObject* Kid = A->GetItem(I);
      if (Kid && Kid->IsIndirectReference()) {
        const auto& K = AsReference(Kid);
        if (Listed.insert((int64_t{K.ObjectNumber} << 16) | K.Generation).second)
          Pending.push_back({K.DocumentID, K.ObjectNumber, K.Generation});
      } else {
        FLoader.LoadReferences(Kid);
      }
    }
  }
}

}  // namespace vx
