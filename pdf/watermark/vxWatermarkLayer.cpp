#include "pdf/watermark/vxWatermarkLayer.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxPDFObjectStore.h"

namespace vx {

namespace {

constexpr std::string_view GroupName = "Watermark";

std::unique_ptr<TvxPDFNameObject> Name(std::string_view Text) {
  return std::make_unique<TvxPDFNameObject>(std::string(Text));
}

std::unique_ptr<TvxPDFArrayObject> ArrayOf(TvxPDFObjectPtr Item) {
  auto A = std::make_unique<TvxPDFArrayObject>();
  A->Add(std::move(Item));
  return A;
}

std::unique_ptr<TvxPDFStringObject> Utf16String(const std::u16string& Text) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string Hex = "<FEFF";
  for (char16_t C : Text)
    for (int Shift = 12; Shift >= 0; Shift -= 4) Hex.push_back(Digits[(C >> Shift) & 15]);
  Hex.push_back('>');
  return std::make_unique<TvxPDFStringObject>(std::move(Hex), true);
}

int32_t ContentsRefOf(const TvxPDFObject* V) {
  const auto* R = ObjectAs<TvxPDFIndirectReference>(V);
  return R ? R->ObjectNumber : -1;
}

bool SameRef(const TvxPDFObject* A, int32_t Number) {
  const auto* R = ObjectAs<TvxPDFIndirectReference>(A);
  return R && R->ObjectNumber == Number;
}

}  // namespace

std::string LayerContentPrefix(std::string_view Name) {
  return "/OC " + std::string(Name) +
         " BDC\r/Artifact <</Type /Pagination /Subtype /Watermark>> BDC\r";
}

TvxPDFDictObject* TvxWatermarkLayer::Properties() const {
  if (!FData.FCatalog->OtherEntries) return nullptr;
  return ObjectAs<TvxPDFDictObject>(
      FData.FStore->Resolve(FData.FCatalog->OtherEntries->Lookup("/OCProperties")));
}

TvxPDFDictObject* TvxWatermarkLayer::FindOwnGroup(int32_t* ObjectNumber) const {
  TvxPDFDictObject* Props = Properties();
  if (!Props) return nullptr;
  const auto* Groups = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Props->Lookup("/OCGs")));
  if (!Groups) return nullptr;
  for (const TvxPDFObjectPtr& Item : Groups->Items) {
    auto* Group = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Item.get()));
    const auto* Own = Group ? ObjectAs<TvxPDFBooleanObject>(Group->Lookup(OwnGroupKey)) : nullptr;
    const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Item.get());
    if (Own && Own->Value && Ref) {
      if (ObjectNumber) *ObjectNumber = Ref->ObjectNumber;
      return Group;
    }
  }
  return nullptr;
}

