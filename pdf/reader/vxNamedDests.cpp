#include "pdf/reader/vxNamedDests.h"

#include <unordered_set>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

TvxPDFObjectPtr NullObject() {
  return std::make_unique<TvxPDFNullObject>();
}

}  // namespace

void TvxNamedDests::AddNamedDest(std::string Key, TvxPDFObjectPtr Value) {
  FNamedDestIndex.try_emplace(Key, FNamedDests.size());
  FNamedDests.push_back(TvxNamedDest{std::move(Key), std::move(Value)});
}

TvxPDFObjectPtr TvxNamedDests::FindNamedDest(const std::string& Name) const {
  // By key, whatever the order of the table: a catalog /Dests dictionary
  // need not be sorted.
  auto It = FNamedDestIndex.find(Name);
  if (It == FNamedDestIndex.end()) return nullptr;
  const TvxPDFObjectPtr& Value = FNamedDests[It->second].Value;
  return Value ? FLoader.CountedCopy(Value.get()) : nullptr;
}

TvxPDFObjectPtr TvxNamedDests::DestinationValue(TvxPDFObject* V) {
  TvxLoadedObject Target;
  if (V && V->IsIndirectReference()) {
    Target = FLoader.LoadObject(AsReference(V).ObjectNumber);
    if (!Target) return NullObject();
    Target.Object->MarkUsed();
    V = Target.Object->Value.get();
  }
  if (!V || V->IsNull()) return NullObject();
  TvxPDFObjectPtr Result;
  if (auto* Dict = AsDict(V)) {
    TvxPDFObject* Inner = Dict->Lookup("/D");
    // The table outlives the file, so an indirect array is copied in.
    if (Inner && Inner->IsIndirectReference())
      Result = FLoader.LoadValueCopy(AsReference(Inner));
    else if (Inner)
      Result = FLoader.CountedCopy(Inner);
  } else if (V->IsArray()) {
    Result = FLoader.CountedCopy(V);
  } else {
    throw EUnexpectedError(std::string(msg::UnexpectedObject));
  }
  if (!Result) return NullObject();
  if (auto* Array = ObjectAs<TvxPDFArrayObject>(Result.get()))
    if (auto* Page = ObjectAs<TvxPDFIndirectReference>(Array->GetItem(0)))
      Page->DocumentID = FData.FDocumentID;
  return Result;
}

void TvxNamedDests::ReadDestsDictionary(TvxPDFObject* Value) {
  if (!Value) return;
  TvxLoadedObject Loaded;
  TvxPDFObject* V = Value;
  if (V->IsIndirectReference()) {
    Loaded = FLoader.LoadObject(AsReference(V).ObjectNumber);
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

void TvxNamedDests::ReadNameDictionary(TvxPDFObject* Value) {
  if (!Value) return;
  TvxLoadedObject Loaded;
  TvxPDFDictObject* Names = nullptr;
  if (Value->IsIndirectReference()) {
    Loaded = FLoader.LoadObject(AsReference(Value).ObjectNumber);
    if (!Loaded) return;
    Loaded.Object->MarkUsed();
    Names = AsDict(Loaded.Object->Value.get());
  } else if (Value->IsDict()) {
    // The holder's copy is the one written, so names replaced while walking
    // must land there.
    Names = AsDict(FData.FCatalog->Names.get());
    if (!Names) Names = AsDict(Value);
  }
  if (!Names) {
    FLoader.LoadReferences(Value);
    return;
  }

  if (TvxPDFObject* Dests = Names->Lookup("/Dests")) {
    if (Dests->IsIndirectReference()) {
      int32_t K = AsReference(Dests).ObjectNumber;
      TvxLoadedObject Node = FLoader.LoadObject(K);
      if (Node) {
        Node.Object->MarkUsed();
        if (TvxPDFDictObject* Root = AsDict(Node.Object->Value.get())) ReadNameTreeNode(*Root, K);
      }
    } else if (auto* Root = AsDict(Dests)) {
      ReadNameTreeNode(*Root, 0);
    } else {
      throw document::EUnexpectedObjectError(std::string(msg::UnexpectedObject));
    }
  }

  if (Loaded.Fresh) FData.FStore->AddObject(std::move(Loaded.Fresh));
  // Every tree of the dictionary reaches the saved file.
  FLoader.LoadReferences(Names);
}

void TvxNamedDests::ReadNameTreeNode(TvxPDFDictObject& Node, int32_t NodeNumber) {
  // Walked with a list of pending kids: a tree is as deep as the file makes
  // it, and a kid that names an ancestor is read only once.
  std::unordered_set<int32_t> Seen;
  if (NodeNumber > 0) Seen.insert(NodeNumber);
  std::vector<int32_t> Pending;

  auto ArrayOf = [this](TvxPDFObject* V, TvxPDFObjectPtr& Owned) -> TvxPDFArrayObject* {
    if (V && V->IsIndirectReference()) {
      Owned = FLoader.LoadValueCopy(AsReference(V));
      V = Owned.get();
    }
    return ObjectAs<TvxPDFArrayObject>(V);
  };

  // An array object shared by many nodes is read once.
  std::unordered_set<int32_t> ArraysRead;
  auto Shared = [&](TvxPDFObject* V) {
    return V && V->IsIndirectReference() && !ArraysRead.insert(AsReference(V).ObjectNumber).second;
  };
  auto Visit = [&](TvxPDFDictObject& N) {
    TvxPDFObjectPtr Owned;
    if (TvxPDFObject* Kids = N.Lookup("/Kids")) {
      if (Shared(Kids)) return;
      if (TvxPDFArrayObject* A = ArrayOf(Kids, Owned))
        for (int32_t I = A->Count(); I-- > 0;)
          if (int32_t K = ReferenceNumber(A->GetItem(I)); K > 0 && !Seen.count(K))
            Pending.push_back(K);
      return;
    }
    if (Shared(N.Lookup("/Names"))) return;
    TvxPDFArrayObject* A = ArrayOf(N.Lookup("/Names"), Owned);
    if (!A) return;
    for (int32_t I = 0; I < A->Count(); I += 2) {
      auto* Key = ObjectAs<TvxPDFStringObject>(A->GetItem(I));
      TvxPDFObject* V = A->GetItem(I + 1);
      if (!Key || !V) continue;
      // A direct dictionary, like anything else, gives no entry.
      if (V->IsIndirectReference() || V->IsNull() || V->IsArray())
        AddNamedDest(Key->GetValue(), DestinationValue(V));
    }
  };

  Visit(Node);
  while (!Pending.empty()) {
    int32_t K = Pending.back();
    Pending.pop_back();
    if (!Seen.insert(K).second) continue;
    TvxLoadedObject Kid = FLoader.LoadObject(K);
    if (!Kid) continue;
    Kid.Object->MarkUsed();
    if (TvxPDFDictObject* Dict = AsDict(Kid.Object->Value.get())) Visit(*Dict);
  }
}

TvxPDFObjectPtr TvxNamedDests::ResolveDestination(const TvxPDFObject* V) const {
  if (V) {
    if (const auto* Text = ObjectAs<TvxPDFStringObject>(V)) {
      if (TvxPDFObjectPtr Dest = FindNamedDest(Text->GetValue())) return Dest;
      return V->Clone();
    }
    if (const auto* Name = ObjectAs<TvxPDFNameObject>(V)) {
      if (TvxPDFObjectPtr Dest = FindNamedDest(Name->GetName())) return Dest;
      return V->Clone();
    }
    if (V->IsArray()) return V->Clone();
  }
  throw EUnexpectedError(std::string(msg::UnexpectedError));
}

}  // namespace vx
