// Text in any script laid out on one line: each character given a face that
// has it (the chosen face first, installed faces after), the line ordered
// for display (mixed right-to-left and left-to-right text) and each run of
// one face, script and direction shaped into positioned glyphs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/objects/vxDocumentExceptions.h"
#include "platform/vxFontService.h"

namespace vx {

// A character that no installed font has.
VX_DECLARE_EXCEPTION(EMissingGlyphError, EUnsupportedFontError)

namespace msg {
inline constexpr std::string_view MissingGlyph = "No installed font has the character %s";
}

// U+XXXX and the character itself, as messages name a character.
std::string DescribeCharacter(char32_t C);

// One glyph as the line shows it; lengths in thousandths of the em.
struct TvxShapedGlyph {
  uint32_t Face = 0;  // index into the shaper's faces
  uint16_t GlyphID = 0;
  double Advance = 0;
  double XOffset = 0, YOffset = 0;
  // The characters the glyph stands for: a cluster's characters shared out
  // among its glyphs (a ligature carries several, a glyph may carry none).
  std::u16string Chars;
};

// A line in display order, left to right.
struct TvxShapedLine {
  std::vector<TvxShapedGlyph> Glyphs;
  double Width = 0;  // thousandths of the em
};

// A face the shaper draws with.
struct TvxShapingFace {
  std::shared_ptr<const TvxPlatformFont> Font;
  std::shared_ptr<const std::string> Data;  // sfnt
  uint32_t UnitsPerEm = 1000;
};

class TvxTextShaper {
 public:
  // Shapes text for Font (face, bold, italic; the size plays no part).
  explicit TvxTextShaper(const TvxFont& Font);
  ~TvxTextShaper();
  TvxTextShaper(const TvxTextShaper&) = delete;
  TvxTextShaper& operator=(const TvxTextShaper&) = delete;

  // One line (no line ends; a tab counts as a space, other control
  // characters are left out). A character no installed face has raises
  // EMissingGlyphError naming it.
  TvxShapedLine ShapeLine(std::u16string_view Line);
  // Raises EMissingGlyphError for the first character of Text (line ends
  // allowed) that no installed face has; shapes nothing.
  void CheckCoverage(std::u16string_view Text);

  size_t FaceCount() const { return FFaces.size(); }
  const TvxShapingFace& Face(size_t I) const { return *FFaces[I]; }

  struct TvxHbFace;

 private:
  // The face for C, drawing it; -1 when none has it.
  int32_t FaceFor(char32_t C);
  bool FaceHas(int32_t Face, char32_t C) const;
  int32_t AddFace(std::shared_ptr<const TvxPlatformFont> Font);

  TvxLogFont FLogFont;
  std::vector<std::unique_ptr<TvxShapingFace>> FFaces;
  std::vector<std::unique_ptr<TvxHbFace>> FHb;
  // Characters looked up outside the chosen face: the face, or -1.
  std::unordered_map<char32_t, int32_t> FFallbacks;
};

}  // namespace vx
