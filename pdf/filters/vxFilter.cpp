#include "pdf/filters/vxFilter.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "pdf/filters/vxAsciiFilters.h"
#include "pdf/filters/vxFlateFilter.h"
#include "pdf/filters/vxLZWFilter.h"
#include "pdf/filters/vxRLEFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// --- Decode limit ---

namespace {
std::atomic<int64_t> GMaxDecodedSize{DefaultMaxDecodedSize};
thread_local TvxDecodeBudget* GBudget = nullptr;
}  // namespace

int64_t DecodeAllowanceFor(int64_t FileSize) {
  constexpr int64_t PerByte = 32;
  const int64_t Base = MaxDecodedSize();
  if (FileSize <= 0) return Base;
  if (FileSize > (INT64_MAX - Base) / PerByte) return INT64_MAX;
  return Base + PerByte * FileSize;
}

TvxDecodeBudgetScope::TvxDecodeBudgetScope(TvxDecodeBudget& Budget, int64_t Allowance)
    : FSaved(GBudget) {
  Budget.Reset(Allowance);
  GBudget = &Budget;
}

TvxDecodeBudgetScope::~TvxDecodeBudgetScope() {
  GBudget = FSaved;
}

void ChargeDecodedSize(uint64_t Size) {
  if (GBudget) GBudget->Charge(Size);
}

int64_t MaxDecodedSize() {
  return GMaxDecodedSize.load(std::memory_order_relaxed);
}

void SetMaxDecodedSize(int64_t Limit) {
  GMaxDecodedSize.store(Limit > 0 ? Limit : DefaultMaxDecodedSize, std::memory_order_relaxed);
}

void CheckDecodedSize(uint64_t Size) {
  int64_t Limit = MaxDecodedSize();
  if (Size > static_cast<uint64_t>(Limit))
    throw EDecodeLimitError(FormatMessage(msg::DecodeLimit, Limit));
  if (GBudget && Size > static_cast<uint64_t>(GBudget->Allowance() - GBudget->Used()))
    throw EDecodeLimitError(FormatMessage(msg::DecodeBudget, GBudget->Allowance()));
}

// --- TvxFilter ---

std::unique_ptr<TvxMemoryStream> TvxFilter::EncodeStream(TvxStream& Source,
                                                         TvxCompressionLevel Level) {
  return NewMemoryStream(EncodeString(ReadWholeStream(Source), Level));
}

std::string TvxFilter::EncodeString(const std::string& Source, TvxCompressionLevel) {
  return EncodeString(Source);
}

std::unique_ptr<TvxMemoryStream> TvxFilter::EncodeStream(TvxStream& Source) {
  return NewMemoryStream(EncodeString(ReadWholeStream(Source)));
}

std::string TvxFilter::EncodeString(const std::string&) {
  throw EUnsupportedFilterError(FormatMessage(msg::EncodeNotSupported, Name()));
}

std::unique_ptr<TvxMemoryStream> TvxFilter::DecodeStream(TvxStream& Source) {
  return NewMemoryStream(DecodeString(ReadWholeStream(Source)));
}

std::string ReadWholeStream(TvxStream& Source) {
  if (auto* Mem = dynamic_cast<TvxMemoryStream*>(&Source)) return Mem->DataString();
  Source.SetPosition(0);
  std::string Result;
  char Buffer[65536];
  for (;;) {
    int64_t Got = Source.Read(Buffer, sizeof(Buffer));
    if (Got <= 0) break;
    Result.append(Buffer, static_cast<size_t>(Got));
  }
  return Result;
}

std::unique_ptr<TvxMemoryStream> NewMemoryStream(std::string Data) {
  return std::make_unique<TvxMemoryStream>(std::move(Data));
}

// --- Names ---

namespace {

constexpr std::array<std::string_view, DecodeFilterCount> FilterNameTexts = {
    "/ASCIIHexDecode", "/ASCII85Decode",  "/FlateDecode", "/RunLengthDecode",
    "/LZWDecode",      "/CCITTFaxDecode", "/DCTDecode",
};

bool IsKnownKind(TvxDecodeFilter Kind) {
  return Kind < DecodeFilterCount;
}

[[noreturn]] void Unsupported(TvxDecodeFilter Kind) {
  if (!IsKnownKind(Kind)) throw EUnsupportedFilterError(std::string(msg::UnsupportedFilter));
  throw EUnsupportedFilterError(FormatMessage(msg::UnsupportedFilterName, FilterName(Kind)));
}

bool CanDecode(TvxDecodeFilter Kind) {
  return IsKnownKind(Kind) && Kind != ftCCITTFaxDecode && Kind != ftDCTDecode;
}

}  // namespace

