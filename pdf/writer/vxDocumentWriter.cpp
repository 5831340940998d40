#include "pdf/writer/vxDocumentWriter.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "pdf/filters/vxFilter.h"
#include "pdf/filters/vxFlateFilter.h"
#include "pdf/filters/vxRLEFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxNumberText.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxAES.h"
#include "pdf/writer/vxOutlineBuilder.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

constexpr std::string_view CRLF = "\r\n";

void AppendInt(std::string& Out, int64_t N) {
  char Buf[24];
  auto Res = std::to_chars(Buf, Buf + sizeof(Buf), N);
  Out.append(Buf, Res.ptr);
}

// "%.10d %.5d %s" and the line end: 20 bytes for every offset below 10^10.
void AppendXRefEntry(std::string& Out, int64_t Offset, int Generation, char Type) {
  if (Offset < 0 || Offset >= 10000000000 || Generation < 0 || Generation > 99999) {
    char Buf[48];
    int Len = std::snprintf(Buf, sizeof Buf, "%.10lld %.5d %c\r\n", static_cast<long long>(Offset),
                            Generation, Type);
    Out.append(Buf, static_cast<size_t>(std::clamp(Len, 0, static_cast<int>(sizeof Buf) - 1)));
    return;
  }
  char Buf[20];
  for (int I = 9; I >= 0; --I, Offset /= 10) Buf[I] = static_cast<char>('0' + Offset % 10);
  Buf[10] = ' ';
  for (int I = 15; I >= 11; --I, Generation /= 10)
    Buf[I] = static_cast<char>('0' + Generation % 10);
  Buf[16] = ' ';
  Buf[17] = Type;
  Buf[18] = '\r';
  Buf[19] = '\n';
  Out.append(Buf, sizeof Buf);
}

}  // namespace

std::string TvxDocumentWriter::ObjText(int32_t N) {
  return std::to_string(N) + " 0 obj";
}
std::string TvxDocumentWriter::RefText(int32_t N) {
  return std::to_string(N) + " 0 R";
}

std::string TvxDocumentWriter::KeyLine(std::string_view Key, std::string_view Text) {
  if (Text.empty()) return {};
  std::string S(Key);
  S.push_back(' ');
  S.append(Text);
  S.append(CRLF);
  return S;
}

std::string TvxDocumentWriter::WrapObject(int32_t N, std::string_view Body) {
  std::string S;
  S.reserve(Body.size() + 32);
  S.append(CRLF);
  S.append(ObjText(N));
  S.append(CRLF);
  S.append(Body);
  S.append(CRLF);
  S.append("endobj");
  S.append(CRLF);
  return S;
}

std::string TvxDocumentWriter::WrapDict(std::string_view Lines) {
  std::string S = "<<\r\n";
  S.append(Lines);
  S.append(">>");
  return S;
}

std::string TvxDocumentWriter::VersionText(TvxPDFVersion Version) {
  static constexpr const char* Texts[] = {"1.0", "1.1", "1.2", "1.3", "1.4",
                                          "1.5", "1.6", "1.7", "2.0"};
  return Version <= pvPDF20 ? Texts[Version] : "1.4";
}

// --- Values ---

std::string TvxDocumentWriter::ObjectToText(int32_t ObjNum, const TvxPDFObject* Value) {
  std::string Out;
  AppendObject(Out, ObjNum, Value);
  return Out;
}

void TvxDocumentWriter::AppendObject(std::string& Out, int32_t ObjNum, const TvxPDFObject* Value) {
  if (!Value) return;
  switch (Value->ObjectType) {
    case otBoolean: Out.append(static_cast<const TvxPDFBooleanObject*>(Value)->AsText()); break;
    case otInteger: AppendInt(Out, static_cast<const TvxPDFIntegerObject*>(Value)->Value); break;
    case otInt64: AppendInt(Out, static_cast<const TvxPDFInt64Object*>(Value)->Value); break;
    case otReal:
      AppendRealToPDFText(Out, static_cast<const TvxPDFRealObject*>(Value)->Value);
      break;
    case otString: AppendString(Out, ObjNum, *static_cast<const TvxPDFStringObject*>(Value)); break;
    case otName: Out.append(static_cast<const TvxPDFNameObject*>(Value)->Text); break;
    case otArray:
      Out.append("[ ");
      for (const auto& Item : static_cast<const TvxPDFArrayObject*>(Value)->Items) {
        // A missing element is written as null so the array stays valid.
        if (Item)
          AppendObject(Out, ObjNum, Item.get());
        else
          Out.append("null");
        Out.push_back(' ');
      }
      Out.push_back(']');
      break;
    case otDict: AppendDict(Out, ObjNum, *static_cast<const TvxPDFDictObject*>(Value)); break;
    case otStream: AppendStream(Out, ObjNum, *static_cast<const TvxPDFStreamObject*>(Value)); break;
    case otNull: Out.append("null"); break;
    case otIndirectReference:
      AppendReference(Out, *static_cast<const TvxPDFIndirectReference*>(Value));
      break;
    case otIndirectObject:
      // An object header inside a value: what it holds stands in its place.
      // Writing it as an object of its own there would leave the key
      // without a value and the object possibly without a number.
      AppendObject(Out, ObjNum, static_cast<const TvxPDFIndirectObject*>(Value)->Value.get());
      break;
  }
}

