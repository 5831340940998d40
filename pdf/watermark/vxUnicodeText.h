// Watermark text beyond the single-byte encodings: its lines shaped once,
// one composite font for each face they use, subset to the glyphs of every
// page's text, and the content-stream text that shows a line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/fonts/vxCompositeFont.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/text/vxTextShaper.h"
#include "platform/vxFontService.h"

namespace vx {

// Whether Text goes out as shaped glyphs in composite fonts rather than as
// single-byte text: a character the system code page or the encoding
// (FontEncoding) lacks, or a face of a character set that needs composite
// fonts. A symbolic face keeps its own encoding.
bool NeedsUnicodeText(std::u16string_view Text, const TvxFont& Font, uint8_t FontEncoding);

class TvxUnicodeText {
 public:
  explicit TvxUnicodeText(const TvxFont& Font);
  ~TvxUnicodeText();
  TvxUnicodeText(const TvxUnicodeText&) = delete;
  TvxUnicodeText& operator=(const TvxUnicodeText&) = delete;

  // Shapes the lines of Text (CR LF, CR and LF end a line) and marks their
  // glyphs for the fonts; before BuildFonts. A character no installed face
  // has raises EMissingGlyphError.
  void AddText(std::u16string_view Text);
  // Adds a composite font for each face the text uses to Store, named by
  // NewName in face order.
  void BuildFonts(TvxPDFObjectStore& Store, int32_t DocumentID,
                  const std::function<std::string()>& NewName);

  size_t FontCount() const { return FFonts.size(); }
  // The name drawn for font I and a reference to it.
  const std::string& CreatedName(size_t I) const { return FFonts[I].Name; }
  const TvxPDFIndirectReference& FontRef(size_t I) const { return *FFonts[I].Ref; }

  // The shaped line, shaped at most once.
  const TvxShapedLine& Line(std::u16string_view Text);
  // The text's lines, split as AddText splits them.
  static std::vector<std::u16string_view> SplitLines(std::u16string_view Text);
  // Text operators showing Line at size F, each glyph in the font of its
  // face: Names holds the page's names of the fonts, in font order.
  void WriteLine(const TvxShapedLine& Line, const std::vector<std::string>& Names, double F,
                 std::string& Content) const;

 private:
  struct TvxFontEntry {
    size_t Face;
    std::string Name;
    std::unique_ptr<TvxPDFIndirectReference> Ref;
  };
  TvxFont FFont;
  TvxTextShaper FShaper;
  std::unordered_map<std::u16string, TvxShapedLine> FLines;
  // By shaper face: the composite font, made as the face is first used.
  std::vector<std::unique_ptr<TvxCompositeFont>> FByFace;
  TvxCompositeFont& FontOfFace(size_t Face);
  // The fonts built, and the index among them of each face (-1 unused).
  std::vector<TvxFontEntry> FFonts;
  std::vector<int32_t> FFontOfFace;
  bool FBuilt = false;
};

}  // namespace vx
