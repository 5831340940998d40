#include "pdf/watermark/vxWatermarkStamper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "pdf/filters/vxFilter.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxPageFontLookup.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/watermark/vxUnicodeText.h"
#include "pdf/watermark/vxWatermarkProcessor.h"
#include "platform/vxClock.h"

namespace vx {

namespace {

// Resource dictionaries with more entries than this are searched once a
// stamping and their answers remembered; smaller ones are cheaper to search
// again.
constexpr int32_t LargeDictionary = 32;

char16_t Upper(char16_t C) {
  return C >= u'a' && C <= u'z' ? static_cast<char16_t>(C - 32) : C;
}

bool SameNoCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (Upper(A[I]) != Upper(B[I])) return false;
  return true;
}

std::u16string Decimal16(int64_t N) {
  std::string S = std::to_string(N);
  return std::u16string(S.begin(), S.end());
}

TvxPageRect PageRectOf(const TvxPDFRect& R) {
  return TvxPageRect{R.Left, R.Bottom, R.Right, R.Top};
}

std::unique_ptr<TvxMemoryStream> DataOf(std::string Text) {
  return std::make_unique<TvxMemoryStream>(std::move(Text));
}

// A name drawn again while it already stands for something else in Dict.
std::string FreeName(const TvxPDFDictObject& Dict, std::string_view Prefix) {
  // A handful of draws among two billion names always finds a free one; the
  // bound only keeps a broken generator from looping.
  for (int I = 0; I < 1000; ++I) {
    std::string Name = RandomResourceName(Prefix);
    if (Dict.IndexOf(Name) < 0) return Name;
  }
  throw EUnexpectedError("Error inserting page resource");
}

std::string_view NamePrefix(std::string_view Name) {
  size_t End = Name.size();
  while (End > 1 && Name[End - 1] >= '0' && Name[End - 1] <= '9') --End;
  return Name.substr(0, End);
}

}  // namespace

std::u16string ReplaceAllNoCase(const std::u16string& Text, std::u16string_view What,
                                std::u16string_view With) {
  if (What.empty() || Text.size() < What.size()) return Text;
  std::u16string Out;
  Out.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    if (I + What.size() <= Text.size() &&
        SameNoCase(std::u16string_view(Text).substr(I, What.size()), What)) {
      Out.append(With);
      I += What.size();
    } else {
      Out.push_back(Text[I++]);
    }
  }
  return Out;
}

TvxWatermarkStamper::TvxWatermarkStamper(TvxDocumentData& AData, TvxStampingHooks AHooks)
    : FData(AData), FHooks(std::move(AHooks)) {}

TvxPDFDictObject& TvxWatermarkStamper::PageDict(int32_t PageNo) const {
  CheckPageNumber(PageNo, static_cast<int32_t>(FData.FPages.size()));
  auto* Dict = vx::AsDict(FData.FPages[static_cast<size_t>(PageNo - 1)]->Value.get());
  if (!Dict) throw EUnexpectedError(FormatMessage("Unexpected content object for page %d", PageNo));
  return *Dict;
}

TvxPDFDictObject* TvxWatermarkStamper::AsDict(TvxPDFObject* Obj) const {
  return vx::AsDict(FData.FStore->Resolve(Obj));
}

int32_t TvxWatermarkStamper::GetPageRotation(int32_t PageNo) const {
  TvxPDFDictObject& Page = PageDict(PageNo);
  TvxPDFIntegerObject* Rotate = FData.FStore->ResolveInteger(Page.Lookup("/Rotate"));
  return Rotate ? Rotate->Value : 0;
}

std::unique_ptr<TvxPDFIndirectReference> TvxWatermarkStamper::CreateOpacityState(
    double StrokeOpacity, double FillOpacity) {
  if (StrokeOpacity == 100 && FillOpacity == 100) return nullptr;
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddName("/CA", FloatToTextDot(StrokeOpacity / 100));
  Dict->AddName("/ca", FloatToTextDot(FillOpacity / 100));
  Dict->AddName("/Type", "/ExtGState");
  auto* Obj = FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
      FData.FDocumentID, FData.FStore->NewObjectNumber(), 0, true, std::move(Dict)));
  return MakeReference(*Obj);
}

void TvxWatermarkStamper::EnsureStateStreams() {
  if (FData.FSaveStateObjNo != -1) return;
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddInteger("/Length", 1);
  auto QDict = Dict->CloneDict();
  FData.FSaveStateObjNo = FData.FStore->NewObjectNumber();
  FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
      FData.FDocumentID, FData.FSaveStateObjNo, 0,
      std::make_unique<TvxPDFStreamObject>(std::move(Dict), DataOf("q"))));
  if (FData.FRestoreStateObjNo == -1) {
    FData.FRestoreStateObjNo = FData.FStore->NewObjectNumber();
    FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
        FData.FDocumentID, FData.FRestoreStateObjNo, 0,
        std::make_unique<TvxPDFStreamObject>(std::move(QDict), DataOf("Q"))));
  }
}

std::unique_ptr<TvxPDFIndirectReference> TvxWatermarkStamper::StateRef(int32_t ObjectNumber) {
  auto Ref = std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, ObjectNumber, 0);
  if (TvxPDFIndirectObject* Obj = FData.FStore->FindObject(Ref.get())) Obj->MarkUsed();
  return Ref;
}

