#include "pdf/reader/vxPDFStreamReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxUtils.h"

namespace vx {

namespace {

constexpr std::string_view EndStreamWord = "endstream";

// Character classes, indexed by byte.
struct TvxCharClasses {
  bool White[256] = {};
  bool TokenDelim[256] = {};
  bool NameDelim[256] = {};
  constexpr TvxCharClasses() {
    constexpr unsigned char Blanks[] = {0, 9, 10, 13, 32};
    constexpr unsigned char Delims[] = {9, 10, 13, 32, '(', ')', '/', '<', '>', '[', ']'};
    for (unsigned char C : Blanks) White[C] = TokenDelim[C] = true;
    for (unsigned char C : Delims) TokenDelim[C] = NameDelim[C] = true;
  }
};
constexpr TvxCharClasses Classes;

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

// A decimal integer with an optional sign, nothing else.
bool ParseInt64(std::string_view Text, int64_t& Value) {
  if (Text.empty()) return false;
  const char* First = Text.data();
  const char* Last = First + Text.size();
  if (*First == '+') ++First;
  if (First == Last) return false;
  if (*First == '-' && (First + 1 == Last || !IsDigit(First[1]))) return false;
  auto Res = std::from_chars(First, Last, Value);
  return Res.ec == std::errc() && Res.ptr == Last;
}

int32_t ToInt32OrConvertError(const std::string& Text) {
  int64_t V = 0;
  if (!ParseInt64(Text, V) || V < std::numeric_limits<int32_t>::min() ||
      V > std::numeric_limits<int32_t>::max())
    throw EConvertError(FormatMessage(msg::NotValidInteger, Text));
  return static_cast<int32_t>(V);
}

std::string ByteText(uint8_t B) {
  return std::string(1, static_cast<char>(B));
}

}  // namespace

class TvxPDFStreamReader::TvxDepthGuard {
 public:
  explicit TvxDepthGuard(int& Depth) : FDepth(Depth) {
    if (++FDepth > MaxNesting) {
      --FDepth;
      throw ENestingTooDeepError(FormatMessage(msg::NestingTooDeep, MaxNesting));
    }
  }
  ~TvxDepthGuard() { --FDepth; }
  TvxDepthGuard(const TvxDepthGuard&) = delete;
  TvxDepthGuard& operator=(const TvxDepthGuard&) = delete;