void TvxDocumentWriter::AppendDict(std::string& Out, int32_t ObjNum, const TvxPDFDictObject& Dict) {
  Out.append("<<\r\n");
  const auto* Type = ObjectAs<TvxPDFNameObject>(Dict.Lookup("/Type"));
  const bool IsPage = Type && Type->Text == "/Page";
  // Each key once, with the value a lookup finds (the first): a repeated
  // key is a defect readers resolve each their own way. A page's own
  // /Parent gives way to the one written below.
  const int32_t Count = Dict.Count();
  std::unordered_set<std::string_view> Seen;
  auto Repeated = [&](int32_t I) {
    const std::string& Key = Dict.Keys[I]->Text;
    if (Count > 16) return !Seen.insert(Key).second;
    for (int32_t J = 0; J < I; ++J)
      if (Dict.Keys[J]->Text == Key) return true;
    return false;
  };
  for (int32_t I = 0; I < Count; ++I) {
    if ((IsPage && Dict.Keys[I]->Text == "/Parent") || Repeated(I)) continue;
    Out.append(Dict.Keys[I]->Text);
    Out.push_back(' ');
    const TvxPDFObject* V = Dict.Values[I].get();
    if (V)
      AppendObject(Out, ObjNum, V);
    else
      Out.append("null");  // a key read without a value
    Out.append(CRLF);
  }
  if (IsPage) {
    Out.append("/Parent ");
    Out.append(RefText(3));
    Out.append(CRLF);
  }
  Out.append(">>");
}

void TvxDocumentWriter::AppendString(std::string& Out, int32_t ObjNum,
                                     const TvxPDFStringObject& S) {
  if (FEncryption && ObjNum != -1 && FEncryption->EncryptsStrings()) {
    // The string's own bytes: a literal's value, a hex string's digits.
    std::string Bytes =
        !S.Text.empty() && S.Text[0] == '<' ? HexToBytes(S.GetValue()) : S.GetValue();
    Out.push_back('<');
    Out.append(BytesToHex(EncryptData(Bytes, ObjNum)));
    Out.push_back('>');
  } else if (S.IsHex) {
    Out.append(S.Text);
  } else {
    Out.push_back('(');
    Out.append(EscapeLiteralString(S.GetValue()));
    Out.push_back(')');
  }
}

const TvxPDFIndirectObject* TvxDocumentWriter::WrittenTarget(const TvxPDFIndirectReference& Ref) {
  auto Written = [](const TvxPDFIndirectObject* O) { return O && O->OutputNumber != 0; };
  const TvxPDFIndirectObject* Target = FData.FStore->FindObject(&Ref);
  if (Written(Target)) return Target;
  // An object rebuilt for the save (an outline item) replaces the stored
  // copy, which is not written.
  if (FSaveStore) {
    const TvxPDFIndirectObject* Rebuilt = FSaveStore->FindObject(&Ref);
    if (Written(Rebuilt)) return Rebuilt;
  }
  if (Target) return nullptr;
  // A reference naming another generation than the stored object's: the
  // load took the stored object for it, so the reference goes there too.
  auto Key = [](int32_t Doc, int32_t Num) {
    return static_cast<int64_t>(static_cast<uint32_t>(Doc)) << 32 | static_cast<uint32_t>(Num);
  };
  if (!FByNumberBuilt) {
    FByNumberBuilt = true;
    for (TvxPDFObjectStore* Store : {FData.FStore.get(), FSaveStore.get()}) {
      if (!Store) continue;
      for (int32_t I = 0; I < Store->Count(); ++I) {
        const TvxPDFIndirectObject* O = Store->GetObject(I);
        if (Written(O)) FByNumber.emplace(Key(O->DocumentID, O->ObjectNumber), O);
      }
    }
  }
  auto It = FByNumber.find(Key(Ref.DocumentID, Ref.ObjectNumber));
  return It == FByNumber.end() ? nullptr : It->second;
}

void TvxDocumentWriter::AppendReference(std::string& Out, const TvxPDFIndirectReference& Ref) {
  if (const TvxPDFIndirectObject* Target = WrittenTarget(Ref)) {
    AppendInt(Out, Target->OutputNumber);
    Out.append(" 0 R");
  } else {
    Out.append("null");
  }
}

