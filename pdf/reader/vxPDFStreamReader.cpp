#include "pdf/reader/vxPDFStreamReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
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
  // Plain digits, the common case, too short to overflow.
  if (Text.size() <= 18 && std::all_of(Text.begin(), Text.end(), IsDigit)) {
    int64_t V = 0;
    for (char C : Text) V = V * 10 + (C - '0');
    Value = V;
    return true;
  }
  const char* First = Text.data();
  const char* Last = First + Text.size();
  if (*First == '+') ++First;
  if (First == Last) return false;
  if (*First == '-' && (First + 1 == Last || !IsDigit(First[1]))) return false;
  auto Res = std::from_chars(First, Last, Value);
  return Res.ec == std::errc() && Res.ptr == Last;
}

int32_t ToInt32OrConvertError(std::string_view Text) {
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
    : TvxRandomAccessFilter(ASource), DocumentID(ADocumentID) {
  if (auto* Mem = dynamic_cast<TvxMemoryStream*>(ASource)) {
    FBuf = Mem->Memory();
    FSize = Mem->MemSize();
    FPos = Mem->FPosition;
  } else if (auto* View = dynamic_cast<TvxViewStream*>(ASource)) {
    FBuf = View->View().data();
    FSize = static_cast<int64_t>(View->View().size());
    FPos = View->FPosition;
  } else {
    FPos = ASource->GetPosition();
    ASource->SetPosition(0);
    FOwned.resize(static_cast<size_t>(std::max<int64_t>(ASource->GetSize(), 0)));
    int64_t Got =
        FOwned.empty() ? 0 : ASource->Read(FOwned.data(), static_cast<int64_t>(FOwned.size()));
    FOwned.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
    FBuf = FOwned.data();
    FSize = static_cast<int64_t>(FOwned.size());
  }
  FPos = std::max<int64_t>(FPos, 0);
}

int64_t TvxPDFStreamReader::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPos < 0 || FPos >= FSize) return 0;
  const int64_t N = std::min(Count, FSize - FPos);
  std::memcpy(Buffer, FBuf + FPos, static_cast<size_t>(N));
  FPos += N;
  return N;
}

int64_t TvxPDFStreamReader::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  // Offset -1 is refused: the result is -1 and the position stays.
  if (Offset == -1) return -1;
  switch (Origin) {
    case soBeginning: FPos = Offset; break;
    case soCurrent: FPos += Offset; break;
    case soEnd: FPos = FSize + Offset; break;
  }
  if (FPos < 0) FPos = 0;
  return FPos;
}

std::string TvxPDFStreamReader::ReadString(int64_t N) {
  if (N <= 0) return {};
  std::string S(static_cast<size_t>(N), '\0');
  const int64_t Got = FPos >= 0 && FPos < FSize ? std::min(N, FSize - FPos) : 0;
  if (Got > 0) std::memcpy(S.data(), FBuf + FPos, static_cast<size_t>(Got));
  FPos += Got;
  return S;
}

std::string TvxPDFStreamReader::PeekString(int64_t N) {
  const int64_t Start = FPos;
  std::string S = ReadString(N);
  FPos = Start;
  return S;
}

void TvxPDFStreamReader::Skip(int64_t N) {
  const int64_t Target = FPos + N;
  if (Target == -1) return;
  FPos = std::max<int64_t>(Target, 0);
}

void TvxPDFStreamReader::EndOfData() {
  throw EEndOfDataError(std::string(msg::EndOfData));
}

bool TvxPDFStreamReader::NextTwoAre(char C) {
  return FPos >= 0 && FPos + 2 <= FSize && FBuf[FPos] == C && FBuf[FPos + 1] == C;
}

void TvxPDFStreamReader::SkipWhitespace() {
  int64_t Pos = std::max<int64_t>(FPos, 0);
  while (Pos < FSize) {
    auto B = static_cast<uint8_t>(FBuf[Pos]);
    if (B == '%') {
      // Comment: up to, not including, the end-of-line byte.
      ++Pos;
      while (Pos < FSize && FBuf[Pos] != 13 && FBuf[Pos] != 10) ++Pos;
    } else if (Classes.White[B]) {
      ++Pos;
    } else {
      break;
    }
  }
  if (Pos > FPos) FPos = Pos;
}

std::string_view TvxPDFStreamReader::ReadTokenView() {
  if (AtEnd()) return {};
  const int64_t Start = FPos;
  int64_t Pos = Start + 1;
  while (Pos < FSize && !Classes.TokenDelim[static_cast<uint8_t>(FBuf[Pos])]) ++Pos;
  std::string_view Token(FBuf + Start, static_cast<size_t>(Pos - Start));
  FPos = Pos;
  SkipWhitespace();
  return Token;
}

