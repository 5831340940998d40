// The object store of a document, cross-reference entries and the trailer and
// catalog holders.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/objects/vxClasses.h"
#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxViewerPreferences.h"

namespace vx {

// The digits of DocumentID, ObjectNumber and Generation read as one number,
// low 32 bits kept.
int32_t MakeUniqueID(int32_t DocumentID, int32_t ObjectNumber, uint16_t Generation);

// The next document number, process-wide, under a lock (the first is 1).
int32_t NextDocumentID();

struct TvxObjectKey {
  int32_t DocumentID;
  int32_t ObjectNumber;
  uint16_t Generation;
  bool operator==(const TvxObjectKey&) const = default;
};

struct TvxObjectKeyHash {
  uint64_t operator()(const TvxObjectKey& K) const noexcept {
    // Within one document only the number and generation vary.
    return MixIndexKey(static_cast<uint32_t>(K.ObjectNumber) ^
                       (static_cast<uint64_t>(K.Generation) << 32) ^
                       (static_cast<uint64_t>(static_cast<uint32_t>(K.DocumentID)) << 48));
  }
};

// References to references occur in real files one or two deep. A longer
// chain, or one that loops, ends as a missing object after this many steps,
// so that no lookup costs time in proportion to the store.
inline constexpr int64_t MaxReferenceChain = 64;

struct TvxUniqueIDHash {
  uint64_t operator()(int32_t ID) const noexcept { return MixIndexKey(static_cast<uint32_t>(ID)); }
};

class TvxPDFObjectStore {
 public:
  TvxPDFObjectStore() = default;
  ~TvxPDFObjectStore();
  TvxPDFObjectStore(const TvxPDFObjectStore&) = delete;
  TvxPDFObjectStore& operator=(const TvxPDFObjectStore&) = delete;

  int32_t NewObjectNumber() { return ++LastObjectNumber; }
  // Takes ownership; returns the object, still valid while the store lives.
  TvxPDFIndirectObject* AddObject(std::unique_ptr<TvxPDFIndirectObject> Obj);
  // Obj is a reference or an indirect object; the stored object with the same
  // numbers (the first one added for a repeat), or nil.
  TvxPDFIndirectObject* FindObject(const TvxPDFObject* Obj) const;
  int32_t IndexOfObject(int32_t DocumentID, int32_t ObjectNumber, uint16_t Generation) const;
  int32_t IndexOfID(int32_t UniqueID) const;
  TvxPDFIndirectObject* GetObject(int32_t Index) const;
  int32_t Count() const { return Objects.Count(); }
  // Destroys the objects added after the store held Count of them, newest
  // first; LastObjectNumber stays as it is.
  void DropObjectsFrom(int32_t Count);

  TvxPDFObject* Resolve(TvxPDFObject* Obj) const;
  TvxPDFDictObject* ResolveDict(TvxPDFObject* Obj) const;
  TvxPDFNameObject* ResolveName(TvxPDFObject* Obj) const;
  TvxPDFIntegerObject* ResolveInteger(TvxPDFObject* Obj) const;
  TvxPDFStringObject* ResolveString(TvxPDFObject* Obj) const;
  // ResolveArray of a name gives a new one-element array holding that name;
  // the caller owns it through Owned.
  TvxPDFArrayObject* ResolveArray(TvxPDFObject* Obj,
                                  std::unique_ptr<TvxPDFArrayObject>& Owned) const;

  int32_t LastObjectNumber = 0;
  TvxObjectList Objects;

 private:
  // Follows references to the first value that is not one; nil when a target
  // is missing or the chain loops.
  TvxPDFObject* Follow(TvxPDFObject* Obj) const;

  std::vector<std::unique_ptr<TvxPDFIndirectObject>> FOwned;
  // The object itself beside its position: a lookup touches one slot.
  TvxFlatIndex<TvxObjectKey, TvxObjectKeyHash, TvxPDFIndirectObject*> FIndex;
  // Built on the first IndexOfID (loading and saving never ask) and kept up
  // to date from then on; the store is used by one thread at a time.
  mutable TvxFlatIndex<int32_t, TvxUniqueIDHash> FIDIndex;
  mutable bool FIDIndexBuilt = false;
};

struct TvxXRefItem {
  int32_t Generation = 0;
  char EntryType = 'n';
  int32_t ObjectNumber = 0;
  int32_t Offset = 0;
};

struct TvxXRefStmItem {
  int32_t EntryType = 0;
  int32_t Field2 = 0;
  int32_t Field3 = 0;
};

class TvxPDFTrailer {
 public:
  int32_t RootObjectNumber = -1;
  TvxPDFObjectPtr Encrypt;
  std::unique_ptr<TvxPDFIndirectReference> Info;
  std::unique_ptr<TvxPDFArrayObject> ID;
};

class TvxPDFCatalog {
 public:
  TvxPDFCatalog() : ViewerPreferences(std::make_unique<TvxPDFViewerPreferences>()) {}
  void SetViewerPreferencesDict(std::unique_ptr<TvxPDFDictObject> Dict) {
    ViewerPreferences->SetDict(std::move(Dict));
  }

  std::unique_ptr<TvxPDFViewerPreferences> ViewerPreferences;
  TvxPDFObjectPtr Names;
  std::unique_ptr<TvxPDFIndirectReference> Outlines;
  TvxPDFObjectPtr OpenAction;
  TvxPDFObjectPtr AcroForm;
  std::unique_ptr<TvxPDFIndirectReference> Metadata;
  TvxPDFObjectPtr AA;
  // The source catalog's entries none of the above stands for, in source
  // order (structure tree, page labels, layers, ...); nil when none.
  std::unique_ptr<TvxPDFDictObject> OtherEntries;
};

}  // namespace vx
