#include "pdf/reader/vxCatalogReader.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/reader/vxRepair.h"

namespace vx {

namespace {

[[noreturn]] void InvalidCast() {
  throw EInvalidCast(std::string(msg::InvalidTypecast));
}

// A null value stands for an absent entry.
TvxPDFObject* Entry(const TvxPDFDictObject& Dict, std::string_view Key) {
  TvxPDFObject* V = Dict.Lookup(Key);
  return V && V->IsNull() ? nullptr : V;
}

std::string NameText(const TvxPDFObject* Obj) {
  return Obj ? ObjectCast<TvxPDFNameObject>(Obj).Text : std::string();
}

}  // namespace

void TvxCatalogReader::ReadCatalog() {
  struct TvxReaderRelease {
    TvxDocumentData& FData;
    ~TvxReaderRelease() { FData.FReader.reset(); }
  } Release{FData};

  // 1. Document information, unless an object stream already gave it.
  if (FData.FTrailer->Info && FData.FInfo->Dict().Count() == 0) {
    std::unique_ptr<TvxPDFDictObject> Owned;
    if (TvxPDFDictObject* Info =
            FLoader.ResolveDictLoading(FData.FTrailer->Info.get(), false, Owned))
      FData.FInfo->AssignDictionary(Info->CloneDict());
  }
  // Entries kept elsewhere in the file (a title in an object of its own) are
  // taken in: the information is written without the objects it names.
  {
    TvxPDFDictObject& Info = FData.FInfo->Dict();
    for (int32_t I = 0; I < Info.Count(); ++I) {
      auto* V = ObjectAs<TvxPDFIndirectReference>(Info.GetValue(I));
      if (!V) continue;
      TvxPDFObjectPtr Value = FLoader.LoadValueCopy(*V);
      if (Value && (Value->IsString() || Value->IsName() || Value->IsInteger() || Value->IsReal() ||
                    Value->IsBoolean()))
        TvxPDFObjectPtr Old = Info.PutValueAt(I, std::move(Value));
    }
  }

  // 2. The catalog; one read from the file is not stored.
  const int32_t RootNumber = FData.FTrailer->RootObjectNumber;
  if (RootNumber < 0) throw EPDFFileCorruptedError(std::string(msg::NoCatalog));
  TvxLoadedObject Root = FLoader.LoadObject(RootNumber);
  if (!Root) throw EPDFFileCorruptedError(FormatMessage(msg::CatalogMissing, RootNumber));
  TvxPDFDictObject* Catalog = AsDict(Root.Object->Value.get());
  if (!Catalog) throw EPDFFileCorruptedError(FormatMessage(msg::CatalogNoDictionary, RootNumber));
  TvxPDFDictObject& C = *Catalog;

  // 3. Page mode and layout; a name outside the tables means the default,
  // and so does a value that is no name (a whole document is not refused for
  // how it asks to be shown). A name kept in an object of its own counts.
  auto ModeName = [&](std::string_view Key) -> std::string {
    // A repeated key: the last one, as viewers read the catalog.
    TvxPDFObject* V = nullptr;
    for (int32_t I = 0; I < C.Count(); ++I)
      if (C.Keys[I]->Text == Key) V = C.Values[I].get();
    if (V && V->IsNull()) V = nullptr;
    TvxPDFObjectPtr Loaded;
    if (auto* R = ObjectAs<TvxPDFIndirectReference>(V))
      V = (Loaded = FLoader.LoadValueCopy(*R)).get();
    const auto* Name = ObjectAs<TvxPDFNameObject>(V);
    return Name ? Name->Text : std::string();
  };
  FData.FPageMode =
      static_cast<TvxPageMode>(std::max(0, IndexOfName(PageModeNames, 4, ModeName("/PageMode"))));
  FData.FPageLayout = static_cast<TvxPageLayout>(
      std::max(0, IndexOfName(PageLayoutNames, 4, ModeName("/PageLayout"))));

  // 4. Viewer preferences.
  if (TvxPDFObject* VP = Entry(C, "/ViewerPreferences")) {
    std::unique_ptr<TvxPDFDictObject> Owned;
    if (TvxPDFDictObject* V = FLoader.ResolveDictLoading(VP, false, Owned))
      FData.FCatalog->SetViewerPreferencesDict(V->CloneDict());
  }

  // 5. Metadata.
  if (TvxPDFObject* Meta = Entry(C, "/Metadata")) {
    const auto& R = ObjectCast<TvxPDFIndirectReference>(Meta);
    FLoader.LoadReferences(Meta);
    FData.FCatalog->Metadata =
        std::make_unique<TvxPDFIndirectReference>(R.DocumentID, R.ObjectNumber, R.Generation);
  }

  // 6. Pages.
  FEvents.DoIOProgress(10);
  FEvents.DoStatusMessage("Traversing Pages...");
  {
    TvxPDFObject* Pages = Entry(C, "/Pages");
    ReadPageTree(Pages ? ObjectCast<TvxPDFIndirectReference>(Pages).ObjectNumber : -1);
  }
  FEvents.DoIOProgress(75);

  // 7. Destinations.
  if (TvxPDFObject* Dests = Entry(C, "/Dests")) {
    FEvents.DoStatusMessage("Processing Destinations");
    FHandlers.ReadDestsDictionary(Dests);
  }

  // 8. Annotations.
  FEvents.DoIOProgress(30);
  FEvents.DoStatusMessage("Processing Annotations...");
  // AddPage takes dictionaries only.
  for (TvxPDFIndirectObject* Page : FData.FPages)
    FLoader.LoadReferences(ObjectCast<TvxPDFDictObject>(Page->Value.get()).Lookup("/Annots"));

  // 9. The form.
  FEvents.DoIOProgress(90);
  if (TvxPDFObject* Form = Entry(C, "/AcroForm")) {
    FData.FCatalog->AcroForm = Form->Clone();
    FHandlers.LoadAcroForm(Form->IsIndirectReference() ? Form : FData.FCatalog->AcroForm.get());
    FEvents.DoStatusMessage("AcroForms Processed");
  }

  // 10, 11. Actions.
  if (TvxPDFObject* Action = Entry(C, "/OpenAction")) {
    FLoader.LoadReferences(Action);
    FData.FCatalog->OpenAction = Action->Clone();
  }
  if (TvxPDFObject* AA = Entry(C, "/AA")) {
    FLoader.LoadReferences(AA);
    FData.FCatalog->AA = AA->Clone();
  }

  // 12. Name tree.
  if (TvxPDFObject* Names = Entry(C, "/Names")) {
    FEvents.DoStatusMessage("Processing Name Tree...");
    FData.FCatalog->Names = Names->Clone();
    FHandlers.ReadNameDictionary(Names);
  }

  // The entries the steps above do not name (structure tree, page labels,
  // layers, ...) are kept with everything they reach; before the outline,
  // so that an item they reach is taken over by the rebuilt outline.
  KeepOtherEntries(C);

  // 13. Outlines.
  FEvents.DoIOProgress(60);
  FEvents.DoStatusMessage("Reading Outlines...");
  if (Entry(C, "/Outlines")) FHandlers.LoadOutlines(C);
  FEvents.DoIOProgress(100);
}

void TvxCatalogReader::KeepOtherEntries(const TvxPDFDictObject& C) {
  static const std::unordered_set<std::string_view> Named = {
      "/Type",       "/Pages",      "/Metadata", "/PageMode",
      "/PageLayout", "/Names",      "/Outlines", "/ViewerPreferences",
      "/AcroForm",   "/OpenAction", "/AA"};
  std::unordered_set<std::string_view> Seen;
  for (int32_t I = 0; I < C.Count(); ++I) {
    const std::string& Key = C.Keys[I]->Text;
    TvxPDFObject* V = C.Values[I].get();
    // A repeated key keeps its first value, as a lookup finds it.
    if (!V || V->IsNull() || Named.count(Key) || !Seen.insert(Key).second) continue;
    FLoader.LoadReferences(V);
    if (!FData.FCatalog->OtherEntries)
      FData.FCatalog->OtherEntries = std::make_unique<TvxPDFDictObject>();
    FData.FCatalog->OtherEntries->AddEntry(C.Keys[I]->CloneName(), V->Clone());
  }
}

struct TvxCatalogReader::TvxNodeFrame {
  TvxLoadedObject Node;  // keeps a node read from the file while below it
  std::unique_ptr<TvxPDFIndirectObject> KidsHolder;
  TvxPDFArrayObject* Kids = nullptr;
  int32_t Next = 0;
  TvxInherited Inherited;
};

void TvxCatalogReader::ReadPageTree(int32_t K) {
  FNodesExpanded.clear();
  FPagesSeen.clear();
  FNodesRead = 0;
  FKidsMissing = 0;
  FNodesMetAgain = 0;
  FRootCount = -1;
  // Depth first with a stack of its own: a tree as deep as the file is long
  // must not exhaust the call stack. Each node is expanded once, so the
  // stack never holds more nodes than the file.
  std::vector<TvxNodeFrame> Stack;
  if (K >= 0) VisitKid(K, {}, Stack);
  while (!Stack.empty()) {
    TvxNodeFrame& F = Stack.back();
    if (!F.Kids || F.Next >= F.Kids->Count()) {
      Stack.pop_back();
      continue;
    }
    TvxPDFObject* Kid = F.Kids->GetItem(F.Next++);
    if (const auto* KidDict = AsDict(Kid)) {
      // A page given directly instead of by reference gets an object of its
      // own. Any other node must be a reference, as every kid must.
      std::string KidType = NameText(KidDict->Lookup("/Type"));
      if (KidType.empty()) KidType = KidDict->Lookup("/Kids") ? "/Pages" : "/Page";
      if (KidType != "/Page") InvalidCast();
      AddPage(NewPageObject(FLoader.CountedCopy(Kid)), F.Inherited);
      continue;
    }
    const int32_t Number = ObjectCast<TvxPDFIndirectReference>(Kid).ObjectNumber;
    // VisitKid is done with the inherited values before it pushes a node.
    VisitKid(Number, F.Inherited, Stack);
  }

  const bool NamesPages = FKidsMissing > 0 || FNodesMetAgain > 0 || FRootCount > 0 || K < 0;
  if (FData.FPages.empty() && NamesPages) {
    // Saving this as an empty document would lose every page. A repair
    // takes the page objects the tree does not reach, as viewers do.
    if (FData.FRepairing) TakeUnlistedPages();
    if (FData.FPages.empty())
      throw EPDFFileCorruptedError(std::string(K < 0 ? msg::NoPageTree : msg::NoPageFound));
    return;
  }
  const auto Pages = static_cast<int32_t>(FData.FPages.size());
  if (FData.FRepairing && FRootCount >= 0 && FRootCount != Pages)
    FEvents.DoWarning(FormatMessage(msg::RepairCount, Pages));
}

void TvxCatalogReader::TakeUnlistedPages() {
  // Only the start of each object is parsed, each byte at most once; a page
  // found is then loaded as any page.
  std::vector<std::pair<int64_t, int32_t>> ByOffset;
  for (const auto& [K, Item] : FData.FXRefItems)
    if (Item.Offset > 0) ByOffset.emplace_back(Item.Offset, K);
  for (const auto& [K, Item] : FData.FXRefStmItems)
    if (Item.EntryType == 1 && Item.Field2 > 0) ByOffset.emplace_back(Item.Field2, K);
  std::sort(ByOffset.begin(), ByOffset.end());
  auto IsPage = [](const TvxPDFObject* V) {
    const TvxPDFDictObject* Dict = AsDict(V);
    const auto* T = ObjectAs<TvxPDFNameObject>(Dict ? Dict->Lookup("/Type") : nullptr);
    return T && T->Text == "/Page";
  };
  std::vector<int32_t> Found;
  TvxPDFStreamReader& R = *FData.FReader;
  int64_t ReadUpTo = 0;
  for (const auto& [Offset, K] : ByOffset) {
    if (Offset < ReadUpTo || FData.FStore->IndexOfObject(FData.FDocumentID, K, 0) >= 0) continue;
    try {
      R.Seek(Offset, soBeginning);
      TvxPDFObjectPtr Obj = R.ParseObject();
      if (auto* I = ObjectAs<TvxPDFIndirectObject>(Obj.get())) {
        if (I->ObjectNumber == K && IsPage(I->Value.get())) Found.push_back(K);
      }
    } catch (const Exception&) {
      // Not a page that can be read.
    }
    ReadUpTo = std::max(ReadUpTo, std::max(R.Position(), Offset + 1));
  }
  // Pages from object streams are in the store already.
  for (int32_t I = 0; I < FData.FStore->Count(); ++I) {
    const TvxPDFIndirectObject* O = FData.FStore->GetObject(I);
    if (O->DocumentID == FData.FDocumentID && IsPage(O->Value.get()))
      Found.push_back(O->ObjectNumber);
  }
  std::sort(Found.begin(), Found.end());
  Found.erase(std::unique(Found.begin(), Found.end()), Found.end());
  for (int32_t K : Found) {
    TvxLoadedObject Node = FLoader.LoadObject(K);
    if (!Node || !IsPage(Node.Object->Value.get())) continue;
    TvxPDFIndirectObject* Page =
        Node.Fresh ? FData.FStore->AddObject(std::move(Node.Fresh)) : Node.Object;
    FEvents.DoWarning(FormatMessage(msg::RepairUnlistedPage, K));
    AddPage(Page, {});
  }
}

TvxPDFIndirectObject* TvxCatalogReader::NewPageObject(TvxPDFObjectPtr Value) {
  auto Obj = std::make_unique<TvxPDFIndirectObject>(
      FData.FDocumentID, FData.FStore->NewObjectNumber(), 0, std::move(Value));
  return FData.FStore->AddObject(std::move(Obj));
}

namespace {

// A box of four numbers, as the stamping needs one.
bool UsableBox(const TvxPDFDictObject& Page, std::string_view Key, const TvxPDFObjectStore& Store) {
  const auto* Box = ObjectAs<TvxPDFArrayObject>(Store.Resolve(Page.Lookup(Key)));
  if (!Box || Box->Count() < 4) return false;
  for (int32_t I = 0; I < 4; ++I) {
    const TvxPDFObject* N = Store.Resolve(Box->GetItem(I));
    if (!N || !(N->IsInteger() || N->IsReal())) return false;
  }
  return true;
}

}  // namespace

void TvxCatalogReader::AddPage(TvxPDFIndirectObject* Page, const TvxInherited& Inherited) {
  Page->MarkUsed();
  // Every caller has seen a dictionary.
  auto& Dict = ObjectCast<TvxPDFDictObject>(Page->Value.get());
  // Every /Parent: the writer gives the page its new one.
  while (Dict.IndexOf("/Parent") >= 0) Dict.Remove("/Parent");
  Dict.Remove("/B");
  // A page read without /Type gets one, so that it is written as a page.
  if (!Dict.Lookup("/Type")) Dict.AddName("/Type", "/Page");
  for (const auto& [Key, Value] : Inherited) {
    if (Dict.IndexOf(Key) < 0)
      Dict.AddEntry(std::make_unique<TvxPDFNameObject>(std::string(Key)),
                    FLoader.CountedCopy(Value));
  }
  for (int32_t I = 0; I < Dict.Count(); ++I) {
    const std::string& Key = Dict.Keys[I]->Text;
    if (Key != "/Annots" && Key != "/B") FLoader.LoadReferences(Dict.Values[I].get());
  }
  FData.FPages.push_back(Page);
  // Viewers show a page without a box as US Letter; a load that may repair
  // does the same rather than refuse the page later.
  if (FData.FRepairAllowed && !UsableBox(Dict, "/CropBox", *FData.FStore) &&
      !UsableBox(Dict, "/MediaBox", *FData.FStore)) {
    auto Box = std::make_unique<TvxPDFArrayObject>();
    for (int32_t V : {0, 0, 612, 792}) Box->Add(std::make_unique<TvxPDFIntegerObject>(V));
    Dict.SetValue("/MediaBox", std::move(Box));
    FEvents.DoWarning(FormatMessage(msg::RepairPageBox, static_cast<int32_t>(FData.FPages.size())));
  }
}

void TvxCatalogReader::VisitKid(int32_t K, const TvxInherited& Inherited,
                                std::vector<TvxNodeFrame>& Stack) {
  // A tree that repeats whole subtrees could otherwise grow without bound.
  if (++FNodesRead > 4 * static_cast<int64_t>(MaxObjectNumber))
    throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
  if (FNodesExpanded.count(K)) {
    ++FNodesMetAgain;
    return;
  }
  TvxLoadedObject Node = FLoader.LoadObject(K);
  if (!Node) {
    ++FKidsMissing;  // a kid the file does not describe
    return;
  }
  auto& Dict = ObjectCast<TvxPDFDictObject>(Node.Object->Value.get());
  std::string Type = NameText(Dict.Lookup("/Type"));
  if (Type.empty()) {
    // Some producers leave /Type out; /Kids tells the node kind.
    Type = Dict.Lookup("/Kids") ? "/Pages" : "/Page";
  }
  if (Type == "/Page") {
    TvxPDFIndirectObject* Page = Node.Object;
    if (!FPagesSeen.insert(K).second) {
      // The same page listed twice becomes two pages, each its own object.
      Page = NewPageObject(FLoader.CountedCopy(Page->Value.get()));
    } else if (Node.Fresh) {
      Page = FData.FStore->AddObject(std::move(Node.Fresh));
    }
    AddPage(Page, Inherited);
    return;
  }
  if (Type != "/Pages") throw EUnexpectedError(std::string(msg::UnexpectedError));

  TvxNodeFrame F;
  F.Kids = FLoader.ResolveArrayLoading(Dict.Lookup("/Kids"), false, F.KidsHolder);
  // A nearer ancestor's value wins; a key keeps the place it first took.
  F.Inherited = Inherited;
  for (std::string_view Key : {"/Rotate", "/MediaBox", "/Resources", "/CropBox"}) {
    const TvxPDFObject* V = Dict.Lookup(Key);
    if (!V) continue;
    auto It = std::find_if(F.Inherited.begin(), F.Inherited.end(),
                           [Key](const auto& E) { return E.first == Key; });
    if (It != F.Inherited.end())
      It->second = V;
    else
      F.Inherited.emplace_back(Key, V);
  }
  FNodesExpanded.insert(K);
  if (Stack.empty())
    if (auto* Count = ObjectAs<TvxPDFIntegerObject>(Dict.Lookup("/Count")))
      FRootCount = Count->Value;
  F.Node = std::move(Node);
  Stack.push_back(std::move(F));
}

}  // namespace vx