std::unique_ptr<TvxPDFIndirectReference> TvxWatermarkStamper::StatesRef(int32_t Count, bool Open) {
  const int32_t Key = Open ? -Count : Count;
  auto It = FStateStreams.find(Key);
  if (It == FStateStreams.end()) {
    std::string Data;
    Data.reserve(static_cast<size_t>(Count) * 2);
    for (int32_t I = 0; I < Count; ++I) {
      if (I) Data.push_back(' ');
      Data.push_back(Open ? 'q' : 'Q');
    }
    auto Dict = std::make_unique<TvxPDFDictObject>();
    Dict->AddInteger("/Length", static_cast<int32_t>(Data.size()));
    int32_t Number = FData.FStore->NewObjectNumber();
    FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
        FData.FDocumentID, Number, 0,
        std::make_unique<TvxPDFStreamObject>(std::move(Dict), DataOf(Data))));
    It = FStateStreams.emplace(Key, Number).first;
  }
  return StateRef(It->second);
}

int32_t TvxWatermarkStamper::UnclosedSaves(const TvxPDFArrayObject& Contents,
                                           int32_t& Stray) const {
  // The page's streams are one content stream, read in order. Each stream is
  // decoded and scanned once however many pages or entries name it, one at a
  // time, and the balances combine.
  TvxSaveBalance Page;
  for (const auto& Item : Contents.Items) {
    auto* Obj = ObjectAs<TvxPDFStreamObject>(FData.FStore->Resolve(Item.get()));
    if (!Obj) continue;
    auto It = FBalances.find(Obj);
    if (It == FBalances.end()) {
      TvxSaveBalance Own;
      try {
        auto Data = DecodeStreamData(*Obj, FData.FStore.get());
        Own.Open = CountUnclosedSaves(Data->DataString(), &Own.Stray);
      } catch (const EDecodeLimitError&) {
        throw;  // more than the file may cost: no guess, an error
      } catch (const Exception&) {
        // Content no viewer can decode draws nothing and opens nothing.
      }
      It = FBalances.emplace(Obj, Own).first;
    }
    Page = It->second.After(Page);
  }
  // Past this many, the streams that balance them would grow the output more
  // than any page needs.
  constexpr int32_t MaxBalanced = 4096;
  Stray = std::min(Page.Stray, MaxBalanced);
  return std::min(Page.Open, MaxBalanced);
}

void TvxWatermarkStamper::WrapPageContent(TvxPDFArrayObject& Array) {
  // States the page leaves open are closed before the shared "Q", and "Q"
  // the page has too many are met by extra "q" after the shared one, so
  // that the watermark starts from the page's initial state.
  int32_t Stray = 0;
  const int32_t Open = UnclosedSaves(Array, Stray);
  if (Stray > 0) Array.Insert(0, StatesRef(Stray, true));
  Array.Insert(0, StateRef(FData.FSaveStateObjNo));
  if (Open > 0) Array.Add(StatesRef(Open, false));
  Array.Add(StateRef(FData.FRestoreStateObjNo));
}

std::string TvxWatermarkStamper::AddPageResource(TvxPDFDictObject* Resources,
                                                 std::string_view Category,
                                                 const TvxPDFIndirectReference& Ref,
                                                 const std::string& Name) {
  if (!Resources) throw EUnexpectedError("Error inserting page resource");
  if (FLayerAdded) {
    std::string Result = AddPageResourceUnnoted(Resources, Category, Ref, Name);
    FLayerAdded->push_back(TvxAddedResource{std::string(Category), Result, Ref.ObjectNumber});
    return Result;
  }
  return AddPageResourceUnnoted(Resources, Category, Ref, Name);
}

std::string TvxWatermarkStamper::AddPageResourceUnnoted(TvxPDFDictObject* Resources,
                                                        std::string_view Category,
                                                        const TvxPDFIndirectReference& Ref,
                                                        const std::string& Name) {
  // A dictionary shared by many pages answers as it did the first time (only
  // entries are added), without being searched again: a large one would
  // cost its size on every page.
  if (Resources->Count() <= LargeDictionary) {
    const TvxPDFDictObject* Sub = AsDict(Resources->Lookup(Category));
    if (!Sub || Sub->Count() <= LargeDictionary)
      return AddPageResourceOnce(Resources, Category, Ref, Name);
  }
  std::string MemoKey;
  MemoKey.reserve(Category.size() + Name.size() + 1);
  MemoKey.append(Category).push_back(' ');
  MemoKey.append(Name);
  auto& Memo = FAddedNames[Resources];
  if (auto It = Memo.find(MemoKey); It != Memo.end()) return It->second;
  std::string Result = AddPageResourceOnce(Resources, Category, Ref, Name);
  Memo.emplace(std::move(MemoKey), Result);
  return Result;
}

std::string TvxWatermarkStamper::AddPageResourceOnce(TvxPDFDictObject* Resources,
                                                     std::string_view Category,
                                                     const TvxPDFIndirectReference& Ref,
                                                     const std::string& Name) {
  TvxPDFDictObject* Sub = AsDict(Resources->Lookup(Category));
  if (!Sub) {
    // A missing, null or broken entry is replaced, never doubled.
    auto New = std::make_unique<TvxPDFDictObject>();
    New->Add(Name, Ref.Clone());
    Resources->SetValue(Category, std::move(New));
    return Name;
  }
  TvxPDFObject* Existing = Sub->Lookup(Name);
  if (!Existing) {
    Sub->Add(Name, Ref.Clone());
    return Name;
  }
  if (auto* R = ObjectAs<TvxPDFIndirectReference>(Existing)) {
    if (R->DocumentID == Ref.DocumentID && R->ObjectNumber == Ref.ObjectNumber &&
        R->Generation == Ref.Generation)
      return Name;
  }
  // The name stands for something else on this page: the existing entry
  // stays, the watermark uses a name of its own.
  std::string Other = FreeName(*Sub, NamePrefix(Name));
  Sub->Add(Other, Ref.Clone());
  return Other;
}

