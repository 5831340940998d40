// The document's snapshots: one load stamped again and again.
#include <utility>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

// Whether A and B hold the same value; streams never count as the same.
// Most objects come through a stamping unchanged: comparing them costs far
// less than copying them back. A stack instead of recursion, as values
// nest as deep as a file likes.
bool SameValue(const TvxPDFObject* A, const TvxPDFObject* B) {
  std::vector<std::pair<const TvxPDFObject*, const TvxPDFObject*>> Pending = {{A, B}};
  while (!Pending.empty()) {
    const auto [X, Y] = Pending.back();
    Pending.pop_back();
    if (!X || !Y) {
      if (X != Y) return false;
      continue;
    }
    if (X->ObjectType != Y->ObjectType) return false;
    switch (X->ObjectType) {
      case otNull: break;
      case otBoolean:
        if (ObjectCast<TvxPDFBooleanObject>(X).Value != ObjectCast<TvxPDFBooleanObject>(Y).Value)
          return false;
        break;
      case otInteger:
        if (ObjectCast<TvxPDFIntegerObject>(X).Value != ObjectCast<TvxPDFIntegerObject>(Y).Value)
          return false;
        break;
      case otInt64:
        if (ObjectCast<TvxPDFInt64Object>(X).Value != ObjectCast<TvxPDFInt64Object>(Y).Value)
          return false;
        break;
      case otReal:
        if (ObjectCast<TvxPDFRealObject>(X).Value != ObjectCast<TvxPDFRealObject>(Y).Value)
          return false;
        break;
      case otString: {
        const auto& S = ObjectCast<TvxPDFStringObject>(X);
        const auto& T = ObjectCast<TvxPDFStringObject>(Y);
        if (S.Text != T.Text || S.IsHex != T.IsHex) return false;
        break;
      }
      case otName:
        if (ObjectCast<TvxPDFNameObject>(X).Text != ObjectCast<TvxPDFNameObject>(Y).Text)
          return false;
        break;
      case otIndirectReference: {
        const auto& R = ObjectCast<TvxPDFIndirectReference>(X);
        const auto& S = ObjectCast<TvxPDFIndirectReference>(Y);
        if (R.DocumentID != S.DocumentID || R.ObjectNumber != S.ObjectNumber ||
            R.Generation != S.Generation)
          return false;
        break;
      }
      case otArray: {
        const auto& R = ObjectCast<TvxPDFArrayObject>(X);
        const auto& S = ObjectCast<TvxPDFArrayObject>(Y);
        if (R.Items.size() != S.Items.size()) return false;
        for (size_t I = 0; I < R.Items.size(); ++I)
          Pending.emplace_back(R.Items[I].get(), S.Items[I].get());
        break;
      }
      case otDict: {
        const auto& R = ObjectCast<TvxPDFDictObject>(X);
        const auto& S = ObjectCast<TvxPDFDictObject>(Y);
        if (R.Keys.size() != S.Keys.size() || R.Values.size() != S.Values.size()) return false;
        for (size_t I = 0; I < R.Keys.size(); ++I) {
          if (R.Keys[I]->Text != S.Keys[I]->Text) return false;
          Pending.emplace_back(R.Values[I].get(), S.Values[I].get());
        }
        break;
      }
      default: return false;
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<TvxDocumentSnapshot> TvxCustomPDFDocument::TakeSnapshot() const {
  auto Snapshot = std::make_unique<TvxDocumentSnapshot>();
  Snapshot->DocumentID = FDocumentID;
  Snapshot->Objects.reserve(static_cast<size_t>(FStore->Count()));
  for (int32_t I = 0; I < FStore->Count(); ++I) {
    const TvxPDFIndirectObject* Obj = FStore->GetObject(I);
    // Stream data left in the file is shared, not read.
    Snapshot->Objects.push_back({Obj->Value ? Obj->Value->Clone() : nullptr, Obj->UseCount});
  }
  Snapshot->LastObjectNumber = FStore->LastObjectNumber;
  if (FCatalog->OtherEntries) Snapshot->CatalogOtherEntries = FCatalog->OtherEntries->CloneDict();
  Snapshot->SaveStateObjNo = FSaveStateObjNo;
  Snapshot->RestoreStateObjNo = FRestoreStateObjNo;
  Snapshot->PDFVersion = FPDFVersion;
  return Snapshot;
}

void TvxCustomPDFDocument::Restore(const TvxDocumentSnapshot& Snapshot) {
  const auto Count = static_cast<int32_t>(Snapshot.Objects.size());
  // A load replaces the store; so does a decrypted read, with fewer objects.
  if (Snapshot.DocumentID != FDocumentID || Count > FStore->Count())
    throw Exception("The snapshot is not of the document as loaded");
  FStore->DropObjectsFrom(Count);
  for (int32_t I = 0; I < Count; ++I) {
    TvxPDFIndirectObject* Obj = FStore->GetObject(I);
    const TvxDocumentSnapshot::TvxSavedObject& Saved = Snapshot.Objects[static_cast<size_t>(I)];
    if (!SameValue(Obj->Value.get(), Saved.Value.get()))
      Obj->Value = Saved.Value ? Saved.Value->Clone() : nullptr;
    Obj->UseCount = Saved.UseCount;
  }
  FStore->LastObjectNumber = Snapshot.LastObjectNumber;
  FCatalog->OtherEntries =
      Snapshot.CatalogOtherEntries ? Snapshot.CatalogOtherEntries->CloneDict() : nullptr;
  FSaveStateObjNo = Snapshot.SaveStateObjNo;
  FRestoreStateObjNo = Snapshot.RestoreStateObjNo;
  FPDFVersion = Snapshot.PDFVersion;
}

}  // namespace vx