std::string TvxDocumentWriter::StreamToText(int32_t ObjNum, const TvxPDFStreamObject& Stream) {
  std::string Text;
  AppendStream(Text, ObjNum, Stream);
  return Text;
}

bool TvxDocumentWriter::Sealed(const TvxPDFStreamObject& Stream) const {
  return FEncryption && FEncryption->EncryptsStream(Stream.Dict.get());
}

void TvxDocumentWriter::AppendStream(std::string& Out, int32_t ObjNum,
                                     const TvxPDFStreamObject& Stream) {
  const bool Seal = Sealed(Stream);
  if (FCompression.Enabled != 1 && !Seal) {
    // Written as it stands: no copy of the dictionary or the data.
    const int64_t Size = Stream.Data.Size();
    Out.reserve(Out.size() + static_cast<size_t>(Size) + 128);
    AppendStreamHead(Out, ObjNum, Stream.Dict.get(), Size);
    if (Stream.Data.InSource())
      Out.append(Stream.Data.ReadAll());
    else if (Stream.Data)
      Out.append(Stream.Data->DataString());
    Out.append("\r\nendstream");
    return;
  }
  // A stream the loader could not read is written empty.
  std::string Data = Stream.Data.ReadAll();
  std::unique_ptr<TvxPDFDictObject> Dict =
      Stream.Dict ? Stream.Dict->CloneDict() : std::make_unique<TvxPDFDictObject>();
  if (FCompression.Enabled == 1) CompressStream(*Dict, Data);
  // Before /Length is set: AES data is longer than the plain data.
  if (Seal) Data = EncryptData(Data, ObjNum);
  Out.reserve(Out.size() + Data.size() + 128);
  AppendStreamHead(Out, ObjNum, *Dict, static_cast<int64_t>(Data.size()));
  Out.append(Data);
  Out.append("\r\nendstream");
}

namespace {

// A /Length value: past 2 GiB a 64-bit number, which a 32-bit one would
// turn negative.
TvxPDFObjectPtr LengthObject(int64_t Size) {
  if (Size > INT32_MAX) return std::make_unique<TvxPDFInt64Object>(Size);
  return std::make_unique<TvxPDFIntegerObject>(static_cast<int32_t>(Size));
}

// Whether Length already says Size.
bool LengthSays(const TvxPDFObject* Length, int64_t Size) {
  if (const auto* N = ObjectAs<TvxPDFIntegerObject>(Length)) return N->Value == Size;
  const auto* N = ObjectAs<TvxPDFInt64Object>(Length);
  return N && N->Value == Size;
}

}  // namespace

void TvxDocumentWriter::AppendStreamHead(std::string& Out, int32_t ObjNum, TvxPDFDictObject& Dict,
                                         int64_t Size) {
  // The written /Length always matches the written data, also where the
  // source's length was wrong and the data was found by searching.
  if (!LengthSays(Dict.Lookup("/Length"), Size)) Dict.SetValue("/Length", LengthObject(Size));
  AppendObject(Out, ObjNum, &Dict);
  Out.append("\r\nstream\r\n");
}

void TvxDocumentWriter::AppendStreamHead(std::string& Out, int32_t ObjNum,
                                         const TvxPDFDictObject* Dict, int64_t Size) {
  if (LengthSays(Dict ? Dict->Lookup("/Length") : nullptr, Size)) {
    // Already right: the dictionary is written as it is.
    AppendObject(Out, ObjNum, Dict);
    Out.append("\r\nstream\r\n");
    return;
  }
  std::unique_ptr<TvxPDFDictObject> Copy =
      Dict ? Dict->CloneDict() : std::make_unique<TvxPDFDictObject>();
  AppendStreamHead(Out, ObjNum, *Copy, Size);
}

bool TvxDocumentWriter::CopiesFromSource(const TvxPDFStreamObject& Stream) const {
  return Stream.Data.InSource() && (FCompression.Enabled != 1 || !WillCompress(Stream.Dict.get()));
}

bool TvxDocumentWriter::CompressesFromSource(const TvxPDFStreamObject& Stream) const {
  // Small data is compressed whole, in one pass.
  return Stream.Data.InSource() && FCompression.Enabled == 1 &&
         Stream.Data.Size() > WholeCompressionLimit && WillCompress(Stream.Dict.get());
}

void TvxDocumentWriter::Compress(const TvxStreamData& Data, const TvxChunkSink& Sink) {
  const auto Level = static_cast<TvxCompressionLevel>(std::min<int>(FCompression.Level, 3));
  std::optional<TvxFlateEncoder> Flate;
  std::optional<TvxRLEEncoder> RLE;
  if (FCompression.Method == 1)
    RLE.emplace();
  else
    Flate.emplace(Level);
  std::string Out;
  Data.ReadPieces([&](std::string_view Piece, bool Last) {
    Out.clear();
    if (RLE)
      RLE->Update(Piece, Last, Out);
    else
      Flate->Update(Piece, Last, Out);
    Sink(Out, Last);
  });
}