TvxPDFDictObject* TvxWatermarkStamper::EnsurePageResources(int32_t PageNo) {
  TvxPDFDictObject& Page = PageDict(PageNo);
  if (TvxPDFDictObject* Resources = AsDict(Page.Lookup("/Resources"))) return Resources;
  auto Fresh = std::make_unique<TvxPDFDictObject>();
  TvxPDFDictObject* Resources = Fresh.get();
  auto* Obj = FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
      FData.FDocumentID, FData.FStore->NewObjectNumber(), 0, true, std::move(Fresh)));
  Page.SetValue("/Resources", MakeReference(*Obj));
  return Resources;
}

std::string TvxWatermarkStamper::AddOpacityResource(int32_t PageNo, const std::string& Name,
                                                    const TvxPDFIndirectReference* Ref) {
  if (!Ref) return Name;
  // A page without /Resources gets them here, so opacity works on every page.
  return AddPageResource(EnsurePageResources(PageNo), "/ExtGState", *Ref, Name);
}

void TvxWatermarkStamper::AddToContentsArray(TvxPDFArrayObject& Array,
                                             const TvxPDFIndirectReference& Ref, bool Overlay) {
  if (!Overlay) {
    if (FStamping)
      FPendingFront[&Array].push_back(Ref.Clone());
    else
      Array.Insert(0, Ref.Clone());
    return;
  }
  bool Wrapped = FStamping && FWrapped.count(&Array);
  for (size_t I = 0; !Wrapped && I < Array.Items.size(); ++I) {
    const auto* R = ObjectAs<TvxPDFIndirectReference>(Array.Items[I].get());
    Wrapped = R && R->ObjectNumber == FData.FSaveStateObjNo;
  }
  if (!Wrapped) WrapPageContent(Array);
  if (FStamping) FWrapped.insert(&Array);
  Array.Add(Ref.Clone());
}

void TvxWatermarkStamper::PutPendingInFront() {
  // The last one added goes first, as inserting each in front would give.
  for (auto& [Array, Refs] : FPendingFront) {
    std::vector<TvxPDFObjectPtr> Items;
    Items.reserve(Refs.size() + Array->Items.size());
    for (auto It = Refs.rbegin(); It != Refs.rend(); ++It) Items.push_back(std::move(*It));
    for (auto& Item : Array->Items) Items.push_back(std::move(Item));
    Array->Items = std::move(Items);
  }
  FPendingFront.clear();
}

void TvxWatermarkStamper::AttachWatermarkContent(int32_t PageNo, const TvxPDFIndirectReference& Ref,
                                                 bool Overlay) {
  TvxPDFDictObject& Page = PageDict(PageNo);
  TvxPDFObject* Contents = Page.Lookup("/Contents");
  auto OnlyWatermark = [&] {
    // A page without content gets the watermark as its content.
    auto Array = std::make_unique<TvxPDFArrayObject>();
    Array->Add(Ref.Clone());
    Page.SetValue("/Contents", std::move(Array));
  };
  if (!Contents || Contents->IsNull()) return OnlyWatermark();
  if (auto* Array = ObjectAs<TvxPDFArrayObject>(Contents))
    return AddToContentsArray(*Array, Ref, Overlay);
  if (!Contents->IsIndirectReference())
    throw EUnexpectedError(FormatMessage("Unexpected content object for page %d", PageNo));

  TvxPDFIndirectObject* Target = FData.FStore->FindObject(Contents);
  if (!Target || !Target->Value || Target->Value->IsNull()) return OnlyWatermark();
  if (auto* Array = ObjectAs<TvxPDFArrayObject>(Target->Value.get())) {
    // Counted when first needed: until then no page that names an array
    // object has changed.
    if (!FArraysCounted) CountSharedArrays();
    auto Users = FArrayUsers.find(Target);
    if (Users == FArrayUsers.end() || Users->second <= 1)
      return AddToContentsArray(*Array, Ref, Overlay);
    // Another page draws the same array: this page gets a copy of its own.
    auto Own = Array->CloneArray();
    TvxPDFArrayObject& Copy = *Own;
    --Users->second;
    Page.SetValue("/Contents", std::move(Own));
    return AddToContentsArray(Copy, Ref, Overlay);
  }
  auto Array = std::make_unique<TvxPDFArrayObject>();
  Array->Items.reserve(Overlay ? 4 : 2);
  if (Overlay) {
    Array->Add(Contents->Clone());
    WrapPageContent(*Array);
    Array->Add(Ref.Clone());
  } else {
    Array->Add(Ref.Clone());
    Array->Add(Contents->Clone());
  }
  Page.SetValue("/Contents", std::move(Array));
}

size_t TvxWatermarkStamper::TvxSharedCopyHash::operator()(const TvxSharedCopyKey& K) const {
  size_t H = std::hash<const void*>()(K.Array);
  auto Mix = [&H](size_t V) { H ^= V + 0x9E3779B97F4A7C15ull + (H << 6) + (H >> 2); };
  Mix(std::hash<std::string>()(K.FontName));
  Mix(std::hash<std::string>()(K.GSName));
  for (double V : {K.Left, K.Bottom, K.Right, K.Top}) Mix(std::hash<double>()(V));
  return H;
}

TvxPDFIndirectObject* TvxWatermarkStamper::SharedContentsArray(TvxPDFDictObject& Page) {
  TvxPDFObject* Contents = Page.Lookup("/Contents");
  if (!Contents || !Contents->IsIndirectReference()) return nullptr;
  TvxPDFIndirectObject* Target = FData.FStore->FindObject(Contents);
  if (!Target || !Target->Value || !Target->Value->IsArray()) return nullptr;
  if (!FArraysCounted) CountSharedArrays();
  auto Users = FArrayUsers.find(Target);
  return Users != FArrayUsers.end() && Users->second > 1 ? Target : nullptr;
}

