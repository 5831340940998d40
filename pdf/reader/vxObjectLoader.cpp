#include "pdf/reader/vxObjectLoader.h"

#include <optional>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/reader/vxRepair.h"

namespace vx {

namespace {

constexpr int MaxDirectDepth = 512;

[[noreturn]] void UnexpectedObject() {
  throw document::EUnexpectedObjectError(std::string(msg::UnexpectedObject));
}

// Clears the running walk when an error passes through.
template <typename TFrames>
class TvxWalkGuard {
 public:
  TvxWalkGuard(bool& Walking, TFrames& Frames) : FWalking(Walking), FFrames(Frames) {
    FWalking = true;
  }
  ~TvxWalkGuard() {
    FWalking = false;
    FFrames.clear();
  }
  TvxWalkGuard(const TvxWalkGuard&) = delete;
  TvxWalkGuard& operator=(const TvxWalkGuard&) = delete;

 private:
  bool& FWalking;
  TFrames& FFrames;
};

}  // namespace

int64_t TvxObjectLoader::GetObjectOffset(int32_t K) const {
  if (auto It = FData.FXRefItems.find(K); It != FData.FXRefItems.end()) return It->second.Offset;
  if (auto It = FData.FXRefStmItems.find(K);
      It != FData.FXRefStmItems.end() && It->second.EntryType == 1)
    return It->second.Field2;
  return 0;
}

void TvxObjectLoader::LoadLength(TvxPDFDictObject& Dict) {
  // A length object that is itself a stream (or this very stream) would
  // recurse; its length is then found by the search for "endstream".
  if (FLoadingLength) return;
  struct TvxFlag {
    bool& F;
    ~TvxFlag() { F = false; }
  } Reset{FLoadingLength};
  FLoadingLength = true;
  TvxPDFObject* Length = Dict.Lookup("/Length");
  auto* Ref = ObjectAs<TvxPDFIndirectReference>(Length);
  if (!Ref || FData.FStore->FindObject(Length) || Ref->ObjectNumber <= 0) return;
  TvxLoadedObject Loaded = LoadObject(Ref->ObjectNumber);
  // Stored unmarked: the walk of the dictionary marks it.
  if (Loaded.Fresh) FData.FStore->AddObject(std::move(Loaded.Fresh));
}

std::unique_ptr<TvxPDFIndirectObject> TvxObjectLoader::ReadIndirectObject() {
  TvxPDFStreamReader* R = FData.FReader.get();
  if (!R || R->Position() == 0) return nullptr;
  const int64_t Start = R->Position();
  TvxPDFObjectPtr Obj = R->ParseObject();
  std::unique_ptr<TvxPDFIndirectObject> I = ObjectTake<TvxPDFIndirectObject>(Obj);
  if (!I) throw EPDFFileCorruptedError(FormatMessage(msg::NoObjectAtOffset, Start));
  // Pages of the mapped file the reader has passed over (and the kernel
  // mapped around them) are let go now and then, so that they never add up
  // to the size of the file.
  if (++FObjectsRead % 128 == 0 && FData.FSource) FData.FSource->DropPages();
  auto* Stream = ObjectAs<TvxPDFStreamObject>(I->Value.get());
  if (!Stream) return I;

  const int64_t Q = R->Position();
  auto* Type = ObjectAs<TvxPDFNameObject>(Stream->Dict->Lookup("/Type"));
  bool IsXRef = Type && Type->Text == "/XRef";
  if (!IsXRef) {
    LoadLength(*Stream->Dict);
    // Inside a walk the caller stores this object and walks it whole; the
    // walk must not keep a pointer into an object the caller may drop.
    if (!FWalking) LoadReferences(Stream->Dict.get());
  }
  R->Seek(Q, soBeginning);
  // An unknown length is found by the search for "endstream".
  int32_t Length = -1;
  if (auto* L =
          ObjectAs<TvxPDFIntegerObject>(FData.FStore->Resolve(Stream->Dict->Lookup("/Length"))))
    Length = L->Value;
  try {
    Stream->Data = R->ReadStreamContent(Length, I->ObjectNumber, I->Generation, Stream->Dict.get());
    if (FData.FRepairing && Length >= 0 && Stream->Data && Stream->Data.Size() != Length)
      FEvents.DoWarning(FormatMessage(msg::RepairLength, I->ObjectNumber));
  } catch (const Exception&) {
    R->Seek(Q, soBeginning);
    if (auto* L1 = ObjectAs<TvxPDFIntegerObject>(
            FData.FStore->Resolve(Stream->Dict->Lookup("/Length1")))) {
      Stream->Data =
          R->ReadStreamContent(L1->Value, I->ObjectNumber, I->Generation, Stream->Dict.get());
    } else {
      // A /Length of 0 before real data would lose the data: the search for
      // "endstream" finds it instead. Without any "endstream" the stream
      // stays without data.
      try {
        R->Seek(Q, soBeginning);
        Stream->Data = R->ReadStreamContent(-1, I->ObjectNumber, I->Generation, Stream->Dict.get());
      } catch (const Exception&) {
        R->Seek(Q, soBeginning);
        if (FData.FRepairing) {
          // The data runs to the object's end.
          FEvents.DoWarning(FormatMessage(msg::RepairNoEndStream, I->ObjectNumber));
          Stream->Data = R->ReadUnterminatedStreamData(Length, I->ObjectNumber, I->Generation,
                                                       Stream->Dict.get());
        } else if (Length > 0) {
          // A damaged keyword after data whose length fits the object: the
          // data is what /Length says, as viewers read it.
          try {
            Stream->Data = R->ReadUnterminatedStreamData(Length, I->ObjectNumber, I->Generation,
                                                         Stream->Dict.get(), true);
            FEvents.DoWarning(FormatMessage(msg::RepairNoEndStream, I->ObjectNumber));
          } catch (const Exception&) {
            // Longer than the object: left without data.
          }
        }
      }
    }
  }
  return I;
}

TvxLoadedObject TvxObjectLoader::LoadObject(int32_t K) {
  TvxLoadedObject Result;
  int32_t Index = FData.FStore->IndexOfObject(FData.FDocumentID, K, 0);
  // An object stored under the generation its entry gives is the same one.
  if (Index < 0 && K >= 0) {
    int32_t Gen = 0;
    if (auto It = FData.FXRefItems.find(K); It != FData.FXRefItems.end())
      Gen = It->second.Generation;
    else if (auto St = FData.FXRefStmItems.find(K);
             St != FData.FXRefStmItems.end() && St->second.EntryType == 1)
      Gen = St->second.Field3;
    if (Gen > 0 && Gen <= 65535)
      Index = FData.FStore->IndexOfObject(FData.FDocumentID, K, static_cast<uint16_t>(Gen));
  }
  // One the file gave under yet another generation is that one too: it is
  // not read again for every reference.
  if (Index < 0)
    if (auto It = FFileGeneration.find(K); It != FFileGeneration.end())
      Index = FData.FStore->IndexOfObject(FData.FDocumentID, K, It->second);
  if (Index >= 0) {
    Result.Object = FData.FStore->GetObject(Index);
    return Result;
  }
  int64_t Offset = GetObjectOffset(K);
  if (Offset == 0 || !FData.FReader || FMisplaced.Find(K) >= 0) return Result;
  // Many entries may give the place of one object: it is read once.
  if (FOtherAt.count(Offset)) {
    FEvents.DoWarning(FormatMessage(msg::WrongObjectAtOffset, K));
    FMisplaced.Insert(K, 0);
    return Result;
  }
  FData.FReader->Seek(Offset, soBeginning);
  Result.Fresh = ReadIndirectObject();
  // An entry that leads to another object is wrong; trusting it would store
  // that object again on every reference to K. It is read and reported
  // once: reading it again for every reference could take for ever.
  if (Result.Fresh && Result.Fresh->ObjectNumber != K) {
    FEvents.DoWarning(FormatMessage(msg::WrongObjectAtOffset, K));
    FMisplaced.Insert(K, 0);
    FOtherAt.insert(Offset);
    Result.Fresh.reset();
  }
  // An object the store already holds under the numbers found in the file
  // (a reference with another generation) is that object: reading it again
  // must not add it again, or a walk could go on for ever.
  if (Result.Fresh) {
    if (Result.Fresh->Generation != 0) FFileGeneration[K] = Result.Fresh->Generation;
    int32_t Known = FData.FStore->IndexOfObject(FData.FDocumentID, K, Result.Fresh->Generation);
    if (Known >= 0) {
      Result.Fresh.reset();
      Result.Object = FData.FStore->GetObject(Known);
      return Result;
    }
  }
  Result.Object = Result.Fresh.get();
  return Result;
}

void TvxObjectLoader::LoadReference(const TvxPDFIndirectReference& R) {
  if (R.ObjectNumber <= 0) {
    FEvents.DoWarning(FormatMessage(msg::InvalidObjectNumber, R.ObjectNumber));
    return;
  }
  // Numbers given to new objects stay above every number the document names:
  // a reference to a missing object must not come to name one of ours.
  if (R.ObjectNumber > FData.FStore->LastObjectNumber && R.ObjectNumber <= MaxObjectNumber)
    FData.FStore->LastObjectNumber = R.ObjectNumber;
  if (TvxPDFIndirectObject* Found = FData.FStore->FindObject(&R)) {
    Found->MarkUsed();
    return;
  }
  TvxLoadedObject Loaded = LoadObject(R.ObjectNumber);
  if (!Loaded) return;
  if (!Loaded.Fresh) {
    // Stored under generation 0 while the reference names another one.
    Loaded.Object->MarkUsed();
    return;
  }
  Loaded.Fresh->MarkUsed();
  TvxPDFIndirectObject* Stored = FData.FStore->AddObject(std::move(Loaded.Fresh));
  // A stream read outside a walk had its dictionary walked while it was read.
  if (Stored->Value && (FWalking || !Stored->Value->IsStream()))
    LoadReferences(Stored->Value.get());
}

void TvxObjectLoader::LoadReferences(TvxPDFObject* X) {
  if (!X) return;
  // Inside a walk everything read is walked by the walk, in its turn.
  std::optional<TvxWalkGuard<std::vector<TvxWalkFrame>>> Guard;
  if (!FWalking) Guard.emplace(FWalking, FFrames);
  if (auto* Ref = ObjectAs<TvxPDFIndirectReference>(X))
    LoadReference(*Ref);
  else
    PushWalk(X);
  if (Guard) RunWalk();  // else the running walk goes on with it
}

void TvxObjectLoader::PushWalk(TvxPDFObject* X) {
  while (auto* Obj = ObjectAs<TvxPDFIndirectObject>(X)) X = Obj->Value.get();
  if (auto* Stream = ObjectAs<TvxPDFStreamObject>(X)) X = Stream->Dict.get();
  if (X && (X->IsArray() || X->IsDict())) FFrames.push_back(TvxWalkFrame{X, 0});
}

void TvxObjectLoader::RunWalk() {
  while (!FFrames.empty()) {
    // Read before anything is loaded: loading may push frames and move them.
    TvxWalkFrame& Top = FFrames.back();
    TvxPDFObject* Container = Top.Container;
    const int32_t I = Top.Next++;
    if (Container->IsArray()) {
      auto& Items = static_cast<TvxPDFArrayObject*>(Container)->Items;
      if (I >= static_cast<int32_t>(Items.size())) {
        FFrames.pop_back();
        continue;
      }
      TvxPDFObject* Item = Items[static_cast<size_t>(I)].get();
      if (!Item) continue;
      if (Item->IsArray() || Item->IsDict())
        PushWalk(Item);
      else if (Item->IsStream())
        FEvents.DoWarning(std::string(msg::StreamInsideArray));
      else if (Item->IsIndirectReference())
        LoadReference(*static_cast<TvxPDFIndirectReference*>(Item));
      continue;
    }
    // PushWalk pushes arrays and dictionaries only.
    auto* Dict = &ObjectCast<TvxPDFDictObject>(Container);
    if (I >= Dict->Count()) {
      FFrames.pop_back();
      continue;
    }
    TvxPDFObject* V = Dict->Values[static_cast<size_t>(I)].get();
    if (!V) continue;
    if (V->IsArray() || V->IsDict()) {
      PushWalk(V);
    } else if (V->IsIndirectReference()) {
      LoadReference(*static_cast<TvxPDFIndirectReference*>(V));
    } else if ((V->IsString() || V->IsName()) && FData.FFindNamedDest) {
      const std::string& Key = Dict->Keys[static_cast<size_t>(I)]->Text;
      if (Key != "/Dest" && Key != "/D") continue;
      // These actions name a destination in another file or a thread; the
      // kind is looked up once a dictionary.
      if (Key == "/D") {
        TvxWalkFrame& Frame = FFrames.back();
        if (Frame.Remote < 0) {
          auto* S = ObjectAs<TvxPDFNameObject>(Dict->Lookup("/S"));
          const std::string* Kind = S ? &S->Text : nullptr;
          Frame.Remote = Kind && (*Kind == "/GoToR" || *Kind == "/GoToE" || *Kind == "/Thread");
        }
        if (Frame.Remote) continue;
      }
      auto* Text = ObjectAs<TvxPDFStringObject>(V);
      std::string Name = Text ? Text->GetValue() : ObjectCast<TvxPDFNameObject>(V).GetName();
      if (TvxPDFObjectPtr Dest = FData.FFindNamedDest(Name))
        Dict->Values[static_cast<size_t>(I)] = std::move(Dest);
    }
  }
}

TvxPDFObjectPtr TvxObjectLoader::MakeDirect(const TvxPDFObject* X) {
  // Objects shared along several paths are copied once per path: a graph of
  // a few bytes can unfold into a tree of any size. No sound copy holds more
  // values than the file has bytes.
  FDirectLeft = 4096 + (FData.FReader ? FData.FReader->GetSize() : 0);
  return MakeDirect(X, 0);
}

TvxPDFObjectPtr TvxObjectLoader::MakeDirect(const TvxPDFObject* X, int Depth) {
  if (!X) return nullptr;
  // Also ends a chain of references that comes back to itself.
  if (Depth > MaxDirectDepth)
    throw ENestingTooDeepError(FormatMessage(msg::NestingTooDeep, MaxDirectDepth));
  if (--FDirectLeft < 0) throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
  switch (X->ObjectType) {
    case otArray: {
      auto Result = std::make_unique<TvxPDFArrayObject>();
      for (const auto& Item : static_cast<const TvxPDFArrayObject*>(X)->Items)
        Result->Add(MakeDirect(Item.get(), Depth + 1));
      return Result;
    }
    case otDict: {
      auto* Dict = static_cast<const TvxPDFDictObject*>(X);
      auto Result = std::make_unique<TvxPDFDictObject>();
      for (int32_t I = 0; I < Dict->Count(); ++I)
        Result->AddEntry(Dict->Keys[I]->CloneName(), MakeDirect(Dict->Values[I].get(), Depth + 1));
      return Result;
    }
    case otIndirectReference: {
      TvxLoadedObject Loaded =
          LoadObject(static_cast<const TvxPDFIndirectReference*>(X)->ObjectNumber);
      if (!Loaded) return nullptr;
      Loaded.Object->MarkUsed();
      return MakeDirect(Loaded.Object->Value.get(), Depth + 1);
    }
    case otIndirectObject:
      return MakeDirect(static_cast<const TvxPDFIndirectObject*>(X)->Value.get(), Depth + 1);
    default: return X->Clone();
  }
}

TvxPDFObject* TvxObjectLoader::Target(TvxPDFObject* X, bool Keep,
                                      std::unique_ptr<TvxPDFIndirectObject>& Holder,
                                      bool* FromFile) {
  if (FromFile) *FromFile = false;
  // A chain ends as missing as in the store, instead of costing a read for
  // every object the file describes.
  for (int64_t Steps = 0; X && X->IsIndirectReference(); ++Steps) {
    if (Steps >= MaxReferenceChain) return nullptr;
    TvxPDFIndirectObject* Found = FData.FStore->FindObject(X);
    if (!Found) {
      TvxLoadedObject Loaded = LoadObject(ReferenceNumber(X));
      if (!Loaded) return nullptr;
      if (Loaded.Fresh) {
        if (FromFile) *FromFile = true;
        Loaded.Fresh->MarkUsed();
        if (Keep)
          Found = FData.FStore->AddObject(std::move(Loaded.Fresh));
        else
          Holder = std::move(Loaded.Fresh);
      }
      if (!Found) Found = Loaded.Object;
    }
    X = Found->Value.get();
  }
  return X;
}

TvxPDFArrayObject* TvxObjectLoader::ResolveArrayLoading(
    TvxPDFObject* X, bool Keep, std::unique_ptr<TvxPDFIndirectObject>& Holder) {
  if (!X) return nullptr;
  if (!X->IsArray() && !X->IsIndirectReference()) UnexpectedObject();
  TvxPDFObject* T = Target(X, Keep, Holder);
  if (!T) return nullptr;
  auto* Array = ObjectAs<TvxPDFArrayObject>(T);
  if (!Array) UnexpectedObject();
  return Array;
}

TvxPDFDictObject* TvxObjectLoader::ResolveDictLoading(TvxPDFObject* X, bool Keep,
                                                      std::unique_ptr<TvxPDFDictObject>& Owned) {
  if (!X) return nullptr;
  if (!X->IsDict() && !X->IsIndirectReference()) UnexpectedObject();
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  bool FromFile = false;
  TvxPDFObject* T = Target(X, Keep, Holder, &FromFile);
  if (!T) return nullptr;
  auto* Dict = AsDict(T);
  if (!Dict) UnexpectedObject();
  if (FromFile) {
    Owned = Dict->CloneDict();
    return Owned.get();
  }
  return Dict;
}

std::unique_ptr<TvxPDFStringObject> TvxObjectLoader::ResolveStringCopy(TvxPDFObject* X) {
  if (!X) return nullptr;
  if (!X->IsString() && !X->IsIndirectReference()) UnexpectedObject();
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  TvxPDFObject* T = Target(X, false, Holder);
  if (!T) return nullptr;
  if (!T->IsString()) UnexpectedObject();
  TvxPDFObjectPtr Copy = CountedCopy(T);
  return ObjectTake<TvxPDFStringObject>(Copy);
}

std::unique_ptr<TvxPDFNameObject> TvxObjectLoader::ResolveNameCopy(TvxPDFObject* X) {
  if (!X) return nullptr;
  if (!X->IsName() && !X->IsIndirectReference()) UnexpectedObject();
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  TvxPDFObject* T = Target(X, false, Holder);
  if (!T) return nullptr;
  auto* Name = ObjectAs<TvxPDFNameObject>(T);
  if (!Name) UnexpectedObject();
  return Name->CloneName();
}

TvxPDFObjectPtr TvxObjectLoader::LoadValueCopy(const TvxPDFIndirectReference& R) {
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  TvxPDFIndirectReference Copy(R.DocumentID, R.ObjectNumber, R.Generation);
  TvxPDFObject* T = Target(&Copy, false, Holder);
  return T ? CountedCopy(T) : nullptr;
}

TvxPDFObjectPtr TvxObjectLoader::CountedCopy(const TvxPDFObject* V) {
  if (!V) return nullptr;
  // Every sound file copies far less than this: each entry its own small
  // value, a few times over.
  if (!FCopyBudgetSet) {
    FCopyLeft = (int64_t{1} << 20) + 8 * (FData.FReader ? FData.FReader->GetSize() : 0);
    FCopyBudgetSet = true;
  }
  // The values V holds; containers nest at most as deep as the parser lets.
  std::vector<const TvxPDFObject*> Todo{V};
  while (!Todo.empty()) {
    const TvxPDFObject* X = Todo.back();
    Todo.pop_back();
    // Long text counts by its size.
    if (const auto* Text = ObjectAs<TvxPDFStringObject>(X))
      FCopyLeft -= static_cast<int64_t>(Text->Text.size() / 16);
    if (--FCopyLeft < 0) {
      FCopyLeft = 0;
      throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
    }
    if (const auto* Array = ObjectAs<TvxPDFArrayObject>(X))
      for (const auto& Item : Array->Items) Todo.push_back(Item.get());
    else if (const auto* Dict = AsDict(X))
      for (const auto& Value : Dict->Values) Todo.push_back(Value.get());
    else if (const auto* Stream = ObjectAs<TvxPDFStreamObject>(X); Stream && Stream->Dict)
      Todo.push_back(Stream->Dict.get());
  }
  return V->Clone();
}

}  // namespace vx