std::unique_ptr<TvxPDFIndirectReference> TvxWatermarkLayer::EnsureGroup(bool Print, bool View,
                                                                        bool Overlay,
                                                                        std::string* Warning) {
  int32_t Number = 0;
  if (FindOwnGroup(&Number))
    return std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, Number, 0);

  TvxPDFCatalog& Catalog = *FData.FCatalog;
  if (!Catalog.OtherEntries) Catalog.OtherEntries = std::make_unique<TvxPDFDictObject>();
  TvxPDFObject* Present = Catalog.OtherEntries->Lookup("/OCProperties");
  // Damaged layer settings that no reader can use give way to ours; removal
  // puts them back.
  TvxPDFObjectPtr Damaged;
  if (Present && !ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Present))) {
    if (Warning)
      *Warning =
          "The document's /OCProperties is damaged; it is replaced by one that lists the "
          "watermark layer, and unstamp puts it back";
    Damaged = Present->Clone();
    Catalog.OtherEntries->Remove("/OCProperties");
    Present = nullptr;
  }

  auto Usage = std::make_unique<TvxPDFDictObject>();
  auto PrintUsage = std::make_unique<TvxPDFDictObject>();
  PrintUsage->AddName("/Subtype", "/Watermark");
  PrintUsage->AddName("/PrintState", Print ? "/ON" : "/OFF");
  auto ViewUsage = std::make_unique<TvxPDFDictObject>();
  ViewUsage->AddName("/ViewState", View ? "/ON" : "/OFF");
  auto Element = std::make_unique<TvxPDFDictObject>();
  Element->AddName("/Subtype", Overlay ? "/FG" : "/BG");
  Usage->Add("/Print", std::move(PrintUsage));
  Usage->Add("/View", std::move(ViewUsage));
  Usage->Add("/PageElement", std::move(Element));
  auto Group = std::make_unique<TvxPDFDictObject>();
  Group->AddName("/Type", "/OCG");
  Group->Add("/Name", std::make_unique<TvxPDFStringObject>("(" + std::string(GroupName) + ")"));
  Group->Add("/Usage", std::move(Usage));
  Group->SetBoolean(OwnGroupKey, true);
  // Removal takes away again only the entries the stamping made.
  auto Made = std::make_unique<TvxPDFArrayObject>();
  TvxPDFArrayObject& MadeKeys = *Made;
  Group->Add("/VxMade", std::move(Made));
  if (Damaged) Group->Add("/VxPropertiesBefore", std::move(Damaged));
  Number = FData.FStore->NewObjectNumber();
  FData.FStore->AddObject(
      std::make_unique<TvxPDFIndirectObject>(FData.FDocumentID, Number, 0, true, std::move(Group)));
  auto Ref = [&] {
    return std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, Number, 0);
  };

  if (!Present) {
    Catalog.OtherEntries->Add("/OCProperties", std::make_unique<TvxPDFDictObject>());
    MadeKeys.Add(Name("/OCProperties"));
  }
  TvxPDFDictObject& Props = *Properties();
  // Arrays and dictionaries are extended where they are, made where missing.
  auto ArrayIn = [&](TvxPDFDictObject& Dict, std::string_view Key) -> TvxPDFArrayObject& {
    if (auto* A = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Dict.Lookup(Key)))) return *A;
    MadeKeys.Add(Name(Key));
    auto Fresh = std::make_unique<TvxPDFArrayObject>();
    TvxPDFArrayObject& Made = *Fresh;
    Dict.SetValue(Key, std::move(Fresh));
    return Made;
  };
  ArrayIn(Props, "/OCGs").Add(Ref());
  auto* Default = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Props.Lookup("/D")));
  if (!Default) {
    MadeKeys.Add(Name("/D"));
    Props.SetValue("/D", std::make_unique<TvxPDFDictObject>());
    Default = ObjectAs<TvxPDFDictObject>(Props.Lookup("/D"));
  }
  ArrayIn(*Default, "/Order").Add(Ref());
  if (!View) ArrayIn(*Default, "/OFF").Add(Ref());
  TvxPDFArrayObject& Automatic = ArrayIn(*Default, "/AS");
  for (const char* Event : {"/View", "/Print"}) {
    auto Entry = std::make_unique<TvxPDFDictObject>();
    Entry->AddName("/Event", Event);
    Entry->Add("/OCGs", ArrayOf(Ref()));
    Entry->Add("/Category", ArrayOf(Name(Event)));
    Automatic.Add(std::move(Entry));
  }
  return Ref();
}

std::vector<int32_t> TvxWatermarkLayer::ContentNumbers(const TvxPDFDictObject& Page) const {
  std::vector<int32_t> Numbers;
  const TvxPDFObject* Contents = Page.Lookup("/Contents");
  const TvxPDFObject* Target = FData.FStore->Resolve(const_cast<TvxPDFObject*>(Contents));
  if (const auto* A = ObjectAs<TvxPDFArrayObject>(Target)) {
    for (const TvxPDFObjectPtr& Item : A->Items) {
      const auto* R = ObjectAs<TvxPDFIndirectReference>(Item.get());
      Numbers.push_back(R ? R->ObjectNumber : -1);
    }
  } else if (const auto* R = ObjectAs<TvxPDFIndirectReference>(Contents)) {
    Numbers.push_back(R->ObjectNumber);
  }
  return Numbers;
}