void TvxWatermarkStamper::CountSharedArrays() {
  FArrayUsers.clear();
  FArraysCounted = true;
  for (TvxPDFIndirectObject* PageObj : FData.FPages) {
    auto* PageDict = vx::AsDict(PageObj->Value.get());
    if (!PageDict) continue;
    TvxPDFObject* Contents = PageDict->Lookup("/Contents");
    if (!Contents || !Contents->IsIndirectReference()) continue;
    TvxPDFIndirectObject* Target = FData.FStore->FindObject(Contents);
    if (Target && Target->Value && Target->Value->IsArray()) ++FArrayUsers[Target];
  }
}

std::u16string TvxWatermarkStamper::ExpandFixedVariables(const std::u16string& Text) const {
  if (Text.find(u"<%") == std::u16string::npos) return Text;
  TvxPDFInfo& Info = *FData.FInfo;
  std::u16string T = ReplaceAllNoCase(Text, u"<%TotPage%>", Decimal16(PageCount()));
  // The clock is read for each of the four.
  const std::pair<std::u16string_view, TvxDateTimeFormat> Dates[] = {
      {u"<%ShortDate%>", dfShortDate},
      {u"<%ShortTime%>", dfShortTime},
      {u"<%LongDate%>", dfLongDate},
      {u"<%LongTime%>", dfLongTime}};
  for (const auto& [Name, Format] : Dates)
    if (T.find(u"<%") != std::u16string::npos)
      T = ReplaceAllNoCase(T, Name, ClockService().FormatNow(Format));
  T = ReplaceAllNoCase(T, u"<%Author%>", Info.GetAuthor());
  T = ReplaceAllNoCase(T, u"<%Creator%>", Info.GetCreator());
  T = ReplaceAllNoCase(T, u"<%Subject%>", Info.GetSubject());
  T = ReplaceAllNoCase(T, u"<%Title%>", Info.GetTitle());
  return T;
}

std::u16string TvxWatermarkStamper::ExpandApplicationVariables(const std::u16string& Text,
                                                               int32_t PageNo) const {
  // One pass: a value is never searched again, so a value holding markers
  // cannot make the expansion run for ever. Otherwise the scan is the
  // described one: "<%>" and "<%%>" are passed over, and a marker opened
  // again before its close sends the search on two characters past that.
  std::u16string Out;
  Out.reserve(Text.size());
  std::unordered_map<std::u16string, std::u16string> Values;  // by upper-case name
  size_t Copied = 0, From = 0;
  while (From < Text.size()) {
    const size_t Open = Text.find(u"<%", From);
    if (Open == std::u16string::npos) break;
    const size_t Close = Text.find(u"%>", Open);
    if (Close == std::u16string::npos) break;
    if (Close - Open < 3) {
      From = Close + 2;
      continue;
    }
    const size_t Inner = Text.find(u"<%", Open + 2);
    if (Inner != std::u16string::npos && Inner < Close) {
      From = Open + 4;
      continue;
    }
    std::u16string Name = Text.substr(Open + 2, Close - Open - 2);
    // The name is read whatever its case, an argument after a colon as
    // typed: in a date format, %m and %M differ.
    std::u16string Key = Name;
    const size_t Colon = std::min(Key.find(u':'), Key.size());
    for (size_t I = 0; I < Colon; ++I) Key[I] = Upper(Key[I]);
    auto It = Values.find(Key);
    if (It == Values.end()) {
      std::u16string Value;
      FHooks.CalcVariable(Name, Value, PageNo);
      It = Values.emplace(std::move(Key), std::move(Value)).first;
    }
    Out.append(Text, Copied, Open - Copied);
    Out += It->second;
    Copied = From = Close + 2;
  }
  if (Copied < Text.size()) Out.append(Text, Copied, std::u16string::npos);
  return Out;
}

bool TvxWatermarkStamper::CoveredByOpaqueImage(TvxPDFDictObject& Page, const TvxPDFRect& Box) {
  // Only pages that hold an image without transparency can be covered by
  // one: the others are not read at all.
  TvxPDFDictObject* Resources = AsDict(Page.Lookup("/Resources"));
  TvxPDFDictObject* XObjects = Resources ? AsDict(Resources->Lookup("/XObject")) : nullptr;
  if (!XObjects) return false;
  std::unordered_set<std::string> Opaque;
  for (int32_t I = 0; I < XObjects->Count() && Opaque.size() < 64; ++I) {
    auto* V = ObjectAs<TvxPDFStreamObject>(
        FData.FStore->Resolve(XObjects->Values[static_cast<size_t>(I)].get()));
    if (!V) continue;
    const TvxPDFDictObject* Dict = V->Dict.get();
    const auto* Subtype = ObjectAs<TvxPDFNameObject>(Dict ? Dict->Lookup("/Subtype") : nullptr);
    if (!Subtype || Subtype->Text != "/Image") continue;
    const auto* Mask = ObjectAs<TvxPDFBooleanObject>(Dict->Lookup("/ImageMask"));
    if (Dict->Lookup("/SMask") || Dict->Lookup("/Mask") || (Mask && Mask->Value)) continue;
    Opaque.insert(XObjects->Keys[static_cast<size_t>(I)]->Text);
  }
  if (Opaque.empty()) return false;
  std::vector<TvxPDFObject*> Streams;
  TvxPDFObject* Contents = FData.FStore->Resolve(Page.Lookup("/Contents"));
  if (auto* Array = ObjectAs<TvxPDFArrayObject>(Contents)) {
    for (auto& Item : Array->Items) Streams.push_back(FData.FStore->Resolve(Item.get()));
  } else {
    Streams.push_back(Contents);
  }
  const double BoxArea = (Box.Right - Box.Left) * (Box.Top - Box.Bottom);
  if (!(BoxArea > 0)) return false;
  for (TvxPDFObject* S : Streams) {
    auto* Stream = ObjectAs<TvxPDFStreamObject>(S);
    if (!Stream) continue;
    // A stream shared by many pages is read once per stamping. The check
    // only advises: past the decoding allowance it stops, the job goes on.
    auto Known = FDrawsByStream.find(S);
    if (Known == FDrawsByStream.end()) {
      std::vector<TvxXObjectDraw> Draws;
      if (!FDrawsStopped) {
        try {
          Draws = FindXObjectDraws(DecodeStreamData(*Stream, FData.FStore.get())->DataString(), 16);
        } catch (const EDecodeLimitError&) {
          FDrawsStopped = true;
        } catch (const Exception&) {
        }
      }
      Known = FDrawsByStream.emplace(S, std::move(Draws)).first;
    }
    for (const TvxXObjectDraw& Draw : Known->second) {
      if (!Opaque.count(Draw.Name)) continue;
      // The unit square the image fills, as drawn, clipped to the box.
      const auto& M = Draw.Matrix;
      double X0 = std::min({M[4], M[0] + M[4], M[2] + M[4], M[0] + M[2] + M[4]});
      double X1 = std::max({M[4], M[0] + M[4], M[2] + M[4], M[0] + M[2] + M[4]});
      double Y0 = std::min({M[5], M[1] + M[5], M[3] + M[5], M[1] + M[3] + M[5]});
      double Y1 = std::max({M[5], M[1] + M[5], M[3] + M[5], M[1] + M[3] + M[5]});
      const double W = std::min(X1, Box.Right) - std::max(X0, Box.Left);
      const double H = std::min(Y1, Box.Top) - std::max(Y0, Box.Bottom);
      if (W > 0 && H > 0 && W * H >= 0.9 * BoxArea) return true;
    }
  }
  return false;
}