std::string_view FilterName(TvxDecodeFilter Kind) {
  return IsKnownKind(Kind) ? FilterNameTexts[Kind] : std::string_view();
}

std::unique_ptr<TvxFilter> CreateFilter(TvxDecodeFilter Kind) {
  switch (Kind) {
    case ftASCIIHexDecode: return std::make_unique<TvxAsciiHexFilter>();
    case ftASCII85Decode: return std::make_unique<TvxAscii85Filter>();
    case ftFlateDecode: return std::make_unique<TvxFlateFilter>();
    case ftRunLengthDecode: return std::make_unique<TvxRLEFilter>();
    case ftLZWDecode: return std::make_unique<TvxLZWFilter>();
    default: Unsupported(Kind);
  }
}

TvxDecodeFilter FilterFromName(std::string_view Name) {
  if (Name == "/ASCIIHexDecode") return ftASCIIHexDecode;
  if (Name == "/ASCII85Decode") return ftASCII85Decode;
  if (Name == "/LZWDecode") return ftLZWDecode;
  if (Name == "/FlateDecode") return ftFlateDecode;
  if (Name == "/RunLengthDecode") return ftRunLengthDecode;
  if (Name == "/DCTDecode") return ftDCTDecode;
  if (Name == "/A85") return ftASCII85Decode;
  if (Name == "/CCITTFaxDecode") return ftCCITTFaxDecode;
  throw EUnsupportedFilterError(FormatMessage(msg::UnsupportedFilterName, Name));
}

TvxFilterList GetFilterList(const TvxPDFObject* Filter, const TvxPDFObjectStore* Store) {
  TvxFilterList List;
  // The store's resolvers take mutable pointers but only read.
  if (Store && Filter) Filter = Store->Resolve(const_cast<TvxPDFObject*>(Filter));
  if (!Filter) return List;
  if (const auto* Name = ObjectAs<TvxPDFNameObject>(Filter)) {
    List.push_back(FilterFromName(Name->Text));
    return List;
  }
  const auto* Chain = ObjectAs<TvxPDFArrayObject>(Filter);
  if (!Chain)
    throw EUnexpectedFilterObject(FormatMessage(msg::UnexpectedFilterObject, Filter->TypeName()));
  for (const TvxPDFObjectPtr& Item : Chain->Items) {
    const TvxPDFObject* Name = Item.get();
    if (Store && Name) Name = Store->Resolve(Item.get());
    List.push_back(FilterFromName(ObjectCast<TvxPDFNameObject>(Name).Text));
  }
  return List;
}

// --- Decoding ---

