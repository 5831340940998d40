#include "pdf/reader/vxXRefLoader.h"

#include <algorithm>
#include <charconv>

#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/reader/vxRepair.h"

namespace vx {

namespace {

int32_t IntegerValue(const TvxPDFObject* Obj) {
  return ObjectCast<TvxPDFIntegerObject>(Obj).Value;
}

int64_t DigitsValue(std::string_view Text) {
  int64_t V = 0;
  bool Any = false;
  for (char C : Text) {
    if (C < '0' || C > '9') {
      if (C == ' ' && !Any) continue;
      break;
    }
    Any = true;
    V = V * 10 + (C - '0');
    if (V > INT32_MAX) return -1;
  }
  return Any ? V : -1;
}

bool HasFilter(const std::vector<TvxDecodeFilter>& List, TvxDecodeFilter F) {
  return std::find(List.begin(), List.end(), F) != List.end();
}

}  // namespace

bool TvxXRefLoader::IsXRefAt(int64_t Offset) {
  TvxPDFStreamReader& R = *FData.FReader;
  R.Seek(Offset, soBeginning);
  std::string Five = R.PeekString(5);
  if (Five.compare(0, 4, "xref") == 0) return true;
  size_t First = 0, Last = Five.size();
  while (First < Last && static_cast<uint8_t>(Five[First]) <= 32) ++First;
  while (Last > First && static_cast<uint8_t>(Five[Last - 1]) <= 32) --Last;
  return Five.substr(First, Last - First) == "xref";
}

int64_t TvxXRefLoader::MaxEntries() const {
  return (int64_t{1} << 20) + 32 * (FData.FReader ? FData.FReader->GetSize() : 0);
}

bool TvxXRefLoader::StartsToken(int64_t Offset) {
  TvxPDFStreamReader& R = *FData.FReader;
  if (Offset <= 0 || Offset > R.GetSize()) return true;
  R.Seek(Offset - 1, soBeginning);
  const uint8_t Before = R.PeekByte();
  return Before < '0' || Before > '9';
}

bool TvxXRefLoader::IsDigitAt(int64_t Offset) {
  TvxPDFStreamReader& R = *FData.FReader;
  R.Seek(Offset, soBeginning);
  // An offset a few end-of-line bytes early still names the object.
  for (int I = 0;
       I < 4 && !R.AtEnd() && (R.PeekByte() == 10 || R.PeekByte() == 13 || R.PeekByte() == 32); ++I)
    R.ReadByte();
  if (R.AtEnd()) return false;
  uint8_t B = R.PeekByte();
  return B >= '0' && B <= '9';
}

void TvxXRefLoader::ReadXRef() {
  TvxPDFStreamReader& R = *FData.FReader;
  if (FData.FRepairing) {
    // A repair takes a damaged header for what it most likely means.
    const std::string_view Bytes = R.Bytes();
    FData.FPDFVersion = TvxRepair::HeaderIsSound(Bytes)
                            ? static_cast<TvxPDFVersion>(R.ReadHeaderVersion())
                            : TvxRepair::LenientVersion(Bytes);
  } else {
    FData.FPDFVersion = static_cast<TvxPDFVersion>(R.ReadHeaderVersion());
  }
  const int64_t X = R.FindStartXRef();
  if (IsXRefAt(X)) {
    ReadChain(X, false);
  } else if (IsDigitAt(X)) {
    FEvents.DoStatusMessage("Reading Cross-Reference Stream Table");
    ReadChain(X, true);
  } else {
    throw EPDFFileCorruptedError(std::string(msg::FileCorrupted));
  }
  CompleteXRef(FMaxNumber);
}

void TvxXRefLoader::CompleteXRef(int32_t MaxNumber) {
  const bool Encrypted = FData.FTrailer->Encrypt && !FData.FTrailer->Encrypt->IsNull();
  if (!Encrypted && !FData.FXRefStmItems.empty()) UnpackObjectStreams();
  ResolveID();
  FData.FPendingID.reset();
  // New objects must not take the number of any object the file describes.
  FData.FStore->LastObjectNumber = MaxNumber + 1;

  TvxPDFObject* Encrypt = FData.FTrailer->Encrypt.get();
  if (Encrypt && !Encrypt->IsNull()) {
    TvxPDFObjectPtr Direct = FLoader.MakeDirect(Encrypt);
    FData.FTrailer->Encrypt = std::move(Direct);
    // Even when the reference leads nowhere: the file says it is encrypted,
    // and must not be read or saved as plain.
    FData.FIsEncrypted = true;
  } else {
    FData.FIsEncrypted = false;
  }
  FData.FIsLoaded = true;
}

// Walks the chain newest first, taking trailer values and entries on the way;
// an entry for a number an update already gave is older and ignored.
void TvxXRefLoader::ReadChain(int64_t Offset, bool IsStream) {
  int64_t Next = Offset;
  bool NextIsStream = IsStream;
  size_t Sections = 0;
  while (Next >= 0 && Sections++ < MaxSections && FVisited.insert(Next).second) {
    const TvxPDFDictObject* Dict = nullptr;
    std::unique_ptr<TvxPDFDictObject> Trailer;
    std::unique_ptr<TvxPDFStreamObject> Stream;
    if (NextIsStream) {
      Stream = ReadXRefStreamObject(Next);
      Dict = Stream->Dict.get();
      ApplyTrailerValues(*Dict);
      ReadStreamEntries(*Stream);
    } else {
      FEvents.DoStatusMessage("Reading Cross-Reference Table");
      FData.FReader->Seek(Next, soBeginning);
      Trailer = FData.FReader->ReadTrailer();
      Dict = Trailer.get();
      ApplyTrailerValues(*Dict);
      std::vector<int32_t> Freed;
      ReadTableEntries(Next, Freed);
      // A hybrid file lists its compressed objects in the stream named by
      // /XRefStm, often as free entries of the table: the table's in-use
      // entries come first, then the stream's, then the table's free ones.
      if (const TvxPDFObject* Stm = Dict->Lookup("/XRefStm")) {
        int64_t At = IntegerValue(Stm);
        // An offset into the middle of a number (the leading zeros of one
        // stream) would read that stream again under every such offset.
        if (StartsToken(At) && IsDigitAt(At) && FVisited.insert(At).second) {
          std::unique_ptr<TvxPDFStreamObject> S = ReadXRefStreamObject(At);
          ApplyTrailerValues(*S->Dict);
          ReadStreamEntries(*S);
        }
      }
      for (int32_t K : Freed) Claim(K);
    }
    Next = -1;
    if (const TvxPDFObject* Prev = Dict->Lookup("/Prev")) {
      int64_t P = IntegerValue(Prev);
      if (P >= 0 && IsXRefAt(P)) {
        Next = P;
        NextIsStream = false;
      } else if (P >= 0 && IsDigitAt(P)) {
        Next = P;
        NextIsStream = true;
      }
    }
  }
}

void TvxXRefLoader::ApplyTrailerValues(const TvxPDFDictObject& Dict) {
  TvxPDFTrailer& T = *FData.FTrailer;
  if (T.RootObjectNumber == -1) {
    if (const TvxPDFObject* Root = Dict.Lookup("/Root"))
      T.RootObjectNumber = ObjectCast<TvxPDFIndirectReference>(Root).ObjectNumber;
  }
  if (!FData.FPendingID) {
    if (const TvxPDFObject* ID = Dict.Lookup("/ID"))
      FData.FPendingID = ID->Clone();
    else
      T.ID.reset();
  }
  if (!T.Encrypt) {
    if (const TvxPDFObject* Enc = Dict.Lookup("/Encrypt")) T.Encrypt = Enc->Clone();
  }
  if (!T.Info) {
    if (const TvxPDFObject* Info = Dict.Lookup("/Info")) {
      const auto& Ref = ObjectCast<TvxPDFIndirectReference>(Info);
      T.Info = std::make_unique<TvxPDFIndirectReference>(Ref.DocumentID, Ref.ObjectNumber,
                                                         Ref.Generation);
    }
  }
}

std::unique_ptr<TvxPDFStreamObject> TvxXRefLoader::ReadXRefStreamObject(int64_t Offset) {
  FData.FReader->Seek(Offset, soBeginning);
  std::unique_ptr<TvxPDFIndirectObject> O = FLoader.ReadIndirectObject();
  // startxref or a /Prev naming some other object: the chain is broken.
  std::unique_ptr<TvxPDFStreamObject> S = O ? ObjectTake<TvxPDFStreamObject>(O->Value) : nullptr;
  if (!S) throw EPDFFileCorruptedError(FormatMessage(msg::NoXRefStream, Offset));
  if (!S->Data) S->Data = std::make_unique<TvxMemoryStream>();
  TvxPDFObject* Filter = FData.FStore->Resolve(S->Dict->Lookup("/Filter"));
  if (Filter) {
    std::vector<TvxDecodeFilter> List = GetFilterList(Filter);
    if (!HasFilter(List, ftDCTDecode)) {
      std::unique_ptr<TvxMemoryStream> Decoded = DecodeFilterChain(*S->Data, Filter);
      if (TvxPDFObject* Parms = S->Dict->Lookup("/DecodeParms")) {
        auto* P = &ObjectCast<TvxPDFDictObject>(Parms);
        TvxPredictorParams Params = PredictorParamsFromDict(P, FData.FStore.get());
        // PNG rows one byte per sample; TIFF predictor 2 by its parameters;
        // no predictor leaves the data as it is.
        if (Params.Predictor >= 10)
          Decoded = ApplyPNGPredictor(*Decoded, Params.Columns);
        else if (Params.Predictor == 2)
          Decoded = NewMemoryStream(ApplyPredictor(Decoded->DataString(), Params));
      }
      Decoded->FPosition = 0;
      S->Data = std::move(Decoded);
    }
  }
  S->Data->FPosition = 0;
  return S;
}

void TvxXRefLoader::ReadTableEntries(int64_t Offset, std::vector<int32_t>& Freed) {
  TvxPDFStreamReader& R = *FData.FReader;
  R.Seek(Offset, soBeginning);
  auto ToDigit = [&R] {
    while (!R.AtEnd() && (R.PeekByte() < '0' || R.PeekByte() > '9')) R.ReadByte();
  };
  ToDigit();
  // Every subsection consumes bytes, so this ends with the data.
  while (!R.AtEnd()) {
    int64_t First = DigitsValue(R.ReadToken());
    int64_t N = DigitsValue(R.ReadToken());
    if (First < 0 || N <= 0) return;
    ToDigit();
    for (int64_t I = 0; I < N && !R.AtEnd(); ++I) {
      // A count larger than the entries there ends at the trailer: reading
      // on would take the rest of the file as entries, for every section.
      if (R.PeekByte() == 't' && R.PeekString(7) == "trailer") return;
      // "oooooooooo ggggg t" and a two-byte end of line; end-of-line forms of
      // other lengths are tolerated.
      // Read in place: bytes past the end of the data stay zero.
      char Entry[18] = {};
      R.Read(Entry, sizeof Entry);
      while (!R.AtEnd()) {
        uint8_t B = R.PeekByte();
        if (B != ' ' && B != '\r' && B != '\n') break;
        R.ReadByte();
      }
      TvxXRefItem Item;
      Item.ObjectNumber = static_cast<int32_t>(std::min<int64_t>(First + I, INT32_MAX));
      int64_t Off = DigitsValue(std::string_view(Entry, 10));
      int64_t Gen = DigitsValue(std::string_view(Entry + 11, 5));
      Item.Offset = static_cast<int32_t>(std::max<int64_t>(Off, 0));
      Item.Generation = static_cast<int32_t>(std::max<int64_t>(Gen, 0));
      Item.EntryType = Entry[17];
      if (Item.EntryType == 'n')
        EnterTableEntry(First + I, Item);
      else if (First + I <= MaxObjectNumber)
        Freed.push_back(static_cast<int32_t>(First + I));
    }
    R.SkipWhitespace();
    if (R.PeekString(7) == "trailer") return;
  }
}

bool TvxXRefLoader::Claim(int64_t K) {
  // Object 0 is the head of the free list, never an object.
  if (K <= 0 || K > MaxObjectNumber) return false;
  auto N = static_cast<int32_t>(K);
  // Entries cost memory: a compressed table of one-byte rows could name
  // millions of objects from a few kilobytes. Past what any file of this
  // size could hold, the rest are ignored.
  if (FClaimed.Count() >= static_cast<size_t>(MaxEntries())) return false;
  if (!FClaimed.Insert(N, 0)) return false;
  FMaxNumber = std::max(FMaxNumber, N);
  return true;
}

void TvxXRefLoader::EnterTableEntry(int64_t K, const TvxXRefItem& Item) {
  if (Claim(K)) FData.FXRefItems.emplace(static_cast<int32_t>(K), Item);
}

void TvxXRefLoader::EnterStreamEntry(int64_t K, const TvxXRefStmItem& Item) {
  // Type 0 is a free entry; other unknown types stand for nothing.
  if (Item.EntryType == 0) {
    Claim(K);
    return;
  }
  if (Item.EntryType != 1 && Item.EntryType != 2) return;
  // An object stream cannot hold itself.
  if (Item.EntryType == 2 && Item.Field2 == K) return;
  if (Claim(K)) FData.FXRefStmItems.emplace(static_cast<int32_t>(K), Item);
}

void TvxXRefLoader::ReadStreamEntries(const TvxPDFStreamObject& Stream) {
  const TvxPDFDictObject& Dict = *Stream.Dict;
  const auto& WArr = ObjectCast<TvxPDFArrayObject>(Dict.Lookup("/W"));
  int64_t W[3] = {0, 0, 0};
  for (int I = 0; I < 3; ++I) {
    const auto* Item = ObjectAs<TvxPDFIntegerObject>(WArr.GetItem(I));
    W[I] = Item ? std::max(Item->Value, 0) : 0;
  }
  const int64_t EntrySize = W[0] + W[1] + W[2];
  const std::string& Data = Stream.Data->DataString();
  if (EntrySize == 0 || EntrySize > 64) return;
  size_t Pos = 0;
  auto ReadField = [&](int64_t Width) {
    uint64_t V = 0;
    for (int64_t I = 0; I < Width; ++I) V = V << 8 | static_cast<uint8_t>(Data[Pos++]);
    return static_cast<int32_t>(static_cast<uint32_t>(V));
  };
  // Returns false when the data is used up.
  auto ReadEntries = [&](int64_t First, int64_t N) {
    for (int64_t I = 0; I < N; ++I) {
      if (Pos + static_cast<size_t>(EntrySize) > Data.size()) return false;
      TvxXRefStmItem Item;
      // A missing type field means type 1.
      Item.EntryType = W[0] == 0 ? 1 : ReadField(W[0]);
      Item.Field2 = ReadField(W[1]);
      Item.Field3 = ReadField(W[2]);
      EnterStreamEntry(First + I, Item);
    }
    return true;
  };
  if (TvxPDFObject* Index = Dict.Lookup("/Index")) {
    auto* Arr = &ObjectCast<TvxPDFArrayObject>(Index);
    for (int32_t I = 0; I + 1 < Arr->Count(); I += 2) {
      int64_t First = IntegerValue(Arr->GetItem(I));
      int64_t N = IntegerValue(Arr->GetItem(I + 1));
      if (N == 0) break;
      if (!ReadEntries(First, N)) break;
    }
  } else if (TvxPDFObject* Size = Dict.Lookup("/Size")) {
    int64_t N = IntegerValue(Size);
    if (N != 0) ReadEntries(0, N);
  }
}

void TvxXRefLoader::ResolveID() {
  if (!FData.FPendingID) return;
  if (const auto* ID = ObjectAs<TvxPDFArrayObject>(FData.FPendingID.get())) {
    FData.FTrailer->ID = ID->CloneArray();
    return;
  }
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  TvxPDFArrayObject* A = FLoader.ResolveArrayLoading(FData.FPendingID.get(), false, Holder);
  if (A) FData.FTrailer->ID = A->CloneArray();
}

void TvxXRefLoader::UnpackObjectStreams() {
  // In object-number order, so that the store's order does not depend on
  // hashing.
  std::vector<std::pair<int32_t, int32_t>> Members;
  for (const auto& [K, Item] : FData.FXRefStmItems)
    if (Item.EntryType == 2) Members.emplace_back(K, Item.Field2);
  std::sort(Members.begin(), Members.end());
  std::unordered_set<int32_t> Done;
  for (const auto& [K, StreamNumber] : Members) {
    if (StreamNumber <= 0) continue;
    if (!Done.insert(StreamNumber).second) continue;
    UnpackObjectStream(StreamNumber);
  }
}

void TvxXRefLoader::UnpackObjectStream(int32_t StreamNumber) {
  int64_t Offset = FLoader.GetObjectOffset(StreamNumber);
  if (Offset <= 0) return;
  FData.FReader->Seek(Offset, soBeginning);
  std::unique_ptr<TvxPDFIndirectObject> O = FLoader.ReadIndirectObject();
  auto* S = &ObjectCast<TvxPDFStreamObject>(O ? O->Value.get() : nullptr);
  // An entry leading to another object stream would decode that one again
  // under every number that names it.
  if (O->ObjectNumber != StreamNumber) return;
  if (!S->Data) return;
  TvxPDFObject* Filter = FData.FStore->Resolve(S->Dict->Lookup("/Filter"));
  std::unique_ptr<TvxMemoryStream> Decoded;
  if (Filter) {
    std::vector<TvxDecodeFilter> List = GetFilterList(Filter);
    if (HasFilter(List, ftDCTDecode) || HasFilter(List, ftLZWDecode)) return;
    Decoded = DecodeFilterChain(*S->Data, Filter);
  } else {
    // An uncompressed object stream holds objects all the same.
    Decoded = std::make_unique<TvxMemoryStream>(S->Data->DataString());
  }
  const auto* Type = ObjectAs<TvxPDFNameObject>(S->Dict->Lookup("/Type"));
  if (!Type || Type->Text != "/ObjStm") return;
  int32_t N = IntegerValue(FData.FStore->Resolve(S->Dict->Lookup("/N")));
  int32_t First = IntegerValue(FData.FStore->Resolve(S->Dict->Lookup("/First")));

  Decoded->FPosition = 0;
  FData.FSubReader = std::make_unique<TvxPDFStreamReader>(FData.FDocumentID, Decoded.get());
  struct TvxSubReaderReset {
    std::unique_ptr<TvxPDFStreamReader>& Sub;
    ~TvxSubReaderReset() { Sub.reset(); }
  } Reset{FData.FSubReader};
  TvxPDFStreamReader& Sub = *FData.FSubReader;
  Sub.Lenient = FData.FRepairing;
  const int32_t InfoNumber = FData.FTrailer->Info ? FData.FTrailer->Info->ObjectNumber : -1;
  struct TvxMember {
    int32_t ObjNum;
    int64_t Start;
    TvxPDFObjectPtr Value;
  };
  std::vector<TvxMember> Members;
  for (int32_t I = 0; I < N && !Sub.AtEnd(); ++I) {
    std::string NumText = Sub.ReadToken();
    std::string OffText = Sub.ReadToken();
    int32_t ObjNum = 0, Off = 0;
    auto R1 = std::from_chars(NumText.data(), NumText.data() + NumText.size(), ObjNum);
    auto R2 = std::from_chars(OffText.data(), OffText.data() + OffText.size(), Off);
    if (R1.ec != std::errc() || R1.ptr != NumText.data() + NumText.size())
      throw EConvertError(FormatMessage(msg::NotValidInteger, NumText));
    if (R2.ec != std::errc() || R2.ptr != OffText.data() + OffText.size())
      throw EConvertError(FormatMessage(msg::NotValidInteger, OffText));
    // Only the object the cross-reference data places here: an older copy
    // replaced by an update must not shadow the current one.
    auto Entry = FData.FXRefStmItems.find(ObjNum);
    bool Current = Entry != FData.FXRefStmItems.end() && Entry->second.EntryType == 2 &&
                   Entry->second.Field2 == StreamNumber;
    if (Current && FData.FStore->IndexOfObject(FData.FDocumentID, ObjNum, 0) < 0)
      Members.push_back(TvxMember{ObjNum, static_cast<int64_t>(First) + Off, nullptr});
  }
  // Read in the order of their places, each from where the one before
  // ended: members that overlap (one place named for many objects) are read
  // once, so no stream costs more than its own bytes.
  std::vector<size_t> ByPlace(Members.size());
  for (size_t I = 0; I < ByPlace.size(); ++I) ByPlace[I] = I;
  std::stable_sort(ByPlace.begin(), ByPlace.end(),
                   [&](size_t A, size_t B) { return Members[A].Start < Members[B].Start; });
  int64_t ReadUpTo = -1;
  for (size_t I : ByPlace) {
    if (Members[I].Start < ReadUpTo) continue;
    Sub.Seek(Members[I].Start, soBeginning);
    Members[I].Value = Sub.ParseObject();
    ReadUpTo = std::max(Sub.Position(), Members[I].Start + 1);
  }
  for (TvxMember& M : Members) {
    TvxPDFObjectPtr V = std::move(M.Value);
    const int32_t ObjNum = M.ObjNum;
    if (!V || FData.FStore->IndexOfObject(FData.FDocumentID, ObjNum, 0) >= 0) continue;
    const TvxPDFDictObject* Dict = AsDict(V.get());
    const auto* T = ObjectAs<TvxPDFNameObject>(Dict ? Dict->Lookup("/Type") : nullptr);
    const bool IsPages = T && T->Text == "/Pages";
    if (!IsPages) FLoader.LoadReferences(V.get());
    if (ObjNum == InfoNumber && Dict) {
      FData.FInfo->AssignDictionary(ObjectTake<TvxPDFDictObject>(V));
    } else {
      auto Obj = std::make_unique<TvxPDFIndirectObject>(FData.FDocumentID, ObjNum, 0, std::move(V));
      if (!IsPages) Obj->MarkUsed();
      FData.FStore->AddObject(std::move(Obj));
    }
  }
}

}  // namespace vx
