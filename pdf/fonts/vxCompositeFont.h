// Composite fonts for text in any script: a /Type0 font with /Identity-H
// over one installed face, showing the glyphs that shaping chose, with the
// face embedded as a subset of those glyphs and a ToUnicode map that gives
// each glyph back its characters.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxCompositeFont {
 public:
  // Face is an sfnt (TrueType glyf outlines or CFF-based OpenType); data
  // that is neither, or whose tables do not fit, raises EFontFileError.
  // BaseName is the PDF name of the face without slash or subset tag (say
  // "DejaVuSans" or "DejaVuSans,Bold").
  TvxCompositeFont(std::shared_ptr<const std::string> Face, std::string BaseName);
  ~TvxCompositeFont();
  TvxCompositeFont(const TvxCompositeFont&) = delete;
  TvxCompositeFont& operator=(const TvxCompositeFont&) = delete;

  // True for CFF outlines (a /CIDFontType0 with /FontFile3 /OpenType).
  bool IsCFF() const;
  // Glyphs in the face (maxp).
  uint32_t GlyphCount() const;
  // Advance of glyph G in thousandths of the em, as /W gives it.
  int32_t GlyphWidth(uint16_t G) const;

  // Marks glyph G as shown, standing for the characters Chars (a ligature
  // or cluster gives several; a glyph that already has characters keeps
  // them). A glyph outside the face is ignored.
  void AddGlyph(uint16_t G, std::u16string_view Chars);

  // Adds the font objects to Store (/Type0, descendant, descriptor, font
  // file and ToUnicode streams, each a new indirect object marked for
  // output) and returns a reference to the /Type0 font. Called once.
  std::unique_ptr<TvxPDFIndirectReference> Build(TvxPDFObjectStore& Store, int32_t DocumentID,
                                                 const std::string& ResourceName);
  // The two-byte code the content stream writes for glyph G (its CID);
  // valid after Build for glyphs added before it.
  uint16_t CodeOf(uint16_t G) const;

  struct TvxImpl;

 private:
  std::unique_ptr<TvxImpl> FImpl;
};

}  // namespace vx
