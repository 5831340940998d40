#include "pdf/reader/vxCatalogReader.h"

#include <string_view>
#include <unordered_set>

#include "pdf/objects/vxDocumentExceptions.h"
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
  if (!Obj) return {};
  if (!Obj->IsName()) InvalidCast();
  return static_cast<const TvxPDFNameObject*>(Obj)->Text;
}

int32_t ReferenceNumber(const TvxPDFObject* Obj) {
  if (!Obj || !Obj->IsIndirectReference()) InvalidCast();
  return static_cast<const TvxPDFIndirectReference*>(Obj)->ObjectNumber;
}

}  // namespace

void TvxCatalogReader::ReadCatalog() {
  struct TvxReaderRelease {
    TvxDocumentData& D;
    ~TvxReaderRelease() { D.FReader.reset(); }
  } Release{D};

  // 1. Document information, unless an object stream already gave it.
  if (D.FTrailer->Info && D.FInfo->Dict().Count() == 0) {
    std::unique_ptr<TvxPDFDictObject> Owned;
    if (TvxPDFDictObject* Info = L.ResolveDictLoading(D.FTrailer->Info.get(), false, Owned))
      D.FInfo->AssignDictionary(Info->CloneDict());
  }
  // Entries kept elsewhere in the file (a title in an object of its own) are
  // taken in: the information is written without the objects it names.
  {
    TvxPDFDictObject& Info = D.FInfo->Dict();
    for (int32_t I = 0; I < Info.Count(); ++I) {
      TvxPDFObject* V = Info.GetValue(I);
      if (!V || !V->IsIndirectReference()) continue;
      TvxPDFObjectPtr Value = L.LoadValueCopy(*static_cast<TvxPDFIndirectReference*>(V));
      if (Value && (Value->IsString() || Value->IsName() || Value->IsInteger() || Value->IsReal() ||
                    Value->IsBoolean()))
        TvxPDFObjectPtr Old = Info.PutValueAt(I, std::move(Value));
    }
  }

  // 2. The catalog; one read from the file is not stored.
  TvxLoadedObject Root = L.LoadObject(D.FTrailer->RootObjectNumber);
  if (!Root || !Root.Object->Value || !Root.Object->Value->IsDict()) InvalidCast();
  TvxPDFDictObject& C = *static_cast<TvxPDFDictObject*>(Root.Object->Value.get());

  // 3. Page mode and layout; a name outside the tables means the default,
  // and so does a value that is no name (a whole document is not refused for
  // how it asks to be shown). A name kept in an object of its own counts.
  auto ModeName = [&](std::string_view Key) -> std::string {
    TvxPDFObject* V = Entry(C, Key);
    TvxPDFObjectPtr Loaded;
    if (V && V->IsIndirectReference())
      V = (Loaded = L.LoadValueCopy(*static_cast<TvxPDFIndirectReference*>(V))).get();
    return V && V->IsName() ? NameText(V) : std::string();
  };
  D.FPageMode =
      static_cast<TvxPageMode>(std::max(0, IndexOfName(PageModeNames, 4, ModeName("/PageMode"))));
  D.FPageLayout = static_cast<TvxPageLayout>(
      std::max(0, IndexOfName(PageLayoutNames, 4, ModeName("/PageLayout"))));

  // 4. Viewer preferences.
  if (TvxPDFObject* VP = Entry(C, "/ViewerPreferences")) {
    std::unique_ptr<TvxPDFDictObject> Owned;
    if (TvxPDFDictObject* V = L.ResolveDictLoading(VP, false, Owned))
      D.FCatalog->SetViewerPreferencesDict(V->CloneDict());
  }

  // 5. Metadata.
  if (TvxPDFObject* Meta = Entry(C, "/Metadata")) {
    if (!Meta->IsIndirectReference()) InvalidCast();
    L.LoadReferences(Meta);
    D.FCatalog->Metadata.reset(static_cast<TvxPDFIndirectReference*>(Meta->Clone().release()));
  }

  // 6. Pages.
  E.DoIOProgress(10);
  E.DoStatusMessage("Traversing Pages...");
  ReadPageTree(ReferenceNumber(Entry(C, "/Pages")), nullptr);
  E.DoIOProgress(75);

  // 7. Destinations.
  if (TvxPDFObject* Dests = Entry(C, "/Dests")) {
    E.DoStatusMessage("Processing Destinations");
    H.ReadDestsDictionary(Dests);
  }

  // 8. Annotations.
  E.DoIOProgress(30);
  E.DoStatusMessage("Processing Annotations...");
  for (TvxPDFIndirectObject* Page : D.FPages)
    L.LoadReferences(static_cast<TvxPDFDictObject*>(Page->Value.get())->Lookup("/Annots"));

  // 9. The form.
  E.DoIOProgress(90);
  if (TvxPDFObject* Form = Entry(C, "/AcroForm")) {
    D.FCatalog->AcroForm = Form->Clone();
    H.LoadAcroForm(Form->IsIndirectReference() ? Form : D.FCatalog->AcroForm.get());
    E.DoStatusMessage("AcroForms Processed");
  }

  // 10, 11. Actions.
  if (TvxPDFObject* Action = Entry(C, "/OpenAction")) {
    L.LoadReferences(Action);
    D.FCatalog->OpenAction = Action->Clone();
  }
  if (TvxPDFObject* AA = Entry(C, "/AA")) {
    L.LoadReferences(AA);
    D.FCatalog->AA = AA->Clone();
  }

  // 12. Name tree.
  if (TvxPDFObject* Names = Entry(C, "/Names")) {
    E.DoStatusMessage("Processing Name Tree...");
    D.FCatalog->Names = Names->Clone();
    H.ReadNameDictionary(Names);
  }

  // The entries the steps above do not name (structure tree, page labels,
  // layers, ...) are kept with everything they reach; before the outline,
  // so that an item they reach is taken over by the rebuilt outline.
  KeepOtherEntries(C);

  // 13. Outlines.
  E.DoIOProgress(60);
  E.DoStatusMessage("Reading Outlines...");
  if (Entry(C, "/Outlines")) H.LoadOutlines(C);
  E.DoIOProgress(100);
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
    L.LoadReferences(V);
    if (!D.FCatalog->OtherEntries) D.FCatalog->OtherEntries = std::make_unique<TvxPDFDictObject>();
    D.FCatalog->OtherEntries->AddEntry(C.Keys[I]->CloneName(), V->Clone());
  }
}

