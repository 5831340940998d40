// PDF values in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxDecryptor.h"
#include "pdf/objects/vxObjectPool.h"
#include "pdf/objects/vxPDFSource.h"
#include "pdf/objects/vxStreams.h"

namespace vx {

enum TvxPDFObjectType : uint8_t {
  otBoolean = 0,
  otInteger = 1,
  otInt64 = 2,
  otReal = 3,
  otString = 4,
  otName = 5,
  otArray = 6,
  otDict = 7,
  otStream = 8,
  otNull = 9,
  otIndirectReference = 10,
  otIndirectObject = 11,
};

class TvxPDFObject;
using TvxPDFObjectPtr = std::unique_ptr<TvxPDFObject>;

class TvxPDFObject {
 public:
  virtual ~TvxPDFObject() = default;
  TvxPDFObject(const TvxPDFObject&) = delete;
  TvxPDFObject& operator=(const TvxPDFObject&) = delete;

  // A new, independent deep copy.
  virtual TvxPDFObjectPtr Clone() const = 0;

  // Every value lives in the object pool; the virtual destructor gives
  // delete the size of the real class.
  static void* operator new(size_t Size) { return PoolAllocate(Size); }
  static void operator delete(void* P, size_t Size) noexcept { PoolFree(P, Size); }

  bool IsBoolean() const { return ObjectType == otBoolean; }
  bool IsInteger() const { return ObjectType == otInteger; }
  bool IsInt64() const { return ObjectType == otInt64; }
  bool IsReal() const { return ObjectType == otReal; }
  bool IsString() const { return ObjectType == otString; }
  bool IsName() const { return ObjectType == otName; }
  bool IsArray() const { return ObjectType == otArray; }
  bool IsDict() const { return ObjectType == otDict; }
  bool IsStream() const { return ObjectType == otStream; }
  bool IsNull() const { return ObjectType == otNull; }
  bool IsIndirectReference() const { return ObjectType == otIndirectReference; }
  bool IsIndirectObject() const { return ObjectType == otIndirectObject; }
  const char* TypeName() const;

  const uint8_t ObjectType;

 protected:
  explicit TvxPDFObject(TvxPDFObjectType AType) : ObjectType(AType) {}
};

class TvxPDFNullObject : public TvxPDFObject {
 public:
  TvxPDFNullObject() : TvxPDFObject(otNull) {}
  TvxPDFObjectPtr Clone() const override;
};

class TvxPDFBooleanObject : public TvxPDFObject {
 public:
  explicit TvxPDFBooleanObject(bool AValue) : TvxPDFObject(otBoolean), Value(AValue) {}
  TvxPDFObjectPtr Clone() const override;
  std::string AsText() const { return Value ? "true" : "false"; }
  bool Value;
};

class TvxPDFIntegerObject : public TvxPDFObject {
 public:
  explicit TvxPDFIntegerObject(int32_t AValue) : TvxPDFObject(otInteger), Value(AValue) {}
  TvxPDFObjectPtr Clone() const override;
  std::string AsText() const { return std::to_string(Value); }
  int32_t Value;
};

class TvxPDFInt64Object : public TvxPDFObject {
 public:
  explicit TvxPDFInt64Object(int64_t AValue) : TvxPDFObject(otInt64), Value(AValue) {}
  TvxPDFObjectPtr Clone() const override;
  std::string AsText() const { return std::to_string(Value); }
  int64_t Value;
};

class TvxPDFRealObject : public TvxPDFObject {
 public:
  explicit TvxPDFRealObject(double AValue) : TvxPDFObject(otReal), Value(AValue) {}
  TvxPDFObjectPtr Clone() const override;
  // Ten significant digits, written with ten decimals and "." whatever the locale.
  std::string AsText() const;
  double Value;
};

class TvxPDFStringObject : public TvxPDFObject {
 public:
  explicit TvxPDFStringObject(std::string AText, bool AIsHex = false)
      : TvxPDFObject(otString), Text(std::move(AText)), IsHex(AIsHex) {}
  TvxPDFObjectPtr Clone() const override;
  // Text without its delimiters.
  std::string GetValue() const;
  std::u16string GetUnicodeValue() const;
  std::string Text;  // with both delimiters
  bool IsHex;
};

class TvxPDFNameObject : public TvxPDFObject {
 public:
  explicit TvxPDFNameObject(std::string AText) : TvxPDFObject(otName), Text(std::move(AText)) {}
  TvxPDFObjectPtr Clone() const override;
  std::unique_ptr<TvxPDFNameObject> CloneName() const;
  std::string GetName() const { return Text.empty() ? std::string() : Text.substr(1); }
  std::string Text;  // with the leading "/"
};

class TvxPDFArrayObject : public TvxPDFObject {
 public:
  TvxPDFArrayObject() : TvxPDFObject(otArray) {}
  TvxPDFObjectPtr Clone() const override;
  std::unique_ptr<TvxPDFArrayObject> CloneArray() const;

