// Shared helpers of the codec tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>

namespace vx::test {

inline std::string Bytes(std::initializer_list<int> Values) {
  std::string S;
  for (int V : Values) S.push_back(static_cast<char>(V));
  return S;
}

// Long runs, short runs and noise, reproducible from Seed.
inline std::string MixedData(size_t Size, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::string S;
  while (S.size() < Size) {
    uint32_t Kind = Rng() % 4;
    size_t Len = 1 + Rng() % (Kind == 0 ? 300 : 8);
    char C = static_cast<char>(Rng() % (Kind == 3 ? 3 : 256));
    for (size_t I = 0; I < Len && S.size() < Size; ++I)
      S.push_back(Kind == 1 ? static_cast<char>(Rng()) : C);
  }
  return S;
}

// Packs codes most significant bit first, the last byte padded with zeros.
class BitWriter {
 public:
  void Put(unsigned Code, unsigned Width) {
    for (unsigned I = Width; I-- > 0;) {
      FAcc = static_cast<uint8_t>((FAcc << 1) | ((Code >> I) & 1));
      if (++FBits == 8) Flush();
    }
  }
  std::string Finish() {
    if (FBits) Put(0, 8 - FBits);
    return FOut;
  }

 private:
  void Flush() {
    FOut.push_back(static_cast<char>(FAcc));
    FAcc = 0;
    FBits = 0;
  }
  std::string FOut;
  uint8_t FAcc = 0;
  unsigned FBits = 0;
};

// LZW: Clear, then Codes, all nine bits wide.
inline std::string Codes9(std::initializer_list<unsigned> Codes) {
  BitWriter W;
  W.Put(256, 9);
  for (unsigned C : Codes) W.Put(C, 9);
  return W.Finish();
}

struct LzwOptions {
  bool EarlyChange = true;
  bool ClearWhenFull = true;  // otherwise code on with a full table
  bool EndMarker = true;
};

// A textbook LZW encoder, written apart from the decoder under test.
inline std::string LzwEncode(const std::string& Data, LzwOptions Opt = {}) {
  BitWriter W;
  std::map<std::string, unsigned> Dict;
  unsigned Next = 258, Width = 9;
  auto Reset = [&] {
    Dict.clear();
    for (unsigned B = 0; B < 256; ++B) Dict[std::string(1, static_cast<char>(B))] = B;
    Next = 258;
    Width = 9;
  };
  // The decoder learns one entry per code, one code behind the encoder.
  auto Learnt = [&] {
    if (Next < 4096) ++Next;
    if (Width < 12 && Next >= (1u << Width) + (Opt.EarlyChange ? 0 : 1)) ++Width;
  };
  Reset();
  W.Put(256, Width);
  std::string Cur;
  for (char C : Data) {
    if (Dict.count(Cur + C)) {
      Cur += C;
      continue;
    }
    W.Put(Dict[Cur], Width);
    if (Next < 4096) Dict[Cur + C] = Next;
    Learnt();
    if (Next == 4096 && Opt.ClearWhenFull) {
      W.Put(256, Width);
      Reset();
    }
    Cur = std::string(1, C);
  }
  if (!Cur.empty()) {
    W.Put(Dict[Cur], Width);
    Learnt();
  }
  if (Opt.EndMarker) W.Put(257, Width);
  return W.Finish();
}

}  // namespace vx::test