void TvxCatalogReader::ReadPageTree(int32_t K, const TvxPDFDictObject* Inherited) {
  FNodesExpanded.clear();
  FPagesSeen.clear();
  FNodesRead = 0;
  FKidsMissing = 0;
  FRootCount = -1;
  ReadPageTree(K, Inherited, 0);
  // Pages were listed but none could be read: saving this as an empty
  // document would lose them all. A repair, asked for, goes on without them.
  if (D.FPages.empty() && FKidsMissing > 0) {
    if (!D.FRepairing) throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
    E.DoWarning(std::string(msg::RepairNoPages));
  }
  const auto Pages = static_cast<int32_t>(D.FPages.size());
  if (D.FRepairing && FRootCount >= 0 && FRootCount != Pages)
    E.DoWarning(FormatMessage(msg::RepairCount, Pages));
}

TvxPDFIndirectObject* TvxCatalogReader::NewPageObject(TvxPDFObjectPtr Value) {
  auto Obj = std::make_unique<TvxPDFIndirectObject>(D.FDocumentID, D.FStore->NewObjectNumber(), 0,
                                                    std::move(Value));
  return D.FStore->AddObject(std::move(Obj));
}

void TvxCatalogReader::AddPage(TvxPDFIndirectObject* Page, const TvxPDFDictObject* Inherited) {
  Page->MarkUsed();
  auto& Dict = *static_cast<TvxPDFDictObject*>(Page->Value.get());
  Dict.Remove("/Parent");
  Dict.Remove("/B");
  // A page read without /Type gets one, so that it is written as a page.
  if (!Dict.Lookup("/Type")) Dict.AddName("/Type", "/Page");
  if (Inherited) {
    for (int32_t I = 0; I < Inherited->Count(); ++I) {
      const std::string& Key = Inherited->Keys[I]->Text;
      if (Dict.IndexOf(Key) < 0)
        Dict.AddEntry(Inherited->Keys[I]->CloneName(), L.CountedCopy(Inherited->Values[I].get()));
    }
  }
  for (int32_t I = 0; I < Dict.Count(); ++I) {
    const std::string& Key = Dict.Keys[I]->Text;
    if (Key != "/Annots" && Key != "/B") L.LoadReferences(Dict.Values[I].get());
  }
  D.FPages.push_back(Page);
}

