// PDF font objects for watermark text: finding a usable font among a page's
// resources and creating simple or composite fonts in the document's store.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/fonts/vxPDFFont.h"
#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

// Indexed by FontEncoding.
inline constexpr std::string_view EncodingNames[5] = {"WinAnsiEncoding", "MacRomanEncoding",
                                                      "MacExpertEncoding", "StandardEncoding",
                                                      "PDFDocEncoding"};

// FontEmbedding values.
inline constexpr uint8_t feNone = 0;
inline constexpr uint8_t feFull = 1;
inline constexpr uint8_t feSubset = 2;

// The face name without spaces, then ",Bold", ",Italic" or ",BoldItalic".
std::string MakeBaseFontName(const TvxFont& Font);
std::string MakeBaseFontName(const TvxPDFFont& Font);
// Text of a PDF name (with its slash) for Raw: delimiters, white space and
// bytes outside 33..126 written as #xx.
std::string EscapePDFName(std::string_view Raw);
// Flate at the default level.
std::unique_ptr<TvxMemoryStream> CompressFontStream(const std::string& Data);
// The /W array of a CIDFontType2 from glyph widths (glyph 0 left to /DW),
// only for the glyphs marked in Keep when given.
std::unique_ptr<TvxPDFArrayObject> BuildWidthsArray(const std::vector<int32_t>& GlyphWidths,
                                                    const std::vector<bool>* Keep = nullptr);

// What one stamping learnt about font entries, for one font and encoding:
// the text of the font's own names, and each entry dictionary judged so far
// (pages share font objects, and judging one resolves several names). Valid
// only while no judged dictionary is freed, so it lives for one stamping.
struct TvxFontLookupCache {
  bool Prepared = false;
  bool Usable = true;  // false: no entry can show the text
  bool Composite = false;
  int64_t ProgramSize = 0;
  uint8_t Embedding = 0;
  std::array<int32_t, 224> Widths{};
  std::string BaseFont, Subtype, Encoding;
  // Each font dictionary met, with its verdict (1 usable, 0 not).
  struct TvxDictHash {
    uint64_t operator()(const TvxPDFDictObject* D) const {
      return MixIndexKey(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(D)));
    }
  };
  TvxFlatIndex<const TvxPDFDictObject*, TvxDictHash> Judged;
};

class TvxFontResources {
 public:
  TvxFontResources(TvxPDFObjectStore& Store, const std::vector<TvxPDFIndirectObject*>& Pages,
                   int32_t DocumentID)
      : FStore(Store), FPages(Pages), FDocumentID(DocumentID) {}

  // Looks in a page's font dictionary (nil allowed) for a font that shows
  // text in Font with FontEncoding, with our widths and embedded as
  // FontEmbedding asks. ResourceName gets the key (with slash) of the first
  // usable entry, or empty; returns whether one was found.
  bool FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                        std::string& ResourceName, uint8_t FontEncoding, uint8_t FontEmbedding = 0);
  // The same, remembering in Cache what it learnt (always the same Font,
  // FontEncoding and FontEmbedding with one Cache).
  bool FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                        std::string& ResourceName, uint8_t FontEncoding, uint8_t FontEmbedding,
                        TvxFontLookupCache& Cache);
  // A usable font already in the document's pages, else a new font object
  // with everything it needs, all added to the store and marked for output.
  // Text is the watermark text, used to collect the characters of a subset.
  std::unique_ptr<TvxPDFIndirectReference> CreateFontResource(const TvxFont& Font,
                                                              const std::string& ResourceName,
                                                              uint8_t FontEmbedding,
                                                              uint8_t FontEncoding,
                                                              std::u16string_view Text);

  // The pieces. Program is the font file to embed (whole or subset), empty
  // for none; FontName and BaseFont are name texts with their slash.
  std::unique_ptr<TvxPDFIndirectReference> BuildFontDescriptor(const TvxPDFFont& Font,
                                                               uint8_t FontEmbedding,
                                                               const std::string& Program,
                                                               const std::string& FontName);
  std::unique_ptr<TvxPDFIndirectReference> BuildCIDFont(const TvxPDFFont& Font,
                                                        uint8_t FontEmbedding,
                                                        const std::string& Program,
                                                        const std::string& BaseFont);

 private:
  // A new indirect object in the store, marked used once.
  TvxPDFIndirectObject* AddNew(TvxPDFObjectPtr Value);
  std::unique_ptr<TvxPDFIndirectReference> AddFontStream(const std::string& Data, bool WithLength1);
  // The font's ToUnicode CMap as a new compressed stream object.
  std::unique_ptr<TvxPDFIndirectReference> BuildToUnicodeStream(const TvxPDFFont& Font);

  TvxPDFObjectStore& FStore;
  const std::vector<TvxPDFIndirectObject*>& FPages;
  int32_t FDocumentID;
};

}  // namespace vx