void TvxDocumentWriter::WriteCompressedFromSource(const TvxPDFIndirectObject& Obj,
                                                  const TvxPDFStreamObject& Stream,
                                                  std::unique_ptr<TvxChunkCipher> Cipher) {
  // The data is compressed twice, piece by piece: once for the /Length the
  // dictionary needs first, then for the output. It is never whole in
  // memory.
  int64_t Packed = 0;
  Compress(Stream.Data, [&Packed](std::string_view Piece, bool) {
    Packed += static_cast<int64_t>(Piece.size());
  });
  std::unique_ptr<TvxPDFDictObject> Dict =
      Stream.Dict ? Stream.Dict->CloneDict() : std::make_unique<TvxPDFDictObject>();
  MarkCompressed(*Dict, Packed);
  const int64_t Size = Cipher ? FEncryption->EncryptedSize(Packed) : Packed;
  AppendStreamHead(FChunk, Obj.OutputNumber, *Dict, Size);
  WriteChunk(Obj.OutputNumber, FChunk);
  const int64_t Start = FOutputSize;
  std::string Sealed;
  Compress(Stream.Data, [&](std::string_view Piece, bool Last) {
    if (!Cipher) return Write(Piece);
    Sealed.clear();
    Cipher->Update(Piece, Last, Sealed);
    Write(Sealed);
  });
  // The /Length written ahead must hold.
  if (FOutputSize - Start != Size) throw EStreamError("Error writing the PDF file");
  Write("\r\nendstream\r\nendobj\r\n");
}

TvxPDFObject* TvxDocumentWriter::StreamFilter(const TvxPDFDictObject* Dict) const {
  TvxPDFObject* F = Dict ? FData.FStore->Resolve(Dict->Lookup("/Filter")) : nullptr;
  // /Filter null, or a reference to nothing, means no filter.
  return F && F->IsNull() ? nullptr : F;
}

namespace {
constexpr int32_t MaxCompressedChain = 8;
}  // namespace

bool TvxDocumentWriter::WillCompress(const TvxPDFDictObject* Dict) const {
  const std::string_view M = FCompression.Method == 1 ? "/RunLengthDecode" : "/FlateDecode";
  TvxPDFObject* F = StreamFilter(Dict);
  if (!F) return true;
  if (const auto* Name = ObjectAs<TvxPDFNameObject>(F)) {
    const std::string& N = Name->Text;
    return !(N == "/DCTDecode" || N == "/JBIG2Decode" || N == M || N == "/CCITTFaxDecode");
  }
  if (const auto* Chain = ObjectAs<TvxPDFArrayObject>(F)) {
    // A chain longer than any real one is left as it is: compressing would
    // copy it into every stream that shares it.
    if (Chain->Count() > MaxCompressedChain) return false;
    for (const auto& Item : Chain->Items) {
      const auto* N = ObjectAs<TvxPDFNameObject>(FData.FStore->Resolve(Item.get()));
      if (N && (N->Text == "/FlateDecode" || N->Text == "/RunLengthDecode" ||
                N->Text == "/CCITTFaxDecode"))
        return false;
    }
    return true;
  }
  throw document::EUnexpectedObjectError(FormatMessage(msg::UnexpectedFilterObject, F->TypeName()));
}

void TvxDocumentWriter::CompressStream(TvxPDFDictObject& Dict, std::string& Data) {
  if (!WillCompress(&Dict)) return;
  if (FCompression.Method == 1)
    Data = TvxRLEFilter().EncodeString(Data);
  else
    Data = TvxFlateFilter().EncodeString(
        Data, static_cast<TvxCompressionLevel>(std::min<int>(FCompression.Level, 3)));
  MarkCompressed(Dict, static_cast<int64_t>(Data.size()));
}