void TvxWatermarkStamper::WarnOfWhatStampingHides(const TvxTextWatermarkTemplate& T,
                                                  const TvxPageList& Pages) {
  auto Warn = [this](const std::string& Message) {
    if (FHooks.Warn) FHooks.Warn(Message);
  };
  // A face that is not installed is replaced by another one without a word
  // from the font service.
  const TvxPDFFont Probe(*T.Font, false, false);
  auto Lower = [](std::string S) {
    for (char& C : S) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C + 32 : C);
    return S;
  };
  if (Lower(Probe.FaceName()) != Lower(T.Font->Name))
    Warn("The font \"" + T.Font->Name + "\" is not installed; \"" + Probe.FaceName() +
         "\" is used instead");
  // Signatures cover the bytes as signed: any change breaks them.
  TvxPDFObject* Form =
      FData.FCatalog ? FData.FStore->Resolve(FData.FCatalog->AcroForm.get()) : nullptr;
  if (auto* FormDict = vx::AsDict(Form)) {
    auto* Flags =
        ObjectAs<TvxPDFIntegerObject>(FData.FStore->Resolve(FormDict->Lookup("/SigFlags")));
    if (Flags && (Flags->Value & 1)) Warn(std::string(msg::SignaturesInvalidated));
  }
  // Under a scanned page's image the watermark does not show.
  if (T.Overlay) return;
  FDrawsByStream.clear();
  FDrawsStopped = false;
  std::unordered_set<int32_t> Seen;
  int64_t Covered = 0;
  for (int32_t P : Pages) {
    if (!Seen.insert(P).second) continue;
    TvxPDFDictObject& Page = PageDict(P);
    TvxPDFRect Box;
    if (FindVisiblePageBox(Page, *FData.FStore, Box) && CoveredByOpaqueImage(Page, Box)) ++Covered;
  }
  FDrawsByStream.clear();
  if (Covered > 0) Warn(FormatMessage(msg::UnderOpaqueImage, Covered));
}

// What one InsertWatermark call carries from page to page.
struct TvxWatermarkStamper::TvxRun {
  TvxRun(TvxDocumentData& Data, TvxMeasurementUnit Unit, TvxTextWatermarkTemplate& ATemplate)
      : T(ATemplate),
        Processor(Unit, ATemplate),
        Fonts(*Data.FStore, Data.FPages, Data.FDocumentID),
        FontLookup(Fonts, *ATemplate.Font, ATemplate.FontEncoding, ATemplate.FontEmbedding),
        SavedText(ATemplate.Text),
        SavedAngle(ATemplate.Angle),
        SavedX(ATemplate.X),
        SavedY(ATemplate.Y),
        PerPageText(SavedText.find(u"<%") != std::u16string::npos) {}

  TvxTextWatermarkTemplate& T;
  TvxWatermarkProcessor Processor;
  TvxFontResources Fonts;
  TvxPageFontLookup FontLookup;
  // The template as given: each page starts from it.
  const std::u16string SavedText;
  const int32_t SavedAngle;
  const double SavedX, SavedY;
  const bool PerPageText;
  // Text beyond the single-byte encodings, shaped for every page before
  // the first is stamped, with its composite fonts.
  std::unique_ptr<TvxUnicodeText> Unicode;
  // The font made for pages that have none, at most once a call, and the
  // opacity state made on the first page.
  bool FontCreated = false, FirstPage = true;
  std::string CreatedName, GSName;
  std::unique_ptr<TvxPDFIndirectReference> FontRef, GSRef;
  // Pages sharing one resource dictionary find its fonts once.
  TvxPDFDictObject* LastResources = nullptr;
  TvxPDFDictObject* LastResourceFonts = nullptr;
  // Tiling: one form of copies for each laid-out size, pair of names and,
  // with per-page variables, text: object numbers by a key of those bytes.
  std::unordered_map<std::string, int32_t> Forms;
  // The copies all forms of the call may hold: far more than any real
  // document's page sizes need.
  int64_t TileCopies = 0;
  // Layer mode: the group, the pages stamped so far, and what each page's
  // record will hold, written once every watermark of the call is in place.
  std::unique_ptr<TvxWatermarkLayer> Layer;
  std::unique_ptr<TvxPDFIndirectReference> GroupRef;
  std::unordered_set<int32_t> LayerPages;
  struct TvxPendingRecord {
    int32_t Page;
    TvxPageSnapshot Before;
    int32_t Stream;
    std::vector<TvxAddedResource> Added;
    std::u16string Text;
  };
  std::vector<TvxPendingRecord> Records;
};