std::string TvxPDFStreamReader::ReadToken() {
  return std::string(ReadTokenView());
}

std::string TvxPDFStreamReader::PeekKeyword() {
  SkipWhitespace();
  int64_t Pos = FPos;
  // No keyword is this long; stop before swallowing a whole stream.
  const int64_t Limit = std::min(FSize, FPos + 65);
  while (Pos < Limit && !Classes.NameDelim[static_cast<uint8_t>(FBuf[Pos])]) ++Pos;
  return std::string(FBuf + FPos, static_cast<size_t>(Pos - FPos));
}

bool TvxPDFStreamReader::AtStreamKeyword() {
  SkipWhitespace();
  constexpr std::string_view Word = "stream";
  if (FSize - FPos < static_cast<int64_t>(Word.size()) ||
      std::string_view(FBuf + FPos, Word.size()) != Word)
    return false;
  const int64_t After = FPos + static_cast<int64_t>(Word.size());
  if (After >= FSize) return true;
  // Any byte that cannot continue a keyword ends it: "stream%..." is the
  // keyword followed by data.
  const char C = FBuf[After];
  return Classes.NameDelim[static_cast<uint8_t>(C)] || C == 0 || C == 12 || C == '%' || C == '{' ||
         C == '}';
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
  // Views of the data: a token is never copied to be looked at.
  const std::string_view T1 = ReadTokenView();
  int64_t P = Position();
  // Only an integer, signed or not, can start a reference or an object
  // header ("-1 0 R" is a reference to warn about); any other first token
  // leaves T2 and T3 unread (they would be given back).
  const std::string_view Digits = !T1.empty() && (T1[0] == '-' || T1[0] == '+') ? T1.substr(1) : T1;
  bool MaybeRef = !Digits.empty() &&
                  std::all_of(Digits.begin(), Digits.end(), [](char C) { return IsDigit(C); });
  if (MaybeRef && !AtEnd() && IsDigit(static_cast<char>(PeekByte()))) {
    const std::string_view T2 = ReadTokenView();
    const std::string_view T3 = ReadTokenView();
    if (T3 == "R") {
      int32_t Num = ToInt32OrConvertError(T1);
      int32_t Gen = ToInt32OrConvertError(T2);
      return std::make_unique<TvxPDFIndirectReference>(DocumentID, Num, static_cast<uint16_t>(Gen));
    }
    if (T3.size() == 3 && (T3[0] | 0x20) == 'o' && (T3[1] | 0x20) == 'b' && (T3[2] | 0x20) == 'j') {
      int32_t Num = ToInt32OrConvertError(T1);
      int32_t Gen = ToInt32OrConvertError(T2);
      CurrentObjectNumber = Num;
      CurrentGeneration = Gen;
      TvxDepthGuard Guard(FDepth);
      TvxPDFObjectPtr Value = ParseObject();
      if (AtStreamKeyword()) {
        std::unique_ptr<TvxPDFDictObject> Dict = ObjectTake<TvxPDFDictObject>(Value);
        if (!Dict) throw EStreamReadError(std::string(msg::StreamRead));
        Value = std::make_unique<TvxPDFStreamObject>(std::move(Dict));
      }
      return std::make_unique<TvxPDFIndirectObject>(DocumentID, Num, static_cast<uint16_t>(Gen),
                                                    std::move(Value));
    }
    Seek(P, soBeginning);
  }
  if (T1.find('.') != std::string::npos) {
    double V = 0;
    if (TryTextToFloatDot(T1, V)) return std::make_unique<TvxPDFRealObject>(V);
    return std::make_unique<TvxPDFStringObject>(std::string(T1), false);
  }
  int64_t V = 0;
  if (!ParseInt64(T1, V)) {
    // A damaged token read by a repair stands for nothing.
    if (Lenient) return std::make_unique<TvxPDFNullObject>();
    throw Exception(FormatMessage(msg::NotValidInteger, T1));
  }
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
  const int64_t Start = FPos;
  int64_t Pos = Start;
  while (Pos < FSize && !Classes.NameDelim[static_cast<uint8_t>(FBuf[Pos])]) ++Pos;
  Text.append(FBuf + Start, static_cast<size_t>(Pos - Start));
  // A blank delimiter is consumed, any other given back.
  if (Pos < FSize && Classes.White[static_cast<uint8_t>(FBuf[Pos])]) ++Pos;
  FPos = Pos;
  return std::make_unique<TvxPDFNameObject>(std::move(Text));
}

