#include "pdf/writer/vxOutlineBuilder.h"

#include <vector>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

void TvxOutlineBuilder::AssignNumber(TvxPDFOutline& Item) {
  if (Item.ObjectNumber != 0) return;
  Item.DocumentID = FData.FDocumentID;
  Item.ObjectNumber = FData.FStore->NewObjectNumber();
}

bool TvxOutlineBuilder::DestinationDropped(const TvxPDFOutline& Item) {
  TvxPDFDictObject* Dict = AsDict(Item.Value.get());
  auto* Dest = ObjectAs<TvxPDFArrayObject>(Dict ? Dict->Lookup("/Dest") : nullptr);
  if (!Dest) return false;
  TvxPDFObject* Page = Dest->GetItem(0);
  if (Page && Page->IsIndirectReference()) {
    TvxPDFIndirectObject* Target = FData.FStore->FindObject(Page);
    return Target && Target->UseCount == 0;
  }
  if (!Page || !Page->IsNull()) FEvents.DoWarning(std::string(msg::OutlineDestNotPage));
  return false;
}

void TvxOutlineBuilder::BuildOutlines(TvxPDFOutline* OutlineRoot, TvxPDFObjectStore& SaveStore) {
  if (!OutlineRoot) return;
  FDepthWarned = false;
  TvxPDFOutline& Root = *OutlineRoot;
  AssignNumber(Root);
  auto R = std::make_unique<TvxPDFDictObject>();
  int32_t Count = 0;
  if (Root.FirstChild) {
    TvxPDFOutline* Last = nullptr;
    TvxPDFOutline* First =
        BuildOutlineItems(Root, Root.FirstChild.get(), Count, Last, SaveStore, 1);
    if (First) {
      R->Add("/First", MakeReference(*First));
      R->Add("/Last", MakeReference(*Last));
    }
  }
  R->AddInteger("/Count", Count);
  auto Obj = std::make_unique<TvxPDFIndirectObject>(Root.DocumentID, Root.ObjectNumber,
                                                    Root.Generation, std::move(R));
  Obj->UseCount = 1;
  SaveStore.AddObject(std::move(Obj));
  FData.FCatalog->Outlines = MakeReference(Root);
}

TvxPDFOutline* TvxOutlineBuilder::BuildOutlineItems(TvxPDFOutline& Parent, TvxPDFOutline* First,
                                                    int32_t& Count, TvxPDFOutline*& Last,
                                                    TvxPDFObjectStore& SaveStore, int Depth) {
  // Items whose page is not written are left out with their children, and
  // their neighbours link past them.
  std::vector<TvxPDFOutline*> Kept;
  for (TvxPDFOutline* Item = First; Item; Item = Item->NextSibling.get()) {
    AssignNumber(*Item);
    if (DestinationDropped(*Item)) {
      Item->FirstChild.reset();
      continue;
    }
    Kept.push_back(Item);
  }
  // Stored last sibling first, each after its children: the order in which
  // the objects are numbered on output.
  for (size_t I = Kept.size(); I-- > 0;)
    BuildOutlineItem(Parent, I > 0 ? Kept[I - 1] : nullptr,
                     I + 1 < Kept.size() ? Kept[I + 1] : nullptr, *Kept[I], SaveStore, Depth);
  Count = static_cast<int32_t>(Kept.size());
  Last = Kept.empty() ? nullptr : Kept.back();
  return Kept.empty() ? nullptr : Kept.front();
}

void TvxOutlineBuilder::BuildOutlineItem(TvxPDFOutline& Parent, TvxPDFOutline* Prev,
                                         TvxPDFOutline* Next, TvxPDFOutline& Item,
                                         TvxPDFObjectStore& SaveStore, int Depth) {
  auto Dict = std::make_unique<TvxPDFDictObject>();
  if (TvxPDFDictObject* Src = AsDict(Item.Value.get())) {
    if (TvxPDFObject* V = Src->Lookup("/Dest")) Dict->Add("/Dest", V->Clone());
    if (TvxPDFObject* V = Src->Lookup("/Title")) Dict->Add("/Title", V->Clone());
    if (TvxPDFObject* C = FData.FStore->Resolve(Src->Lookup("/C")); C && C->IsArray())
      Dict->Add("/C", C->Clone());
    if (TvxPDFObject* V = Src->Lookup("/F")) Dict->Add("/F", V->Clone());
    if (TvxPDFObject* V = Src->Lookup("/A")) Dict->Add("/A", V->Clone());
  }
  Dict->Add("/Parent", MakeReference(Parent));
  if (Prev) Dict->Add("/Prev", MakeReference(*Prev));
  if (Next) Dict->Add("/Next", MakeReference(*Next));
  if (Item.FirstChild) {
    if (Depth < TvxPDFOutline::MaxOutlineDepth) {
      int32_t ChildCount = 0;
      TvxPDFOutline* ChildLast = nullptr;
      TvxPDFOutline* ChildFirst = BuildOutlineItems(Item, Item.FirstChild.get(), ChildCount,
                                                    ChildLast, SaveStore, Depth + 1);
      if (ChildFirst) {
        Dict->Add("/First", MakeReference(*ChildFirst));
        Dict->Add("/Last", MakeReference(*ChildLast));
        Dict->AddInteger("/Count", Item.Closed ? -ChildCount : ChildCount);
      }
    } else if (!FDepthWarned) {
      FDepthWarned = true;
      FEvents.DoWarning(FormatMessage(msg::OutlineTooDeep, TvxPDFOutline::MaxOutlineDepth));
    }
  }
  auto Obj = std::make_unique<TvxPDFIndirectObject>(Item.DocumentID, Item.ObjectNumber,
                                                    Item.Generation, std::move(Dict));
  Obj->UseCount = 1;
  SaveStore.AddObject(std::move(Obj));
}

}  // namespace vx