 private:
  int& FDepth;
};

TvxPDFStreamReader::TvxPDFStreamReader(int32_t ADocumentID, TvxStream* ASource)
    : TvxRandomAccessFilter(ASource), DocumentID(ADocumentID) {}

void TvxPDFStreamReader::EndOfData() {
  throw EEndOfDataError(std::string(msg::EndOfData));
}

bool TvxPDFStreamReader::NextTwoAre(char C) {
  if (FMem) {
    int64_t Pos = FMem->FPosition;
    return Pos >= 0 && Pos + 2 <= FMem->MemSize() && FMem->Memory()[Pos] == C &&
           FMem->Memory()[Pos + 1] == C;
  }
  return PeekString(2) == std::string(2, C);
}

void TvxPDFStreamReader::SkipWhitespace() {
  if (FMem) {
    // The same walk over memory without per-byte calls.
    const char* Data = FMem->Memory();
    const int64_t Size = FMem->MemSize();
    int64_t Pos = std::max<int64_t>(FMem->FPosition, 0);
    while (Pos < Size) {
      auto B = static_cast<uint8_t>(Data[Pos]);
      if (B == '%') {
        ++Pos;
        while (Pos < Size && Data[Pos] != 13 && Data[Pos] != 10) ++Pos;
      } else if (Classes.White[B]) {
        ++Pos;
      } else {
        break;
      }
    }
    if (Pos > FMem->FPosition) FMem->FPosition = Pos;
    return;
  }
  while (!AtEnd()) {
    uint8_t B = PeekByte();
    if (B == '%') {
      // Comment: up to, not including, the end-of-line byte.
      ReadByte();
      while (!AtEnd()) {
        uint8_t C = PeekByte();
        if (C == 13 || C == 10) break;
        ReadByte();
      }
    } else if (Classes.White[B]) {
      ReadByte();
    } else {
      break;
    }
  }
}

void TvxPDFStreamReader::ReadTokenInto(std::string& Out) {
  Out.clear();
  if (AtEnd()) return;
  if (FMem) {
    // Same walk over memory without per-byte calls.
    const char* Data = FMem->Memory();
    int64_t Size = FMem->MemSize();
    int64_t Start = FMem->FPosition;
    int64_t Pos = Start + 1;
    while (Pos < Size && !Classes.TokenDelim[static_cast<uint8_t>(Data[Pos])]) ++Pos;
    Out.assign(Data + Start, static_cast<size_t>(Pos - Start));
    FMem->FPosition = Pos;
  } else {
    Out.push_back(static_cast<char>(ReadByte()));
    while (!AtEnd()) {
      uint8_t B = PeekByte();
      if (Classes.TokenDelim[B]) break;
      Out.push_back(static_cast<char>(ReadByte()));
    }
  }
  SkipWhitespace();
}

std::string TvxPDFStreamReader::ReadToken() {
  std::string T;
  ReadTokenInto(T);
  return T;
}

std::string TvxPDFStreamReader::PeekKeyword() {
  SkipWhitespace();
  int64_t Start = Position();
  std::string Word;
  while (!AtEnd()) {
    uint8_t B = PeekByte();
    if (Classes.NameDelim[B]) break;
    Word.push_back(static_cast<char>(ReadByte()));
    // No keyword is this long; stop before swallowing a whole stream.
    if (Word.size() > 64) break;
  }
  Seek(Start, soBeginning);
  return Word;
}

TvxPDFObjectPtr TvxPDFStreamReader::ParseObject() {
  SkipWhitespace();
  if (AtEnd()) EndOfData();
  uint8_t B = PeekByte();
  switch (B) {
    case '[': return ReadArray();
    case '/': return ReadName();
    case '(': return ReadLiteralOrHexString();
    case '<':
      if (NextTwoAre('<')) return ReadDictionary();
      return ReadLiteralOrHexString();
    case ')':
    case '>':
    case ']':
    case '}': return nullptr;
    case 't':
      if (ReadString(4) != "true") throw EBooleanError(FormatMessage(msg::Boolean, "true"));
      return std::make_unique<TvxPDFBooleanObject>(true);
    case 'f':
      if (ReadString(5) != "false") throw EBooleanError(FormatMessage(msg::Boolean, "false"));
      return std::make_unique<TvxPDFBooleanObject>(false);
    case 'n':
      if (ReadString(4) != "null") throw ENullObjectError(std::string(msg::ExpectedNull));
      return std::make_unique<TvxPDFNullObject>();
    default: return ParseNumberOrReference();
  }
}

TvxPDFObjectPtr TvxPDFStreamReader::ParseNumberOrReference() {
  SkipWhitespace();
  ReadTokenInto(FToken1);
  int64_t P = Position();
  // Only an unsigned integer can start a reference or an object header; any
  // other first token leaves T2 and T3 unread (they would be given back).
  bool MaybeRef = !FToken1.empty() &&
                  std::all_of(FToken1.begin(), FToken1.end(), [](char C) { return IsDigit(C); });
  if (MaybeRef && !AtEnd() && IsDigit(static_cast<char>(PeekByte()))) {
    ReadTokenInto(FToken2);
    ReadTokenInto(FToken3);
    if (FToken3 == "R") {
      int32_t Num = ToInt32OrConvertError(FToken1);
      int32_t Gen = ToInt32OrConvertError(FToken2);
      return std::make_unique<TvxPDFIndirectReference>(DocumentID, Num, static_cast<uint16_t>(Gen));
    }
    if (FToken3.size() == 3 && (FToken3[0] | 0x20) == 'o' && (FToken3[1] | 0x20) == 'b' &&
        (FToken3[2] | 0x20) == 'j') {
      int32_t Num = ToInt32OrConvertError(FToken1);
      int32_t Gen = ToInt32OrConvertError(FToken2);
      CurrentObjectNumber = Num;
      CurrentGeneration = Gen;
      TvxDepthGuard Guard(FDepth);
      TvxPDFObjectPtr Value = ParseObject();
      if (PeekKeyword() == "stream") {
        if (!Value || !Value->IsDict()) throw EStreamReadError(std::string(msg::StreamRead));
        std::unique_ptr<TvxPDFDictObject> Dict(static_cast<TvxPDFDictObject*>(Value.release()));
        Value = std::make_unique<TvxPDFStreamObject>(std::move(Dict));
      }
      return std::make_unique<TvxPDFIndirectObject>(DocumentID, Num, static_cast<uint16_t>(Gen),
                                                    std::move(Value));
    }
    Seek(P, soBeginning);
  }
  if (FToken1.find('.') != std::string::npos) {
    double V = 0;
    if (TryTextToFloatDot(FToken1, V)) return std::make_unique<TvxPDFRealObject>(V);
    return std::make_unique<TvxPDFStringObject>(FToken1, false);
  }
  int64_t V = 0;
  if (!ParseInt64(FToken1, V)) throw Exception(FormatMessage(msg::NotValidInteger, FToken1));
  if (V >= std::numeric_limits<int32_t>::min() && V <= std::numeric_limits<int32_t>::max())
    return std::make_unique<TvxPDFIntegerObject>(static_cast<int32_t>(V));
  return std::make_unique<TvxPDFInt64Object>(V);
}

std::unique_ptr<TvxPDFStringObject> TvxPDFStreamReader::ReadLiteralOrHexString() {
  SkipWhitespace();
  if (AtEnd()) throw EStringReadError(FormatMessage(msg::StringRead, "end of data"));
  uint8_t Open = ReadByte();
  uint8_t Close;
  if (Open == '(')
    Close = ')';
  else if (Open == '<')
    Close = '>';
  else
    throw EStringReadError(FormatMessage(msg::StringRead, ByteText(Open)));
  bool Hex = Open == '<';
  std::string Body;
  int Depth = 1;
  for (;;) {
    if (AtEnd()) throw EStringReadError(FormatMessage(msg::StringRead, "end of data"));
    uint8_t B = ReadByte();
    if (B == '\\') {
      if (AtEnd()) throw EStringReadError(FormatMessage(msg::StringRead, "end of data"));
      uint8_t Next = ReadByte();
      if (Next == 13 || Next == 10) continue;  // line continuation
      Body.push_back('\\');
      Body.push_back(static_cast<char>(Next));
    } else if (B == Open) {
      ++Depth;
      Body.push_back(static_cast<char>(B));
    } else if (B == Close) {
      if (--Depth == 0) break;
      Body.push_back(static_cast<char>(B));
    } else {
      Body.push_back(static_cast<char>(B));
    }
  }
  if (!Hex) Body = UnescapeLiteralString(Body);
  if (Decryptor && !Body.empty()) {
    if (Hex) Body = HexToBytes(Body);
    Hex = false;
    Decryptor->DecryptString(Body, CurrentObjectNumber, CurrentGeneration);
  }
  std::string Text;
  Text.reserve(Body.size() + 2);
  Text.push_back(Hex ? '<' : '(');
  Text.append(Body);
  Text.push_back(Hex ? '>' : ')');
  return std::make_unique<TvxPDFStringObject>(std::move(Text), Hex);
}

std::unique_ptr<TvxPDFNameObject> TvxPDFStreamReader::ReadName() {
  SkipWhitespace();
  if (AtEnd()) throw ENameReadError(FormatMessage(msg::NameRead, "end of data"));
  uint8_t First = ReadByte();
  if (First != '/') throw ENameReadError(FormatMessage(msg::NameRead, ByteText(First)));
  std::string Text = "/";
  if (FMem) {
    const char* Data = FMem->Memory();
    const int64_t Size = FMem->MemSize();
    int64_t Start = FMem->FPosition, Pos = Start;
    while (Pos < Size && !Classes.NameDelim[static_cast<uint8_t>(Data[Pos])]) ++Pos;
    Text.append(Data + Start, static_cast<size_t>(Pos - Start));
    // A blank delimiter is consumed, any other given back.
    if (Pos < Size && Classes.White[static_cast<uint8_t>(Data[Pos])]) ++Pos;
    FMem->FPosition = Pos;
    return std::make_unique<TvxPDFNameObject>(std::move(Text));
  }
  while (!AtEnd()) {
    uint8_t B = ReadByte();
    if (Classes.NameDelim[B]) {
      if (!Classes.White[B]) BackUp();
      break;
    }
    Text.push_back(static_cast<char>(B));
  }
  return std::make_unique<TvxPDFNameObject>(std::move(Text));
}

std::unique_ptr<TvxPDFArrayObject> TvxPDFStreamReader::ReadArray() {
  SkipWhitespace();
  if (AtEnd()) throw EArrayReadError(FormatMessage(msg::ArrayRead, "end of data"));
  uint8_t B = ReadByte();
  if (B != '[') throw EArrayReadError(FormatMessage(msg::ArrayRead, ByteText(B)));
  TvxDepthGuard Guard(FDepth);
  auto Array = std::make_unique<TvxPDFArrayObject>();
  SkipWhitespace();
  for (;;) {
    TvxPDFObjectPtr V = ParseObject();
    if (!V) break;
    Array->Add(std::move(V));
    SkipWhitespace();
    if (AtEnd()) EndOfData();
    if (PeekByte() == ']') break;
  }
  ReadByte();
  return Array;
}

std::unique_ptr<TvxPDFDictObject> TvxPDFStreamReader::ReadDictionary() {
  SkipWhitespace();
  for (int I = 0; I < 2; ++I) {
    if (AtEnd()) throw EDictionaryReadError(FormatMessage(msg::DictionaryRead, "end of data"));
    uint8_t B = ReadByte();
    if (B != '<') throw EDictionaryReadError(FormatMessage(msg::DictionaryRead, ByteText(B)));
  }
  TvxDepthGuard Guard(FDepth);
  auto Dict = std::make_unique<TvxPDFDictObject>();
  for (;;) {
    SkipWhitespace();
    if (AtEnd()) throw EDictionaryReadError(FormatMessage(msg::DictionaryRead, "end of data"));
    if (NextTwoAre('>')) {
      Skip(2);
      break;
    }
    std::unique_ptr<TvxPDFNameObject> Key = ReadName();
    TvxPDFObjectPtr Value = ParseObject();
    Dict->AddEntry(std::move(Key), std::move(Value));
  }
  return Dict;
}

bool TvxPDFStreamReader::IsEndStreamAt(int64_t Pos) {
  int64_t Size = GetSize();
  if (Pos < 0 || Pos + static_cast<int64_t>(EndStreamWord.size()) > Size) return false;
  if (FMem)
    return std::memcmp(FMem->Memory() + Pos, EndStreamWord.data(), EndStreamWord.size()) == 0;
  Seek(Pos, soBeginning);
  return PeekString(static_cast<int64_t>(EndStreamWord.size())) == EndStreamWord;
}

int64_t TvxPDFStreamReader::FindEndStream(int64_t From) {
  constexpr std::string_view EndObj = "endobj";
  if (!FMem) {
    // Without the bytes in memory: a walk that ends at this object's end.
    const int64_t Size = GetSize();
    for (int64_t P = From; P + static_cast<int64_t>(EndObj.size()) <= Size; ++P) {
      if (IsEndStreamAt(P)) return P;
      Seek(P, soBeginning);
      if (PeekString(static_cast<int64_t>(EndObj.size())) == EndObj) return -1;
    }
    return -1;
  }
  // Every keyword position of the file is found once; each stream then costs
  // two binary searches, however many streams lack their keyword.
  if (!FKeywordsIndexed) {
    FKeywordsIndexed = true;
    std::string_view All(FMem->Memory(), static_cast<size_t>(FMem->MemSize()));
    for (size_t P = All.find("end"); P != std::string_view::npos; P = All.find("end", P + 3)) {
      std::string_view Rest = All.substr(P);
      if (Rest.substr(0, EndStreamWord.size()) == EndStreamWord)
        FEndStreams.push_back(static_cast<int64_t>(P));
      else if (Rest.substr(0, EndObj.size()) == EndObj)
        FEndObjs.push_back(static_cast<int64_t>(P));
    }
  }
  auto S = std::lower_bound(FEndStreams.begin(), FEndStreams.end(), From);
  if (S == FEndStreams.end()) return -1;
  auto O = std::lower_bound(FEndObjs.begin(), FEndObjs.end(), From);
  if (O != FEndObjs.end() && *O < *S) return -1;
  return *S;
}

std::unique_ptr<TvxMemoryStream> TvxPDFStreamReader::ReadStreamData(int32_t Length,
                                                                    int32_t ObjectNumber,
                                                                    int32_t Generation) {
  SkipWhitespace();
  if (ReadString(6) != "stream") throw EStreamReadError(std::string(msg::StreamRead));
  auto Data = std::make_unique<TvxMemoryStream>();
  if (Length == 0) {
    SkipWhitespace();
  } else {
    while (!AtEnd() && (PeekByte() == ' ' || PeekByte() == '\t')) ReadByte();
    if (!AtEnd() && PeekByte() == 13) ReadByte();
    if (!AtEnd() && PeekByte() == 10) ReadByte();
    const int64_t S = Position();
    const int64_t Size = GetSize();
    const int64_t W = static_cast<int64_t>(EndStreamWord.size());
    int64_t Len = Length;
    bool Found = false;
    // Is the given length right?
    if (Len > 0 && S + Len <= Size) {
      Seek(S + Len, soBeginning);
      SkipWhitespace();
      Found = ReadString(W) == EndStreamWord;
    }
    if (!Found) {
      // The first "endstream" of this object: forward from the data, never
      // past an "endobj".
      int64_t P = FindEndStream(S);
      if (P >= 0) {
        Len = P - S;
        Found = true;
      }
    }
    if (Found) {
      Len = std::max<int64_t>(Len, 0);
      Seek(S, soBeginning);
      if (!(Len <= 1 && IsEndStreamAt(S))) {
        std::string Bytes = ReadString(Len);
        Data = std::make_unique<TvxMemoryStream>(std::move(Bytes));
        if (Decryptor) Decryptor->DecryptStream(*Data, ObjectNumber, Generation);
        Data->FPosition = 0;
      }
      Seek(S + Len, soBeginning);
      SkipWhitespace();
    } else {
      Seek(Size, soBeginning);
    }
  }
  if (ReadString(static_cast<int64_t>(EndStreamWord.size())) != EndStreamWord)
    throw EEndStreamError(std::string(msg::EndStream));
  return Data;
}

int32_t TvxPDFStreamReader::FindStartXRef() {
  std::string Owned;
  std::string_view All;
  if (FMem) {
    All = std::string_view(FMem->Memory(), static_cast<size_t>(FMem->MemSize()));
  } else if (dynamic_cast<TvxFileStream*>(Source)) {
    Source->SetPosition(0);
    Owned.resize(static_cast<size_t>(std::max<int64_t>(Source->GetSize(), 0)));
    int64_t Got =
        Owned.empty() ? 0 : Source->Read(Owned.data(), static_cast<int64_t>(Owned.size()));
    Owned.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
    All = Owned;
  } else {
    throw Exception(std::string(msg::UnexpectedStreamType));
  }
  constexpr std::string_view Word = "startxref";
  auto IsAlnum = [](char C) {
    return IsDigit(C) || (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
  };
  int64_t Match = -1;
  for (int64_t P = static_cast<int64_t>(All.size()) - static_cast<int64_t>(Word.size()); P >= 0;
       --P) {
    bool Equal = true;
    for (size_t I = 0; I < Word.size() && Equal; ++I) Equal = (All[P + I] | 0x20) == Word[I];
    if (!Equal) continue;
    if (P > 0 && IsAlnum(All[P - 1])) continue;
    size_t After = static_cast<size_t>(P) + Word.size();
    if (After < All.size() && IsAlnum(All[After])) continue;
    Match = P;
    break;
  }
  if (Match < 0) throw Exception(std::string(msg::InvalidPDFFile));
  size_t I = static_cast<size_t>(Match);
  while (I < All.size() && !IsDigit(All[I])) ++I;
  size_t Start = I;
  while (I < All.size() && IsDigit(All[I])) ++I;
  int32_t Offset = 0;
  auto Res = std::from_chars(All.data() + Start, All.data() + I, Offset);
  if (Start == I || Res.ec != std::errc()) throw EOffsetError(std::string(msg::Offset));
  return Offset;
}

std::unique_ptr<TvxPDFDictObject> TvxPDFStreamReader::ReadTrailer() {
  for (;;) {
    if (AtEnd()) throw ETrailerError(std::string(msg::Trailer));
    if (ReadByte() == 't') break;
  }
  if ("t" + ReadString(6) != "trailer") throw ETrailerError(std::string(msg::Trailer));
  TvxPDFObjectPtr Obj = ParseObject();
  if (!Obj || !Obj->IsDict()) throw EInvalidCast(std::string(msg::InvalidTypecast));
  return std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(Obj.release()));
}

int32_t TvxPDFStreamReader::ReadHeaderVersion() {
  Seek(0, soBeginning);
  std::string T = ReadToken();
  std::string Head = T.substr(0, 7);
  if (Head == "%PDF-2.") return pvPDF20;
  if (Head != "%PDF-1.") throw EInvalidHeader(FormatMessage(msg::InvalidHeader, Head));
  if (T.size() < 8 || !IsDigit(T[7]))
    throw EConvertError(FormatMessage(msg::NotValidInteger, T.substr(7, 1)));
  int Minor = T[7] - '0';
  if (Minor > 7) throw EUnsupportedVersion(FormatMessage(msg::UnsupportedVersion, T));
  return Minor;
}

}  // namespace vx