TvxPageSnapshot TvxWatermarkLayer::Snapshot(TvxPDFDictObject& Page) const {
  TvxPageSnapshot S;
  TvxPDFObject* Contents = Page.Lookup("/Contents");
  if (Contents) {
    S.Contents = Contents->Clone();
    if (Contents->IsIndirectReference())
      if (const auto* A = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Contents)))
        S.ArrayItems = A->Clone();
  }
  if (TvxPDFObject* Resources = Page.Lookup("/Resources")) S.Resources = Resources->Clone();
  return S;
}

void TvxWatermarkLayer::Record(TvxPDFDictObject& Page, TvxPageSnapshot Before, int32_t StreamNumber,
                               const std::vector<TvxAddedResource>& Added,
                               const std::u16string& Text) {
  auto R = std::make_unique<TvxPDFDictObject>();
  R->Add("/Stream", std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, StreamNumber, 0));
  if (Before.Contents) R->Add("/Before", std::move(Before.Contents));
  if (Before.ArrayItems) R->Add("/BeforeItems", std::move(Before.ArrayItems));
  // Resources the stamping had to make (none, or not a dictionary) are
  // given back as they were.
  if (!Before.Resources) {
    R->SetBoolean("/NoResources", true);
  } else if (!ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Before.Resources.get()))) {
    R->Add("/ResourcesBefore", std::move(Before.Resources));
  }
  auto After = std::make_unique<TvxPDFArrayObject>();
  for (int32_t N : ContentNumbers(Page))
    After->Add(std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, N, 0));
  R->Add("/After", std::move(After));
  auto List = std::make_unique<TvxPDFArrayObject>();
  for (const TvxAddedResource& A : Added) {
    List->Add(Name(A.Category));
    List->Add(Name(A.Name));
    List->Add(std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, A.ObjectNumber, 0));
  }
  R->Add("/Added", std::move(List));
  R->Add("/Text", Utf16String(Text));
  auto* Records = ObjectAs<TvxPDFArrayObject>(Page.Lookup(WatermarkRecordsKey));
  if (!Records) {
    Page.SetValue(WatermarkRecordsKey, std::make_unique<TvxPDFArrayObject>());
    Records = ObjectAs<TvxPDFArrayObject>(Page.Lookup(WatermarkRecordsKey));
  }
  Records->Add(std::move(R));
}

