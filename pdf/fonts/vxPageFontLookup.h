// Which font of a page's font dictionary shows the watermark, remembered for
// one stamping: pages mostly share their dictionaries or name the same font
// objects, and a dictionary judged once is not searched again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdf/fonts/vxFontResources.h"
#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxPageFontLookup {
 public:
  // Always the same Font, FontEncoding and FontEmbedding for one lookup.
  TvxPageFontLookup(TvxFontResources& Resources, const TvxFont& Font, uint8_t FontEncoding,
                    uint8_t FontEmbedding);

  // The key (with slash) of a font in FontDict (nil allowed) that shows the
  // text, or the name a page with a large dictionary judged before was
  // given; empty when there is none.
  std::string Find(const TvxPDFDictObject* FontDict);
  // Once the page is stamped: FontName is the name its watermark shows, the
  // one found or one added to the dictionary the last Find was given.
  void Settle(const std::string& FontName);

 private:
  TvxFontResources& FResources;
  const TvxFont& FFont;
  uint8_t FEncoding, FEmbedding;

  // The answer depends only on the keys and the objects they name, in order.
  // A dictionary is compared with the first one judged that had its
  // entries, as that one was then (entries are only ever added after).
  // Those with one hash are chained in the order judged.
  struct TvxJudged {
    const TvxPDFDictObject* Dict;
    int32_t Count;
    int32_t Next;
    std::string Name;
  };
  struct TvxHashAsIs {
    uint64_t operator()(uint64_t H) const { return H; }
  };
  std::vector<TvxJudged> FJudged;
  TvxFlatIndex<uint64_t, TvxHashAsIs> FFirstJudged;
  // A dictionary met again (pages taking turns with shared ones) gives the
  // name it gave before, the font it had or the one added to it, without its
  // entries being hashed or searched again.
  TvxFlatIndex<const TvxPDFDictObject*, TvxFontLookupCache::TvxDictHash> FJudgedDicts;
  std::vector<std::string> FDictNames;
  TvxFontLookupCache FCache;
  // The dictionary of the page before, when its font was found there.
  const TvxPDFDictObject* FLastDict = nullptr;
  std::string FLastFound;
  // What the last Find was given and answered.
  const TvxPDFDictObject* FDict = nullptr;
  int32_t FSlot = -1;
  std::string FFound;
};

}  // namespace vx