void TvxDocumentWriter::MarkCompressed(TvxPDFDictObject& Dict, int64_t Size) {
  const std::string_view M = FCompression.Method == 1 ? "/RunLengthDecode" : "/FlateDecode";
  // Decode parameters without a filter belong to no filter.
  TvxPDFObject* F = StreamFilter(&Dict);
  if (!F) Dict.Remove("/DecodeParms");
  Dict.SetValue("/Length", LengthObject(Size));
  if (!F) {
    Dict.SetValue("/Filter", std::make_unique<TvxPDFNameObject>(std::string(M)));
    return;
  }
  // The new filter goes first; a copy keeps a shared filter array unchanged.
  auto List = std::make_unique<TvxPDFArrayObject>();
  List->Add(std::make_unique<TvxPDFNameObject>(std::string(M)));
  if (F->IsName()) {
    List->Add(F->Clone());
  } else {
    // WillCompress let through a name or an array only.
    for (const auto& Item : ObjectCast<TvxPDFArrayObject>(F).Items)
      List->Add(Item ? Item->Clone() : std::make_unique<TvxPDFNullObject>());
  }
  Dict.SetValue("/Filter", std::move(List));
  // Decode parameters stay with the filter they belong to.
  if (TvxPDFObject* Parms = FData.FStore->Resolve(Dict.Lookup("/DecodeParms"))) {
    auto NewParms = std::make_unique<TvxPDFArrayObject>();
    NewParms->Add(std::make_unique<TvxPDFNullObject>());
    if (const auto* Array = ObjectAs<TvxPDFArrayObject>(Parms)) {
      for (const auto& Item : Array->Items)
        NewParms->Add(Item ? Item->Clone() : std::make_unique<TvxPDFNullObject>());
    } else {
      NewParms->Add(Parms->Clone());
    }
    Dict.SetValue("/DecodeParms", std::move(NewParms));
  }
}

std::string TvxDocumentWriter::EncryptData(std::string_view Data, int32_t ObjNum) {
  return FEncryption ? FEncryption->EncryptData(Data, ObjNum) : std::string(Data);
}

// --- Output ---

void TvxDocumentWriter::Write(std::string_view Text) {
  if (Text.empty()) return;
  int64_t Written = FOutput->Write(Text.data(), static_cast<int64_t>(Text.size()));
  if (Written != static_cast<int64_t>(Text.size()))
    throw EStreamError("Error writing the PDF file");
  FOutputSize += Written;
  ReportWritten();
}

void TvxDocumentWriter::ReportProgress() {
  FNextReport = FOutputSize + ReportStep;
  const TvxJobProgress Progress{TvxJobProgress::jsWriting, FOutputSize,
                                std::max(FProgressTotal, FOutputSize)};
  if (!FProgress(Progress)) throw EJobCancelled(std::string(msg::JobCancelled));
}

void TvxDocumentWriter::WriteChunk(int32_t N, std::string_view Text) {
  // A cross-reference stream points at "N 0 obj" itself; the table, as it
  // always has, at the line end before it.
  const int64_t Skip = FPacks && Text.starts_with(CRLF) ? static_cast<int64_t>(CRLF.size()) : 0;
  Record(N, TvxXRefEntry{1, FOutputSize + Skip, 0});
  Write(Text);
}

void TvxDocumentWriter::Record(int32_t N, const TvxXRefEntry& Entry) {
  const auto At = static_cast<size_t>(N);
  if (At >= FXRef.size()) FXRef.resize(At + 1);
  FXRef[At] = Entry;
}

bool TvxDocumentWriter::PacksObjects() const {
  if (FObjectStreams == TvxObjectStreams::Disable) return false;
  if (FObjectStreams == TvxObjectStreams::Preserve &&
      std::none_of(FData.FXRefStmItems.begin(), FData.FXRefStmItems.end(),
                   [](const auto& Item) { return Item.second.EntryType == 2; }))
    return false;
  // Strings in an object stream are sealed only with the stream: a method
  // that encrypts strings but would leave the stream plain cannot pack.
  if (FEncryption && FEncryption->EncryptsStrings()) {
    TvxPDFDictObject Dict;
    Dict.AddName("/Type", "/ObjStm");
    if (!FEncryption->EncryptsStream(&Dict)) return false;
  }
  return true;
}

bool TvxDocumentWriter::InObjectStream(const TvxPDFIndirectObject& Obj) const {
  // Streams never go into an object stream; an object holding another
  // object's header is written whole as before.
  const TvxPDFObject* Value = Obj.Value.get();
  return FPacks &&
         !(Value && (Value->ObjectType == otStream || Value->ObjectType == otIndirectObject));
}

void TvxDocumentWriter::Pack(int32_t N, std::string_view Text) {
  FPacker.Add(N, Text);
  if (FPacker.Full()) WriteObjectStream();
}