int32_t TvxWatermarkLayer::RemoveAll(std::vector<std::string>& Notes) {
  TvxPDFObjectStore& Store = *FData.FStore;
  std::vector<TvxPDFIndirectObject*> Candidates;
  auto Candidate = [&](const TvxPDFObject* Ref) {
    if (TvxPDFIndirectObject* Obj = Store.FindObject(Ref)) Candidates.push_back(Obj);
  };
  // Resource entries to take out, by resources dictionary, category and
  // name; an entry some page still needs is kept.
  using TvxKey = std::tuple<TvxPDFDictObject*, std::string, std::string>;
  std::map<TvxKey, int32_t> Remove;  // -> object number
  std::set<TvxKey> Needed;
  struct TvxGiveBack {
    TvxPDFDictObject* Page;
    TvxPDFObjectPtr Resources;  // nil: remove the key
  };
  std::vector<TvxGiveBack> GiveBack;
  struct TvxRepoint {
    TvxPDFDictObject* Page;
    TvxPDFObjectPtr Shared;
  };
  std::vector<TvxRepoint> Repoint;
  int32_t Restored = 0;
  bool Left = false;
  // How many pages draw each /Contents object: one that another page
  // draws is not changed for this one.
  std::unordered_map<int32_t, int32_t> Users;
  auto ContentsRef = [](const TvxPDFDictObject& Page) -> int32_t {
    const auto* R = ObjectAs<TvxPDFIndirectReference>(Page.Lookup("/Contents"));
    return R ? R->ObjectNumber : -1;
  };
  for (const TvxPDFIndirectObject* PageObj : FData.FPages)
    if (const auto* Page = ObjectAs<TvxPDFDictObject>(PageObj->Value.get()))
      ++Users[ContentsRef(*Page)];

  for (size_t P = 0; P < FData.FPages.size(); ++P) {
    auto* Page = ObjectAs<TvxPDFDictObject>(FData.FPages[P]->Value.get());
    auto* Records = Page ? ObjectAs<TvxPDFArrayObject>(Page->Lookup(WatermarkRecordsKey)) : nullptr;
    if (!Records) continue;
    auto* Resources = ObjectAs<TvxPDFDictObject>(Store.Resolve(Page->Lookup("/Resources")));
    auto Keys = [&](const TvxPDFDictObject& R, auto&& Each) {
      const auto* Added = ObjectAs<TvxPDFArrayObject>(R.Lookup("/Added"));
      for (int32_t I = 0; Added && I + 2 < Added->Count(); I += 3) {
        const auto* Cat = ObjectAs<TvxPDFNameObject>(Added->Items[static_cast<size_t>(I)].get());
        const auto* Nm = ObjectAs<TvxPDFNameObject>(Added->Items[static_cast<size_t>(I) + 1].get());
        const auto* Ref =
            ObjectAs<TvxPDFIndirectReference>(Added->Items[static_cast<size_t>(I) + 2].get());
        if (Cat && Nm && Ref) Each(TvxKey{Resources, Cat->Text, Nm->Text}, *Ref);
      }
    };
    bool Changed = false;
    for (int32_t I = Records->Count() - 1; I >= 0; --I) {
      const auto* R = ObjectAs<TvxPDFDictObject>(Records->Items[static_cast<size_t>(I)].get());
      if (!R) {
        Records->Delete(I);
        continue;
      }
      std::vector<int32_t> After;
      if (const auto* A = ObjectAs<TvxPDFArrayObject>(R->Lookup("/After")))
        for (const TvxPDFObjectPtr& Item : A->Items) {
          const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Item.get());
          After.push_back(Ref ? Ref->ObjectNumber : -1);
        }
      if (After != ContentNumbers(*Page)) {
        Notes.push_back(FormatMessage(
            "Page %d was changed after its watermark was stamped; the watermark is left on it",
            static_cast<int64_t>(P + 1)));
        Left = true;
        for (int32_t K = I; K >= 0; --K)
          if (const auto* Older =
                  ObjectAs<TvxPDFDictObject>(Records->Items[static_cast<size_t>(K)].get()))
            Keys(*Older,
                 [&](const TvxKey& Key, const TvxPDFIndirectReference&) { Needed.insert(Key); });
        break;
      }
      // What the stamping put into /Contents goes; what was there comes back.
      const TvxPDFObject* Before = R->Lookup("/Before");
      std::unordered_set<int32_t> Kept;
      // The page's own /Contents object now (a copy the stamping made goes).
      const int32_t ContentsNow = ContentsRef(*Page);
      --Users[ContentsNow];
      const auto* Items = ObjectAs<TvxPDFArrayObject>(R->Lookup("/BeforeItems"));
      auto* Target =
          Before ? ObjectAs<TvxPDFArrayObject>(Store.Resolve(const_cast<TvxPDFObject*>(Before)))
                 : nullptr;
      if (Items && Target && Users[ContentsRefOf(Before)] > 0) {
        // The array now belongs to another page: this one gets its items,
        // and the array again once that page gives it back.
        Page->SetValue("/Contents", Items->Clone());
        Repoint.push_back({Page, Before->Clone()});
      } else if (Before) {
        if (Items && Target) Target->Items = std::move(Items->CloneArray()->Items);
        Page->SetValue("/Contents", Before->Clone());
      } else {
        Page->Remove("/Contents");
      }
      ++Users[ContentsRef(*Page)];
      for (int32_t N : ContentNumbers(*Page)) Kept.insert(N);
      if (const auto* Items = ObjectAs<TvxPDFArrayObject>(R->Lookup("/BeforeItems")))
        for (const TvxPDFObjectPtr& Item : Items->Items)
          if (const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Item.get()))
            Kept.insert(Ref->ObjectNumber);
      if (const auto* A = ObjectAs<TvxPDFArrayObject>(R->Lookup("/After")))
        for (const TvxPDFObjectPtr& Item : A->Items)
          if (const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Item.get()))
            if (!Kept.count(Ref->ObjectNumber)) Candidate(Ref);
      if (const TvxPDFObject* Stream = R->Lookup("/Stream")) Candidate(Stream);
      // A copy of a shared /Contents array the stamping made goes too.
      if (ContentsNow >= 0 && !Kept.count(ContentsNow) && !SameRef(Before, ContentsNow)) {
        const TvxPDFIndirectReference Ref(FData.FDocumentID, ContentsNow, 0);
        Candidate(&Ref);
      }
      Keys(*R, [&](const TvxKey& Key, const TvxPDFIndirectReference& Ref) {
        Remove.emplace(Key, Ref.ObjectNumber);
      });
      if (R->Lookup("/NoResources"))
        GiveBack.push_back({Page, nullptr});
      else if (const TvxPDFObject* Old = R->Lookup("/ResourcesBefore"))
        GiveBack.push_back({Page, Old->Clone()});
      Records->Delete(I);
      Changed = true;
    }
    if (Records->Count() == 0) Page->Remove(WatermarkRecordsKey);
    if (Changed) ++Restored;
  }

  for (TvxRepoint& R : Repoint) {
    const auto* Own = ObjectAs<TvxPDFArrayObject>(R.Page->Lookup("/Contents"));
    TvxPDFDictObject Probe;
    Probe.Add("/Contents", R.Shared->Clone());
    if (Own && ContentNumbers(Probe) == ContentNumbers(*R.Page))
      R.Page->SetValue("/Contents", std::move(R.Shared));
  }

  std::set<TvxPDFDictObject*> Emptied;
  for (const auto& [Key, Number] : Remove) {
    if (Needed.count(Key)) continue;
    TvxPDFDictObject* Resources = std::get<0>(Key);
    if (!Resources) continue;
    auto* Category = ObjectAs<TvxPDFDictObject>(Store.Resolve(Resources->Lookup(std::get<1>(Key))));
    if (!Category) continue;
    const int32_t At = Category->IndexOf(std::get<2>(Key));
    if (At < 0 || !SameRef(Category->GetValue(At), Number)) continue;
    Candidate(Category->GetValue(At));
    Category->DeleteAt(At);
    if (Category->Count() == 0) Resources->Remove(std::get<1>(Key));
    Emptied.insert(Resources);
  }
  // Resources the stamping made for a page go when nothing is left in them.
  for (TvxGiveBack& G : GiveBack) {
    auto* Now = ObjectAs<TvxPDFDictObject>(Store.Resolve(G.Page->Lookup("/Resources")));
    if (!Now || Now->Count() != 0) continue;
    if (TvxPDFObject* Ref = G.Page->Lookup("/Resources"); Ref && Ref->IsIndirectReference())
      Candidate(Ref);
    if (G.Resources)
      G.Page->SetValue("/Resources", std::move(G.Resources));
    else
      G.Page->Remove("/Resources");
  }

  int32_t GroupNumber = 0;
  if (!Left && FindOwnGroup(&GroupNumber)) {
    const TvxPDFIndirectReference Ref(FData.FDocumentID, GroupNumber, 0);
    Candidate(&Ref);
    RemoveGroup(GroupNumber);
  }
  DropUnused(std::move(Candidates));
  return Restored;
}

