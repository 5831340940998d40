#include "pdf/objects/vxPDFInfo.h"

#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxUtils.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

constexpr std::string_view FieldKeys[] = {"/Title",   "/Author",   "/Subject",      "/Keywords",
                                          "/Creator", "/Producer", "/CreationDate", "/ModDate"};

bool HasByteOrderMark(std::string_view Bytes) {
  return Bytes.size() >= 2 && static_cast<uint8_t>(Bytes[0]) == 0xFE &&
         static_cast<uint8_t>(Bytes[1]) == 0xFF;
}

// Big-endian code units; a last odd byte is ignored.
std::u16string Utf16BEToUnicode(std::string_view Bytes) {
  std::u16string Out;
  Out.reserve(Bytes.size() / 2);
  for (size_t I = 0; I + 1 < Bytes.size(); I += 2)
    Out.push_back(static_cast<char16_t>(static_cast<uint8_t>(Bytes[I]) << 8 |
                                        static_cast<uint8_t>(Bytes[I + 1])));
  return Out;
}

// The raw bytes of a string object, whether literal or hex.
std::string StringBytes(const TvxPDFStringObject& S) {
  if (!S.Text.empty() && S.Text[0] == '<') return HexToBytes(S.GetValue());
  return S.GetValue();
}

// Text-string bytes as user text. The bytes are already unescaped by the
// reader, so they must not go through UnescapeLiteralString again: UTF-16
// holds 0x5C bytes that are no escapes.
std::u16string TextBytesToUnicode(std::string_view Bytes) {
  if (HasByteOrderMark(Bytes)) return Utf16BEToUnicode(Bytes.substr(2));
  return AnsiToUnicode(Bytes);
}

bool IsEmptyText(std::string_view T) {
  return T.empty() || T == "()" || T == "<>";
}

bool StartsWithFEFFDigits(std::string_view T) {
  if (T.size() < 4) return false;
  for (size_t I = 0; I < 4; ++I) {
    char C = T[I];
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
    if (C != "FEFF"[I]) return false;
  }
  return true;
}

// Text without a byte-order mark that starts with a control character is
// taken as UTF-16BE; a "." at the start of a pair is skipped. Blanks and line
// ends do not count: ordinary text may start with them, and would read as
// UTF-16 garbage.
bool LooksLikeBareUtf16(std::string_view T) {
  auto B = static_cast<uint8_t>(T[0]);
  return B < 32 && B != '\t' && B != '\n' && B != '\f' && B != '\r';
}

std::u16string BareUtf16ToUnicode(std::string_view T) {
  std::u16string Out;
  Out.reserve(T.size() / 2);
  size_t I = 0;
  while (I + 1 < T.size()) {
    if (T[I] == '.') {
      ++I;
      continue;
    }
    Out.push_back(
        static_cast<char16_t>(static_cast<uint8_t>(T[I]) << 8 | static_cast<uint8_t>(T[I + 1])));
    I += 2;
  }
  // One unit per two bytes; units a skipped "." left unfilled are U+0000.
  Out.resize(T.size() / 2, u'\0');
  return Out;
}

}  // namespace

std::string EncodeTextString(std::u16string_view Value, int32_t ObjNum,
                             TvxTextEncryption* Encryption) {
  std::string Bytes;
  Bytes.reserve(2 + 2 * Value.size());
  Bytes.push_back('\xFE');
  Bytes.push_back('\xFF');
  for (char16_t C : Value) {
    Bytes.push_back(static_cast<char>(C >> 8));
    Bytes.push_back(static_cast<char>(C & 0xFF));
  }
  if (Encryption && Encryption->EncryptionEnabled()) Bytes = Encryption->EncryptData(Bytes, ObjNum);
  return EscapeLiteralString(Bytes);
}

std::u16string DecodeTextString(std::string_view Text) {
  if (IsEmptyText(Text)) return {};
  std::string T = UnescapeLiteralString(Text);
  if (IsEmptyText(T)) return {};
  if (T[0] == '(' || T[0] == '<') T = T.size() >= 2 ? T.substr(1, T.size() - 2) : std::string();
  if (IsEmptyText(T)) return {};
  if (HasByteOrderMark(T)) return Utf16BEToUnicode(std::string_view(T).substr(2));
  if (StartsWithFEFFDigits(T)) {
    // Through the bytes rather than HexTextToUnicode: that one stops after
    // 999 digits and cannot read digits separated by white space.
    return Utf16BEToUnicode(std::string_view(HexToBytes(T)).substr(2));
  }
  if (LooksLikeBareUtf16(T)) return BareUtf16ToUnicode(T);
  return AnsiToUnicode(T);
}

TvxPDFInfo::TvxPDFInfo() : FDict(std::make_unique<TvxPDFDictObject>()) {}

TvxPDFInfo::~TvxPDFInfo() = default;

void TvxPDFInfo::AssignDictionary(std::unique_ptr<TvxPDFDictObject> Dict) {
  // The values set so far stay cached; only a new holder forgets them.
  FDict = Dict ? std::move(Dict) : std::make_unique<TvxPDFDictObject>();
}

void TvxPDFInfo::SetText(TvxInfoField Field, std::u16string_view Value) {
  FText[Field] = Value;
  FIsSet[Field] = true;
  Store(Field);
}

void TvxPDFInfo::SetDate(TvxInfoField Field, std::string_view Value) {
  FDate[Field] = Value;
  FIsSet[Field] = true;
  Store(Field);
}

void TvxPDFInfo::Store(TvxInfoField Field) {
  std::u16string Wide = Field >= ifCreationDate ? AnsiToUnicode(FDate[Field]) : FText[Field];
  std::string Body = EncodeTextString(Wide, InfoObjectNumber, FEncryption);
  std::string_view Key = FieldKeys[Field];
  FDict->SetValue(Key, std::make_unique<TvxPDFNameObject>("(" + Body + ")"));
  // A loaded dictionary may repeat the key; a later copy must not contradict
  // the value just set.
  const int32_t First = FDict->IndexOf(Key);
  for (int32_t I = FDict->Count() - 1; I > First; --I)
    if (FDict->GetKey(I) && FDict->GetKey(I)->Text == Key) FDict->DeleteAt(I);
}

void TvxPDFInfo::ReencodeSetValues() {
  for (uint8_t F = 0; F < ifCount; ++F)
    if (FIsSet[F]) Store(static_cast<TvxInfoField>(F));
}

const TvxPDFStringObject* TvxPDFInfo::StringEntry(TvxInfoField Field) const {
  return ObjectAs<TvxPDFStringObject>(FDict->Lookup(FieldKeys[Field]));
}

std::u16string TvxPDFInfo::GetText(TvxInfoField Field) const {
  if (FIsSet[Field]) return FText[Field];
  const TvxPDFStringObject* S = StringEntry(Field);
  return S ? TextBytesToUnicode(StringBytes(*S)) : std::u16string();
}

std::string TvxPDFInfo::GetDate(TvxInfoField Field) const {
  if (FIsSet[Field]) return FDate[Field];
  const TvxPDFStringObject* S = StringEntry(Field);
  if (!S) return {};
  std::string Bytes = StringBytes(*S);
  // Dates written as text strings, as this program writes them, come back as
  // their characters rather than as UTF-16 bytes.
  if (HasByteOrderMark(Bytes))
    return UnicodeToAnsi(Utf16BEToUnicode(std::string_view(Bytes).substr(2)));
  return Bytes;
}

}  // namespace vx
