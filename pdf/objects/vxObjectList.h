// An unsorted list of objects by unique ID.
#pragma once

#include <cstdint>
#include <vector>

namespace vx {

class TvxPDFObject;

// Unsorted growable list of (UniqueID, object) pairs. It does not own the
// objects.
class TvxObjectList {
 public:
  struct TvxObjectListItem {
    int32_t UniqueID;
    TvxPDFObject* Object;
  };

  int32_t Add(int32_t UniqueID, TvxPDFObject* Obj);
  void Insert(int32_t Index, int32_t UniqueID, TvxPDFObject* Obj);
  TvxPDFObject* GetItem(int32_t Index) const;
  int32_t GetUniqueID(int32_t Index) const;
  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  int32_t IndexOf(int32_t UniqueID) const;
  void Clear();
  void SetCapacity(int32_t N);

 private:
  void Grow();
  std::vector<TvxObjectListItem> FItems;  // size() == FCapacity
  int32_t FCount = 0;
  int32_t FCapacity = 0;
};

}  // namespace vx