void TvxDocumentWriter::WriteObjectStream() {
  if (FPacker.Empty()) return;
  const int32_t N = NextObjectNumber();
  int64_t First = 0;
  std::string Data = TvxFlateFilter().EncodeString(FPacker.Data(First), clDefault);
  TvxPDFDictObject Dict;
  Dict.AddName("/Type", "/ObjStm");
  Dict.AddInteger("/N", static_cast<int32_t>(FPacker.Numbers().size()));
  Dict.AddInt64("/First", First);
  Dict.AddName("/Filter", "/FlateDecode");
  if (FEncryption && FEncryption->EncryptsStream(&Dict)) Data = EncryptData(Data, N);
  FChunk.clear();
  FChunk.append(CRLF);
  FChunk.append(ObjText(N));
  FChunk.append(CRLF);
  AppendStreamHead(FChunk, -1, Dict, static_cast<int64_t>(Data.size()));
  FChunk.append(Data);
  FChunk.append("\r\nendstream\r\nendobj\r\n");
  WriteChunk(N, FChunk);
  const std::vector<int32_t>& Numbers = FPacker.Numbers();
  for (size_t I = 0; I < Numbers.size(); ++I)
    Record(Numbers[I], TvxXRefEntry{2, N, static_cast<int32_t>(I)});
  FPacker.Clear();
}

void TvxDocumentWriter::WriteIndirectObject(const TvxPDFIndirectObject& Obj) {
  FChunk.clear();
  if (InObjectStream(Obj)) {
    // Strings are not encrypted on their own: the object stream is.
    AppendObject(FChunk, -1, Obj.Value.get());
    if (!Obj.Value) FChunk.append("null");
    return Pack(Obj.OutputNumber, FChunk);
  }
  FChunk.append(CRLF);
  AppendInt(FChunk, Obj.OutputNumber);
  FChunk.append(" 0 obj\r\n");
  const auto* Source = ObjectAs<TvxPDFStreamObject>(Obj.Value.get());
  if (Source && CompressesFromSource(*Source)) {
    const auto& Stream = *Source;
    // Drawn before the dictionary's strings are encrypted, as for data in
    // memory.
    std::unique_ptr<TvxChunkCipher> Cipher;
    const bool Seal = Sealed(Stream);
    if (Seal) Cipher = FEncryption->StartEncryption(Obj.OutputNumber);
    if (!Seal || Cipher) return WriteCompressedFromSource(Obj, Stream, std::move(Cipher));
  }
  if (Source && CopiesFromSource(*Source)) {
    // Data nobody changed goes from the source file to the output in
    // bounded pieces, never whole through memory, decrypted and encrypted
    // on the way.
    const auto& Stream = *Source;
    // Drawn before the dictionary's strings are encrypted, as for data in
    // memory.
    std::unique_ptr<TvxChunkCipher> Cipher;
    const bool Seal = Sealed(Stream);
    if (Seal) Cipher = FEncryption->StartEncryption(Obj.OutputNumber);
    if (!Seal || Cipher) {
      const int64_t Size =
          Cipher ? FEncryption->EncryptedSize(Stream.Data.Size()) : Stream.Data.Size();
      AppendStreamHead(FChunk, Obj.OutputNumber, Stream.Dict.get(), Size);
      WriteChunk(Obj.OutputNumber, FChunk);
      if (!Cipher) {
        Stream.Data.WriteTo(*FOutput);
        FOutputSize += Size;
        ReportWritten();
      } else {
        const int64_t Start = FOutputSize;
        std::string Out;
        Stream.Data.ReadPieces([&](std::string_view Piece, bool Last) {
          Out.clear();
          Cipher->Update(Piece, Last, Out);
          Write(Out);
        });
        // The /Length written ahead must hold.
        if (FOutputSize - Start != Size) throw EStreamError("Error writing the PDF file");
      }
      Write("\r\nendstream\r\nendobj\r\n");
      return;
    }
  }
  const TvxPDFObject* Value = Obj.Value.get();
  AppendObject(FChunk, Obj.OutputNumber, Value);
  if (!Value) FChunk.append("null");
  FChunk.append("\r\nendobj\r\n");
  WriteChunk(Obj.OutputNumber, FChunk);
}

void TvxDocumentWriter::WriteDocument(TvxStream& Output) {
  FOutput = &Output;
  FOutputSize = Output.GetSize();
  FNextReport = FOutputSize;
  FXRef.assign(1, TvxXRefEntry{0, 0, 65535});
  FPacker.Clear();
  FPacks = PacksObjects();
  FByNumber.clear();
  FByNumberBuilt = false;
  FData.FInfo->SetProducer(std::u16string(ProducerText.begin(), ProducerText.end()));
  FLastObjectNumber = 3;
  FSaveStore = std::make_unique<TvxPDFObjectStore>();

  FEvents.DoStatusMessage("Building Outlines...");
  TvxOutlineBuilder(FData, FEvents).BuildOutlines(FOutlineRoot, *FSaveStore);

  FEvents.DoStatusMessage("Building Objects...");
  for (int32_t I = 0; I < FData.FStore->Count(); ++I) {
    TvxPDFIndirectObject* Obj = FData.FStore->GetObject(I);
    if (Obj->UseCount != 0) Obj->OutputNumber = NextObjectNumber();
  }
  for (int32_t I = 0; I < FSaveStore->Count(); ++I) {
    TvxPDFIndirectObject* Obj = FSaveStore->GetObject(I);
    if (Obj->UseCount != 0) Obj->OutputNumber = NextObjectNumber();
  }

  WriteHeader();
  WriteCatalog();
  FEvents.DoStatusMessage("Writing Cross-Reference Table");
  WriteXRefAndTrailer();
  if (FProgress) ReportProgress();
  FSaveStore.reset();
  FXRef.clear();
  FPacker.Clear();
  FByNumber.clear();
  FByNumberBuilt = false;
  FOutput = nullptr;
}