void TvxCatalogReader::ReadPageTree(int32_t K, const TvxPDFDictObject* Inherited, int Depth) {
  // A tree that repeats whole subtrees could otherwise grow without bound.
  if (Depth > MaxTreeDepth || ++FNodesRead > 4 * static_cast<int64_t>(MaxObjectNumber))
    throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
  if (FNodesExpanded.count(K)) return;
  TvxLoadedObject Node = L.LoadObject(K);
  if (!Node) {
    ++FKidsMissing;  // a kid the file does not describe
    return;
  }
  if (!Node.Object->Value || !Node.Object->Value->IsDict()) InvalidCast();
  auto& Dict = *static_cast<TvxPDFDictObject*>(Node.Object->Value.get());
  std::string Type = NameText(Dict.Lookup("/Type"));
  if (Type.empty()) {
    // Some producers leave /Type out; /Kids tells the node kind.
    Type = Dict.Lookup("/Kids") ? "/Pages" : "/Page";
  }
  if (Type == "/Page") {
    TvxPDFIndirectObject* Page = Node.Object;
    if (!FPagesSeen.insert(K).second) {
      // The same page listed twice becomes two pages, each its own object.
      Page = NewPageObject(L.CountedCopy(Page->Value.get()));
    } else if (Node.Fresh) {
      Page = D.FStore->AddObject(std::move(Node.Fresh));
    }
    AddPage(Page, Inherited);
    return;
  }
  if (Type != "/Pages") throw EUnexpectedError(std::string(msg::UnexpectedError));

  std::unique_ptr<TvxPDFIndirectObject> KidsHolder;
  TvxPDFArrayObject* Kids = L.ResolveArrayLoading(Dict.Lookup("/Kids"), false, KidsHolder);
  std::unique_ptr<TvxPDFDictObject> New(
      Inherited ? static_cast<TvxPDFDictObject*>(L.CountedCopy(Inherited).release()) : nullptr);
  for (const char* Key : {"/Rotate", "/MediaBox", "/Resources", "/CropBox"}) {
    if (TvxPDFObject* V = Dict.Lookup(Key)) {
      if (!New) New = std::make_unique<TvxPDFDictObject>();
      New->SetValue(Key, L.CountedCopy(V));
    }
  }
  FNodesExpanded.insert(K);
  if (Depth == 0)
    if (TvxPDFObject* Count = Dict.Lookup("/Count"); Count && Count->IsInteger())
      FRootCount = static_cast<TvxPDFIntegerObject*>(Count)->Value;
  if (!Kids) return;
  for (int32_t I = 0; I < Kids->Count(); ++I) {
    TvxPDFObject* Kid = Kids->GetItem(I);
    if (Kid && Kid->IsDict()) {
      // A page given directly instead of by reference gets an object of its
      // own. Any other node must be a reference, as every kid must.
      const auto& KidDict = *static_cast<TvxPDFDictObject*>(Kid);
      std::string KidType = NameText(KidDict.Lookup("/Type"));
      if (KidType.empty()) KidType = KidDict.Lookup("/Kids") ? "/Pages" : "/Page";
      if (KidType != "/Page") InvalidCast();
      AddPage(NewPageObject(L.CountedCopy(Kid)), New.get());
      continue;
    }
    ReadPageTree(ReferenceNumber(Kid), New.get(), Depth + 1);
  }
}

}  // namespace vx