void TvxWatermarkLayer::RemoveGroup(int32_t GroupNumber) {
  TvxPDFDictObject* Props = Properties();
  if (!Props) return;
  // The keys the stamping made (an array of the same key name in any of
  // the dictionaries counts: they are made empty and only filled by it).
  std::set<std::string> MadeKeys;
  TvxPDFObjectPtr Before;
  if (TvxPDFDictObject* Group = FindOwnGroup(nullptr)) {
    if (const auto* A = ObjectAs<TvxPDFArrayObject>(Group->Lookup("/VxMade")))
      for (const TvxPDFObjectPtr& Item : A->Items)
        if (const auto* N = ObjectAs<TvxPDFNameObject>(Item.get())) MadeKeys.insert(N->Text);
    if (const TvxPDFObject* Old = Group->Lookup("/VxPropertiesBefore")) Before = Old->Clone();
  }
  const bool Made = MadeKeys.count("/OCProperties") > 0;
  auto MadeHere = [&](std::string_view Key) { return MadeKeys.count(std::string(Key)) > 0; };
  auto Strip = [&](TvxPDFDictObject& Dict, std::string_view Key) {
    auto* A = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Dict.Lookup(Key)));
    if (!A) return;
    for (int32_t I = A->Count() - 1; I >= 0; --I)
      if (SameRef(A->Items[static_cast<size_t>(I)].get(), GroupNumber)) A->Delete(I);
    if (MadeHere(Key) && A->Count() == 0 && Dict.Lookup(Key)->IsArray()) Dict.Remove(Key);
  };
  Strip(*Props, "/OCGs");
  if (auto* D = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Props->Lookup("/D")))) {
    for (const char* Key : {"/Order", "/ON", "/OFF", "/Locked"}) Strip(*D, Key);
    if (auto* Automatic = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(D->Lookup("/AS")))) {
      for (int32_t I = Automatic->Count() - 1; I >= 0; --I) {
        auto* Entry = ObjectAs<TvxPDFDictObject>(
            FData.FStore->Resolve(Automatic->Items[static_cast<size_t>(I)].get()));
        if (!Entry) continue;
        auto* Groups = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Entry->Lookup("/OCGs")));
        if (!Groups) continue;
        const int32_t Had = Groups->Count();
        for (int32_t K = Groups->Count() - 1; K >= 0; --K)
          if (SameRef(Groups->Items[static_cast<size_t>(K)].get(), GroupNumber)) Groups->Delete(K);
        if (Had > 0 && Groups->Count() == 0) Automatic->Delete(I);
      }
      if (MadeHere("/AS") && Automatic->Count() == 0) D->Remove("/AS");
    }
    if (MadeHere("/D") && D->Count() == 0) Props->Remove("/D");
  }
  if (Made && FData.FCatalog->OtherEntries) {
    const auto* Groups = ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Props->Lookup("/OCGs")));
    if (!Groups || Groups->Count() == 0) {
      if (Before)
        FData.FCatalog->OtherEntries->SetValue("/OCProperties", std::move(Before));
      else
        FData.FCatalog->OtherEntries->Remove("/OCProperties");
    }
  }
}

