#include "pdf/fonts/vxPageFontLookup.h"

#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

// Dictionaries with more entries than this are remembered by address; a
// small one is judged again at little cost, and remembering every page's
// would cost memory.
constexpr int32_t LargeDictionary = 32;

// Resource names are short: a byte loop beats a general string hash. It
// starts from the process's seed, and every key is mixed again below.
uint64_t NameHash(std::string_view Text) {
  uint64_t H = IndexKeySeed ^ Text.size();
  for (char C : Text) H = (H ^ static_cast<uint8_t>(C)) * 0x100000001B3ull;
  return H;
}

// A font dictionary's entries as the stamper judges them: the keys, and the
// objects they name (a reference by its numbers, a direct value by its
// address: one reference always reaches the same object).
uint64_t FontEntriesHash(const TvxPDFDictObject& Dict) {
  uint64_t H = MixIndexKey(static_cast<uint64_t>(Dict.Count()));
  for (size_t I = 0; I < Dict.Keys.size(); ++I) {
    const TvxPDFNameObject* K = Dict.Keys[I].get();
    const TvxPDFObject* V = Dict.Values[I].get();
    uint64_t Part = K ? NameHash(K->Text) : 0;
    if (const auto* R = ObjectAs<TvxPDFIndirectReference>(V)) {
      Part ^= static_cast<uint64_t>(static_cast<uint32_t>(R->ObjectNumber)) << 1 ^
              static_cast<uint64_t>(R->Generation) << 33 ^
              static_cast<uint64_t>(static_cast<uint32_t>(R->DocumentID)) << 49;
    } else {
      Part ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(V));
    }
    H = MixIndexKey(H ^ Part);
  }
  return H;
}

// True when Dict holds exactly the first Count entries of Earlier, in order,
// by the same reading.
bool SameFontEntries(const TvxPDFDictObject& Earlier, int32_t Count, const TvxPDFDictObject& Dict) {
  if (Dict.Count() != Count || Earlier.Count() < Count) return false;
  for (size_t I = 0; I < static_cast<size_t>(Count); ++I) {
    const TvxPDFNameObject* A = Earlier.Keys[I].get();
    const TvxPDFNameObject* B = Dict.Keys[I].get();
    if (!A != !B || (A && A->Text != B->Text)) return false;
    const TvxPDFObject* X = Earlier.Values[I].get();
    const TvxPDFObject* Y = Dict.Values[I].get();
    if (X == Y) continue;
    const auto* R = ObjectAs<TvxPDFIndirectReference>(X);
    const auto* T = ObjectAs<TvxPDFIndirectReference>(Y);
    if (!R || !T) return false;
    if (R->ObjectNumber != T->ObjectNumber || R->DocumentID != T->DocumentID ||
        R->Generation != T->Generation)
      return false;
  }
  return true;
}

}  // namespace

TvxPageFontLookup::TvxPageFontLookup(TvxFontResources& Resources, const TvxFont& Font,
                                     uint8_t FontEncoding, uint8_t FontEmbedding)
    : FResources(Resources), FFont(Font), FEncoding(FontEncoding), FEmbedding(FontEmbedding) {}

std::string TvxPageFontLookup::Find(const TvxPDFDictObject* FontDict) {
  FDict = FontDict;
  FSlot = -1;
  FFound.clear();
  if (!FontDict) return FFound;
  if (FontDict == FLastDict) {
    // Nothing is added to a dictionary that had a usable font.
    FFound = FLastFound;
  } else if ((FSlot = FJudgedDicts.Find(FontDict)) >= 0) {
    FFound = FDictNames[static_cast<size_t>(FSlot)];
  } else {
    const uint64_t Hash = FontEntriesHash(*FontDict);
    int32_t Last = -1;
    int32_t I = FFirstJudged.Find(Hash);
    while (I >= 0 && !SameFontEntries(*FJudged[I].Dict, FJudged[I].Count, *FontDict)) {
      Last = I;
      I = FJudged[I].Next;
    }
    if (I < 0) {
      FResources.FindFontResource(FontDict, FFont, FFound, FEncoding, FEmbedding, FCache);
      const auto New = static_cast<int32_t>(FJudged.size());
      FJudged.push_back(TvxJudged{FontDict, FontDict->Count(), -1, FFound});
      if (Last < 0)
        FFirstJudged.Insert(Hash, New);
      else
        FJudged[Last].Next = New;
    } else {
      FFound = FJudged[I].Name;
    }
    if (FontDict->Count() > LargeDictionary) {
      FSlot = static_cast<int32_t>(FDictNames.size());
      FJudgedDicts.Insert(FontDict, FSlot);
      FDictNames.push_back(FFound);
    }
  }
  return FFound;
}

void TvxPageFontLookup::Settle(const std::string& FontName) {
  if (FSlot >= 0 && FFound.empty()) FDictNames[static_cast<size_t>(FSlot)] = FontName;
  if (FDict && FontName == FFound) {
    FLastDict = FDict;
    FLastFound = FFound;
  } else {
    FLastDict = nullptr;
  }
}

}  // namespace vx
