// The document's snapshots: one load stamped again and again.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"

namespace vx {

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