  int32_t Add(TvxPDFObjectPtr Obj);
  int32_t AddInteger(int32_t N);
  void Insert(int32_t Index, TvxPDFObjectPtr Obj);
  void Delete(int32_t Index);
  // Replaces the element and hands the old one back to the caller.
  [[nodiscard]] TvxPDFObjectPtr PutItem(int32_t Index, TvxPDFObjectPtr Obj);
  // Nil when Index is out of range.
  TvxPDFObject* GetItem(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(Items.size()); }

  std::vector<TvxPDFObjectPtr> Items;
};

class TvxPDFDictObject : public TvxPDFObject {
 public:
  TvxPDFDictObject() : TvxPDFObject(otDict) {}
  TvxPDFObjectPtr Clone() const override;
  std::unique_ptr<TvxPDFDictObject> CloneDict() const;

  void AddEntry(std::unique_ptr<TvxPDFNameObject> KeyName, TvxPDFObjectPtr Value);
  void Add(std::string_view Key, TvxPDFObjectPtr Value);
  void AddInteger(std::string_view Key, int32_t N);
  void AddReal(std::string_view Key, double X);
  void AddInt64(std::string_view Key, int64_t N);
  void AddName(std::string_view Key, std::string_view NameText);
  int32_t IndexOf(std::string_view Key) const;
  TvxPDFObject* Lookup(std::string_view Key) const;
  TvxPDFNameObject* GetKey(int32_t Index) const;
  TvxPDFObject* GetValue(int32_t Index) const;
  void SetValue(std::string_view Key, TvxPDFObjectPtr Value);
  void SetValue(const TvxPDFNameObject& KeyName, TvxPDFObjectPtr Value);
  void SetName(std::string_view Key, std::string_view NameText);
  void SetBoolean(std::string_view Key, bool B);
  void SetInteger(std::string_view Key, int32_t N);
  // Stores Value at Index and hands the old value back to the caller.
  [[nodiscard]] TvxPDFObjectPtr PutValueAt(int32_t Index, TvxPDFObjectPtr Value);
  void DeleteAt(int32_t Index);
  void Remove(std::string_view Key);
  void Merge(const TvxPDFDictObject* Other);
  int32_t Count() const { return static_cast<int32_t>(Keys.size()); }

  std::vector<std::unique_ptr<TvxPDFNameObject>> Keys;
  std::vector<TvxPDFObjectPtr> Values;
};

// The data of a stream: bytes in memory, or where they lie in the source
// file (with how to decrypt them), read only when someone asks for them.
// Used like a pointer to a memory stream; the first such use reads the data
// and keeps it.
class TvxStreamData {
 public:
  TvxStreamData() = default;
  TvxStreamData(std::nullptr_t) {}  // NOLINT: stands for "no data" as a pointer does
  TvxStreamData(std::unique_ptr<TvxMemoryStream> AMem) : FMem(std::move(AMem)) {}  // NOLINT
  TvxStreamData(TvxStreamData&&) = default;
  TvxStreamData& operator=(TvxStreamData&&) = default;
  TvxStreamData& operator=(std::unique_ptr<TvxMemoryStream> AMem) {
    FMem = std::move(AMem);
    FSource.reset();
    FCrypt.reset();
    return *this;
  }
  TvxStreamData& operator=(std::nullptr_t) { return *this = std::unique_ptr<TvxMemoryStream>(); }

