// Analysis of an installed font for PDF output: metrics, widths of the codes
// 32..255, glyph encoding, the ToUnicode map and subsetting.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/objects/vxClasses.h"
#include "platform/vxFontService.h"

namespace vx {

// FontKind values.
inline constexpr uint8_t fkTrueType = 0;  // TrueType outlines whose file the platform returns
inline constexpr uint8_t fkVector = 1;    // device vector font of variable pitch
inline constexpr uint8_t fkOther = 2;

// True when text in Charset needs a composite font.
bool NeedsCIDFont(uint8_t Charset);

// Forgets the analyses kept for fonts made so far; fonts still held keep
// theirs, and the next font made is analysed again.
void ReleaseFontAnalyses();

// Sum modulo 2^32 of the big-endian 32-bit words of Table, zero-padded to a
// multiple of four.
uint32_t TableChecksum(std::string_view Table);

// A ToUnicode CMap mapping each two-byte code to its UTF-16 text, in the
// order given, a hundred mappings to a bfchar block.
std::string ToUnicodeCMapText(const std::vector<std::pair<uint16_t, std::u16string_view>>& Entries);

// Metrics in thousandths of the em unless said otherwise.
struct TvxPDFFontInfo {
  uint8_t FontKind = fkOther;
  bool FixedPitch = false;
  // The face's codes select its glyphs through its own built-in encoding.
  bool Symbolic = false;
  int32_t Flags = 0;
  // FontBBox.
  int32_t BBoxLeft = -250;
  int32_t BBoxBottom = -200;
  int32_t BBoxRight = 1000;
  int32_t BBoxTop = 900;
  double Ascent = 800;
  double Descent = -200;
  double CapHeight = 700;
  int32_t AvgWidth = 576;
  int32_t MaxWidth = 576;
  int32_t StemV = 0;
  int32_t ItalicAngle = 0;  // degrees
  // Codes 32..255; see TvxPDFFont::Width.
  std::array<int32_t, 224> Widths;
  // In points for the font's size (the template draws the lines from them).
  int32_t StrikeoutSize = 0;
  int32_t StrikeoutPosition = 0;
  int32_t UnderscoreSize = 0;
  int32_t UnderscorePosition = -1;

  TvxPDFFontInfo() { Widths.fill(600); }
};

class TvxPDFFont {
 public:
  // Copies Font and analyses it. CheckCharset also requires the font's
  // character set to be one the face offers for FontKind 0; CollectUsed
  // records the characters EncodeGlyphText meets (for subsets).
  TvxPDFFont(const TvxFont& Font, bool CheckCharset, bool CollectUsed);
  ~TvxPDFFont();
  TvxPDFFont(const TvxPDFFont&) = delete;
  TvxPDFFont& operator=(const TvxPDFFont&) = delete;

  const TvxFont& Font() const { return FFont; }
  const TvxPDFFontInfo& Info() const { return *FInfo; }
  uint8_t FontKind() const { return FInfo->FontKind; }
  bool FixedPitch() const { return FInfo->FixedPitch; }
  bool CollectUsed() const { return FCollectUsed; }
  // Width of Code in thousandths of the font size; 0 below 32.
  int32_t Width(uint8_t Code) const { return Code < 32 ? 0 : FInfo->Widths[Code - 32]; }
  // The widths of the codes 32..255 in FontEncoding (see vxFontEncodings):
  // each code the width of its character, 0 for a code without one. A
  // symbolic font has its own encoding only.
  std::array<int32_t, 224> EncodedWidths(uint8_t FontEncoding) const;
  // The face name written into PDF (see TvxPlatformFont::FaceName).
  const std::string& FaceName() const;

  // One entry per mapped character of the Windows Unicode cmap, cmap order.
  const std::vector<uint16_t>& GlyphIDs() const;
  const std::vector<char16_t>& CodePoints() const;
  // Advance of every glyph in thousandths of the em, indexed by glyph.
  const std::vector<int32_t>& GlyphWidths() const;
  const std::set<char16_t>& UsedChars() const { return FUsedChars; }
  // Marks characters as used without encoding them (digits of page numbers).
  void AddUsedChars(std::u16string_view Chars);

  // Four upper-case hex digits per glyph; characters without a glyph dropped.
  std::string EncodeGlyphText(std::u16string_view Text, uint8_t Charset);
  // The whole font file; nothing for FontKind != 0.
  void GetFontFile(TvxMemoryStream& Stream) const;
  // Its size in bytes (0 for FontKind != 0).
  int64_t FontFileSize() const;
  // A subset holding the glyphs of UsedChars, or the whole file when a
  // subset cannot be made or would not be smaller.
  void BuildSubset(TvxMemoryStream& Stream);
  // True when the last BuildSubset produced a real subset.
  bool IsSubset() const { return FIsSubset; }
  // The glyphs that subset holds, indexed by glyph.
  const std::vector<bool>& SubsetGlyphs() const { return FSubsetGlyphs; }
  // Six upper-case letters derived from the glyph set of UsedChars.
  std::string SubsetTag() const;
  // The ToUnicode CMap; nothing when the font maps no glyphs. After a real
  // subset only the glyphs it holds are mapped.
  void WriteToUnicodeCMap(TvxMemoryStream& Stream) const;

  struct TvxAnalysis;

 private:
  // Glyph of Unicode unit C, or -1.
  int32_t GlyphOf(char16_t C) const;
  // Glyphs a subset keeps: those of every code point in UsedChars, the
  // space and glyph 0.
  std::vector<bool> KeptGlyphs() const;

  TvxFont FFont;
  std::unique_ptr<TvxPDFFontInfo> FInfo;
  bool FCollectUsed;
  bool FIsSubset = false;
  std::shared_ptr<const TvxAnalysis> FAnalysis;
  std::set<char16_t> FUsedChars;
  std::vector<bool> FSubsetGlyphs;
};

}  // namespace vx
