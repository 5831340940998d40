// Installed fonts: a font by its attributes, its metrics, text extents and its
// file data. The Linux implementation sits on fontconfig and FreeType.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vxSystemColors.h"

namespace vx {

// Character sets as the window system numbers them.
inline constexpr uint8_t AnsiCharset = 0;
inline constexpr uint8_t DefaultCharset = 1;
inline constexpr uint8_t SymbolCharset = 2;
inline constexpr uint8_t MacCharset = 77;
inline constexpr uint8_t ShiftJisCharset = 128;
inline constexpr uint8_t HangulCharset = 129;
inline constexpr uint8_t JohabCharset = 130;
inline constexpr uint8_t GB2312Charset = 134;
inline constexpr uint8_t ChineseBig5Charset = 136;
inline constexpr uint8_t GreekCharset = 161;
inline constexpr uint8_t TurkishCharset = 162;
inline constexpr uint8_t VietnameseCharset = 163;
inline constexpr uint8_t HebrewCharset = 177;
inline constexpr uint8_t ArabicCharset = 178;
inline constexpr uint8_t BalticCharset = 186;
inline constexpr uint8_t RussianCharset = 204;
inline constexpr uint8_t ThaiCharset = 222;
inline constexpr uint8_t EastEuropeCharset = 238;
inline constexpr uint8_t OemCharset = 255;

// The code page of a character set; any set not listed gives the system ANSI
// code page.
uint32_t CharsetCodePages(uint8_t Charset);
// The character set belonging to the system ANSI code page (0 for 1252).
uint8_t SystemDefaultCharset();

enum TvxFontPitch : uint8_t { fpDefault = 0, fpFixed = 1, fpVariable = 2 };

// A font as the user picks it in the window.
struct TvxFont {
  std::string Name = "Arial";  // face name, UTF-8
  int32_t Size = 10;           // points
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  TvxFontPitch Pitch = fpDefault;
  uint8_t Charset = DefaultCharset;
  uint32_t Color = clWindowText;  // 0x00BBGGRR or a system colour constant

  // Height in pixels at PixelsPerInch (the em height, Size * ppi / 72
  // rounded); SetHeight sets Size from a height in pixels.
  int32_t Height(int32_t PixelsPerInch) const;
  void SetHeight(int32_t Pixels, int32_t PixelsPerInch);

  bool operator==(const TvxFont&) const = default;
};

// What a font is created from (the window system's logical font).
struct TvxLogFont {
  std::string FaceName;
  double Height = 0;  // em height in pixels
  double Width = 0;   // average character width in pixels; 0 keeps the face's proportions
  int32_t Weight = 400;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  TvxFontPitch Pitch = fpDefault;
  uint8_t Charset = DefaultCharset;
  bool TrueTypeOnly = false;

