#include "pdf/reader/vxRepair.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/reader/vxXRefLoader.h"
#include "pdf/security/vxPDFCrypt.h"

namespace vx {

namespace {

bool IsWhite(char C) {
  return C == 0 || C == 9 || C == 10 || C == 12 || C == 13 || C == 32;
}

bool IsDelimiter(char C) {
  return IsWhite(C) || C == '(' || C == ')' || C == '<' || C == '>' || C == '[' || C == ']' ||
         C == '{' || C == '}' || C == '/' || C == '%';
}

bool IsDigitChar(char C) {
  return C >= '0' && C <= '9';
}

// What the scan meets, in file order.
struct TvxMark {
  int64_t Pos;     // first byte of the header or of "trailer"
  int64_t After;   // first byte after "obj" or "trailer"
  int32_t Number;  // 0 for a trailer
  int32_t Generation;
};

// Where an object's newest definition is.
struct TvxFound {
  int64_t DefinedAt = 0;
  int64_t Offset = 0;
  int32_t Generation = 0;
  int32_t Stream = 0;  // object stream holding it, 0 when stored plainly
  int32_t Index = 0;
};

// A dictionary that may hold trailer values, with its position.
struct TvxCandidate {
  int64_t Pos;
  std::unique_ptr<TvxPDFDictObject> Dict;
};

// Reads a number of at most MaxDigits digits ending just before End, going
// backward; returns its first position or -1.
int64_t DigitsBefore(std::string_view All, int64_t End, int MaxDigits, int64_t& Value) {
  int64_t P = End;
  while (P > 0 && End - P < MaxDigits && IsDigitChar(All[static_cast<size_t>(P - 1)])) --P;
  if (P == End || (P > 0 && IsDigitChar(All[static_cast<size_t>(P - 1)]))) return -1;
  Value = 0;
  for (int64_t I = P; I < End; ++I) Value = Value * 10 + (All[static_cast<size_t>(I)] - '0');
  return P;
}

// White space of at most 64 bytes ending just before End; its first position
// or -1 when there is none.
int64_t WhiteBefore(std::string_view All, int64_t End) {
  int64_t P = End;
  while (P > 0 && End - P < 64 && IsWhite(All[static_cast<size_t>(P - 1)])) --P;
  return P == End ? -1 : P;
}

// "N G obj" whose "obj" starts at P; fills the mark.
bool HeaderAt(std::string_view All, int64_t P, TvxMark& Mark) {
  const int64_t Size = static_cast<int64_t>(All.size());
  if (P + 3 < Size && !IsDelimiter(All[static_cast<size_t>(P + 3)])) return false;
  int64_t Gen = 0, Num = 0;
  int64_t Q = WhiteBefore(All, P);
  if (Q < 0) return false;
  Q = DigitsBefore(All, Q, 5, Gen);
  if (Q < 0) return false;
  Q = WhiteBefore(All, Q);
  if (Q < 0) return false;
  Q = DigitsBefore(All, Q, 10, Num);
  if (Q < 0) return false;
  if (Q > 0 && !IsDelimiter(All[static_cast<size_t>(Q - 1)])) return false;
  if (Num <= 0 || Num > MaxObjectNumber || Gen > 65535) return false;
  Mark = {Q, P + 3, static_cast<int32_t>(Num), static_cast<int32_t>(Gen)};
  return true;
}

bool StartsWith(std::string_view All, size_t P, std::string_view Word) {
  return All.size() - P >= Word.size() && All.compare(P, Word.size(), Word) == 0;
}

std::string NameOf(const TvxPDFObject* Obj) {
  const auto* Name = ObjectAs<TvxPDFNameObject>(Obj);
  return Name ? Name->Text : std::string();
}

// -1, no root, for anything but a reference.
int32_t ReferencedNumber(const TvxPDFObject* Obj) {
  const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Obj);
  return Ref ? Ref->ObjectNumber : -1;
}

}  // namespace

bool IsDamagedStructureError(const std::exception& E) {
  // Not damage: a file that cannot be found or read, a method the security
  // handler lacks or key material no repair can recover, a limit on decoded
  // data.
  return dynamic_cast<const Exception*>(&E) && !dynamic_cast<const EFileNotFound*>(&E) &&
         !dynamic_cast<const EStreamError*>(&E) &&
         !dynamic_cast<const EUnsupportedEncryption*>(&E) &&
         !dynamic_cast<const EDamagedEncryption*>(&E) &&
         !dynamic_cast<const EInvalidPermission*>(&E) &&
         !dynamic_cast<const EDecodeLimitError*>(&E);
}

