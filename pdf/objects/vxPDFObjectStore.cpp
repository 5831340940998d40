#include "pdf/objects/vxPDFObjectStore.h"

#include <mutex>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

int DigitCount(int64_t X) {
  if (X < 0) X = -X;
  int N = 1;
  while (X >= 10) {
    X /= 10;
    ++N;
  }
  return N;
}

__int128 Pow10(int N) {
  __int128 R = 1;
  while (N-- > 0) R *= 10;
  return R;
}

[[noreturn]] void Unexpected() {
  throw EUnexpectedObjectError(std::string(msg::UnexpectedObject));
}

std::mutex DocumentCounterLock;
int32_t DocumentCounter = 0;

}  // namespace

int32_t MakeUniqueID(int32_t DocumentID, int32_t ObjectNumber, uint16_t Generation) {
  __int128 V = DocumentID;
  V = V * Pow10(DigitCount(ObjectNumber)) + ObjectNumber;
  V = V * Pow10(DigitCount(Generation)) + Generation;
  return static_cast<int32_t>(
      static_cast<uint32_t>(static_cast<unsigned __int128>(V) & 0xFFFFFFFFu));
}

int32_t NextDocumentID() {
  std::lock_guard<std::mutex> Lock(DocumentCounterLock);
  return ++DocumentCounter;
}

TvxPDFObjectStore::~TvxPDFObjectStore() {
  // Destroyed in list order.
  for (auto& Obj : FOwned) Obj.reset();
}

TvxPDFIndirectObject* TvxPDFObjectStore::AddObject(std::unique_ptr<TvxPDFIndirectObject> Obj) {
  if (!Obj) throw ENullObjectError(std::string(msg::ExpectedNull));
  int32_t ID = MakeUniqueID(Obj->DocumentID, Obj->ObjectNumber, Obj->Generation);
  if (Obj->DocumentID < 0 || Obj->ObjectNumber < 0)
    throw EInvalidID(FormatMessage(msg::InvalidUniqueID, ID));
  // Large numbers may give a negative ID; the list keeps it in range, lookups
  // go by the whole triple anyway.
  int32_t ListID = ID & 0x7FFFFFFF;
  TvxPDFIndirectObject* Raw = Obj.get();
  int32_t Index = Objects.Add(ListID, Raw);
  FOwned.push_back(std::move(Obj));
  FIndex.Insert(TvxObjectKey{Raw->DocumentID, Raw->ObjectNumber, Raw->Generation}, Index, Raw);
  if (FIDIndexBuilt) FIDIndex.Insert(ID, Index);
  return Raw;
}

void TvxPDFObjectStore::DropObjectsFrom(int32_t Count) {
  if (Count < 0 || Count >= this->Count()) return;
  while (static_cast<int32_t>(FOwned.size()) > Count) FOwned.pop_back();
  // The indexes cannot forget single entries: they are made again from
  // what is left.
  std::vector<TvxObjectList::TvxObjectListItem> Kept;
  Kept.reserve(static_cast<size_t>(Count));
  for (int32_t I = 0; I < Count; ++I) Kept.push_back({Objects.GetUniqueID(I), Objects.GetItem(I)});
  Objects.Clear();
  Objects.SetCapacity(Count);
  FIndex.Clear();
  FIDIndex.Clear();
  FIDIndexBuilt = false;
  for (const auto& Item : Kept) {
    const int32_t Index = Objects.Add(Item.UniqueID, Item.Object);
    auto* Raw = static_cast<TvxPDFIndirectObject*>(Item.Object);
    FIndex.Insert(TvxObjectKey{Raw->DocumentID, Raw->ObjectNumber, Raw->Generation}, Index, Raw);
  }
}

int32_t TvxPDFObjectStore::IndexOfObject(int32_t DocumentID, int32_t ObjectNumber,
                                         uint16_t Generation) const {
  return FIndex.Find(TvxObjectKey{DocumentID, ObjectNumber, Generation});
}

int32_t TvxPDFObjectStore::IndexOfID(int32_t UniqueID) const {
  if (!FIDIndexBuilt) {
    // In list order, so that the first object of an ID is the one found.
    for (int32_t I = 0; I < Count(); ++I) {
      const TvxPDFIndirectObject* Obj = GetObject(I);
      FIDIndex.Insert(MakeUniqueID(Obj->DocumentID, Obj->ObjectNumber, Obj->Generation), I);
    }
    FIDIndexBuilt = true;
  }
  return FIDIndex.Find(UniqueID);
}