namespace {

// Calls Each for every indirect reference inside Value, however deep.
template <typename F>
void EachReference(const TvxPDFObject* Value, F&& Each) {
  std::vector<const TvxPDFObject*> Stack{Value};
  while (!Stack.empty()) {
    const TvxPDFObject* V = Stack.back();
    Stack.pop_back();
    if (!V) continue;
    if (const auto* R = ObjectAs<TvxPDFIndirectReference>(V)) {
      Each(*R);
    } else if (const auto* A = ObjectAs<TvxPDFArrayObject>(V)) {
      for (const TvxPDFObjectPtr& Item : A->Items) Stack.push_back(Item.get());
    } else if (const auto* D = ObjectAs<TvxPDFDictObject>(V)) {
      for (const TvxPDFObjectPtr& Item : D->Values) Stack.push_back(Item.get());
    } else if (const auto* S = ObjectAs<TvxPDFStreamObject>(V)) {
      Stack.push_back(S->Dict.get());
    }
  }
}

}  // namespace

void TvxWatermarkLayer::DropUnused(std::vector<TvxPDFIndirectObject*> Candidates) {
  TvxPDFObjectStore& Store = *FData.FStore;
  // The candidates and everything they lead to.
  std::unordered_set<TvxPDFIndirectObject*> Closure;
  std::vector<TvxPDFIndirectObject*> Work = std::move(Candidates);
  while (!Work.empty()) {
    TvxPDFIndirectObject* O = Work.back();
    Work.pop_back();
    if (!O || !Closure.insert(O).second) continue;
    EachReference(O->Value.get(), [&](const TvxPDFIndirectReference& R) {
      if (TvxPDFIndirectObject* T = Store.FindObject(&R)) Work.push_back(T);
    });
  }
  if (Closure.empty()) return;
  // Pages are always written, whatever a record says.
  for (TvxPDFIndirectObject* Page : FData.FPages)
    if (Closure.count(Page)) Work.push_back(Page);
  // Whatever else is written and leads into them keeps what it leads to.
  auto Keep = [&](const TvxPDFIndirectReference& R) {
    TvxPDFIndirectObject* T = Store.FindObject(&R);
    if (T && Closure.count(T)) Work.push_back(T);
  };
  for (int32_t I = 0; I < Store.Count(); ++I) {
    TvxPDFIndirectObject* O = Store.GetObject(I);
    if (O->UseCount != 0 && !Closure.count(O)) EachReference(O->Value.get(), Keep);
  }
  const TvxPDFCatalog& C = *FData.FCatalog;
  for (const TvxPDFObject* V : {static_cast<const TvxPDFObject*>(C.Names.get()),
                                static_cast<const TvxPDFObject*>(C.Outlines.get()),
                                static_cast<const TvxPDFObject*>(C.OpenAction.get()),
                                static_cast<const TvxPDFObject*>(C.AcroForm.get()),
                                static_cast<const TvxPDFObject*>(C.Metadata.get()),
                                static_cast<const TvxPDFObject*>(C.AA.get()),
                                static_cast<const TvxPDFObject*>(C.OtherEntries.get())})
    EachReference(V, Keep);
  if (FData.FInfo) EachReference(&FData.FInfo->Dict(), Keep);
  std::unordered_set<TvxPDFIndirectObject*> Live;
  while (!Work.empty()) {
    TvxPDFIndirectObject* O = Work.back();
    Work.pop_back();
    if (!Live.insert(O).second) continue;
    EachReference(O->Value.get(), Keep);
  }
  for (TvxPDFIndirectObject* O : Closure) {
    if (Live.count(O)) continue;
    O->UseCount = 0;
    // A later stamping makes the shared state streams again.
    if (O->ObjectNumber == FData.FSaveStateObjNo) FData.FSaveStateObjNo = -1;
    if (O->ObjectNumber == FData.FRestoreStateObjNo) FData.FRestoreStateObjNo = -1;
  }
}