void TvxWatermarkStamper::InsertWatermark(TvxCustomWatermarkTemplate& Template,
                                          std::string_view PageRange) {
  auto* TextTemplate = dynamic_cast<TvxTextWatermarkTemplate*>(&Template);
  if (!TextTemplate || TextTemplate->Text.empty()) return;
  TvxTextWatermarkTemplate& T = *TextTemplate;
  if (!T.Font) T.SetFont(TvxFont{.Charset = AnsiCharset});

  T.Text = ExpandFixedVariables(T.Text);
  if (T.Angle / 360 != 0) T.Angle -= 360 * (T.Angle / 360);

  TvxRun Run(FData, FHooks.Unit, T);
  if (T.Overlay) EnsureStateStreams();
  // Any range would be out of bounds; say why.
  if (PageCount() == 0) throw EInvalidPageError(std::string(msg::NoPages));
  const TvxPageList Pages = ParsePageRange(PageRange, PageCount());
  WarnOfWhatStampingHides(T, Pages);

  Run.Processor.ReuseContent = !Run.PerPageText;
  Run.Processor.ShareStreams = T.ShareStreams;
  Run.TileCopies = 20000 + 64 * static_cast<int64_t>(Pages.size());
  FArraysCounted = false;
  FSharedCopies.clear();
  FWrapped.clear();
  FPendingFront.clear();
  FStamping = true;
  // Whatever ends the call, the watermarks made so far are in their pages.
  struct TvxEndStamping {
    TvxWatermarkStamper& S;
    ~TvxEndStamping() {
      S.FStamping = false;
      try {
        S.PutPendingInFront();
      } catch (...) {
      }
      S.FWrapped.clear();
    }
  } EndStamping{*this};

  // The template shows the shaped text only while this call runs.
  struct TvxEndUnicode {
    TvxTextWatermarkTemplate& T;
    ~TvxEndUnicode() { T.Unicode = nullptr; }
  } EndUnicode{T};
  PrepareUnicodeText(Run, Pages);
  if (T.Layer) {
    Run.Layer = std::make_unique<TvxWatermarkLayer>(FData);
    std::string Warning;
    Run.GroupRef = Run.Layer->EnsureGroup(T.LayerPrint, T.LayerView, T.Overlay, &Warning);
    if (!Warning.empty() && FHooks.Warn) FHooks.Warn(Warning);
  }

  TvxJobProgress Progress{TvxJobProgress::jsStamping, 0, static_cast<int64_t>(Pages.size())};
  for (int32_t P : Pages) {
    // A page keeps one record per stamping: listed twice, it is stamped once.
    if (Run.Layer && !Run.LayerPages.insert(P).second) continue;
    StampPage(Run, P);
    ++Progress.Done;
    if (FHooks.Progress && !FHooks.Progress(Progress))
      throw EJobCancelled(std::string(msg::JobCancelled));
  }
  if (Run.Layer) {
    PutPendingInFront();
    for (TvxRun::TvxPendingRecord& R : Run.Records)
      Run.Layer->Record(PageDict(R.Page), std::move(R.Before), R.Stream, R.Added, R.Text);
  }
  T.Text = Run.SavedText;
}

std::u16string TvxWatermarkStamper::PageText(const TvxRun& Run, int32_t P) const {
  if (!Run.PerPageText) return Run.SavedText;
  std::u16string Text = ReplaceAllNoCase(Run.SavedText, u"<%PageNo%>", Decimal16(P));
  if (FHooks.CalcVariable) Text = ExpandApplicationVariables(Text, P);
  return Text;
}

void TvxWatermarkStamper::PrepareUnicodeText(TvxRun& Run, const TvxPageList& Pages) {
  TvxTextWatermarkTemplate& T = Run.T;
  bool Needed = NeedsUnicodeText(Run.SavedText, *T.Font, T.FontEncoding);
  // Values of the application's variables may bring characters of their own.
  if (!Needed && Run.PerPageText && FHooks.CalcVariable)
    for (int32_t P : Pages)
      if ((Needed = NeedsUnicodeText(PageText(Run, P), *T.Font, T.FontEncoding))) break;
  if (!Needed) return;
  // Every page's glyphs are known before the fonts are made, so that each
  // face is subset once for the whole document.
  Run.Unicode = std::make_unique<TvxUnicodeText>(*T.Font);
  if (Run.PerPageText)
    for (int32_t P : Pages) Run.Unicode->AddText(PageText(Run, P));
  else
    Run.Unicode->AddText(Run.SavedText);
  Run.Unicode->BuildFonts(*FData.FStore, FData.FDocumentID,
                          [] { return RandomResourceName(FontResourcePrefix); });
  T.Unicode = Run.Unicode.get();
}

std::string TvxWatermarkStamper::AddUnicodeFonts(TvxRun& Run, TvxPDFDictObject* Resources) {
  std::string Names;
  for (size_t I = 0; I < Run.Unicode->FontCount(); ++I) {
    if (I > 0) Names.push_back(' ');
    Names += Resources ? AddPageResource(Resources, "/Font", Run.Unicode->FontRef(I),
                                         Run.Unicode->CreatedName(I))
                       : Run.Unicode->CreatedName(I);
  }
  return Names;
}

