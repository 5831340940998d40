// Loading objects from the file on demand and pulling in everything an object
// references.
#pragma once

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/state/vxDocumentData.h"

namespace vx {

// An object found in the store, or one just read from the file (then owned
// here until the caller stores or drops it).
struct TvxLoadedObject {
  TvxPDFIndirectObject* Object = nullptr;  // not owned: in the store, or Fresh
  std::unique_ptr<TvxPDFIndirectObject> Fresh;
  explicit operator bool() const { return Object != nullptr; }
};

class TvxObjectLoader {
 public:
  TvxObjectLoader(TvxDocumentData& Data, TvxDocumentEvents& Events)
      : FData(Data), FEvents(Events) {}

  // Byte offset of object K, 0 when unknown.
  int64_t GetObjectOffset(int32_t K) const;
  // The object at the reader's position with its stream data; nil at 0.
  std::unique_ptr<TvxPDFIndirectObject> ReadIndirectObject();
  // Store first (generation 0), then the file.
  TvxLoadedObject LoadObject(int32_t K);
  // Loads everything X references into the store and marks it used.
  void LoadReferences(TvxPDFObject* X);
  void LoadReference(const TvxPDFIndirectReference& R);
  // A copy with every reference replaced by its target.
  TvxPDFObjectPtr MakeDirect(const TvxPDFObject* X);

  // Resolvers that may read the file. Holder keeps an object read from the
  // file alive for the caller when it is not kept in the store.
  TvxPDFArrayObject* ResolveArrayLoading(TvxPDFObject* X, bool Keep,
                                         std::unique_ptr<TvxPDFIndirectObject>& Holder);
  // A dictionary in the store is returned itself; one read from the file as a
  // copy in Owned.
  TvxPDFDictObject* ResolveDictLoading(TvxPDFObject* X, bool Keep,
                                       std::unique_ptr<TvxPDFDictObject>& Owned);
  std::unique_ptr<TvxPDFStringObject> ResolveStringCopy(TvxPDFObject* X);
  std::unique_ptr<TvxPDFNameObject> ResolveNameCopy(TvxPDFObject* X);
  TvxPDFObjectPtr LoadValueCopy(const TvxPDFIndirectReference& R);
  // A copy of V, counted against what one load may copy: a value shared by
  // many entries (outline items, named destinations) is copied for each, and
  // a hostile file could otherwise make a small file copy without end.
  // Raises EPDFFileCorruptedError when the allowance is spent.
  TvxPDFObjectPtr CountedCopy(const TvxPDFObject* V);

 private:
  // The value a reference leads to, following chains; an object read from the
  // file is marked used and either stored (Keep) or handed to Holder.
  TvxPDFObject* Target(TvxPDFObject* X, bool Keep, std::unique_ptr<TvxPDFIndirectObject>& Holder,
                       bool* FromFile = nullptr);
  TvxPDFObjectPtr MakeDirect(const TvxPDFObject* X, int Depth);
  void LoadLength(TvxPDFDictObject& Dict);

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  // The containers being walked, each with the index of its next value, the
  // innermost last: the walk is depth first, as a recursive one would be, but
  // iterative, so that long chains of references cannot exhaust the stack.
  struct TvxWalkFrame {
    TvxPDFObject* Container;  // an array or a dictionary
    int32_t Next;
    int8_t Remote = -1;  // a dictionary's /S names a remote action: 1, not: 0, unknown: -1
  };
  std::vector<TvxWalkFrame> FFrames;
  void PushWalk(TvxPDFObject* X);
  void RunWalk();
  // Object numbers whose entry leads to another object: read once.
  TvxFlatIndex<int32_t, TvxUniqueIDHash> FMisplaced;
  std::unordered_set<int64_t> FOtherAt;                   // offsets found to hold another object
  std::unordered_map<int32_t, uint16_t> FFileGeneration;  // numbers read under another generation
  bool FWalking = false;
  int32_t FObjectsRead = 0;
  bool FLoadingLength = false;
  int64_t FDirectLeft = 0;  // values a MakeDirect copy may still create
  int64_t FCopyLeft = 0;    // values CountedCopy may still copy, set on first use
  bool FCopyBudgetSet = false;
};

}  // namespace vx
