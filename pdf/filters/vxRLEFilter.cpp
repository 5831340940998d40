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
  Out.reserve(Source.size() + Source.size() / 128 + 2);
  TvxRLEEncoder().Update(Source, true, Out);
  return Out;
}

void TvxRLEEncoder::Step(char X, bool HasNext, char Next, std::string& Out) {
  if (X == FCur) {
    if (++FN >= 3 && !FLit.empty()) FlushLiterals(Out, FLit);
    return;
  }
  if (FN >= 3) {
    EmitRun(Out, FCur, FN);
  } else if (FN == 2) {
    // A pair is cheaper inside a literal unless another run follows.
    if (FLit.empty()) {
      EmitRun(Out, FCur, 2);
    } else if (!HasNext || Next != X) {
      FLit.push_back(FCur);
      FLit.push_back(FCur);
    } else {
      FlushLiterals(Out, FLit);
      EmitRun(Out, FCur, 2);
    }
  } else {
    FLit.push_back(FCur);
  }
  FCur = X;
  FN = 1;
  // More than a packet: the first 128 bytes are a full packet whatever
  // follows, so they need not wait.
  if (FLit.size() > 128) {
    Out.push_back(static_cast<char>(127));
    Out.append(FLit, 0, 128);
    FLit.erase(0, 128);
  }
}

void TvxRLEEncoder::Update(std::string_view Piece, bool Last, std::string& Out) {
  for (char B : Piece) {
    if (!FStarted) {
      FStarted = true;
      FCur = B;
      FN = 1;
      continue;
    }
    if (FHasPending) Step(FPending, true, B, Out);
    FPending = B;
    FHasPending = true;
  }
  if (!Last) return;
  if (FHasPending) Step(FPending, false, 0, Out);
  FHasPending = false;
  if (FStarted) {
    if (FN == 1) FLit.push_back(FCur);
    if (!FLit.empty()) FlushLiterals(Out, FLit);
    if (FN > 1) EmitRun(Out, FCur, FN);
  }
  Out.push_back(static_cast<char>(EndOfDataCode));
  FLit.clear();
  FStarted = false;
  FN = 0;
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
