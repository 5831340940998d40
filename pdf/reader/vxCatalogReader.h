// Reads the document catalog and flattens the page tree into the page list.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "pdf/reader/vxObjectLoader.h"

namespace vx {

// Where the catalog reader hands over destinations, the name tree, the form
// and the outlines. The default only loads what they reference, so nothing
// reachable is lost.
class TvxCatalogHandlers {
 public:
  explicit TvxCatalogHandlers(TvxObjectLoader& Loader) : FLoader(Loader) {}
  virtual ~TvxCatalogHandlers() = default;
  virtual void ReadDestsDictionary(TvxPDFObject* Value) { FLoader.LoadReferences(Value); }
  virtual void LoadAcroForm(TvxPDFObject* Value) { FLoader.LoadReferences(Value); }
  virtual void ReadNameDictionary(TvxPDFObject* Value) { FLoader.LoadReferences(Value); }
  virtual void LoadOutlines(TvxPDFDictObject& Catalog) {
    FLoader.LoadReferences(Catalog.Lookup("/Outlines"));
  }

 protected:
  TvxObjectLoader& FLoader;
};

class TvxCatalogReader {
 public:
  TvxCatalogReader(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader,
                   TvxCatalogHandlers& Handlers)
      : FData(Data), FEvents(Events), FLoader(Loader), FHandlers(Handlers) {}

  // Releases the file reader at its end, also on error.
  void ReadCatalog();
  // Flattens the tree whose root is object K (-1: the catalog names none)
  // into the page list; fails when the tree names pages and none is found.
  void ReadPageTree(int32_t K);

  // Attributes a node passes to the pages below it, in the order a page
  // takes them; the values belong to the nodes on the walk's stack.
  using TvxInherited = std::vector<std::pair<std::string_view, const TvxPDFObject*>>;

 private:
  struct TvxNodeFrame;
  // Takes kid K of a node: a page joins the list, a /Pages node is pushed.
  void VisitKid(int32_t K, const TvxInherited& Inherited, std::vector<TvxNodeFrame>& Stack);
  // Under repair: the page objects the file holds, when the tree gives none.
  void TakeUnlistedPages();
  // Keeps the catalog entries no step reads, in source order.
  void KeepOtherEntries(const TvxPDFDictObject& C);
  // Takes a page node into the page list: inherited values, references.
  void AddPage(TvxPDFIndirectObject* Page, const TvxInherited& Inherited);
  // A new stored object holding Value (a page given directly, or a second
  // copy of a page listed twice).
  TvxPDFIndirectObject* NewPageObject(TvxPDFObjectPtr Value);

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxObjectLoader& FLoader;
  TvxCatalogHandlers& FHandlers;
  // /Pages nodes already expanded: a node met again (a loop, or a subtree
  // listed twice) adds nothing, so the list cannot outgrow the file.
  std::unordered_set<int32_t> FNodesExpanded;
  std::unordered_set<int32_t> FPagesSeen;  // pages already listed
  int64_t FNodesRead = 0;
  int64_t FKidsMissing = 0;    // kids the file does not describe
  int64_t FNodesMetAgain = 0;  // kids naming a node already expanded
  int32_t FRootCount = -1;     // the root's /Count, -1 when it has none
};

}  // namespace vx