namespace {

// The elements a container pushed on a pending stack since it started; they
// are dropped if reading it fails.
template <class T>
class TvxPendingGuard {
 public:
  explicit TvxPendingGuard(std::vector<T>& AStack) : FStack(AStack), FStart(AStack.size()) {}
  TvxPendingGuard(const TvxPendingGuard&) = delete;
  TvxPendingGuard& operator=(const TvxPendingGuard&) = delete;
  ~TvxPendingGuard() { FStack.resize(FStart); }
  void MoveInto(std::vector<T>& Target) {
    const auto First = FStack.begin() + static_cast<std::ptrdiff_t>(FStart);
    Target.reserve(static_cast<size_t>(FStack.end() - First));
    Target.insert(Target.end(), std::make_move_iterator(First),
                  std::make_move_iterator(FStack.end()));
    FStack.resize(FStart);
  }

 private:
  std::vector<T>& FStack;
  const size_t FStart;
};

}  // namespace

std::unique_ptr<TvxPDFArrayObject> TvxPDFStreamReader::ReadArray() {
  SkipWhitespace();
  if (AtEnd()) throw EArrayReadError(FormatMessage(msg::ArrayRead, "end of data"));
  uint8_t B = ReadByte();
  if (B != '[') throw EArrayReadError(FormatMessage(msg::ArrayRead, ByteText(B)));
  TvxDepthGuard Guard(FDepth);
  TvxPendingGuard<TvxPDFObjectPtr> Pending(FPendingItems);
  SkipWhitespace();
  for (;;) {
    TvxPDFObjectPtr V = ParseObject();
    if (!V) break;
    FPendingItems.push_back(std::move(V));
    SkipWhitespace();
    if (AtEnd()) EndOfData();
    if (PeekByte() == ']') break;
  }
  ReadByte();
  auto Array = std::make_unique<TvxPDFArrayObject>();
  Pending.MoveInto(Array->Items);
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
  TvxPendingGuard<std::unique_ptr<TvxPDFNameObject>> PendingKeys(FPendingKeys);
  TvxPendingGuard<TvxPDFObjectPtr> PendingValues(FPendingItems);
  for (;;) {
    SkipWhitespace();
    if (AtEnd()) throw EDictionaryReadError(FormatMessage(msg::DictionaryRead, "end of data"));
    if (NextTwoAre('>')) {
      Skip(2);
      break;
    }
    if (Lenient && PeekByte() != '/') {
      // A value without a key is dropped; every pass consumes a byte.
      if (!ParseObject()) ReadByte();
      continue;
    }
    FPendingKeys.push_back(ReadName());
    FPendingItems.push_back(ParseObject());
  }
  auto Dict = std::make_unique<TvxPDFDictObject>();
  PendingKeys.MoveInto(Dict->Keys);
  PendingValues.MoveInto(Dict->Values);
  return Dict;
}

bool TvxPDFStreamReader::IsEndStreamAt(int64_t Pos) {
  if (Pos < 0 || Pos + static_cast<int64_t>(EndStreamWord.size()) > FSize) return false;
  return std::memcmp(FBuf + Pos, EndStreamWord.data(), EndStreamWord.size()) == 0;
}