void TvxWatermarkStamper::AddCreatedFonts(TvxRun& Run, int32_t P) {
  if (Run.Unicode)
    AddUnicodeFonts(Run, EnsurePageResources(P));
  else
    AddPageResource(EnsurePageResources(P), "/Font", *Run.FontRef, Run.CreatedName);
}

void TvxWatermarkStamper::StampPage(TvxRun& Run, int32_t P) {
  TvxTextWatermarkTemplate& T = Run.T;
  TvxPDFDictObject& Page = PageDict(P);
  // Layer mode notes what the page had and what the stamping adds to it.
  TvxPageSnapshot Before;
  std::vector<TvxAddedResource> Added;
  struct TvxEndNoting {
    std::vector<TvxAddedResource>*& Noted;
    ~TvxEndNoting() { Noted = nullptr; }
  } EndNoting{FLayerAdded};
  if (Run.Layer) {
    Before = Run.Layer->Snapshot(Page);
    FLayerAdded = &Added;
  }
  // A box that is no array of four numbers gives way to the other one.
  TvxPDFRect Box;
  if (!FindVisiblePageBox(Page, *FData.FStore, Box))
    throw EPDFFileCorruptedError(FormatMessage("Page %d has no usable /CropBox or /MediaBox", P));
  TvxPageRect Rect = PageRectOf(Box);
  // Viewers take a /Rotate that is no integer for 0.
  const auto* Rotate = ObjectAs<TvxPDFIntegerObject>(FData.FStore->Resolve(Page.Lookup("/Rotate")));
  Rect.Rotation = DisplayRotation(Rotate ? Rotate->Value : 0);

  // Placement: custom offsets run from the shown box's top left corner.
  T.Angle = Run.SavedAngle;
  const TvxPageRect Shown = Rect.Rotation == 0 && T.Scale <= 0 && !T.Tile ? Rect : ShownBox(Rect);
  const TvxPDFRect UBox =
      PointsToUnit(FHooks.Unit, TvxPDFRect{Shown.Left, Shown.Bottom, Shown.Right, Shown.Top});
  if (RoundsToZero(UBox.Left) && RoundsToZero(UBox.Bottom)) {
    T.X = Run.SavedX;
    T.Y = Run.SavedY;
  } else {
    T.X = UBox.Left + Run.SavedX;
    T.Y = UBox.Top - Run.SavedY;
  }

  // Every page is looked up, so every page names a font it has.
  TvxPDFDictObject* Resources = AsDict(Page.Lookup("/Resources"));
  TvxPDFDictObject* FontDict = nullptr;
  if (Resources == Run.LastResources) {
    FontDict = Run.LastResourceFonts;
  } else if (Resources) {
    FontDict = AsDict(Resources->Lookup("/Font"));
    Run.LastResources = Resources;
    Run.LastResourceFonts = FontDict;
  }
  const std::string FoundName = Run.Unicode ? std::string() : Run.FontLookup.Find(FontDict);
  if (!Run.Unicode && FoundName.empty() && !Run.FontCreated) {
    Run.CreatedName = RandomResourceName(FontResourcePrefix);
    Run.FontRef = Run.Fonts.CreateFontResource(*T.Font, Run.CreatedName, T.FontEmbedding,
                                               T.FontEncoding, Run.SavedText);
    Run.FontCreated = true;
  }
  if (Run.FirstPage) {
    if (T.Opacity != 100) Run.GSName = RandomResourceName(GStateResourcePrefix);
    Run.GSRef = CreateOpacityState(T.Opacity, T.Opacity);
    Run.FirstPage = false;
  }

  T.Text = PageText(Run, P);

  const std::string PageGSName = AddOpacityResource(P, Run.GSName, Run.GSRef.get());
  if (!Resources && Run.GSRef) Resources = AsDict(Page.Lookup("/Resources"));
  if (Run.Layer) {
    Resources = EnsurePageResources(P);
    Run.Processor.LayerName =
        AddPageResource(Resources, "/Properties", *Run.GroupRef,
                        "/ZRBLayer" + std::to_string(Run.GroupRef->ObjectNumber));
  }
  // The font's name is settled before the stream shows it. A page still
  // without /Resources gets them after its stream, empty, so the name
  // stays as made.
  std::string FontName = FoundName;
  if (Run.Unicode)
    FontName = AddUnicodeFonts(Run, Resources);
  else if (FontName.empty())
    FontName = Resources ? AddPageResource(Resources, "/Font", *Run.FontRef, Run.CreatedName)
                         : Run.CreatedName;
  const TvxPDFObject* TileFont = nullptr;
  if (T.Tile && !Run.Unicode)
    TileFont = FoundName.empty() ? Run.FontRef.get() : FontDict->Lookup(FoundName);
  const std::string FormName =
      T.Tile ? AddTileForm(Run, P, Rect, FontName, PageGSName, TileFont) : std::string();
  AttachPageStream(Run, P, Resources == nullptr, FontName, PageGSName, Rect, FormName);
  if (!Run.Unicode) Run.FontLookup.Settle(FontName);
  if (Run.Layer)
    Run.Records.push_back(TvxRun::TvxPendingRecord{P, std::move(Before), FLastStreamNumber,
                                                   std::move(Added), T.Text});
}