int64_t TvxRepair::FindHeader(std::string_view Bytes) {
  size_t P = Bytes.substr(0, static_cast<size_t>(HeaderWindow)).find("%PDF-");
  return P == std::string_view::npos ? -1 : static_cast<int64_t>(P);
}

bool TvxRepair::HeaderIsSound(std::string_view Bytes) {
  if (StartsWith(Bytes, 0, "%PDF-2.")) return true;
  return StartsWith(Bytes, 0, "%PDF-1.") && Bytes.size() > 7 && Bytes[7] >= '0' && Bytes[7] <= '7';
}

TvxPDFVersion TvxRepair::LenientVersion(std::string_view Bytes) {
  if (StartsWith(Bytes, 0, "%PDF-2.")) return pvPDF20;
  if (StartsWith(Bytes, 0, "%PDF-1.") && Bytes.size() > 7 && IsDigitChar(Bytes[7]))
    return static_cast<TvxPDFVersion>(std::min(Bytes[7] - '0', 7));
  return pvPDF14;
}

// What the phases of a rebuild share.
struct TvxRepair::TvxScan {
  std::string_view All;
  // Met by the scan, in file order.
  std::vector<TvxMark> Marks;
  std::vector<int64_t> EndStreams;
  std::vector<int64_t> StreamWords;  // "stream" keywords, not those of "endstream"
  // Found by parsing and in the object streams.
  std::unordered_map<int32_t, TvxFound> Found;
  std::vector<TvxCandidate> Candidates;
  std::vector<std::pair<int64_t, int32_t>> ObjectStreams;  // position, number
  int32_t LastCatalog = -1;
  // Numbers whose newest plain definition is a catalog.
  std::unordered_set<int32_t> Catalogs;

  bool Encrypted() const {
    bool Any = false;
    for (const auto& C : Candidates) Any = Any || C.Dict->Lookup("/Encrypt");
    return Any;
  }
};

void TvxRepair::Rebuild() {
  TvxScan S;
  S.All = FData.FReader->Bytes();
  FData.FPDFVersion = HeaderIsSound(S.All)
                          ? static_cast<TvxPDFVersion>(FData.FReader->ReadHeaderVersion())
                          : LenientVersion(S.All);
  ScanFile(S);
  ParseObjects(S);
  // Plain objects first: an object stream may need one (an indirect /Length).
  EnterPlainObjects(S);
  // Encrypted object streams cannot be unpacked yet.
  if (!S.Encrypted()) ReadObjectStreams(S);
  // Whatever reading the object streams put into the store is read again by
  // the load proper.
  FData.FStore = std::make_unique<TvxPDFObjectStore>();
  const int32_t MaxNumber = EnterFoundObjects(S);
  BuildTrailer(S);
  TvxXRefLoader(FData, FEvents, FLoader).CompleteXRef(MaxNumber);
  // A catalog kept in an object stream is known only once they are unpacked.
  if (FData.FTrailer->RootObjectNumber < 0) FindStoredCatalog();
  if (FData.FTrailer->RootObjectNumber < 0)
    throw EPDFFileCorruptedError(std::string(msg::RepairNoCatalog));
}

void TvxRepair::ScanFile(TvxScan& S) const {
  // One pass over the bytes: object headers, "trailer" keywords and the
  // positions of "endstream".
  const std::string_view All = S.All;
  for (size_t P = 0; P < All.size(); ++P) {
    const char C = All[P];
    if (C == 'o') {
      TvxMark M{};
      if (StartsWith(All, P, "obj") && HeaderAt(All, static_cast<int64_t>(P), M))
        S.Marks.push_back(M);
    } else if (C == 'e') {
      if (StartsWith(All, P, "endstream")) S.EndStreams.push_back(static_cast<int64_t>(P));
    } else if (C == 's') {
      if (StartsWith(All, P, "stream") && (P == 0 || All[P - 1] != 'd'))
        S.StreamWords.push_back(static_cast<int64_t>(P));
    } else if (C == 't') {
      if (StartsWith(All, P, "trailer"))
        S.Marks.push_back({static_cast<int64_t>(P), static_cast<int64_t>(P) + 7, 0, 0});
    }
  }
}

