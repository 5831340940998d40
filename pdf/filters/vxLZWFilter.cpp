#include "pdf/filters/vxLZWFilter.h"

#include <cstdint>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {
constexpr unsigned ClearCode = 256;
constexpr unsigned EndOfDataCode = 257;
constexpr size_t MaxEntries = 4096;  // 12-bit codes
constexpr unsigned MaxCodeWidth = 12;
}  // namespace

void TvxLZWFilter::ResetTable() {
  // Entries 0..256 never change, so a Clear only drops what was learnt.
  if (FTable.size() >= 257) {
    FTable.resize(257);
    return;
  }
  FTable.clear();
  FTable.reserve(MaxEntries);
  for (unsigned B = 0; B < 256; ++B) FTable.emplace_back(1, static_cast<char>(B));
  FTable.emplace_back(1, '\0');
}

std::string TvxLZWFilter::DecodeString(const std::string& Source) {
  ResetTable();
  std::string Out;
  unsigned Width = 9;
  uint64_t Buffer = 0;
  unsigned Bits = 0;
  size_t Pos = 0;
  bool HavePrev = false;
  unsigned Prev = 0;
  const unsigned Early = FEarlyChange ? 1 : 0;

  for (;;) {
    while (Bits <= 32 && Pos < Source.size()) {
      Buffer = (Buffer << 8) | static_cast<uint8_t>(Source[Pos++]);
      Bits += 8;
    }
    // Fewer bits than a code: the padding of the last byte.
    if (Bits < Width) break;
    unsigned Code = static_cast<unsigned>(Buffer >> (Bits - Width)) & ((1u << Width) - 1);
    Bits -= Width;

    if (Code == ClearCode) {
      ResetTable();
      Width = 9;
      HavePrev = false;
      continue;
    }
    if (Code == EndOfDataCode) break;

    const size_t Size = FTable.size();
    std::string Entry;
    if (Code < Size) {
      Entry = FTable[Code];
    } else if (Code == Size && HavePrev) {
      Entry = FTable[Prev];
      Entry.push_back(FTable[Prev][0]);
    } else {
      throw Exception(FormatMessage(msg::InvalidLZWCode, int64_t{Code}));
    }
    CheckDecodedSize(Out.size() + Entry.size());
    Out += Entry;

    // A full table stays as it is until the encoder sends Clear.
    if (Size < MaxEntries) {
      if (HavePrev) {
        std::string New = FTable[Prev];
        New.push_back(Entry[0]);
        FTable.push_back(std::move(New));
      } else {
        // Right after a reset: the filler at 257 that no code refers to.
        FTable.emplace_back(1, Entry[0]);
      }
      if (FTable.size() + Early >= (size_t{1} << Width) && Width < MaxCodeWidth) ++Width;
    }
    Prev = Code;
    HavePrev = true;
  }
  return Out;
}

}  // namespace vx