int64_t TvxPDFStreamReader::FindEndStream(int64_t From) {
  constexpr std::string_view EndObj = "endobj";
  // Every keyword position of the file is found once; each stream then costs
  // two binary searches, however many streams lack their keyword.
  if (!FKeywordsIndexed) {
    FKeywordsIndexed = true;
    const std::string_view All = Bytes();
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

void TvxPDFStreamReader::LocateStreamData(int32_t Length, int64_t& Start, int64_t& Len) {
  SkipWhitespace();
  if (ReadString(6) != "stream") throw EStreamReadError(std::string(msg::StreamRead));
  Start = FPos;
  Len = 0;
  if (Length == 0) {
    SkipWhitespace();
    return;
  }
  while (!AtEnd() && (PeekByte() == ' ' || PeekByte() == '\t')) ReadByte();
  if (!AtEnd() && PeekByte() == 13) ReadByte();
  if (!AtEnd() && PeekByte() == 10) ReadByte();
  const int64_t S = FPos;
  const int64_t W = static_cast<int64_t>(EndStreamWord.size());
  Start = S;
  Len = Length;
  bool Found = false;
  // Is the given length right?
  if (Len > 0 && S + Len <= FSize) {
    FPos = S + Len;
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
  if (!Found) {
    FPos = FSize;
    Len = -1;
    return;
  }
  Len = std::max<int64_t>(Len, 0);
  // A length of 1 or less right before "endstream" holds nothing.
  if (Len <= 1 && IsEndStreamAt(S)) Len = 0;
  FPos = S + Len;
  SkipWhitespace();
}

std::unique_ptr<TvxMemoryStream> TvxPDFStreamReader::ReadStreamData(int32_t Length,
                                                                    int32_t ObjectNumber,
                                                                    int32_t Generation,
                                                                    TvxPDFDictObject* Dict) {
  int64_t Start = 0, Len = 0;
  LocateStreamData(Length, Start, Len);
  if (ReadString(static_cast<int64_t>(EndStreamWord.size())) != EndStreamWord)
    throw EEndStreamError(std::string(msg::EndStream));
  auto Data = std::make_unique<TvxMemoryStream>();
  if (Len > 0) {
    Data = std::make_unique<TvxMemoryStream>(std::string(FBuf + Start, static_cast<size_t>(Len)));
    if (Decryptor) Decryptor->DecryptStream(*Data, ObjectNumber, Generation, Dict);
    Data->FPosition = 0;
  }
  return Data;
}

TvxStreamData TvxPDFStreamReader::ReadStreamContent(int32_t Length, int32_t ObjectNumber,
                                                    int32_t Generation, TvxPDFDictObject* Dict) {
  if (!Origin) return ReadStreamData(Length, ObjectNumber, Generation, Dict);
  int64_t Start = 0, Len = 0;
  LocateStreamData(Length, Start, Len);
  if (ReadString(static_cast<int64_t>(EndStreamWord.size())) != EndStreamWord)
    throw EEndStreamError(std::string(msg::EndStream));
  return DataInSource(Start, Len, ObjectNumber, Generation, Dict);
}

TvxStreamData TvxPDFStreamReader::DataInSource(int64_t Start, int64_t Len, int32_t ObjectNumber,
                                               int32_t Generation, TvxPDFDictObject* Dict) {
  if (Len <= 0) return std::make_unique<TvxMemoryStream>();
  TvxStreamData Data;
  TvxStreamCrypt Plan;
  if (Decryptor) {
    auto Now = std::make_unique<TvxMemoryStream>();
    const std::string_view Cipher(FBuf + Start, static_cast<size_t>(Len));
    if (!Decryptor->PlanStream(Cipher, ObjectNumber, Generation, Dict, Plan, *Now)) {
      Now->FPosition = 0;
      return Now;
    }
    if (Plan.Method != 0) Plan.Decryptor = Decryptor;
  }
  Data.SetRange(Origin, Start, Len, std::move(Plan));
  return Data;
}

TvxStreamData TvxPDFStreamReader::ReadUnterminatedStreamData(int32_t Length, int32_t ObjectNumber,
                                                             int32_t Generation,
                                                             TvxPDFDictObject* Dict,
                                                             bool LengthMustFit) {
  SkipWhitespace();
  if (ReadString(6) != "stream") throw EStreamReadError(std::string(msg::StreamRead));
  while (!AtEnd() && (PeekByte() == ' ' || PeekByte() == '\t')) ReadByte();
  if (!AtEnd() && PeekByte() == 13) ReadByte();
  if (!AtEnd() && PeekByte() == 10) ReadByte();
  const int64_t S = Position();
  int64_t End = FSize;
  // FindEndStream has indexed the keywords of the data.
  FindEndStream(S);
  auto O = std::lower_bound(FEndObjs.begin(), FEndObjs.end(), S);
  if (O != FEndObjs.end()) End = *O;
  if (Length >= 0 && S + Length <= End)
    End = S + Length;
  else if (LengthMustFit)
    throw EEndStreamError(std::string(msg::EndStream));
  if (Origin) {
    FPos = End;
    return DataInSource(S, End - S, ObjectNumber, Generation, Dict);
  }
  FPos = S;
  auto Data = std::make_unique<TvxMemoryStream>(ReadString(End - S));
  if (Decryptor) Decryptor->DecryptStream(*Data, ObjectNumber, Generation, Dict);
  Data->FPosition = 0;
  return Data;
}

int32_t TvxPDFStreamReader::FindStartXRef() {
  const std::string_view All = Bytes();
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
  std::unique_ptr<TvxPDFDictObject> Dict = ObjectTake<TvxPDFDictObject>(Obj);
  if (!Dict) throw EInvalidCast(std::string(msg::InvalidTypecast));
  return Dict;
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
