#include "pdf/reader/vxOutlineReader.h"

#include <string_view>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

// Every entry under Key, so that a repeated key cannot bring back a link.
void RemoveAll(TvxPDFDictObject& Dict, std::string_view Key) {
  // From the end, one pass: a dictionary repeating the key many times costs
  // no more than its size.
  for (int32_t I = Dict.Count() - 1; I >= 0; --I)
    if (Dict.GetKey(I) && Dict.GetKey(I)->Text == Key) Dict.DeleteAt(I);
}

}  // namespace

std::unique_ptr<TvxPDFOutline> TvxOutlineReader::LoadOutlines(TvxPDFDictObject& Catalog) {
  int32_t N = ReferenceNumber(Catalog.Lookup("/Outlines"));
  if (N <= 0) return nullptr;
  FOutlineSeen.clear();
  FDepthWarned = false;
  FPageSet.clear();
  FPageSet.insert(FData.FPages.begin(), FData.FPages.end());
  FOutlineSeen.insert(N);
  int32_t First = 0, Next = 0;
  // The root's own /Next, if any, leads nowhere an outline can use.
  std::unique_ptr<TvxPDFOutline> Root = ReadOneItem(N, nullptr, nullptr, First, Next);
  if (!Root) return nullptr;
  if (First > 0) Root->FirstChild = ReadOutlineItem(First, Root.get(), nullptr, 1);
  FPageSet.clear();
  return Root;
}

std::unique_ptr<TvxPDFOutline> TvxOutlineReader::ReadOutlineItem(int32_t N, TvxPDFOutline* Parent,
                                                                 TvxPDFOutline* Prev, int Depth) {
  // Along the siblings in a loop, down to the children by recursion, which
  // the depth limit bounds. An item met again ends its chain.
  std::unique_ptr<TvxPDFOutline> Head;
  std::unique_ptr<TvxPDFOutline>* Slot = &Head;
  TvxPDFOutline* Last = Prev;
  while (N > 0 && FOutlineSeen.insert(N).second) {
    int32_t First = 0, Next = 0;
    std::unique_ptr<TvxPDFOutline> Item = ReadOneItem(N, Parent, Last, First, Next);
    if (!Item) break;
    TvxPDFOutline* Raw = Item.get();
    *Slot = std::move(Item);
    Slot = &Raw->NextSibling;
    if (First > 0) {
      if (Depth < TvxPDFOutline::MaxOutlineDepth) {
        Raw->FirstChild = ReadOutlineItem(First, Raw, nullptr, Depth + 1);
      } else if (!FDepthWarned) {
        FDepthWarned = true;
        FEvents.DoWarning(FormatMessage(msg::OutlineTooDeep, TvxPDFOutline::MaxOutlineDepth));
      }
    }
    Last = Raw;
    N = Next;
  }
  return Head;
}

bool TvxOutlineReader::IsOutlineCopy(const TvxPDFIndirectObject& Obj) const {
  // A damaged chain may lead to a page, a form field, an annotation or
  // another kind of object, which must still be written as it is.
  if (FPageSet.count(&Obj)) return false;
  const TvxPDFDictObject* Dict = AsDict(Obj.Value.get());
  if (!Dict) return false;
  const TvxPDFObject* Type = Dict->Lookup("/Type");
  const auto* TypeName = ObjectAs<TvxPDFNameObject>(Type);
  // Some producers type their items /Outline.
  if (Type && !(TypeName && TypeName->Text.starts_with("/Outline"))) return false;
  for (const char* Key : {"/FT", "/T", "/Kids", "/Subtype", "/Rect", "/Contents", "/MediaBox"})
    if (Dict->Lookup(Key)) return false;
  return true;
}