namespace {

// What one step takes from its /DecodeParms.
struct TvxStepParams {
  TvxPredictorParams Predictor;
  bool EarlyChange = true;
};

TvxStepParams StepParamsFromDict(const TvxPDFDictObject* Parms, const TvxPDFObjectStore* Store) {
  TvxStepParams P;
  P.Predictor = PredictorParamsFromDict(Parms, Store);
  TvxPDFObject* Early = Parms->Lookup("/EarlyChange");
  if (Store) Early = Store->Resolve(Early);
  if (Early) {
    const auto* N = ObjectAs<TvxPDFIntegerObject>(Early);
    if (!N) throw EInvalidDecodeParms(FormatMessage(msg::InvalidDecodeParms, "/EarlyChange"));
    P.EarlyChange = N->Value != 0;
  }
  return P;
}

void StripTrailingEOL(std::string& Data) {
  while (!Data.empty() && (Data.back() == '\n' || Data.back() == '\r')) Data.pop_back();
}

// Line ends after the data are file layout for the text codecs and the
// RunLength end marker. Flate and LZW data are binary, and a final code byte
// may well be 10 or 13, so they keep every byte.
std::string DecodeOneStep(TvxDecodeFilter Kind, std::string Data, const TvxStepParams* Params) {
  switch (Kind) {
    case ftASCIIHexDecode:
      StripTrailingEOL(Data);
      if (Data.empty() || Data.back() != '>') Data.push_back('>');
      return TvxAsciiHexFilter().DecodeString(Data);
    case ftASCII85Decode: StripTrailingEOL(Data); return TvxAscii85Filter().DecodeString(Data);
    case ftRunLengthDecode: StripTrailingEOL(Data); return TvxRLEFilter().DecodeString(Data);
    case ftFlateDecode: {
      std::string Out = TvxFlateFilter().DecodeString(Data);
      if (!Params) return Out;
      return ApplyPredictor(Out, Params->Predictor);
    }
    case ftLZWDecode: {
      std::string Out = TvxLZWFilter(Params ? Params->EarlyChange : true).DecodeString(Data);
      if (!Params) return Out;
      return ApplyPredictor(Out, Params->Predictor);
    }
    default: Unsupported(Kind);
  }
}

std::string DecodeStep(TvxDecodeFilter Kind, std::string Data, const TvxStepParams* Params) {
  std::string Out = DecodeOneStep(Kind, std::move(Data), Params);
  ChargeDecodedSize(Out.size());
  return Out;
}

void RequireDecodable(const TvxFilterList& List) {
  for (TvxDecodeFilter Kind : List)
    if (!CanDecode(Kind)) Unsupported(Kind);
}

}  // namespace

// Image codecs the engine does not run leave their data as it is: the chain
// stops being decodable there, but what came before is still undone.
bool PassesThrough(TvxDecodeFilter Kind) {
  return Kind == ftCCITTFaxDecode || Kind == ftDCTDecode;
}

std::unique_ptr<TvxMemoryStream> DecodeWithFilter(TvxDecodeFilter Kind, TvxStream& Stream) {
  if (PassesThrough(Kind)) return NewMemoryStream(ReadWholeStream(Stream));
  if (!CanDecode(Kind)) Unsupported(Kind);
  return NewMemoryStream(DecodeStep(Kind, ReadWholeStream(Stream), nullptr));
}

std::unique_ptr<TvxMemoryStream> DecodeFilterChain(TvxStream& Stream, const TvxPDFObject* Filter) {
  TvxFilterList List = GetFilterList(Filter);
  std::string Work = ReadWholeStream(Stream);
  for (TvxDecodeFilter Kind : List) {
    if (PassesThrough(Kind)) continue;
    Work = DecodeStep(Kind, std::move(Work), nullptr);
  }
  return NewMemoryStream(std::move(Work));
}

std::unique_ptr<TvxMemoryStream> DecodeStreamData(const TvxPDFStreamObject& Stream,
                                                  const TvxPDFObjectStore* Store) {
  auto Resolve = [Store](TvxPDFObject* Obj) { return Store ? Store->Resolve(Obj) : Obj; };
  TvxPDFObject* Filter = Stream.Dict ? Resolve(Stream.Dict->Lookup("/Filter")) : nullptr;
  TvxPDFObject* Parms = Stream.Dict ? Resolve(Stream.Dict->Lookup("/DecodeParms")) : nullptr;
  TvxFilterList List = GetFilterList(Filter, Store);
  RequireDecodable(List);

  std::vector<std::optional<TvxStepParams>> StepParams(List.size());
  for (size_t I = 0; I < List.size(); ++I) {
    const TvxPDFObject* P = nullptr;
    if (const auto* PerStep = ObjectAs<TvxPDFArrayObject>(Parms))
      P = Resolve(PerStep->GetItem(static_cast<int32_t>(I)));
    else if (Parms && Parms->IsDict() && (List[I] == ftFlateDecode || List[I] == ftLZWDecode))
      P = Parms;
    if (const TvxPDFDictObject* Step = AsDict(P)) StepParams[I] = StepParamsFromDict(Step, Store);
  }

  // Data still in the source file is read for this call only.
  std::string Work = Stream.Data.ReadAll();
  for (size_t I = 0; I < List.size(); ++I)
    Work = DecodeStep(List[I], std::move(Work), StepParams[I] ? &*StepParams[I] : nullptr);
  return NewMemoryStream(std::move(Work));
}

}  // namespace vx
