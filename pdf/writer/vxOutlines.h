// Outlines, named destinations, name trees and the form: read while the
// catalog is loaded, outlines rebuilt on every save.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/reader/vxCatalogReader.h"

namespace vx {

class TvxCustomPDFDocument;

// One outline item. It owns its first child and its next sibling.
class TvxPDFOutline : public TvxPDFIndirectObject {
 public:
  TvxPDFOutline(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration,
                TvxPDFObjectPtr AValue);
  ~TvxPDFOutline() override;

  bool Closed = false;
  TvxPDFOutline* Parent = nullptr;  // not owned
  std::unique_ptr<TvxPDFOutline> FirstChild;
  TvxPDFOutline* PrevSibling = nullptr;  // not owned
  std::unique_ptr<TvxPDFOutline> NextSibling;
};

class TvxOutlineManager : public TvxCatalogHandlers {
 public:
  TvxOutlineManager(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader);
  ~TvxOutlineManager() override;

  // Load side, called by the catalog reader.
  void ReadDestsDictionary(TvxPDFObject* Value) override;
  void LoadAcroForm(TvxPDFObject* Value) override;
  void ReadNameDictionary(TvxPDFObject* Value) override;
  void LoadOutlines(TvxPDFDictObject& Catalog) override;

  // A copy of the named destination's value, or nil.
  TvxPDFObjectPtr FindNamedDest(const std::string& Name) const;

  // Save side, called by the writer: rebuilds the outline objects into
  // SaveStore and points the catalog's Outlines at the new root.
  void BuildOutlines(TvxPDFObjectStore& SaveStore);
  // 0 sets /NeedAppearances true, 1 false, anything else leaves it.
  void SetNeedAppearances(int32_t AppearanceMode);

  TvxPDFOutline* OutlineRoot() const { return FOutlineRoot.get(); }

  // Outline items nested deeper are left out: no real outline comes near,
  // and reading and rebuilding recurse once per level.
  static constexpr int MaxOutlineDepth = 256;

 private:
  struct TvxNamedDest {
    std::string Key;
    TvxPDFObjectPtr Value;  // a destination array or a null object
  };
  // Numbers of a reference kept while the object that held it may go away.
  struct TvxRefKey {
    int32_t DocumentID;
    int32_t ObjectNumber;
    uint16_t Generation;
  };

  // Load side.
  // Reads the sibling chain starting at object N with their children.
  std::unique_ptr<TvxPDFOutline> ReadOutlineItem(int32_t N, TvxPDFOutline* Parent,
                                                 TvxPDFOutline* Prev, int Depth);
  // One item without its links; First and Next get the numbers its /First
  // and /Next name (0 when none).
  std::unique_ptr<TvxPDFOutline> ReadOneItem(int32_t N, TvxPDFOutline* Parent, TvxPDFOutline* Prev,
                                             int32_t& First, int32_t& Next);
  TvxPDFObjectPtr ResolveDestination(const TvxPDFObject* V) const;
  void ProcessAction(TvxPDFDictObject& Action);
  // The destination a /Dests entry or name-tree value stands for: a copy of
  // the array, or a null object.
  TvxPDFObjectPtr DestinationValue(TvxPDFObject* V);
  void ReadNameTreeNode(TvxPDFDictObject& Node, int32_t NodeNumber);
  void ReadField(const TvxRefKey& Ref);
  // LoadObject, marked used and stored when read from the file.
  TvxPDFIndirectObject* FetchObject(int32_t N);
  void AddNamedDest(std::string Key, TvxPDFObjectPtr Value);
  // True for an outline item or root: a dictionary that is neither a page,
  // nor a form field, nor an annotation. Its rebuilt item replaces it in the
  // saved file.
  bool IsOutlineCopy(const TvxPDFIndirectObject& Obj) const;

  // Save side.
  // Builds the chain of siblings starting at First under Parent; gives the
  // first and last item written and their number.
  TvxPDFOutline* BuildOutlineItems(TvxPDFOutline& Parent, TvxPDFOutline* First, int32_t& Count,
                                   TvxPDFOutline*& Last, TvxPDFObjectStore& SaveStore, int Depth);
  void BuildOutlineItem(TvxPDFOutline& Parent, TvxPDFOutline* Prev, TvxPDFOutline* Next,
                        TvxPDFOutline& Item, TvxPDFObjectStore& SaveStore, int Depth);
  // True when the item's destination page is not written.
  bool DestinationDropped(const TvxPDFOutline& Item);
  void AssignNumber(TvxPDFOutline& Item);

  TvxDocumentData& D;
  TvxDocumentEvents& E;
  std::unique_ptr<TvxPDFOutline> FOutlineRoot;
  std::vector<TvxNamedDest> FNamedDests;
  std::unordered_map<std::string, size_t> FNamedDestIndex;   // key to its first entry
  std::unordered_set<int32_t> FOutlineSeen;                  // item objects read
  std::unordered_set<const TvxPDFIndirectObject*> FPageSet;  // while the outline is read
  std::unordered_set<const TvxPDFIndirectObject*> FFieldsSeen;
  bool FDepthWarned = false;
};

}  // namespace vx
