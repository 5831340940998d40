// Bounded reading of TrueType font files: table directory, Windows Unicode
// cmap, horizontal metrics and subsetting. Every byte is untrusted: a read
// outside a table or the file raises EFontFileError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxDocumentExceptions.h"

namespace vx {

VX_DECLARE_EXCEPTION(EFontFileError, EPDFException)

namespace msg {
inline constexpr std::string_view DamagedFontFile = "Damaged font file (%s)";
}

// Big-endian reads inside one piece of font data; a read past its end
// raises EFontFileError naming Name.
class TvxTableReader {
 public:
  TvxTableReader(std::string_view Data, std::string_view Name) : D(Data), FName(Name) {}
  void Need(size_t Pos, size_t N) const {
    if (Pos > D.size() || D.size() - Pos < N)
      throw EFontFileError(FormatMessage(msg::DamagedFontFile, FName));
  }
  uint8_t U8(size_t Pos) const {
    Need(Pos, 1);
    return static_cast<uint8_t>(D[Pos]);
  }
  uint16_t U16(size_t Pos) const {
    Need(Pos, 2);
    return static_cast<uint16_t>(static_cast<uint8_t>(D[Pos]) << 8 |
                                 static_cast<uint8_t>(D[Pos + 1]));
  }
  int16_t S16(size_t Pos) const { return static_cast<int16_t>(U16(Pos)); }
  uint32_t U32(size_t Pos) const {
    Need(Pos, 4);
    return static_cast<uint32_t>(U16(Pos)) << 16 | U16(Pos + 2);
  }
  size_t Size() const { return D.size(); }
  std::string_view D;

 private:
  std::string_view FName;
};

struct TvxTableEntry {
  uint32_t Tag = 0;
  uint32_t Checksum = 0;
  uint32_t Offset = 0;
  uint32_t Length = 0;
};

// The tags a subset keeps, in directory order.
inline constexpr std::string_view SubsetTables[10] = {"cmap", "cvt ", "fpgm", "glyf", "head",
                                                      "hhea", "hmtx", "loca", "maxp", "prep"};

class TvxTrueTypeFile {
 public:
  // Reads the table directory of a single font (sfnt); raises EFontFileError
  // when it does not fit in the data.
  explicit TvxTrueTypeFile(std::string Data);
  // The same over data shared with its owner (nothing is copied).
  explicit TvxTrueTypeFile(std::shared_ptr<const std::string> Data);

  std::string_view Data() const { return *FData; }
  const std::vector<TvxTableEntry>& Tables() const { return FTables; }
  // Nil when the font has no such table.
  const TvxTableEntry* FindTable(std::string_view Tag) const;
  // The table's bytes; empty when absent.
  std::string_view Table(std::string_view Tag) const;
  // TrueType outlines: a glyf and a loca table.
  bool HasTrueTypeOutlines() const;
  // A variable font (fvar table).
  bool IsVariable() const;

  // The (3, 1) format-4 subtable as parallel lists in cmap order; both stay
  // empty when there is none. Code 0xFFFF is left out.
  void ReadCmap(std::vector<uint16_t>& GlyphIDs, std::vector<char16_t>& CodePoints) const;
  // Advance of every glyph (numGlyphs of maxp, at least numberOfHMetrics) in
  // thousandths of the em; glyphs past numberOfHMetrics take the last advance.
  std::vector<int32_t> ReadGlyphWidths() const;
  // numGlyphs of maxp.
  uint16_t NumGlyphs() const;

  // Keep with every glyph that a kept composite glyph draws from, at any
  // depth, added. Damaged loca or glyf data raises EFontFileError.
  std::vector<bool> WithComponents(std::vector<bool> Keep) const;
  // A font holding the ten subset tables with only the glyphs marked in Keep
  // and their components (glyph 0 always kept, the others emptied); empty
  // when the font lacks one of the tables. Damaged loca or glyf data raises
  // EFontFileError.
  std::string BuildSubset(const std::vector<bool>& Keep) const;

 private:
  std::shared_ptr<const std::string> FData;
  std::vector<TvxTableEntry> FTables;
};

}  // namespace vx
