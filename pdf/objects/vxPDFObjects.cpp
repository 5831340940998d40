#include "pdf/objects/vxPDFObjects.h"

#include <algorithm>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxUtils.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

void CheckIndex(int32_t Index, size_t Count, bool AllowEnd = false) {
  int64_t Limit = static_cast<int64_t>(Count) + (AllowEnd ? 1 : 0);
  if (Index < 0 || Index >= Limit)
    throw EListError(FormatMessage(msg::ListIndexOutOfBounds, Index));
}

TvxPDFObjectPtr CloneOrNull(const TvxPDFObjectPtr& Obj) {
  return Obj ? Obj->Clone() : nullptr;
}

}  // namespace

const char* TvxPDFObject::TypeName() const {
  switch (ObjectType) {
    case otBoolean: return "Boolean Object";
    case otInteger: return "Integer Object";
    case otInt64: return "Int64 Object";
    case otReal: return "Real Object";
    case otString: return "String Object";
    case otName: return "Name Object";
    case otArray: return "Array Object";
    case otDict: return "Dictionary Object";
    case otStream: return "Stream Object";
    case otNull: return "Null Object";
    case otIndirectReference: return "IndirectReference Object";
    case otIndirectObject: return "Indirect Object";
  }
  return "Unknown Object";
}

TvxPDFObjectPtr TvxPDFNullObject::Clone() const {
  return std::make_unique<TvxPDFNullObject>();
}
TvxPDFObjectPtr TvxPDFBooleanObject::Clone() const {
  return std::make_unique<TvxPDFBooleanObject>(Value);
}
TvxPDFObjectPtr TvxPDFIntegerObject::Clone() const {
  return std::make_unique<TvxPDFIntegerObject>(Value);
}
TvxPDFObjectPtr TvxPDFInt64Object::Clone() const {
  return std::make_unique<TvxPDFInt64Object>(Value);
}
TvxPDFObjectPtr TvxPDFRealObject::Clone() const {
  return std::make_unique<TvxPDFRealObject>(Value);
}

std::string TvxPDFRealObject::AsText() const {
  return RealToPDFText(Value);
}

TvxPDFObjectPtr TvxPDFStringObject::Clone() const {
  return std::make_unique<TvxPDFStringObject>(Text, IsHex);
}

std::string TvxPDFStringObject::GetValue() const {
  if (Text.size() < 2) return {};
  return Text.substr(1, Text.size() - 2);
}

std::u16string TvxPDFStringObject::GetUnicodeValue() const {
  if (IsHex) return HexTextToUnicode(GetValue());
  return AnsiToUnicode(GetValue());
}

TvxPDFObjectPtr TvxPDFNameObject::Clone() const {
  return CloneName();
}
std::unique_ptr<TvxPDFNameObject> TvxPDFNameObject::CloneName() const {
  return std::make_unique<TvxPDFNameObject>(Text);
}

// --- Array ---

TvxPDFObjectPtr TvxPDFArrayObject::Clone() const {
  return CloneArray();
}

std::unique_ptr<TvxPDFArrayObject> TvxPDFArrayObject::CloneArray() const {
  auto Result = std::make_unique<TvxPDFArrayObject>();
  Result->Items.reserve(Items.size());
  for (const auto& Item : Items) Result->Items.push_back(CloneOrNull(Item));
  return Result;
}

int32_t TvxPDFArrayObject::Add(TvxPDFObjectPtr Obj) {
  Items.push_back(std::move(Obj));
  return Count() - 1;
}

int32_t TvxPDFArrayObject::AddInteger(int32_t N) {
  return Add(std::make_unique<TvxPDFIntegerObject>(N));
}

void TvxPDFArrayObject::Insert(int32_t Index, TvxPDFObjectPtr Obj) {
  CheckIndex(Index, Items.size(), true);
  Items.insert(Items.begin() + Index, std::move(Obj));
}

void TvxPDFArrayObject::Delete(int32_t Index) {
  CheckIndex(Index, Items.size());
  Items.erase(Items.begin() + Index);
}

TvxPDFObjectPtr TvxPDFArrayObject::PutItem(int32_t Index, TvxPDFObjectPtr Obj) {
  CheckIndex(Index, Items.size());
  Items[Index].swap(Obj);
  return Obj;
}

TvxPDFObject* TvxPDFArrayObject::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return Items[Index].get();
}

// --- Dictionary ---

TvxPDFObjectPtr TvxPDFDictObject::Clone() const {
  return CloneDict();
}

std::unique_ptr<TvxPDFDictObject> TvxPDFDictObject::CloneDict() const {
  auto Result = std::make_unique<TvxPDFDictObject>();
  Result->Keys.reserve(Keys.size());
  Result->Values.reserve(Values.size());
  for (size_t I = 0; I < Keys.size(); ++I)
    Result->AddEntry(Keys[I] ? Keys[I]->CloneName() : nullptr, CloneOrNull(Values[I]));
  return Result;
}

