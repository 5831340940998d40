#include "pdf/writer/vxOutlines.h"

#include <string_view>

#include "pdf/objects/vxDocumentExceptions.h"

namespace vx {

namespace {

int32_t ReferenceNumber(const TvxPDFObject* V) {
  return V && V->IsIndirectReference()
             ? static_cast<const TvxPDFIndirectReference*>(V)->ObjectNumber
             : 0;
}

const TvxPDFIndirectReference& AsReference(const TvxPDFObject* V) {
  return *static_cast<const TvxPDFIndirectReference*>(V);
}

TvxPDFDictObject* AsDict(TvxPDFObject* V) {
  return V && V->IsDict() ? static_cast<TvxPDFDictObject*>(V) : nullptr;
}

// Every entry under Key, so that a repeated key cannot bring back a link.
void RemoveAll(TvxPDFDictObject& Dict, std::string_view Key) {
  for (int32_t I = Dict.IndexOf(Key); I >= 0; I = Dict.IndexOf(Key)) Dict.DeleteAt(I);
}

TvxPDFObjectPtr NullObject() {
  return std::make_unique<TvxPDFNullObject>();
}

}  // namespace

TvxPDFOutline::TvxPDFOutline(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration,
                             TvxPDFObjectPtr AValue)
    : TvxPDFIndirectObject(ADocumentID, AObjectNumber, AGeneration, std::move(AValue)) {}

TvxPDFOutline::~TvxPDFOutline() {
  // Unlinked here one by one: freeing through the links would recurse once
  // per sibling.
  std::vector<std::unique_ptr<TvxPDFOutline>> Pending;
  if (FirstChild) Pending.push_back(std::move(FirstChild));
  if (NextSibling) Pending.push_back(std::move(NextSibling));
  while (!Pending.empty()) {
    std::unique_ptr<TvxPDFOutline> Item = std::move(Pending.back());
    Pending.pop_back();
    if (Item->FirstChild) Pending.push_back(std::move(Item->FirstChild));
    if (Item->NextSibling) Pending.push_back(std::move(Item->NextSibling));
  }
}

TvxOutlineManager::TvxOutlineManager(TvxDocumentData& Data, TvxDocumentEvents& Events,
                                     TvxObjectLoader& Loader)
    : TvxCatalogHandlers(Loader), D(Data), E(Events) {}

TvxOutlineManager::~TvxOutlineManager() = default;

// --- Named destinations ---

void TvxOutlineManager::AddNamedDest(std::string Key, TvxPDFObjectPtr Value) {
  FNamedDestIndex.try_emplace(Key, FNamedDests.size());
  FNamedDests.push_back(TvxNamedDest{std::move(Key), std::move(Value)});
}

TvxPDFObjectPtr TvxOutlineManager::FindNamedDest(const std::string& Name) const {
  // By key, whatever the order of the table: a catalog /Dests dictionary
  // need not be sorted.
  auto It = FNamedDestIndex.find(Name);
  if (It == FNamedDestIndex.end()) return nullptr;
  const TvxPDFObjectPtr& Value = FNamedDests[It->second].Value;
  return Value ? Value->Clone() : nullptr;
}

TvxPDFObjectPtr TvxOutlineManager::DestinationValue(TvxPDFObject* V) {
  TvxLoadedObject Target;
  if (V && V->IsIndirectReference()) {
    Target = L.LoadObject(AsReference(V).ObjectNumber);
    if (!Target) return NullObject();
    Target.Object->MarkUsed();
    V = Target.Object->Value.get();
  }
  if (!V || V->IsNull()) return NullObject();
  TvxPDFObjectPtr Result;
  if (V->IsDict()) {
    TvxPDFObject* Inner = static_cast<TvxPDFDictObject*>(V)->Lookup("/D");
    // The table outlives the file, so an indirect array is copied in.
    if (Inner && Inner->IsIndirectReference())
      Result = L.LoadValueCopy(AsReference(Inner));
    else if (Inner)
      Result = Inner->Clone();
  } else if (V->IsArray()) {
    Result = V->Clone();
  } else {
    throw EUnexpectedError(std::string(msg::UnexpectedObject));
  }
  if (!Result) return NullObject();
  if (Result->IsArray()) {
    TvxPDFObject* Page = static_cast<TvxPDFArrayObject*>(Result.get())->GetItem(0);
    if (Page && Page->IsIndirectReference())
      static_cast<TvxPDFIndirectReference*>(Page)->DocumentID = D.FDocumentID;
  }
  return Result;
}

void TvxOutlineManager::ReadDestsDictionary(TvxPDFObject* Value) {
  if (!Value) return;
  TvxLoadedObject Loaded;
  TvxPDFObject* V = Value;
  if (V->IsIndirectReference()) {
    Loaded = L.LoadObject(AsReference(V).ObjectNumber);
    if (!Loaded) return;
    Loaded.Object->MarkUsed();
    V = Loaded.Object->Value.get();
  }
  TvxPDFDictObject* Dests = AsDict(V);
  if (!Dests) return;
  for (int32_t I = 0; I < Dests->Count(); ++I) {
    if (!Dests->Keys[I]) continue;
    AddNamedDest(Dests->Keys[I]->GetName(), DestinationValue(Dests->Values[I].get()));
  }
}

void TvxOutlineManager::ReadNameDictionary(TvxPDFObject* Value) {
  if (!Value) return;
  TvxLoadedObject Loaded;
  TvxPDFDictObject* Names = nullptr;
  if (Value->IsIndirectReference()) {
    Loaded = L.LoadObject(AsReference(Value).ObjectNumber);
    if (!Loaded) return;
    Loaded.Object->MarkUsed();
    Names = AsDict(Loaded.Object->Value.get());
  } else if (Value->IsDict()) {
    // The holder's copy is the one written, so names replaced while walking
    // must land there.
    Names = AsDict(D.FCatalog->Names.get());
    if (!Names) Names = static_cast<TvxPDFDictObject*>(Value);
  }
  if (!Names) {
    L.LoadReferences(Value);
    return;
  }

  if (TvxPDFObject* Dests = Names->Lookup("/Dests")) {
    if (Dests->IsIndirectReference()) {
      int32_t K = AsReference(Dests).ObjectNumber;
      TvxLoadedObject Node = L.LoadObject(K);
      if (Node) {
        Node.Object->MarkUsed();
        if (TvxPDFDictObject* Root = AsDict(Node.Object->Value.get())) ReadNameTreeNode(*Root, K);
      }
    } else if (Dests->IsDict()) {
      ReadNameTreeNode(*static_cast<TvxPDFDictObject*>(Dests), 0);
    } else {
      throw document::EUnexpectedObjectError(std::string(msg::UnexpectedObject));
    }
  }

  if (Loaded.Fresh) D.FStore->AddObject(std::move(Loaded.Fresh));
  // Every tree of the dictionary reaches the saved file.
  L.LoadReferences(Names);
}

void TvxOutlineManager::ReadNameTreeNode(TvxPDFDictObject& Node, int32_t NodeNumber) {
  // Walked with a list of pending kids: a tree is as deep as the file makes
  // it, and a kid that names an ancestor is read only once.
  std::unordered_set<int32_t> Seen;
  if (NodeNumber > 0) Seen.insert(NodeNumber);
  std::vector<int32_t> Pending;

  auto ArrayOf = [this](TvxPDFObject* V, TvxPDFObjectPtr& Owned) -> TvxPDFArrayObject* {
    if (V && V->IsIndirectReference()) {
      Owned = L.LoadValueCopy(AsReference(V));
      V = Owned.get();
    }
    return V && V->IsArray() ? static_cast<TvxPDFArrayObject*>(V) : nullptr;
  };

  auto Visit = [&](TvxPDFDictObject& N) {
    TvxPDFObjectPtr Owned;
    if (TvxPDFObject* Kids = N.Lookup("/Kids")) {
      if (TvxPDFArrayObject* A = ArrayOf(Kids, Owned))
        for (int32_t I = A->Count(); I-- > 0;)
          if (int32_t K = ReferenceNumber(A->GetItem(I)); K > 0) Pending.push_back(K);
      return;
    }
    TvxPDFArrayObject* A = ArrayOf(N.Lookup("/Names"), Owned);
    if (!A) return;
    for (int32_t I = 0; I < A->Count(); I += 2) {
      TvxPDFObject* Key = A->GetItem(I);
      TvxPDFObject* V = A->GetItem(I + 1);
      if (!Key || !Key->IsString() || !V) continue;
      if (V->IsIndirectReference() || V->IsNull() || V->IsArray() || V->IsDict())
        AddNamedDest(static_cast<TvxPDFStringObject*>(Key)->GetValue(), DestinationValue(V));
    }
  };

  Visit(Node);
  while (!Pending.empty()) {
    int32_t K = Pending.back();
    Pending.pop_back();
    if (!Seen.insert(K).second) continue;
    TvxLoadedObject Kid = L.LoadObject(K);
    if (!Kid) continue;
    Kid.Object->MarkUsed();
    if (TvxPDFDictObject* Dict = AsDict(Kid.Object->Value.get())) Visit(*Dict);
  }
}

TvxPDFObjectPtr TvxOutlineManager::ResolveDestination(const TvxPDFObject* V) const {
  if (V) {
    if (V->IsString()) {
      if (TvxPDFObjectPtr Dest =
              FindNamedDest(static_cast<const TvxPDFStringObject*>(V)->GetValue()))
        return Dest;
      return V->Clone();
    }
    if (V->IsName()) {
      if (TvxPDFObjectPtr Dest = FindNamedDest(static_cast<const TvxPDFNameObject*>(V)->GetName()))
        return Dest;
      return V->Clone();
    }
    if (V->IsArray()) return V->Clone();
  }
  throw EUnexpectedError(std::string(msg::UnexpectedError));
}

void TvxOutlineManager::ProcessAction(TvxPDFDictObject& Action) {
  TvxPDFObject* S = Action.Lookup("/S");
  std::string Kind = S && S->IsName() ? static_cast<TvxPDFNameObject*>(S)->Text : std::string();
  // A remote or embedded go-to names a destination of another file, and a
  // thread action's /D is a thread: neither is looked up in this document.
  bool Local = Kind != "/GoToR" && Kind != "/GoToE" && Kind != "/Thread";
  int32_t I = Action.IndexOf("/D");
  if (Local && I >= 0 && Action.Values[I] && !Action.Values[I]->IsArray()) {
    TvxPDFObject* V = Action.Values[I].get();
    TvxPDFObjectPtr Dest;
    if (V->IsIndirectReference()) {
      TvxPDFObjectPtr Copy = L.LoadValueCopy(AsReference(V));
      if (Copy && !Copy->IsNull()) Dest = ResolveDestination(Copy.get());
    } else if (!V->IsNull()) {
      Dest = ResolveDestination(V);
    }
    if (Dest) (void)Action.PutValueAt(I, std::move(Dest));
  }
  // Everything the action names reaches the saved file: scripts under /JS,
  // chained /Next actions, sounds, fields, as well as /URI, /F and /D.
  for (int32_t K = 0; K < Action.Count(); ++K) L.LoadReferences(Action.Values[K].get());
}

// --- Form ---

TvxPDFIndirectObject* TvxOutlineManager::FetchObject(int32_t N) {
  TvxLoadedObject Loaded = L.LoadObject(N);
  if (!Loaded) return nullptr;
  Loaded.Object->MarkUsed();
  if (Loaded.Fresh) return D.FStore->AddObject(std::move(Loaded.Fresh));
  return Loaded.Object;
}

void TvxOutlineManager::LoadAcroForm(TvxPDFObject* Value) {
  if (!Value) return;
  FFieldsSeen.clear();
  TvxPDFDictObject* Form = nullptr;
  if (Value->IsIndirectReference()) {
    if (TvxPDFIndirectObject* Obj = FetchObject(AsReference(Value).ObjectNumber))
      Form = AsDict(Obj->Value.get());
  } else {
    Form = AsDict(Value);
  }
  if (!Form) return;

  // Every entry, not only the standard ones: a reference left unloaded
  // would be written pointing nowhere.
  for (int32_t I = 0; I < Form->Count(); ++I)
    if (!Form->Keys[I] || Form->Keys[I]->Text != "/Fields") L.LoadReferences(Form->Values[I].get());

  TvxPDFObject* Fields = Form->Lookup("/Fields");
  if (Fields && (Fields->IsArray() || Fields->IsIndirectReference())) {
    std::unique_ptr<TvxPDFIndirectObject> Holder;
    std::vector<TvxRefKey> Refs;
    if (TvxPDFArrayObject* A = L.ResolveArrayLoading(Fields, true, Holder)) {
      for (int32_t I = 0; I < A->Count(); ++I) {
        TvxPDFObject* Item = A->GetItem(I);
        if (Item && Item->IsIndirectReference()) {
          const auto& R = AsReference(Item);
          Refs.push_back({R.DocumentID, R.ObjectNumber, R.Generation});
        } else {
          L.LoadReferences(Item);
        }
      }
    }
    for (const TvxRefKey& R : Refs) ReadField(R);
  }

  if (Value->IsDict()) {
    // A form given directly is written as an object of its own.
    TvxPDFObjectPtr Dict =
        D.FCatalog->AcroForm.get() == Value ? std::move(D.FCatalog->AcroForm) : Value->Clone();
    auto Obj = std::make_unique<TvxPDFIndirectObject>(D.FDocumentID, D.FStore->NewObjectNumber(), 0,
                                                      std::move(Dict));
    Obj->MarkUsed();
    TvxPDFIndirectObject* Stored = D.FStore->AddObject(std::move(Obj));
    D.FCatalog->AcroForm = MakeReference(*Stored);
  }
}

void TvxOutlineManager::ReadField(const TvxRefKey& Ref) {
  // Kids are taken from a list, not by recursion: field trees can be deep
  // or name their own ancestors.
  std::vector<TvxRefKey> Pending{Ref};
  while (!Pending.empty()) {
    TvxRefKey R = Pending.back();
    Pending.pop_back();
    TvxPDFIndirectReference Probe(R.DocumentID, R.ObjectNumber, R.Generation);
    TvxPDFIndirectObject* Field = D.FStore->FindObject(&Probe);
    if (Field)
      Field->MarkUsed();
    else
      Field = FetchObject(R.ObjectNumber);
    if (!Field || !FFieldsSeen.insert(Field).second) continue;
    TvxPDFDictObject* Dict = AsDict(Field->Value.get());
    if (!Dict) continue;
    for (int32_t I = 0; I < Dict->Count(); ++I)
      if (!Dict->Keys[I] || Dict->Keys[I]->Text != "/Kids") L.LoadReferences(Dict->Values[I].get());
    TvxPDFObject* Kids = Dict->Lookup("/Kids");
    if (!Kids || !(Kids->IsArray() || Kids->IsIndirectReference())) continue;
    std::unique_ptr<TvxPDFIndirectObject> Holder;
    TvxPDFArrayObject* A = L.ResolveArrayLoading(Kids, true, Holder);
    if (!A) continue;
    // Pushed last first, so kids are read in their order, each with its own
    // kids before the next one.
    for (int32_t I = A->Count(); I-- > 0;) {
      TvxPDFObject* Kid = A->GetItem(I);
      if (Kid && Kid->IsIndirectReference()) {
        const auto& K = AsReference(Kid);
        Pending.push_back({K.DocumentID, K.ObjectNumber, K.Generation});
      } else {
        L.LoadReferences(Kid);
      }
    }
  }
}

void TvxOutlineManager::SetNeedAppearances(int32_t AppearanceMode) {
  if (AppearanceMode != 0 && AppearanceMode != 1) return;
  TvxPDFDictObject* Form = AsDict(D.FStore->Resolve(D.FCatalog->AcroForm.get()));
  if (!Form) return;
  const bool Need = AppearanceMode == 0;
  int32_t I = Form->IndexOf("/NeedAppearances");
  if (I < 0)
    Form->Add("/NeedAppearances", std::make_unique<TvxPDFBooleanObject>(Need));
  else if (Form->Values[I] && Form->Values[I]->IsBoolean())
    static_cast<TvxPDFBooleanObject*>(Form->Values[I].get())->Value = Need;
  else
    (void)Form->PutValueAt(I, std::make_unique<TvxPDFBooleanObject>(Need));
}

// --- Outlines on load ---

void TvxOutlineManager::LoadOutlines(TvxPDFDictObject& Catalog) {
  int32_t N = ReferenceNumber(Catalog.Lookup("/Outlines"));
  if (N <= 0) return;
  FOutlineSeen.clear();
  FDepthWarned = false;
  FPageSet.clear();
  FPageSet.insert(D.FPages.begin(), D.FPages.end());
  FOutlineSeen.insert(N);
  int32_t First = 0, Next = 0;
  // The root's own /Next, if any, leads nowhere an outline can use.
  std::unique_ptr<TvxPDFOutline> Root = ReadOneItem(N, nullptr, nullptr, First, Next);
  if (!Root) return;
  if (First > 0) Root->FirstChild = ReadOutlineItem(First, Root.get(), nullptr, 1);
  FOutlineRoot = std::move(Root);
  FPageSet.clear();
}

std::unique_ptr<TvxPDFOutline> TvxOutlineManager::ReadOutlineItem(int32_t N, TvxPDFOutline* Parent,
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
      if (Depth < MaxOutlineDepth) {
        Raw->FirstChild = ReadOutlineItem(First, Raw, nullptr, Depth + 1);
      } else if (!FDepthWarned) {
        FDepthWarned = true;
        E.DoWarning(FormatMessage(msg::OutlineTooDeep, MaxOutlineDepth));
      }
    }
    Last = Raw;
    N = Next;
  }
  return Head;
}

