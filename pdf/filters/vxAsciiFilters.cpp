#include "pdf/filters/vxAsciiFilters.h"

#include <cstdint>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

bool IsSkippedSpace(char C) {
  return C == ' ' || C == '\n' || C == '\r' || C == '\t';
}

[[noreturn]] void Fail(std::string_view Message) {
  throw Exception(std::string(Message));
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  return -1;
}

}  // namespace

std::string TvxAsciiHexFilter::DecodeString(const std::string& Source) {
  if (Source.empty() || Source.back() != '>') Fail(msg::EndOfDataMarkerWrong);
  std::string Out;
  Out.reserve(Source.size() / 2);
  int High = -1;
  for (char C : Source) {
    if (C == '>') break;
    if (IsSkippedSpace(C)) continue;
    int D = HexDigit(C);
    if (D < 0) Fail(msg::IllegalCharacter);
    if (High < 0) {
      High = D;
    } else {
      Out.push_back(static_cast<char>(High * 16 + D));
      High = -1;
    }
  }
  if (High >= 0) Out.push_back(static_cast<char>(High * 16));
  return Out;
}

std::string TvxAscii85Filter::DecodeString(const std::string& Source) {
  if (Source.size() < 2 || Source.compare(Source.size() - 2, 2, "~>") != 0)
    Fail(msg::EndOfDataMarkerWrong);
  const size_t End = Source.size() - 2;
  std::string Out;
  Out.reserve(End / 5 * 4 + 4);
  uint64_t Value = 0;
  int Count = 0;
  auto Put = [&Out](uint64_t V, int N) {
    if (V > 0xFFFFFFFFu) Fail(msg::Ascii85GroupOverflow);
    CheckDecodedSize(Out.size() + static_cast<size_t>(N));
    for (int I = 0; I < N; ++I) Out.push_back(static_cast<char>(V >> (24 - 8 * I)));
  };
  for (size_t I = 0; I < End; ++I) {
    char C = Source[I];
    if (IsSkippedSpace(C)) continue;
    if (C == 'z') {
      if (Count != 0) Fail(msg::ZInappropriate);
      Put(0, 4);
    } else if (C >= '!' && C <= 'u') {
      Value = Value * 85 + static_cast<uint64_t>(C - '!');
      if (++Count == 5) {
        Put(Value, 4);
        Value = 0;
        Count = 0;
      }
    } else {
      Fail(msg::IllegalCharacter);
    }
  }
  if (Count == 1) Fail(msg::SingleFinalCharacter);
  if (Count > 1) {
    // The missing digits count as "u"; only the first Count - 1 bytes are real.
    for (int I = Count; I < 5; ++I) Value = Value * 85 + 84;
    Put(Value, Count - 1);
  }
  return Out;
}

}  // namespace vx