void TvxDocumentWriter::WriteHeader() {
  TvxPDFVersion Version = FData.FPDFVersion <= pvPDF20 ? FData.FPDFVersion : pvPDF14;
  // Raised, never lowered, for a method the document's own version lacks.
  if (FEncryption) Version = std::max(Version, FEncryption->MinimumVersion());
  // Object streams came with PDF 1.5.
  if (FPacks) Version = std::max(Version, pvPDF15);
  Write("%PDF-" + VersionText(Version) + "\r\n%\xE2\xE3\xCF\xD3\r\n");
}

void TvxDocumentWriter::WriteCatalog() {
  TvxPDFCatalog& C = *FData.FCatalog;
  std::string Lines;
  Lines += KeyLine("/Type", "/Catalog");
  Lines += KeyLine("/Pages", RefText(3));
  // An entry whose object is not written is left out rather than written null.
  // Packed, its strings are encrypted with the object stream.
  const int32_t Key = FPacks ? -1 : 1;
  auto Value = [this, Key](const TvxPDFObject* V) {
    std::string Text = ObjectToText(Key, V);
    return Text == "null" ? std::string() : Text;
  };
  Lines += KeyLine("/Metadata", Value(C.Metadata.get()));
  if (FData.FPageMode != pmNone && FData.FPageMode <= pmUseAttachments)
    Lines += KeyLine("/PageMode", PageModeNames[FData.FPageMode]);
  if (FData.FPageLayout != plNone && FData.FPageLayout <= plTwoColumnRight)
    Lines += KeyLine("/PageLayout", PageLayoutNames[FData.FPageLayout]);
  Lines += KeyLine("/Names", Value(C.Names.get()));
  Lines += KeyLine("/Outlines", Value(C.Outlines.get()));
  Lines += KeyLine("/ViewerPreferences", C.ViewerPreferences->PreferencesText());
  Lines += KeyLine("/AcroForm", Value(C.AcroForm.get()));
  Lines += KeyLine("/OpenAction", Value(C.OpenAction.get()));
  Lines += KeyLine("/AA", Value(C.AA.get()));
  // The source catalog's other entries, in their order.
  if (C.OtherEntries)
    for (int32_t I = 0; I < C.OtherEntries->Count(); ++I)
      Lines += KeyLine(C.OtherEntries->Keys[I]->Text, Value(C.OtherEntries->Values[I].get()));
  if (FPacks)
    Pack(1, WrapDict(Lines));
  else
    WriteChunk(1, WrapObject(1, WrapDict(Lines)));
  // The information values set for the save are encrypted already, for
  // object 2 on its own.
  if (FPacks && !FEncryption)
    Pack(2, ObjectToText(2, &FData.FInfo->Dict()));
  else
    WriteChunk(2, WrapObject(2, ObjectToText(2, &FData.FInfo->Dict())));
  WritePages();
}

void TvxDocumentWriter::WritePages() {
  FEvents.DoStatusMessage("Writing Pages");
  std::string Kids;
  for (const TvxPDFIndirectObject* Page : FData.FPages) {
    Kids += RefText(Page->OutputNumber);
    Kids.push_back(' ');
  }
  std::string Lines;
  Lines += KeyLine("/Type", "/Pages");
  Lines += KeyLine("/Count", std::to_string(FData.FPages.size()));
  Lines += KeyLine("/Kids", "[ " + Kids + "]");
  if (FPacks)
    Pack(3, WrapDict(Lines));
  else
    WriteChunk(3, WrapObject(3, WrapDict(Lines)));

  const int64_t Total = static_cast<int64_t>(FData.FStore->Count()) + FSaveStore->Count();
  int64_t Visited = 0;
  for (TvxPDFObjectStore* Store : {FData.FStore.get(), FSaveStore.get()}) {
    for (int32_t I = 0; I < Store->Count(); ++I) {
      const TvxPDFIndirectObject* Obj = Store->GetObject(I);
      if (Obj->UseCount != 0) WriteIndirectObject(*Obj);
      ++Visited;
      FEvents.DoIOProgress(static_cast<int32_t>(Visited * 100 / Total));
    }
  }
}