void TvxPDFDictObject::AddEntry(std::unique_ptr<TvxPDFNameObject> KeyName, TvxPDFObjectPtr Value) {
  if (Keys.size() == Keys.capacity() && Keys.size() >= 4) {
    // Read dictionaries come exactly full, and most get an entry or two
    // (a page's font, its /Contents): grow by half, not double.
    const size_t Want = Keys.size() + Keys.size() / 2;
    Keys.reserve(Want);
    Values.reserve(Want);
  }
  Keys.push_back(std::move(KeyName));
  Values.push_back(std::move(Value));
}

void TvxPDFDictObject::Add(std::string_view Key, TvxPDFObjectPtr Value) {
  AddEntry(std::make_unique<TvxPDFNameObject>(std::string(Key)), std::move(Value));
}

void TvxPDFDictObject::AddInteger(std::string_view Key, int32_t N) {
  Add(Key, std::make_unique<TvxPDFIntegerObject>(N));
}

void TvxPDFDictObject::AddReal(std::string_view Key, double X) {
  Add(Key, std::make_unique<TvxPDFRealObject>(X));
}

void TvxPDFDictObject::AddInt64(std::string_view Key, int64_t N) {
  Add(Key, std::make_unique<TvxPDFInt64Object>(N));
}

void TvxPDFDictObject::AddName(std::string_view Key, std::string_view NameText) {
  if (NameText.empty()) return;
  Add(Key, std::make_unique<TvxPDFNameObject>(std::string(NameText)));
}

int32_t TvxPDFDictObject::IndexOf(std::string_view Key) const {
  for (size_t I = 0; I < Keys.size(); ++I)
    if (Keys[I] && Keys[I]->Text == Key) return static_cast<int32_t>(I);
  return -1;
}

TvxPDFObject* TvxPDFDictObject::Lookup(std::string_view Key) const {
  int32_t I = IndexOf(Key);
  return I < 0 ? nullptr : Values[I].get();
}

TvxPDFNameObject* TvxPDFDictObject::GetKey(int32_t Index) const {
  CheckIndex(Index, Keys.size());
  return Keys[Index].get();
}

TvxPDFObject* TvxPDFDictObject::GetValue(int32_t Index) const {
  CheckIndex(Index, Values.size());
  return Values[Index].get();
}

void TvxPDFDictObject::SetValue(std::string_view Key, TvxPDFObjectPtr Value) {
  int32_t I = IndexOf(Key);
  if (I >= 0)
    Values[I] = std::move(Value);
  else
    Add(Key, std::move(Value));
}

void TvxPDFDictObject::SetValue(const TvxPDFNameObject& KeyName, TvxPDFObjectPtr Value) {
  SetValue(std::string_view(KeyName.Text), std::move(Value));
}

void TvxPDFDictObject::SetName(std::string_view Key, std::string_view NameText) {
  SetValue(Key, std::make_unique<TvxPDFNameObject>(std::string(NameText)));
}

void TvxPDFDictObject::SetBoolean(std::string_view Key, bool B) {
  SetValue(Key, std::make_unique<TvxPDFBooleanObject>(B));
}

void TvxPDFDictObject::SetInteger(std::string_view Key, int32_t N) {
  SetValue(Key, std::make_unique<TvxPDFIntegerObject>(N));
}

TvxPDFObjectPtr TvxPDFDictObject::PutValueAt(int32_t Index, TvxPDFObjectPtr Value) {
  if (Index < 0 || Index >= Count()) throw EInvalidIndex(std::string(msg::IndexOutOfBounds));
  Values[Index].swap(Value);
  return Value;
}

void TvxPDFDictObject::DeleteAt(int32_t Index) {
  CheckIndex(Index, Keys.size());
  Keys.erase(Keys.begin() + Index);
  Values.erase(Values.begin() + Index);
}

void TvxPDFDictObject::Remove(std::string_view Key) {
  int32_t I = IndexOf(Key);
  if (I >= 0) DeleteAt(I);
}

void TvxPDFDictObject::Merge(const TvxPDFDictObject* Other) {
  if (!Other) return;
  for (size_t I = 0; I < Other->Keys.size(); ++I) {
    if (!Other->Keys[I]) continue;
    SetValue(Other->Keys[I]->Text, CloneOrNull(Other->Values[I]));
  }
}

// --- Stream, references ---

void TvxStreamData::SetRange(TvxPDFSourcePtr Source, int64_t Offset, int64_t Length,
                             TvxStreamCrypt Crypt) {
  FMem.reset();
  FSource = std::move(Source);
  FOffset = Offset;
  FLength = Length;
  FCrypt = Crypt.Decryptor ? std::make_unique<TvxStreamCrypt>(std::move(Crypt)) : nullptr;
}

int64_t TvxStreamData::Size() const {
  if (FMem) return FMem->MemSize();
  if (!FSource) return 0;
  return FCrypt ? std::max<int64_t>(FLength - FCrypt->Overhead, 0) : FLength;
}