  bool operator==(const TvxLogFont&) const = default;
};

// The logical font of Font at an em height of PixelHeight pixels.
TvxLogFont LogFontOf(const TvxFont& Font, double PixelHeight);

// Bits of TvxTextMetrics::PitchAndFamily; the family is in bits 4-7.
inline constexpr uint8_t tmpfVariablePitch = 0x01;  // set for variable pitch
inline constexpr uint8_t tmpfVector = 0x02;
inline constexpr uint8_t tmpfTrueType = 0x04;
inline constexpr uint8_t tmpfDevice = 0x08;
inline constexpr uint8_t ffRoman = 0x10;
inline constexpr uint8_t ffSwiss = 0x20;
inline constexpr uint8_t ffModern = 0x30;
inline constexpr uint8_t ffScript = 0x40;
inline constexpr uint8_t ffDecorative = 0x50;

// In pixels of the created font.
struct TvxTextMetrics {
  int32_t Height = 0;
  int32_t Ascent = 0;
  int32_t Descent = 0;  // positive, below the baseline
  int32_t AveCharWidth = 0;
  int32_t MaxCharWidth = 0;
  int32_t Weight = 400;
  bool Italic = false;
  uint8_t PitchAndFamily = 0;
  uint8_t Charset = AnsiCharset;
};

// In pixels of the created font, positions upward from the baseline.
struct TvxOutlineMetrics {
  int32_t ItalicAngle = 0;  // tenths of a degree, negative leaning right
  int32_t StrikeoutSize = 0;
  int32_t StrikeoutPosition = 0;
  int32_t UnderscoreSize = 0;
  int32_t UnderscorePosition = 0;
};

struct TvxTextExtent {
  int32_t Width = 0;
  int32_t Height = 0;
};

// A created font. Immutable and shared: the service hands out the same
// object for the same logical font.
class TvxPlatformFont {
 public:
  virtual ~TvxPlatformFont() = default;
  virtual const TvxTextMetrics& TextMetrics() const = 0;
  // False when the font has no outline metrics (not scalable).
  virtual bool OutlineMetrics(TvxOutlineMetrics& Metrics) const = 0;
  // Text on one line, each byte taken through the font's code page, glyph
  // advances as the rasteriser places them, no kerning.
  virtual TvxTextExtent TextExtent(std::string_view Text) const = 0;
  // The advance of one character, whatever the font's code page holds; by
  // default what TextExtent makes of its Windows-1252 byte, 0 without one.
  virtual TvxTextExtent CharExtent(char16_t C) const;
  // The whole font file for a TrueType font (glyf outlines); empty for any
  // other font.
  virtual const std::string& FontData() const = 0;
  // The same data, kept alive by the result alone (it may outlive the font
  // and the service); by default a copy.
  virtual std::shared_ptr<const std::string> SharedFontData() const {
    return std::make_shared<const std::string>(FontData());
  }
  // The face name to write into PDF: the face asked for when the font used
  // is that face or a metric-compatible stand-in for it, else the face used.
  virtual const std::string& FaceName() const = 0;
  // The face's own sfnt data whatever its outlines (TrueType glyf or
  // CFF-based OpenType), a collection's face extracted; empty for a face
  // that is no sfnt. Kept alive by the result alone.
  virtual std::shared_ptr<const std::string> SfntData() const { return SharedFontData(); }
  // The face's bold and italic style as installed (what a PDF name adds).
  virtual bool FaceBold() const { return TextMetrics().Weight >= 600; }
  virtual bool FaceItalic() const { return TextMetrics().Italic; }
};

class TvxFontService {
 public:
  virtual ~TvxFontService() = default;
  // Never nil: a face that is not installed falls back to another one.
  virtual std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont& LogFont) = 0;
  // The character sets a face offers, in ascending order; empty when the
  // face is not installed.
  virtual std::vector<uint8_t> FontCharsets(std::string_view FaceName) = 0;
  // An installed scalable face that has character C, for text the face of
  // LogFont lacks: one of the same family first, then the closest face in
  // the same style that covers C (fontconfig's choice for the character's
  // language). Nil when no installed face has C.
  virtual std::shared_ptr<const TvxPlatformFont> FallbackFont(char32_t C,
                                                              const TvxLogFont& LogFont) {
    (void)C;
    (void)LogFont;
    return nullptr;
  }
  // Lets go of what finding faces took (the system's font configuration and
  // lists); fonts already created stay usable, and the next lookup loads it
  // again. For a program that has found the one font it needs.
  virtual void ReleaseLookups() {}
  // Lets go of the fonts made so far and their files; a font still held
  // elsewhere stays usable, and the next request makes it again. For a
  // program that has laid out its last text.
  virtual void ReleaseFonts() {}
};

// Face Index of a font collection (.ttc) as a font file of its own: its table
// directory with the tables it uses copied behind it. Empty when the data is
// damaged.
std::string ExtractCollectionFace(std::string_view Data, uint32_t Index);

// The service in use; tests may substitute their own (nullptr restores the
// default). Not owned.
TvxFontService& FontService();
void SetFontService(TvxFontService* Service);
// Changes with every SetFontService, so that what was derived from one
// service is not taken for another's.
uint32_t FontServiceGeneration();

}  // namespace vx