std::unique_ptr<TvxPDFArrayObject> TvxDocumentWriter::PlainOutputID(
    const TvxPDFArrayObject* Source) {
  // The first element names the document and stays; the second names this
  // version of it.
  auto Fresh = [] {
    return std::make_unique<TvxPDFStringObject>("<" + BytesToHex(RandomBytes(16)) + ">", true);
  };
  auto ID = std::make_unique<TvxPDFArrayObject>();
  const TvxPDFObject* First = Source && Source->Count() > 0 ? Source->GetItem(0) : nullptr;
  const auto* Text = ObjectAs<TvxPDFStringObject>(First);
  if (Text && Text->Text.size() > 2)
    ID->Add(First->Clone());
  else
    ID->Add(Fresh());
  ID->Add(Fresh());
  return ID;
}

std::string TvxDocumentWriter::TrailerEntries(int32_t EncryptNumber) {
  std::string Lines;
  Lines += KeyLine("/Root", RefText(1));
  Lines += KeyLine("/Info", RefText(2));
  if (EncryptNumber) {
    Lines += KeyLine("/ID", ObjectToText(-1, FData.FTrailer->ID.get()));
  } else {
    const std::unique_ptr<TvxPDFArrayObject> ID = PlainOutputID(FData.FTrailer->ID.get());
    Lines += KeyLine("/ID", ObjectToText(-1, ID.get()));
  }
  if (EncryptNumber) Lines += KeyLine("/Encrypt", RefText(EncryptNumber));
  return Lines;
}

void TvxDocumentWriter::WriteXRefAndTrailer() {
  WriteObjectStream();
  int32_t EncryptNumber = 0;
  if (FEncryption) {
    std::unique_ptr<TvxPDFDictObject> Dict = FEncryption->BuildEncryptDict(*FData.FTrailer);
    EncryptNumber = NextObjectNumber();
    WriteChunk(EncryptNumber, WrapObject(EncryptNumber, ObjectToText(-1, Dict.get())));
  }
  if (FPacks) return WriteXRefStream(EncryptNumber);
  const int64_t Start = FOutputSize;
  const size_t Count = FXRef.size() - 1;
  std::string Text = "xref\r\n0 " + std::to_string(Count + 1) + "\r\n";
  Text.reserve(Text.size() + 20 * (Count + 1) + 256);
  AppendXRefEntry(Text, 0, 65535, 'f');
  for (size_t N = 1; N <= Count; ++N) {
    // Every number up to the last is written; a gap would be free.
    const TvxXRefEntry& E = FXRef[N];
    if (E.Type == 1)
      AppendXRefEntry(Text, E.Field2, 0, 'n');
    else
      AppendXRefEntry(Text, 0, 65535, 'f');
  }
  std::string Lines = KeyLine("/Size", std::to_string(Count + 1));
  Lines += TrailerEntries(EncryptNumber);
  Text += "trailer\r\n" + WrapDict(Lines) + "\r\nstartxref\r\n" + std::to_string(Start) +
          "\r\n%%EOF\r\n";
  Write(Text);
}

void TvxDocumentWriter::WriteXRefStream(int32_t EncryptNumber) {
  const int32_t N = NextObjectNumber();
  const int64_t Start = FOutputSize + static_cast<int64_t>(CRLF.size());
  Record(N, TvxXRefEntry{1, Start, 0});
  const int32_t Width = XRefFieldWidth(FXRef);
  // Never encrypted, whatever the file's method: a reader needs it to find
  // the key.
  const std::string Data = TvxFlateFilter().EncodeString(XRefStreamRows(FXRef, Width), clDefault);
  const std::string Size = std::to_string(FXRef.size());
  std::string Lines;
  Lines += KeyLine("/Type", "/XRef");
  Lines += KeyLine("/Size", Size);
  Lines += KeyLine("/Index", "[ 0 " + Size + " ]");
  Lines += KeyLine("/W", "[ 1 " + std::to_string(Width) + " 2 ]");
  Lines += TrailerEntries(EncryptNumber);
  Lines += KeyLine("/Filter", "/FlateDecode");
  Lines +=
      KeyLine("/DecodeParms", "<< /Predictor 12 /Columns " + std::to_string(3 + Width) + " >>");
  Lines += KeyLine("/Length", std::to_string(Data.size()));
  std::string Text;
  Text.reserve(Data.size() + Lines.size() + 128);
  Text.append(CRLF);
  Text.append(ObjText(N));
  Text.append(CRLF);
  Text.append(WrapDict(Lines));
  Text.append("\r\nstream\r\n");
  Text.append(Data);
  Text.append("\r\nendstream\r\nendobj\r\nstartxref\r\n" + std::to_string(Start) + "\r\n%%EOF\r\n");
  Write(Text);
}

}  // namespace vx