bool TvxWatermarkLayer::ShowsPlainWatermark(const TvxPDFDictObject& Page) const {
  const TvxPDFObject* Contents = Page.Lookup("/Contents");
  std::vector<const TvxPDFObject*> Ends;
  if (const auto* A =
          ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(const_cast<TvxPDFObject*>(Contents)))) {
    if (A->Count() > 0) Ends = {A->Items.front().get(), A->Items.back().get()};
  } else {
    Ends = {Contents};
  }
  for (const TvxPDFObject* End : Ends) {
    const auto* Stream =
        ObjectAs<TvxPDFStreamObject>(FData.FStore->Resolve(const_cast<TvxPDFObject*>(End)));
    // A watermark's stream is small; a page's own long content is not read.
    if (!Stream || Stream->Data.StoredSize() > 65536) continue;
    try {
      const std::string Data = DecodeStreamData(*Stream, FData.FStore.get())->DataString();
      if (Data.compare(0, 3, "/OC") != 0 &&
          (Data.find("/ZRBFnt") != std::string::npos || Data.find("/ZRBTile") != std::string::npos))
        return true;
    } catch (const Exception&) {
    }
  }
  return false;
}

TvxFoundWatermarks TvxWatermarkLayer::Find() const {
  TvxFoundWatermarks Found;
  std::set<std::u16string> Seen;
  for (const TvxPDFIndirectObject* PageObj : FData.FPages) {
    const auto* Page = ObjectAs<TvxPDFDictObject>(PageObj->Value.get());
    if (!Page) continue;
    std::set<std::string> Ours;
    const auto* Records = ObjectAs<TvxPDFArrayObject>(Page->Lookup(WatermarkRecordsKey));
    if (Records && Records->Count() > 0) {
      ++Found.LayerPages;
      for (const TvxPDFObjectPtr& Item : Records->Items) {
        const auto* R = ObjectAs<TvxPDFDictObject>(Item.get());
        if (!R) continue;
        if (const auto* Text = ObjectAs<TvxPDFStringObject>(R->Lookup("/Text"))) {
          std::u16string Value = Text->GetUnicodeValue();
          if (Seen.insert(Value).second) {
            if (Found.Texts.size() < TvxFoundWatermarks::MaxTexts)
              Found.Texts.push_back(std::move(Value));
            else
              ++Found.MoreTexts;
          }
        }
        if (const auto* Added = ObjectAs<TvxPDFArrayObject>(R->Lookup("/Added")))
          for (const TvxPDFObjectPtr& A : Added->Items)
            if (const auto* N = ObjectAs<TvxPDFNameObject>(A.get())) Ours.insert(N->Text);
      }
    }
    // Our watermarks outside any layer: the page names a font of ours and
    // its first or last stream (where stamping puts them) shows one.
    const auto* Resources =
        ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Page->Lookup("/Resources")));
    const auto* Fonts =
        Resources ? ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Resources->Lookup("/Font")))
                  : nullptr;
    bool Named = false;
    for (int32_t I = 0; Fonts && I < Fonts->Count() && !Named; ++I)
      Named = Fonts->GetKey(I)->Text.rfind("/ZRBFnt", 0) == 0;
    if (Named && ShowsPlainWatermark(*Page)) ++Found.PlainPages;
  }
  int32_t Number = 0;
  if (const TvxPDFDictObject* Group = FindOwnGroup(&Number)) {
    Found.HasGroup = true;
    if (const auto* N = ObjectAs<TvxPDFStringObject>(FData.FStore->Resolve(Group->Lookup("/Name"))))
      Found.GroupName = N->GetValue();
    const auto* Usage = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Group->Lookup("/Usage")));
    auto State = [&](const char* Event, const char* Key) {
      const auto* E =
          Usage ? ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Usage->Lookup(Event))) : nullptr;
      const auto* V = E ? ObjectAs<TvxPDFNameObject>(E->Lookup(Key)) : nullptr;
      return !V || V->Text != "/OFF";
    };
    Found.Print = State("/Print", "/PrintState");
    Found.View = State("/View", "/ViewState");
  }
  // Layers of other programs that say they hold a watermark.
  if (const TvxPDFDictObject* Props = Properties())
    if (const auto* Groups =
            ObjectAs<TvxPDFArrayObject>(FData.FStore->Resolve(Props->Lookup("/OCGs"))))
      for (const TvxPDFObjectPtr& Item : Groups->Items) {
        if (SameRef(Item.get(), Number) && Found.HasGroup) continue;
        const auto* G = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Item.get()));
        if (!G) continue;
        const auto* Usage = ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(G->Lookup("/Usage")));
        const auto* Print =
            Usage ? ObjectAs<TvxPDFDictObject>(FData.FStore->Resolve(Usage->Lookup("/Print")))
                  : nullptr;
        const auto* Subtype =
            Print ? ObjectAs<TvxPDFNameObject>(Print->Lookup("/Subtype")) : nullptr;
        const auto* N = ObjectAs<TvxPDFStringObject>(FData.FStore->Resolve(G->Lookup("/Name")));
        const std::string Text = N ? N->GetValue() : std::string();
        if ((Subtype && Subtype->Text == "/Watermark") ||
            Text.find("atermark") != std::string::npos)
          Found.Others.push_back(Text.empty() ? "(unnamed)" : Text);
      }
  return Found;
}

}  // namespace vx