std::unique_ptr<TvxPDFOutline> TvxOutlineReader::ReadOneItem(int32_t N, TvxPDFOutline* Parent,
                                                             TvxPDFOutline* Prev, int32_t& First,
                                                             int32_t& Next) {
  First = Next = 0;
  TvxLoadedObject Loaded = FLoader.LoadObject(N);
  // Only outline items are read: anything else ends the chain and stays.
  if (!Loaded || !IsOutlineCopy(*Loaded.Object)) return nullptr;
  TvxPDFIndirectObject& Src = *Loaded.Object;
  auto Item = std::make_unique<TvxPDFOutline>(Src.DocumentID, Src.ObjectNumber, Src.Generation,
                                              FLoader.CountedCopy(Src.Value.get()));
  // A copy already in the store (an object stream, or reached through
  // another object) stays there valid but unwritten; the rebuilt item keeps
  // its numbers, so that every reference to it reaches the rebuilt one.
  TvxPDFIndirectObject* Stored = Loaded.Fresh ? FData.FStore->FindObject(Loaded.Fresh.get()) : &Src;
  if (Stored) Stored->UseCount = 0;
  if (Src.ObjectNumber != N) {
    Item->DocumentID = FData.FDocumentID;
    Item->ObjectNumber = FData.FStore->NewObjectNumber();
    Item->Generation = 0;
  }
  Loaded.Fresh.reset();
  Item->Parent = Parent;
  Item->PrevSibling = Prev;
  // IsOutlineCopy let through a dictionary only.
  auto& Dict = ObjectCast<TvxPDFDictObject>(Item->Value.get());

  if (auto* Count = ObjectAs<TvxPDFIntegerObject>(Dict.Lookup("/Count")))
    Item->Closed = Count->Value < 0;

  if (int32_t I = Dict.IndexOf("/Title");
      I >= 0 && !(Dict.Values[I] && Dict.Values[I]->IsString())) {
    std::unique_ptr<TvxPDFStringObject> Title = FLoader.ResolveStringCopy(Dict.Values[I].get());
    if (Title)
      (void)Dict.PutValueAt(I, std::move(Title));
    else
      Dict.DeleteAt(I);
  }

  if (int32_t I = Dict.IndexOf("/Dest"); I >= 0 && !(Dict.Values[I] && Dict.Values[I]->IsArray())) {
    TvxPDFObject* V = Dict.Values[I].get();
    TvxPDFObjectPtr Dest;
    if (V && V->IsIndirectReference()) {
      TvxPDFObjectPtr Copy = FLoader.LoadValueCopy(AsReference(V));
      if (Copy && !Copy->IsNull()) Dest = FDests.ResolveDestination(Copy.get());
    } else if (V && !V->IsNull()) {
      Dest = FDests.ResolveDestination(V);
    }
    // A destination that leads nowhere is no destination.
    if (Dest)
      (void)Dict.PutValueAt(I, std::move(Dest));
    else
      Dict.DeleteAt(I);
  }

  if (int32_t I = Dict.IndexOf("/A"); I >= 0) {
    TvxPDFObject* V = Dict.Values[I].get();
    if (V && V->IsIndirectReference()) {
      TvxPDFObjectPtr Copy = FLoader.LoadValueCopy(AsReference(V));
      if (!Copy || Copy->IsNull()) {
        Dict.DeleteAt(I);
      } else {
        auto* Action = AsDict(Copy.get());
        if (!Action) throw EUnexpectedError(std::string(msg::UnexpectedError));
        ProcessAction(*Action);
        (void)Dict.PutValueAt(I, std::move(Copy));
      }
    } else if (auto* Action = AsDict(V)) {
      ProcessAction(*Action);
    } else if (!V || V->IsNull()) {
      Dict.DeleteAt(I);
    } else {
      throw EUnexpectedError(std::string(msg::UnexpectedError));
    }
  }

  // The colour and the flags are copied into the saved item, which is made
  // when the file is closed: an indirect value is taken over now.
  for (std::string_view Key : {std::string_view("/C"), std::string_view("/F")}) {
    int32_t I = Dict.IndexOf(Key);
    if (I < 0 || !Dict.Values[I] || !Dict.Values[I]->IsIndirectReference()) continue;
    TvxPDFObjectPtr Copy = FLoader.LoadValueCopy(AsReference(Dict.Values[I].get()));
    bool Fits = Copy && (Key == "/C" ? Copy->IsArray() : Copy->IsInteger());
    if (Fits)
      (void)Dict.PutValueAt(I, std::move(Copy));
    else
      Dict.DeleteAt(I);
  }

  First = ReferenceNumber(Dict.Lookup("/First"));
  Next = ReferenceNumber(Dict.Lookup("/Next"));
  for (std::string_view Key : {"/Parent", "/Prev", "/Count", "/Last", "/First", "/Next"})
    RemoveAll(Dict, Key);
  if (Dict.Count() == 0) Item->Value.reset();
  return Item;
}

void TvxOutlineReader::ProcessAction(TvxPDFDictObject& Action) {
  const auto* S = ObjectAs<TvxPDFNameObject>(Action.Lookup("/S"));
  std::string Kind = S ? S->Text : std::string();
  // A remote or embedded go-to names a destination of another file, and a
  // thread action's /D is a thread: neither is looked up in this document.
  bool Local = Kind != "/GoToR" && Kind != "/GoToE" && Kind != "/Thread";
  int32_t I = Action.IndexOf("/D");
  if (Local && I >= 0 && Action.Values[I] && !Action.Values[I]->IsArray()) {
    TvxPDFObject* V = Action.Values[I].get();
    TvxPDFObjectPtr Dest;
    if (V->IsIndirectReference()) {
      TvxPDFObjectPtr Copy = FLoader.LoadValueCopy(AsReference(V));
      if (Copy && !Copy->IsNull()) Dest = FDests.ResolveDestination(Copy.get());
    } else if (!V->IsNull()) {
      Dest = FDests.ResolveDestination(V);
    }
    if (Dest) (void)Action.PutValueAt(I, std::move(Dest));
  }
  // Everything the action names reaches the saved file: scripts under /JS,
  // chained /Next actions, sounds, fields, as well as /URI, /F and /D.
  for (int32_t K = 0; K < Action.Count(); ++K) FLoader.LoadReferences(Action.Values[K].get());
}

}  // namespace vx