bool TvxOutlineManager::IsOutlineCopy(const TvxPDFIndirectObject& Obj) const {
  // A damaged chain may lead to a page, a form field, an annotation or
  // another kind of object, which must still be written as it is.
  if (FPageSet.count(&Obj)) return false;
  const TvxPDFDictObject* Dict = AsDict(Obj.Value.get());
  if (!Dict) return false;
  const TvxPDFObject* Type = Dict->Lookup("/Type");
  // Some producers type their items /Outline.
  if (Type &&
      !(Type->IsName() && static_cast<const TvxPDFNameObject*>(Type)->Text.starts_with("/Outline")))
    return false;
  for (const char* Key : {"/FT", "/T", "/Kids", "/Subtype", "/Rect", "/Contents", "/MediaBox"})
    if (Dict->Lookup(Key)) return false;
  return true;
}

std::unique_ptr<TvxPDFOutline> TvxOutlineManager::ReadOneItem(int32_t N, TvxPDFOutline* Parent,
                                                              TvxPDFOutline* Prev, int32_t& First,
                                                              int32_t& Next) {
  First = Next = 0;
  TvxLoadedObject Loaded = L.LoadObject(N);
  // Only outline items are read: anything else ends the chain and stays.
  if (!Loaded || !IsOutlineCopy(*Loaded.Object)) return nullptr;
  TvxPDFIndirectObject& Src = *Loaded.Object;
  auto Item = std::make_unique<TvxPDFOutline>(Src.DocumentID, Src.ObjectNumber, Src.Generation,
                                              Src.Value->Clone());
  // A copy already in the store (an object stream, or reached through
  // another object) stays there valid but unwritten; the rebuilt item keeps
  // its numbers, so that every reference to it reaches the rebuilt one.
  TvxPDFIndirectObject* Stored = Loaded.Fresh ? D.FStore->FindObject(Loaded.Fresh.get()) : &Src;
  if (Stored) Stored->UseCount = 0;
  if (Src.ObjectNumber != N) {
    Item->DocumentID = D.FDocumentID;
    Item->ObjectNumber = D.FStore->NewObjectNumber();
    Item->Generation = 0;
  }
  Loaded.Fresh.reset();
  Item->Parent = Parent;
  Item->PrevSibling = Prev;
  auto& Dict = static_cast<TvxPDFDictObject&>(*Item->Value);

  if (TvxPDFObject* Count = Dict.Lookup("/Count"); Count && Count->IsInteger())
    Item->Closed = static_cast<TvxPDFIntegerObject*>(Count)->Value < 0;

  if (int32_t I = Dict.IndexOf("/Title");
      I >= 0 && !(Dict.Values[I] && Dict.Values[I]->IsString())) {
    std::unique_ptr<TvxPDFStringObject> Title = L.ResolveStringCopy(Dict.Values[I].get());
    if (Title)
      (void)Dict.PutValueAt(I, std::move(Title));
    else
      Dict.DeleteAt(I);
  }

  if (int32_t I = Dict.IndexOf("/Dest"); I >= 0 && !(Dict.Values[I] && Dict.Values[I]->IsArray())) {
    TvxPDFObject* V = Dict.Values[I].get();
    TvxPDFObjectPtr Dest;
    if (V && V->IsIndirectReference()) {
      TvxPDFObjectPtr Copy = L.LoadValueCopy(AsReference(V));
      if (Copy && !Copy->IsNull()) Dest = ResolveDestination(Copy.get());
    } else if (V && !V->IsNull()) {
      Dest = ResolveDestination(V);
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
      TvxPDFObjectPtr Copy = L.LoadValueCopy(AsReference(V));
      if (!Copy || Copy->IsNull()) {
        Dict.DeleteAt(I);
      } else {
        if (!Copy->IsDict()) throw EUnexpectedError(std::string(msg::UnexpectedError));
        ProcessAction(static_cast<TvxPDFDictObject&>(*Copy));
        (void)Dict.PutValueAt(I, std::move(Copy));
      }
    } else if (V && V->IsDict()) {
      ProcessAction(*static_cast<TvxPDFDictObject*>(V));
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
    TvxPDFObjectPtr Copy = L.LoadValueCopy(AsReference(Dict.Values[I].get()));
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

// --- Outlines on save ---

void TvxOutlineManager::AssignNumber(TvxPDFOutline& Item) {
  if (Item.ObjectNumber != 0) return;
  Item.DocumentID = D.FDocumentID;
  Item.ObjectNumber = D.FStore->NewObjectNumber();
}

bool TvxOutlineManager::DestinationDropped(const TvxPDFOutline& Item) {
  TvxPDFDictObject* Dict = AsDict(Item.Value.get());
  TvxPDFObject* Dest = Dict ? Dict->Lookup("/Dest") : nullptr;
  if (!Dest || !Dest->IsArray()) return false;
  TvxPDFObject* Page = static_cast<TvxPDFArrayObject*>(Dest)->GetItem(0);
  if (Page && Page->IsIndirectReference()) {
    TvxPDFIndirectObject* Target = D.FStore->FindObject(Page);
    return Target && Target->UseCount == 0;
  }
  if (!Page || !Page->IsNull()) E.DoWarning(std::string(msg::OutlineDestNotPage));
  return false;
}

void TvxOutlineManager::BuildOutlines(TvxPDFObjectStore& SaveStore) {
  if (!FOutlineRoot) return;
  FDepthWarned = false;
  TvxPDFOutline& Root = *FOutlineRoot;
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
  D.FCatalog->Outlines = MakeReference(Root);
}

TvxPDFOutline* TvxOutlineManager::BuildOutlineItems(TvxPDFOutline& Parent, TvxPDFOutline* First,
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

void TvxOutlineManager::BuildOutlineItem(TvxPDFOutline& Parent, TvxPDFOutline* Prev,
                                         TvxPDFOutline* Next, TvxPDFOutline& Item,
                                         TvxPDFObjectStore& SaveStore, int Depth) {
  auto Dict = std::make_unique<TvxPDFDictObject>();
  if (TvxPDFDictObject* Src = AsDict(Item.Value.get())) {
    if (TvxPDFObject* V = Src->Lookup("/Dest")) Dict->Add("/Dest", V->Clone());
    if (TvxPDFObject* V = Src->Lookup("/Title")) Dict->Add("/Title", V->Clone());
    if (TvxPDFObject* C = D.FStore->Resolve(Src->Lookup("/C")); C && C->IsArray())
      Dict->Add("/C", C->Clone());
    if (TvxPDFObject* V = Src->Lookup("/F")) Dict->Add("/F", V->Clone());
    if (TvxPDFObject* V = Src->Lookup("/A")) Dict->Add("/A", V->Clone());
  }
  Dict->Add("/Parent", MakeReference(Parent));
  if (Prev) Dict->Add("/Prev", MakeReference(*Prev));
  if (Next) Dict->Add("/Next", MakeReference(*Next));
  if (Item.FirstChild) {
    if (Depth < MaxOutlineDepth) {
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
      E.DoWarning(FormatMessage(msg::OutlineTooDeep, MaxOutlineDepth));
    }
  }
  auto Obj = std::make_unique<TvxPDFIndirectObject>(Item.DocumentID, Item.ObjectNumber,
                                                    Item.Generation, std::move(Dict));
  Obj->UseCount = 1;
  SaveStore.AddObject(std::move(Obj));
}

}  // namespace vx
