#include "pdf/objects/vxObjectList.h"

#include "pdf/objects/vxExceptions.h"

namespace vx {

int32_t TvxObjectList::Add(int32_t UniqueID, TvxPDFObject* Obj) {
  Insert(FCount, UniqueID, Obj);
  return FCount - 1;
}

void TvxObjectList::Grow() {
  int32_t Delta = FCapacity > 64 ? FCapacity / 4 : FCapacity > 8 ? 16 : 4;
  SetCapacity(FCapacity + Delta);
}

void TvxObjectList::Insert(int32_t Index, int32_t UniqueID, TvxPDFObject* Obj) {
  if (UniqueID < 0) throw EInvalidID(FormatMessage(msg::InvalidUniqueID, UniqueID));
  if (Index < 0 || Index > FCount) throw Exception(FormatMessage(msg::ListIndexOutOfBounds, Index));
  if (FCount == FCapacity) Grow();
  for (int32_t I = FCount; I > Index; --I) FItems[I] = FItems[I - 1];
  FItems[Index] = {UniqueID, Obj};
  ++FCount;
}

TvxPDFObject* TvxObjectList::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= FCount)
    throw Exception(FormatMessage(msg::ListIndexOutOfBounds, Index));
  return FItems[Index].Object;
}

int32_t TvxObjectList::GetUniqueID(int32_t Index) const {
  if (Index < 0 || Index >= FCount)
    throw Exception(FormatMessage(msg::ListIndexOutOfBounds, Index));
  return FItems[Index].UniqueID;
}

int32_t TvxObjectList::IndexOf(int32_t UniqueID) const {
  for (int32_t I = 0; I < FCount; ++I)
    if (FItems[I].UniqueID == UniqueID) return I;
  return -1;
}

void TvxObjectList::Clear() {
  // An empty list keeps its room.
  if (FCount == 0) return;
  FCount = 0;
  SetCapacity(0);
}

void TvxObjectList::SetCapacity(int32_t N) {
  if (N < FCount) N = FCount;
  FItems.resize(static_cast<size_t>(N));
  FItems.shrink_to_fit();
  FCapacity = N;
}

}  // namespace vx
