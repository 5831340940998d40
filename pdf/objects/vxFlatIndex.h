// A hash index from keys to list positions in one flat array: open
// addressing with linear probing, one allocation however many entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

// Differs from process to process, so that object numbers chosen by a file
// cannot be made to pile up in one run of slots.
extern const uint64_t IndexKeySeed;

// Spreads a 64-bit key over all bits.
inline uint64_t MixIndexKey(uint64_t X) {
  X ^= IndexKeySeed;
  X ^= X >> 33;
  X *= 0xFF51AFD7ED558CCDull;
  X ^= X >> 33;
  X *= 0xC4CEB9FE1A85EC53ull;
  X ^= X >> 33;
  return X;
}

struct TvxNoPayload {};

// TKey: equality-comparable and default-constructible; THash gives its
// 64-bit hash. Positions are never negative: -1 marks an empty slot and
// stands for "absent". A payload kept beside the position spares the caller
// a second memory access for what the position leads to. Entries are never
// removed.
template <typename TKey, typename THash, typename TPayload = TvxNoPayload>
class TvxFlatIndex {
 public:
  struct TvxSlot {
    TKey Key;
    int32_t Index;
    [[no_unique_address]] TPayload Payload;
  };

  // The position stored for Key, or -1.
  int32_t Find(const TKey& Key) const {
    const TvxSlot* S = FindSlot(Key);
    return S ? S->Index : -1;
  }

  // The entry of Key, or nil.
  const TvxSlot* FindSlot(const TKey& Key) const {
    if (FCount == 0) return nullptr;
    for (size_t I = Start(Key);; I = (I + 1) & FMask) {
      const TvxSlot& S = FSlots[I];
      if (S.Index < 0) return nullptr;
      if (S.Key == Key) return &S;
    }
  }

  // Stores Index for Key unless Key is already there: the first one stays.
  // True when it was stored.
  bool Insert(const TKey& Key, int32_t Index, TPayload Payload = {}) {
    if ((FCount + 1) * 10 > FSlots.size() * 7) Grow();
    return Place(TvxSlot{Key, Index, Payload});
  }

  size_t Count() const { return FCount; }
  size_t Capacity() const { return FSlots.size(); }

  void Clear() {
    FSlots = {};
    FMask = 0;
    FCount = 0;
  }

 private:
  size_t Start(const TKey& Key) const { return static_cast<size_t>(THash{}(Key)) & FMask; }

  bool Place(const TvxSlot& New) {
    for (size_t I = Start(New.Key);; I = (I + 1) & FMask) {
      TvxSlot& S = FSlots[I];
      if (S.Index < 0) {
        S = New;
        ++FCount;
        return true;
      }
      if (S.Key == New.Key) return false;
    }
  }

  // Doubles the slots (at most 70 % in use after an insert) and places the
  // entries again; their keys are distinct, so their order does not matter.
  void Grow() {
    std::vector<TvxSlot> Old(FSlots.size() < 16 ? 16 : FSlots.size() * 2, TvxSlot{TKey{}, -1, {}});
    Old.swap(FSlots);
    FMask = FSlots.size() - 1;
    FCount = 0;
    for (const TvxSlot& S : Old)
      if (S.Index >= 0) Place(S);
  }

  std::vector<TvxSlot> FSlots;
  size_t FMask = 0;
  size_t FCount = 0;
};

}  // namespace vx