void TvxRepair::ParseObjects(TvxScan& S) {
  // Each object is parsed only up to the next mark, so no byte is parsed
  // twice however the file is damaged. A header inside stream data is no
  // object.
  const std::string_view All = S.All;
  const int64_t Size = static_cast<int64_t>(All.size());
  const std::vector<TvxMark>& Marks = S.Marks;
  int64_t SkipUntil = 0;
  for (size_t I = 0; I < Marks.size(); ++I) {
    const TvxMark& M = Marks[I];
    if (M.Pos < SkipUntil) continue;
    const int64_t End = I + 1 < Marks.size() ? Marks[I + 1].Pos : Size;
    if (M.After > End) continue;  // overlapping marks: "trailer" inside a header
    TvxMemoryStream Region(
        std::string(All.substr(static_cast<size_t>(M.After), static_cast<size_t>(End - M.After))));
    TvxPDFStreamReader Sub(FData.FDocumentID, &Region);
    Sub.Lenient = true;
    TvxPDFObjectPtr Value;
    bool IsStream = false;
    try {
      Value = Sub.ParseObject();
      if (Value && Value->IsDict() && M.Number > 0 && Sub.AtStreamKeyword()) {
        IsStream = true;
        const int64_t DataStart = M.After + Sub.Position() + 6;
        auto It = std::lower_bound(S.EndStreams.begin(), S.EndStreams.end(), DataStart);
        // A later stream starting before that "endstream" owns it: this
        // stream lost its own, and the objects after it are no data.
        auto Next = std::lower_bound(S.StreamWords.begin(), S.StreamWords.end(), DataStart);
        if (It != S.EndStreams.end() && (Next == S.StreamWords.end() || *Next > *It))
          SkipUntil = *It + 9;
      }
    } catch (const Exception&) {
      if (M.Number > 0) FEvents.DoWarning(FormatMessage(msg::RepairUnreadableObject, M.Number));
      continue;
    }
    if (M.Number == 0) {
      if (auto Dict = ObjectTake<TvxPDFDictObject>(Value))
        S.Candidates.push_back({M.Pos, std::move(Dict)});
      continue;
    }
    if (!Value) continue;
    auto* Dict = AsDict(Value.get());
    if (!Dict) S.Catalogs.erase(M.Number);
    TvxFound& F = S.Found[M.Number];
    F = {M.Pos, M.Pos, M.Generation, 0, 0};
    if (!Dict) continue;
    const std::string Type = NameOf(Dict->Lookup("/Type"));
    if (Type == "/Catalog" || (Type.empty() && Dict->Lookup("/Pages")))
      S.Catalogs.insert(M.Number);
    else
      S.Catalogs.erase(M.Number);
    if (Type == "/Catalog") {
      S.LastCatalog = M.Number;
    } else if (IsStream && Type == "/XRef") {
      S.Candidates.push_back({M.Pos, Dict->CloneDict()});
    } else if (IsStream && Type == "/ObjStm") {
      S.ObjectStreams.emplace_back(M.Pos, M.Number);
    }
  }
}

void TvxRepair::EnterPlainObjects(const TvxScan& S) {
  FData.FXRefItems.clear();
  for (const auto& [K, F] : S.Found) {
    if (F.Stream != 0) continue;
    TvxXRefItem Item;
    Item.ObjectNumber = K;
    Item.Offset = static_cast<int32_t>(std::min<int64_t>(F.Offset, INT32_MAX));
    Item.Generation = F.Generation;
    FData.FXRefItems.emplace(K, Item);
  }
}

void TvxRepair::ReadObjectStreams(TvxScan& S) {
  // A member is newer than any definition before its stream. Each stream
  // number is unpacked once, from its newest definition, however many older
  // ones the file holds.
  std::unordered_set<int32_t> Unpacked;
  for (const auto& [Pos, Number] : S.ObjectStreams) {
    if (!Unpacked.insert(Number).second) continue;
    try {
      FData.FReader->Seek(S.Found[Number].Offset, soBeginning);
      std::unique_ptr<TvxPDFIndirectObject> O = FLoader.ReadIndirectObject();
      auto* Stm = O ? ObjectAs<TvxPDFStreamObject>(O->Value.get()) : nullptr;
      if (!Stm || !Stm->Data) continue;
      TvxPDFObject* Filter = FData.FStore->Resolve(Stm->Dict->Lookup("/Filter"));
      std::unique_ptr<TvxMemoryStream> Decoded =
          Filter ? DecodeFilterChain(*Stm->Data, Filter)
                 : std::make_unique<TvxMemoryStream>(Stm->Data->DataString());
      auto* N = ObjectAs<TvxPDFIntegerObject>(FData.FStore->Resolve(Stm->Dict->Lookup("/N")));
      if (!N) continue;
      Decoded->FPosition = 0;
      TvxPDFStreamReader Sub(FData.FDocumentID, Decoded.get());
      Sub.Lenient = true;
      const int32_t Count = N->Value;
      for (int32_t I = 0; I < Count && !Sub.AtEnd(); ++I) {
        std::string NumText = Sub.ReadToken();
        std::string OffText = Sub.ReadToken();
        int32_t K = 0;
        auto R = std::from_chars(NumText.data(), NumText.data() + NumText.size(), K);
        if (R.ec != std::errc() || K <= 0 || K > MaxObjectNumber || K == Number) continue;
        TvxFound& F = S.Found[K];
        if (F.DefinedAt <= Pos) F = {Pos, 0, 0, Number, I};
      }
    } catch (const Exception&) {
      FEvents.DoWarning(FormatMessage(msg::RepairObjectStream, Number));
    }
  }
}