std::string TvxWatermarkStamper::AddTileForm(TvxRun& Run, int32_t P, const TvxPageRect& Rect,
                                             const std::string& FontName,
                                             const std::string& PageGSName,
                                             const TvxPDFObject* Font) {
  double S = 1;
  const TvxPDFRect Laid = Run.Processor.LaidBox(Rect, S);
  std::string Key(3 * sizeof(double), '\0');
  const double Numbers[3] = {Laid.Right, Laid.Top, S};
  std::memcpy(Key.data(), Numbers, sizeof Numbers);
  Key += FontName + '\n' + PageGSName + '\n';
  if (Run.PerPageText)
    Key.append(reinterpret_cast<const char*>(Run.T.Text.data()),
               Run.T.Text.size() * sizeof(char16_t));
  const auto Found = Run.Forms.find(Key);
  int32_t Number = Found == Run.Forms.end() ? -1 : Found->second;
  if (Number < 0) {
    // The form names the font and opacity state as the page does, so its
    // copies are the page's own text.
    auto Resources = std::make_unique<TvxPDFDictObject>();
    auto Fonts = std::make_unique<TvxPDFDictObject>();
    if (Run.Unicode) {
      // The page's names of the composite fonts, in their order.
      size_t From = 0;
      for (size_t I = 0; I < Run.Unicode->FontCount() && From <= FontName.size(); ++I) {
        size_t To = std::min(FontName.find(' ', From), FontName.size());
        Fonts->Add(FontName.substr(From, To - From), Run.Unicode->FontRef(I).Clone());
        From = To + 1;
      }
    } else if (Font) {
      Fonts->Add(FontName, Font->Clone());
    }
    Resources->Add("/Font", std::move(Fonts));
    if (Run.GSRef) {
      auto States = std::make_unique<TvxPDFDictObject>();
      States->Add(PageGSName, Run.GSRef->Clone());
      Resources->Add("/ExtGState", std::move(States));
    }
    auto BBox = std::make_unique<TvxPDFArrayObject>();
    for (double V : {Laid.Left, Laid.Bottom, Laid.Right, Laid.Top})
      BBox->Add(std::make_unique<TvxPDFRealObject>(V));
    std::string Content =
        Run.Processor.BuildTileForm(FontName, PageGSName, Laid, S, Run.TileCopies);
    auto Dict = std::make_unique<TvxPDFDictObject>();
    Dict->AddName("/Type", "/XObject");
    Dict->AddName("/Subtype", "/Form");
    Dict->Add("/BBox", std::move(BBox));
    Dict->Add("/Resources", std::move(Resources));
    Dict->AddInteger("/Length", static_cast<int32_t>(Content.size()));
    auto Stream = std::make_unique<TvxPDFStreamObject>(
        std::move(Dict), std::make_unique<TvxMemoryStream>(std::move(Content)));
    Number = FData.FStore->NewObjectNumber();
    FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(FData.FDocumentID, Number, 0,
                                                                   true, std::move(Stream)));
    Run.Forms.emplace(std::move(Key), Number);
  }
  const TvxPDFIndirectReference Ref(FData.FDocumentID, Number, 0);
  return AddPageResource(EnsurePageResources(P), "/XObject", Ref,
                         "/ZRBTile" + std::to_string(Number));
}

void TvxWatermarkStamper::AttachPageStream(TvxRun& Run, int32_t P, bool NoResources,
                                           const std::string& FontName,
                                           const std::string& PageGSName, const TvxPageRect& Rect,
                                           const std::string& FormName) {
  TvxPDFDictObject& Page = PageDict(P);
  // Pages that draw one shared /Contents array and are stamped alike get
  // one copy of it, with one watermark: a copy for each page would
  // multiply the array by the pages.
  TvxPDFIndirectObject* Shared = Run.PerPageText ? nullptr : SharedContentsArray(Page);
  TvxSharedCopyKey CopyKey{Shared,    FontName,      PageGSName,
                           Rect.Left, Rect.Bottom,   Rect.Right,
                           Rect.Top,  Rect.Rotation, FormName + '\n' + Run.Processor.LayerName};
  auto Copied = Shared ? FSharedCopies.find(CopyKey) : FSharedCopies.end();
  if (Copied != FSharedCopies.end()) {
    if (NoResources) AddCreatedFonts(Run, P);
    Page.SetValue("/Contents",
                  std::make_unique<TvxPDFIndirectReference>(FData.FDocumentID, Copied->second, 0));
    FLastStreamNumber = FCopyStreams[Copied->second];
    return;
  }
  int32_t Number = Run.Processor.SharedStream(FontName, PageGSName, Rect, FormName);
  if (Number < 0) {
    auto Stream = Run.Processor.CreateWatermarkStream(FontName, PageGSName, Rect, FData.FDocumentID,
                                                      FData.FStore->NewObjectNumber(), FormName);
    Number = FData.FStore->AddObject(std::move(Stream))->ObjectNumber;
    Run.Processor.RememberStream(FontName, PageGSName, Rect, FormName, Number);
  }
  FLastStreamNumber = Number;
  if (NoResources) AddCreatedFonts(Run, P);
  const TvxPDFIndirectReference Ref(FData.FDocumentID, Number, 0);
  if (!Shared) {
    AttachWatermarkContent(P, Ref, Run.T.Overlay);
    return;
  }
  // SharedContentsArray names arrays only.
  auto Copy = ObjectCast<TvxPDFArrayObject>(Shared->Value.get()).CloneArray();
  AddToContentsArray(*Copy, Ref, Run.T.Overlay);
  TvxPDFIndirectObject* Made = FData.FStore->AddObject(std::make_unique<TvxPDFIndirectObject>(
      FData.FDocumentID, FData.FStore->NewObjectNumber(), 0, true, std::move(Copy)));
  Page.SetValue("/Contents", std::make_unique<TvxPDFIndirectReference>(
                                 Made->DocumentID, Made->ObjectNumber, Made->Generation));
  FSharedCopies.emplace(std::move(CopyKey), Made->ObjectNumber);
  FCopyStreams[Made->ObjectNumber] = Number;
}

}  // namespace vx