  // Length bytes at Offset of Source, not read yet; Crypt decrypts them
  // when they are read.
  void SetRange(TvxPDFSourcePtr Source, int64_t Offset, int64_t Length, TvxStreamCrypt Crypt = {});
  // True while the data is still only in the source.
  bool InSource() const { return !FMem && FSource; }
  const TvxPDFSource* Source() const { return FSource.get(); }
  const TvxPDFSourcePtr& SourcePtr() const { return FSource; }
  int64_t Offset() const { return FOffset; }
  // The byte count in the source, encrypted.
  int64_t StoredSize() const { return FLength; }
  const TvxStreamCrypt& Crypt() const { return FCrypt ? *FCrypt : NoCrypt; }
  // The byte count (decrypted), without reading the data.
  int64_t Size() const;
  // The bytes; data still in the source is read (and decrypted) but not kept.
  std::string ReadAll() const;
  // Calls Sink with the bytes in order, in pieces of at most a mebibyte read
  // (and decrypted) one at a time from the source; Last marks the final
  // piece, which may be empty.
  void ReadPieces(const std::function<void(std::string_view Piece, bool Last)>& Sink) const;
  // Writes the bytes to Out; data still in the source is copied in bounded
  // chunks.
  void WriteTo(TvxStream& Out) const;

  TvxMemoryStream* get() const {
    if (!FMem && FSource) Load();
    return FMem.get();
  }
  TvxMemoryStream* operator->() const { return get(); }
  TvxMemoryStream& operator*() const { return *get(); }
  explicit operator bool() const { return FMem || FSource; }
  friend bool operator==(const TvxStreamData& D, std::nullptr_t) { return !D; }
  void reset() { *this = nullptr; }

 private:
  void Load() const;
  mutable std::unique_ptr<TvxMemoryStream> FMem;
  mutable TvxPDFSourcePtr FSource;
  int64_t FOffset = 0;
  int64_t FLength = 0;
  // Nil for plain data: most documents have none, and a stream costs 8 bytes
  // for it then.
  mutable std::unique_ptr<TvxStreamCrypt> FCrypt;
  inline static const TvxStreamCrypt NoCrypt{};
};

class TvxPDFStreamObject : public TvxPDFObject {
 public:
  explicit TvxPDFStreamObject(std::unique_ptr<TvxPDFDictObject> ADict)
      : TvxPDFObject(otStream), Dict(std::move(ADict)) {}
  TvxPDFStreamObject(std::unique_ptr<TvxPDFDictObject> ADict, TvxStreamData AData)
      : TvxPDFObject(otStream), Dict(std::move(ADict)), Data(std::move(AData)) {}
  TvxPDFObjectPtr Clone() const override;

  std::unique_ptr<TvxPDFDictObject> Dict;
  TvxStreamData Data;  // as stored in the file, still encoded
};

class TvxPDFIndirectReference : public TvxPDFObject {
 public:
  TvxPDFIndirectReference(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration)
      : TvxPDFObject(otIndirectReference),
        DocumentID(ADocumentID),
        ObjectNumber(AObjectNumber),
        Generation(AGeneration) {}
  TvxPDFObjectPtr Clone() const override;
  int32_t DocumentID;
  int32_t ObjectNumber;
  uint16_t Generation;
};

class TvxPDFIndirectObject : public TvxPDFObject {
 public:
  TvxPDFIndirectObject(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration,
                       TvxPDFObjectPtr AValue)
      : TvxPDFObject(otIndirectObject),
        DocumentID(ADocumentID),
        ObjectNumber(AObjectNumber),
        Generation(AGeneration),
        Value(std::move(AValue)) {}
  TvxPDFIndirectObject(int32_t ADocumentID, int32_t AObjectNumber, uint16_t AGeneration, bool Mark,
                       TvxPDFObjectPtr AValue)
      : TvxPDFIndirectObject(ADocumentID, AObjectNumber, AGeneration, std::move(AValue)) {
    if (Mark) MarkUsed();
  }
  TvxPDFObjectPtr Clone() const override;
  void MarkUsed() { ++UseCount; }

  int32_t DocumentID;
  int32_t ObjectNumber;
  uint16_t Generation;
  int32_t OutputNumber = 0;
  int32_t UseCount = 0;
  TvxPDFObjectPtr Value;
};

std::unique_ptr<TvxPDFIndirectReference> MakeReference(const TvxPDFIndirectObject& Obj);

// The value of an integer or real; anything else raises EUnexpectedObjectError.
double GetNumberValue(const TvxPDFObject* Obj);

struct TvxPDFRect {
  double Left = 0, Bottom = 0, Right = 0, Top = 0;
};
// The four numbers of a rectangle array; fewer than four elements raise
// EUnexpectedObjectError.
TvxPDFRect ArrayToRect(const TvxPDFArrayObject* Array);

}  // namespace vx