int32_t TvxRepair::EnterFoundObjects(const TvxScan& S) {
  EnterPlainObjects(S);
  FData.FXRefStmItems.clear();
  int32_t MaxNumber = 0;
  for (const auto& [K, F] : S.Found) {
    MaxNumber = std::max(MaxNumber, K);
    if (F.Stream == 0) continue;
    TvxXRefStmItem Item;
    Item.EntryType = 2;
    Item.Field2 = F.Stream;
    Item.Field3 = F.Index;
    FData.FXRefStmItems.emplace(K, Item);
  }
  FEvents.DoWarning(FormatMessage(msg::RepairRebuilt, static_cast<int32_t>(S.Found.size())));
  return MaxNumber;
}

void TvxRepair::BuildTrailer(TvxScan& S) {
  // Newest first; the first one whose /Root names an object found wins.
  std::sort(S.Candidates.begin(), S.Candidates.end(),
            [](const TvxCandidate& A, const TvxCandidate& B) { return A.Pos > B.Pos; });
  TvxPDFTrailer& T = *FData.FTrailer;
  const TvxCandidate* Chosen = nullptr;
  // A /Root must name a catalog; one inside an object stream is taken on
  // trust.
  auto IsCatalog = [&](int32_t K) {
    auto It = S.Found.find(K);
    return It != S.Found.end() && (It->second.Stream != 0 || S.Catalogs.count(K));
  };
  for (const auto& C : S.Candidates) {
    if (IsCatalog(ReferencedNumber(C.Dict->Lookup("/Root")))) {
      Chosen = &C;
      break;
    }
  }
  if (Chosen) {
    T.RootObjectNumber = ReferencedNumber(Chosen->Dict->Lookup("/Root"));
  } else {
    FEvents.DoWarning(std::string(msg::RepairNoTrailer));
    T.RootObjectNumber = S.LastCatalog;
  }
  // The other values from the chosen dictionary, else from the newest that
  // has them.
  std::vector<const TvxPDFDictObject*> Order;
  if (Chosen) Order.push_back(Chosen->Dict.get());
  for (const auto& C : S.Candidates)
    if (&C != Chosen) Order.push_back(C.Dict.get());
  bool InfoTaken = false;
  for (const TvxPDFDictObject* Dict : Order) {
    if (!FData.FPendingID)
      if (const TvxPDFObject* ID = Dict->Lookup("/ID")) FData.FPendingID = ID->Clone();
    if (!T.Encrypt)
      if (const TvxPDFObject* Enc = Dict->Lookup("/Encrypt")) T.Encrypt = Enc->Clone();
    const TvxPDFObject* Info = Dict->Lookup("/Info");
    if (InfoTaken || !Info) continue;
    InfoTaken = true;
    if (const auto* Ref = ObjectAs<TvxPDFIndirectReference>(Info)) {
      T.Info = std::make_unique<TvxPDFIndirectReference>(Ref->DocumentID, Ref->ObjectNumber,
                                                         Ref->Generation);
    } else if (const auto* Direct = AsDict(Info)) {
      FEvents.DoWarning(std::string(msg::RepairDirectInfo));
      FData.FInfo->AssignDictionary(Direct->CloneDict());
    }
  }
}

void TvxRepair::FindStoredCatalog() {
  TvxPDFTrailer& T = *FData.FTrailer;
  for (int32_t I = FData.FStore->Count() - 1; I >= 0 && T.RootObjectNumber < 0; --I) {
    TvxPDFIndirectObject* O = FData.FStore->GetObject(I);
    const TvxPDFDictObject* Dict = AsDict(O->Value.get());
    if (Dict && NameOf(Dict->Lookup("/Type")) == "/Catalog") T.RootObjectNumber = O->ObjectNumber;
  }
}

}  // namespace vx
