#include "pdf/filters/vxRLEFilter.h"

#include <cstdint>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

constexpr uint8_t EndOfDataCode = 128;

void FlushLiterals(std::string& Out, std::string& Lit) {
  size_t Pos = 0;
  while (Lit.size() - Pos > 128) {
    Out.push_back(static_cast<char>(127));
    Out.append(Lit, Pos, 128);
    Pos += 128;
  }
  Out.push_back(static_cast<char>(Lit.size() - Pos - 1));
  Out.append(Lit, Pos, std::string::npos);
  Lit.clear();
}

void EmitRun(std::string& Out, char Cur, size_t N) {
  while (N > 128) {
    Out.push_back(static_cast<char>(129));
    Out.push_back(Cur);
    N -= 128;
  }
  // A remainder of 1 comes out as the literal pair 0, Cur.
  Out.push_back(static_cast<char>((257 - N) % 256));
  Out.push_back(Cur);
}

}  // namespace

std::string TvxRLEFilter::EncodeString(const std::string& Source) {
  std::string Out;
  if (Source.empty()) return std::string(1, static_cast<char>(EndOfDataCode));
  Out.reserve(Source.size() + Source.size() / 128 + 2);
  std::string Lit;
  char Cur = Source[0];
  size_t N = 1;
  for (size_t I = 1; I < Source.size(); ++I) {
    char X = Source[I];
    if (X == Cur) {
      if (++N >= 3 && !Lit.empty()) FlushLiterals(Out, Lit);
      continue;
    }
    if (N >= 3) {
      EmitRun(Out, Cur, N);
    } else if (N == 2) {
      // A pair is cheaper inside a literal unless another run follows.
      if (Lit.empty()) {
        EmitRun(Out, Cur, 2);
      } else if (I + 1 == Source.size() || Source[I + 1] != X) {
        Lit.push_back(Cur);
        Lit.push_back(Cur);
      } else {
        FlushLiterals(Out, Lit);
        EmitRun(Out, Cur, 2);
      }
    } else {
      Lit.push_back(Cur);
    }
    Cur = X;
    N = 1;
  }
  if (N == 1) Lit.push_back(Cur);
  if (!Lit.empty()) FlushLiterals(Out, Lit);
  if (N > 1) EmitRun(Out, Cur, N);
  Out.push_back(static_cast<char>(EndOfDataCode));
  return Out;
}

std::string TvxRLEFilter::DecodeString(const std::string& Source) {
  if (Source.empty() || static_cast<uint8_t>(Source.back()) != EndOfDataCode)
    throw Exception(std::string(msg::RLEEndOfDataMarkerWrong));
  const size_t Last = Source.size() - 1;  // the end-of-data byte
  std::string Out;
  size_t Pos = 0;
  while (Pos < Last) {
    uint8_t B = static_cast<uint8_t>(Source[Pos]);
    if (B == EndOfDataCode) throw Exception(std::string(msg::PrematureEndOfData));
    if (B < EndOfDataCode) {
      size_t Len = size_t{B} + 1;
      if (Pos + 1 + Len > Last) throw Exception(std::string(msg::UnexpectedEndOfFile));
      CheckDecodedSize(Out.size() + Len);
      Out.append(Source, Pos + 1, Len);
      Pos += Len + 1;
    } else {
      if (Pos + 1 >= Last) throw Exception(std::string(msg::UnexpectedEndOfFile));
      size_t Len = 257 - size_t{B};
      CheckDecodedSize(Out.size() + Len);
      Out.append(Len, Source[Pos + 1]);
      Pos += 2;
    }
  }
  return Out;
}

}  // namespace vx