std::string TvxStreamData::ReadAll() const {
  if (FMem) return FMem->DataString();
  if (!FSource) return std::string();
  if (!FCrypt) return FSource->Read(FOffset, FLength);
  std::string All;
  All.reserve(static_cast<size_t>(Size()));
  ReadPieces([&All](std::string_view Piece, bool) { All.append(Piece); });
  return All;
}

void TvxStreamData::ReadPieces(
    const std::function<void(std::string_view Piece, bool Last)>& Sink) const {
  if (!InSource()) {
    Sink(FMem ? std::string_view(FMem->DataString()) : std::string_view(), true);
    return;
  }
  constexpr int64_t PieceSize = int64_t{1} << 20;
  std::unique_ptr<TvxChunkCipher> Cipher;
  if (FCrypt) {
    Cipher = FCrypt->Decryptor->StartDecryption(*FCrypt);
    if (!Cipher) throw Exception("Stream data cannot be decrypted");
  }
  std::string Buffer, Plain;
  int64_t Done = 0, Given = 0;
  do {
    const int64_t N = std::min(FLength - Done, PieceSize);
    FSource->ReadPiece(Buffer, FOffset + Done, N);
    Done += N;
    const bool Last = Done >= FLength;
    std::string_view Piece = Buffer;
    if (Cipher) {
      Plain.clear();
      Cipher->Update(Buffer, Last, Plain);
      Piece = Plain;
    }
    Given += static_cast<int64_t>(Piece.size());
    // What was announced as the size is what comes.
    if (Given > Size() || (Last && Given != Size()))
      throw Exception("Stream data cannot be decrypted");
    Sink(Piece, Last);
  } while (Done < FLength);
}

void TvxStreamData::WriteTo(TvxStream& Out) const {
  if (FMem) {
    const int64_t N = FMem->MemSize();
    if (N > 0 && Out.Write(FMem->Memory(), N) != N)
      throw EStreamError("Error writing the PDF file");
  } else if (FSource && FCrypt) {
    ReadPieces([&Out](std::string_view Piece, bool) {
      const auto N = static_cast<int64_t>(Piece.size());
      if (N > 0 && Out.Write(Piece.data(), N) != N)
        throw EStreamError("Error writing the PDF file");
    });
  } else if (FSource) {
    FSource->CopyTo(Out, FOffset, FLength);
  }
}

void TvxStreamData::Load() const {
  FMem = std::make_unique<TvxMemoryStream>(ReadAll());
  FSource.reset();
  FCrypt.reset();
}

TvxPDFObjectPtr TvxPDFStreamObject::Clone() const {
  if (!Dict) throw EInvalidCast(std::string(msg::InvalidTypecast));
  TvxStreamData NewData;
  if (Data.InSource()) {
    // The copy reads the same bytes when it needs them.
    NewData.SetRange(Data.SourcePtr(), Data.Offset(), Data.StoredSize(), Data.Crypt());
  } else if (Data) {
    Data->FPosition = 0;
    auto Copy = std::make_unique<TvxMemoryStream>(Data->DataString());
    Copy->FPosition = Copy->MemSize();
    NewData = std::move(Copy);
  }
  return std::make_unique<TvxPDFStreamObject>(Dict->CloneDict(), std::move(NewData));
}

TvxPDFObjectPtr TvxPDFIndirectReference::Clone() const {
  return std::make_unique<TvxPDFIndirectReference>(DocumentID, ObjectNumber, Generation);
}

TvxPDFObjectPtr TvxPDFIndirectObject::Clone() const {
  auto Result = std::make_unique<TvxPDFIndirectObject>(DocumentID, ObjectNumber, Generation,
                                                       CloneOrNull(Value));
  Result->OutputNumber = OutputNumber;
  Result->UseCount = UseCount;
  return Result;
}

std::unique_ptr<TvxPDFIndirectReference> MakeReference(const TvxPDFIndirectObject& Obj) {
  return std::make_unique<TvxPDFIndirectReference>(Obj.DocumentID, Obj.ObjectNumber,
                                                   Obj.Generation);
}

double GetNumberValue(const TvxPDFObject* Obj) {
  if (const auto* N = ObjectAs<TvxPDFIntegerObject>(Obj)) return N->Value;
  if (const auto* R = ObjectAs<TvxPDFRealObject>(Obj)) return R->Value;
  throw EUnexpectedObjectError(std::string(msg::UnexpectedObject));
}

TvxPDFRect ArrayToRect(const TvxPDFArrayObject* Array) {
  if (!Array) throw EUnexpectedObjectError(std::string(msg::UnexpectedObject));
  TvxPDFRect R;
  R.Left = GetNumberValue(Array->GetItem(0));
  R.Bottom = GetNumberValue(Array->GetItem(1));
  R.Right = GetNumberValue(Array->GetItem(2));
  R.Top = GetNumberValue(Array->GetItem(3));
  return R;
}

}  // namespace vx
