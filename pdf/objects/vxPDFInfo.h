// The document information dictionary (title, author, dates ...) and the text
// strings it holds.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// The information dictionary's object number in every written file.
inline constexpr int32_t InfoObjectNumber = 2;

// How information values get encrypted; the document supplies it, this unit
// never encrypts on its own.
class TvxTextEncryption {
 public:
  virtual ~TvxTextEncryption() = default;
  virtual bool EncryptionEnabled() const = 0;
  // Data encrypted for object ObjNum, generation 0; the same length as Data.
  virtual std::string EncryptData(std::string_view Data, int32_t ObjNum) = 0;
};

// Body of a literal string (no parentheses) holding Value as UTF-16BE behind
// FE FF, encrypted for ObjNum when Encryption is given and enabled. The body
// is lossless: TAB is written as an escape, not expanded to blanks.
std::string EncodeTextString(std::u16string_view Value, int32_t ObjNum,
                             TvxTextEncryption* Encryption = nullptr);

// Text as written in a file (a literal string with its escapes, a hex string,
// or either without delimiters) read as user text: UTF-16BE behind FE FF,
// hex digits behind "FEFF", else the system ANSI code page.
std::u16string DecodeTextString(std::string_view Text);

class TvxPDFInfo {
 public:
  TvxPDFInfo();
  ~TvxPDFInfo();
  TvxPDFInfo(const TvxPDFInfo&) = delete;
  TvxPDFInfo& operator=(const TvxPDFInfo&) = delete;

  // Not owned; nullptr means no encryption.
  void SetEncryption(TvxTextEncryption* Encryption) { FEncryption = Encryption; }

  // Written as object 2.
  TvxPDFDictObject& Dict() { return *FDict; }
  const TvxPDFDictObject& Dict() const { return *FDict; }
  // Takes Dict over as the information (nullptr: an empty one). Values set
  // earlier stay cached: a getter keeps giving them.
  void AssignDictionary(std::unique_ptr<TvxPDFDictObject> Dict);

  // Each setter stores the value encoded (and encrypted when enabled) as a
  // name object, which the writer copies unchanged.
  void SetTitle(std::u16string_view Value) { SetText(ifTitle, Value); }
  void SetAuthor(std::u16string_view Value) { SetText(ifAuthor, Value); }
  void SetSubject(std::u16string_view Value) { SetText(ifSubject, Value); }
  void SetKeywords(std::u16string_view Value) { SetText(ifKeywords, Value); }
  void SetCreator(std::u16string_view Value) { SetText(ifCreator, Value); }
  void SetProducer(std::u16string_view Value) { SetText(ifProducer, Value); }
  // Dates are 8-bit text (D:YYYYMMDDHHmmSS...), not checked.
  void SetCreationDate(std::string_view Value) { SetDate(ifCreationDate, Value); }
  void SetModDate(std::string_view Value) { SetDate(ifModDate, Value); }

  // The value last set, else the dictionary's string; empty when missing or
  // not a string.
  std::u16string GetTitle() const { return GetText(ifTitle); }
  std::u16string GetAuthor() const { return GetText(ifAuthor); }
  std::u16string GetSubject() const { return GetText(ifSubject); }
  std::u16string GetKeywords() const { return GetText(ifKeywords); }
  std::u16string GetCreator() const { return GetText(ifCreator); }
  std::u16string GetProducer() const { return GetText(ifProducer); }
  std::string GetCreationDate() const { return GetDate(ifCreationDate); }
  std::string GetModDate() const { return GetDate(ifModDate); }

  // Encodes every value set through a setter again under the current
  // encryption. The writer calls it once the save's encryption is settled:
  // a value set before encryption was switched on, or before its key
  // changed, would otherwise be written unreadable.
  void ReencodeSetValues();

 private:
  enum TvxInfoField : uint8_t {
    ifTitle,
    ifAuthor,
    ifSubject,
    ifKeywords,
    ifCreator,
    ifProducer,
    ifCreationDate,
    ifModDate,
    ifCount
  };

  void SetText(TvxInfoField Field, std::u16string_view Value);
  void SetDate(TvxInfoField Field, std::string_view Value);
  void Store(TvxInfoField Field);
  std::u16string GetText(TvxInfoField Field) const;
  std::string GetDate(TvxInfoField Field) const;
  const TvxPDFStringObject* StringEntry(TvxInfoField Field) const;

  std::unique_ptr<TvxPDFDictObject> FDict;
  TvxTextEncryption* FEncryption = nullptr;  // not owned
  // Values given to the setters: text fields in FText, dates in FDate.
  std::array<std::u16string, ifCount> FText;
  std::array<std::string, ifCount> FDate;
  std::array<bool, ifCount> FIsSet{};
};

}  // namespace vx