TvxPDFIndirectObject* TvxPDFObjectStore::GetObject(int32_t Index) const {
  // AddObject is the only way in.
  return ObjectAs<TvxPDFIndirectObject>(Objects.GetItem(Index));
}

TvxPDFIndirectObject* TvxPDFObjectStore::FindObject(const TvxPDFObject* Obj) const {
  TvxObjectKey Key;
  if (const auto* R = ObjectAs<TvxPDFIndirectReference>(Obj)) {
    Key = {R->DocumentID, R->ObjectNumber, R->Generation};
  } else if (const auto* O = ObjectAs<TvxPDFIndirectObject>(Obj)) {
    Key = {O->DocumentID, O->ObjectNumber, O->Generation};
  } else {
    return nullptr;
  }
  const auto* Slot = FIndex.FindSlot(Key);
  return Slot ? Slot->Payload : nullptr;
}

TvxPDFObject* TvxPDFObjectStore::Follow(TvxPDFObject* Obj) const {
  for (int64_t Steps = 0; Obj && Obj->IsIndirectReference(); ++Steps) {
    if (Steps >= MaxReferenceChain) return nullptr;
    TvxPDFIndirectObject* Target = FindObject(Obj);
    if (!Target) return nullptr;
    Obj = Target->Value.get();
  }
  return Obj;
}

TvxPDFObject* TvxPDFObjectStore::Resolve(TvxPDFObject* Obj) const {
  for (int64_t Steps = 0; Obj && (Obj->IsIndirectReference() || Obj->IsIndirectObject()); ++Steps) {
    if (Steps >= 2 * MaxReferenceChain) return nullptr;
    if (auto* O = ObjectAs<TvxPDFIndirectObject>(Obj)) {
      Obj = O->Value.get();
    } else {
      Obj = FindObject(Obj);
    }
  }
  return Obj;
}

TvxPDFDictObject* TvxPDFObjectStore::ResolveDict(TvxPDFObject* Obj) const {
  if (Obj && Obj->IsIndirectReference()) Obj = Follow(Obj);
  if (!Obj) return nullptr;
  auto* Dict = AsDict(Obj);
  if (!Dict) Unexpected();
  return Dict;
}

TvxPDFNameObject* TvxPDFObjectStore::ResolveName(TvxPDFObject* Obj) const {
  if (Obj && Obj->IsIndirectReference()) Obj = Follow(Obj);
  if (!Obj) return nullptr;
  auto* Name = ObjectAs<TvxPDFNameObject>(Obj);
  if (!Name) Unexpected();
  return Name;
}

TvxPDFIntegerObject* TvxPDFObjectStore::ResolveInteger(TvxPDFObject* Obj) const {
  if (Obj && Obj->IsIndirectReference()) Obj = Follow(Obj);
  if (!Obj) return nullptr;
  auto* N = ObjectAs<TvxPDFIntegerObject>(Obj);
  if (!N) Unexpected();
  return N;
}

TvxPDFStringObject* TvxPDFObjectStore::ResolveString(TvxPDFObject* Obj) const {
  if (Obj && Obj->IsIndirectReference()) Obj = Follow(Obj);
  if (!Obj) return nullptr;
  auto* Text = ObjectAs<TvxPDFStringObject>(Obj);
  if (!Text) Unexpected();
  return Text;
}

TvxPDFArrayObject* TvxPDFObjectStore::ResolveArray(
    TvxPDFObject* Obj, std::unique_ptr<TvxPDFArrayObject>& Owned) const {
  if (Obj && Obj->IsIndirectReference()) Obj = Follow(Obj);
  if (!Obj || Obj->IsNull()) return nullptr;
  if (auto* Array = ObjectAs<TvxPDFArrayObject>(Obj)) return Array;
  if (Obj->IsName()) {
    Owned = std::make_unique<TvxPDFArrayObject>();
    Owned->Add(Obj->Clone());
    return Owned.get();
  }
  Unexpected();
}

}  // namespace vx
