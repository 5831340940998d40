// The font service on fontconfig and FreeType. Font files are read once and
// created fonts are kept, so stamping many pages opens no file again.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/vxCodePage.h"
#include "platform/vxException.h"
#include "platform/vxFontService.h"

namespace vx {

namespace {

// Beyond these many entries a cache starts afresh; a program uses a handful.
constexpr size_t MaxCachedFonts = 64;
constexpr size_t MaxCachedFiles = 16;

uint32_t ReadU32(std::string_view D, size_t Pos) {
  if (Pos > D.size() || D.size() - Pos < 4) return 0;
  return static_cast<uint32_t>(static_cast<uint8_t>(D[Pos])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(D[Pos + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(D[Pos + 2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(D[Pos + 3]));
}

uint16_t ReadU16(std::string_view D, size_t Pos) {
  if (Pos > D.size() || D.size() - Pos < 2) return 0;
  return static_cast<uint16_t>(static_cast<uint8_t>(D[Pos]) << 8 |
                               static_cast<uint8_t>(D[Pos + 1]));
}

void PutU32(std::string& D, size_t Pos, uint32_t V) {
  D[Pos] = static_cast<char>(V >> 24);
  D[Pos + 1] = static_cast<char>(V >> 16);
  D[Pos + 2] = static_cast<char>(V >> 8);
  D[Pos + 3] = static_cast<char>(V);
}

}  // namespace

std::string ExtractCollectionFace(std::string_view D, uint32_t Index) {
  uint32_t Count = ReadU32(D, 8);
  if (Index >= Count || 12 + static_cast<uint64_t>(Index) * 4 + 4 > D.size()) return {};
  uint32_t Dir = ReadU32(D, 12 + Index * 4);
  uint16_t NumTables = ReadU16(D, Dir + 4);
  if (static_cast<uint64_t>(Dir) + 12 + NumTables * 16ull > D.size()) return {};
  std::string Out(D.substr(Dir, 12));
  Out.resize(12 + NumTables * 16u);
  for (uint16_t I = 0; I < NumTables; ++I) {
    size_t E = Dir + 12 + I * 16u;
    uint32_t Offset = ReadU32(D, E + 8), Length = ReadU32(D, E + 12);
    if (static_cast<uint64_t>(Offset) + Length > D.size()) return {};
    std::memcpy(Out.data() + 12 + I * 16u, D.data() + E, 16);
    PutU32(Out, 12 + I * 16u + 8, static_cast<uint32_t>(Out.size()));
    Out.append(D.substr(Offset, Length));
    Out.append((4 - Out.size() % 4) % 4, '\0');
    // One face holds each table once: more than the file means a directory
    // naming the same data again and again.
    if (Out.size() > D.size() + 12 + NumTables * 20u) return {};
  }
  return Out;
}

namespace {

// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& Path) {
  std::string Data;
  std::FILE* F = std::fopen(Path.c_str(), "rb");
  if (!F) return Data;
  // Read at its size in one piece: no buffer grows past the file.
  if (std::fseek(F, 0, SEEK_END) == 0) {
    long Size = std::ftell(F);
    if (Size > 0 && std::fseek(F, 0, SEEK_SET) == 0) {
      Data.resize(static_cast<size_t>(Size));
      Data.resize(std::fread(Data.data(), 1, Data.size(), F));
    }
  }
  // A file that grew meanwhile (or cannot seek) is read on to its end.
  char Buf[65536];
  size_t N;
  while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0) Data.append(Buf, N);
  std::fclose(F);
  return Data;
}

// Family bits from the face's own classification: PANOSE first, then the
// IBM family class.
uint8_t FamilyOf(const TT_OS2* Os2, bool Fixed) {
  if (Fixed) return ffModern;
  if (!Os2) return 0;
  const FT_Byte* P = Os2->panose;
  switch (P[0]) {
    case 2:
      if (P[3] == 9) return ffModern;
      if (P[1] >= 11 && P[1] <= 13) return ffSwiss;
      if (P[1] >= 2 && P[1] <= 10) return ffRoman;
      break;
    case 3: return ffScript;
    case 4:
    case 5: return ffDecorative;
    default: break;
  }
  switch (Os2->sFamilyClass >> 8) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7: return ffRoman;
    case 8: return ffSwiss;
    case 9:
    case 12: return ffDecorative;
    case 10: return ffScript;
    default: return 0;
  }
}

// A language that steers fontconfig towards faces covering Charset.
const char* LanguageOf(uint8_t Charset) {
  switch (Charset) {
    case ShiftJisCharset: return "ja";
    case HangulCharset:
    case JohabCharset: return "ko";
    case GB2312Charset: return "zh-cn";
    case ChineseBig5Charset: return "zh-tw";
    case GreekCharset: return "el";
    case TurkishCharset: return "tr";
    case VietnameseCharset: return "vi";
    case HebrewCharset: return "he";
    case ArabicCharset: return "ar";
    case BalticCharset: return "lt";
    case RussianCharset: return "ru";
    case ThaiCharset: return "th";
    case EastEuropeCharset: return "pl";
    default: return nullptr;
  }
}

// The language whose faces most likely draw C, to steer fontconfig's choice
// of a fallback; Han characters follow the character set asked for.
const char* LanguageOfChar(char32_t C, uint8_t Charset) {
  struct TvxScript {
    char32_t First, Last;
    const char* Lang;
  };
  static constexpr TvxScript Scripts[] = {
      {0x0370, 0x03FF, "el"}, {0x0400, 0x052F, "ru"}, {0x0530, 0x058F, "hy"},
      {0x0590, 0x05FF, "he"}, {0x0600, 0x06FF, "ar"}, {0x0900, 0x097F, "hi"},
      {0x0980, 0x09FF, "bn"}, {0x0A00, 0x0A7F, "pa"}, {0x0A80, 0x0AFF, "gu"},
      {0x0B80, 0x0BFF, "ta"}, {0x0C00, 0x0C7F, "te"}, {0x0C80, 0x0CFF, "kn"},
      {0x0D00, 0x0D7F, "ml"}, {0x0E00, 0x0E7F, "th"}, {0x10A0, 0x10FF, "ka"},
      {0x1100, 0x11FF, "ko"}, {0x1200, 0x139F, "am"}, {0x3040, 0x30FF, "ja"},
      {0x3130, 0x318F, "ko"}, {0x31F0, 0x31FF, "ja"}, {0xAC00, 0xD7AF, "ko"},
      {0xFF66, 0xFF9F, "ja"},
  };
  for (const TvxScript& S : Scripts)
    if (C >= S.First && C <= S.Last) return S.Lang;
  bool Han = (C >= 0x3400 && C <= 0x4DBF) || (C >= 0x4E00 && C <= 0x9FFF) ||
             (C >= 0xF900 && C <= 0xFAFF) || (C >= 0x20000 && C <= 0x3FFFF);
  if (!Han) return nullptr;
  switch (Charset) {
    case ShiftJisCharset:
    case HangulCharset:
    case JohabCharset:
    case ChineseBig5Charset: return LanguageOf(Charset);
    default: return "zh-cn";
  }
}

// Characters a face must cover to offer a character set.
struct TvxCharsetProbe {
  uint8_t Charset;
  char32_t Chars[2];
};
constexpr TvxCharsetProbe CharsetProbes[] = {
    {AnsiCharset, {U'A', U'\u00E9'}},
    {SymbolCharset, {U'\uF041', U'\uF061'}},
    {ShiftJisCharset, {U'\u3042', U'\u6F22'}},
    {HangulCharset, {U'\uAC00', U'\uD55C'}},
    {JohabCharset, {U'\uAC00', U'\uD55C'}},
    {GB2312Charset, {U'\u4E2D', U'\u8BF4'}},
    {ChineseBig5Charset, {U'\u4E2D', U'\u8AAA'}},
    {GreekCharset, {U'\u0391', U'\u03C9'}},
    {TurkishCharset, {U'\u011F', U'\u0131'}},
    {VietnameseCharset, {U'\u01A1', U'\u20AB'}},
    {HebrewCharset, {U'\u05D0', U'\u05EA'}},
    {ArabicCharset, {U'\u0627', U'\u0644'}},
    {BalticCharset, {U'\u0117', U'\u012F'}},
    {RussianCharset, {U'\u0416', U'\u044F'}},
    {ThaiCharset, {U'\u0E01', U'\u0E3F'}},
    {EastEuropeCharset, {U'\u0150', U'\u0161'}},
};

struct TvxFontFile {
  std::string RawData;  // the file
  std::string Face;     // a collection's face extracted
  bool Collection = false;
  int FaceIndex = 0;
  // The face's own data.
  const std::string& Data() const { return Collection ? Face : RawData; }
};

const std::string NoData;

// FreeType wants the making and freeing of faces of one library in one
// thread at a time; a font's last holder may let it go on any thread.
std::mutex FaceLifeLock;

class TvxFreeTypeFont : public TvxPlatformFont {
 public:
  TvxFreeTypeFont(std::shared_ptr<FT_LibraryRec_> Library, std::shared_ptr<const TvxFontFile> File,
                  const TvxLogFont& LogFont, std::string PDFName, int32_t FaceWeight,
                  bool FaceItalic)
      : FLibrary(std::move(Library)), FFile(std::move(File)), FFaceName(std::move(PDFName)) {
    const std::string& Src = FFile->RawData;
    std::unique_lock<std::mutex> Life(FaceLifeLock);
    if (FT_New_Memory_Face(FLibrary.get(), reinterpret_cast<const FT_Byte*>(Src.data()),
                           static_cast<FT_Long>(Src.size()), FFile->FaceIndex, &FFace) != 0)
      throw Exception("Cannot load font \"" + LogFont.FaceName + "\"");
    Life.unlock();
    Setup(LogFont, FaceWeight, FaceItalic);
  }
  ~TvxFreeTypeFont() override {
    std::lock_guard<std::mutex> Life(FaceLifeLock);
    if (FFace) FT_Done_Face(FFace);
  }

  const TvxTextMetrics& TextMetrics() const override { return FMetrics; }
  bool OutlineMetrics(TvxOutlineMetrics& Metrics) const override {
    if (!FHasOutline) return false;
    Metrics = FOutline;
    return true;
  }
  TvxTextExtent TextExtent(std::string_view Text) const override {
    std::lock_guard<std::mutex> Lock(FMutex);
    int64_t W = 0;
    if (FCodePage == 1252) {
      for (char C : Text) W += ByteAdvance(static_cast<uint8_t>(C));
    } else {
      std::u16string U = CodePageService().ToUnicode(Text, FCodePage);
      for (char16_t C : U) W += CharAdvance(C);
    }
    return TvxTextExtent{static_cast<int32_t>(std::min<int64_t>(W, INT32_MAX)), FMetrics.Height};
  }
  TvxTextExtent CharExtent(char16_t C) const override {
    std::lock_guard<std::mutex> Lock(FMutex);
    return TvxTextExtent{CharAdvance(C), FMetrics.Height};
  }
  const std::string& FontData() const override { return *FData; }
  std::shared_ptr<const std::string> SharedFontData() const override {
    // The file stays with the font's file record, which holds no FreeType
    // state, so the data may outlive the library.
    if (FData->empty()) return std::make_shared<const std::string>();
    return std::shared_ptr<const std::string>(FFile, FData);
  }
  const std::string& FaceName() const override { return FFaceName; }
  std::shared_ptr<const std::string> SfntData() const override {
    if (FSfnt->empty()) return std::make_shared<const std::string>();
    return std::shared_ptr<const std::string>(FFile, FSfnt);
  }
  bool FaceBold() const override { return FFaceBold; }
  bool FaceItalic() const override { return FFaceItalic; }

  bool HasSfnt() const { return !FSfnt->empty(); }
  // Whether the face's Unicode cmap gives C a glyph.
  bool MapsChar(char32_t C) const {
    std::lock_guard<std::mutex> Lock(FMutex);
    return !FSymbol && FT_Get_Char_Index(FFace, C) != 0;
  }

 private:
  void Setup(const TvxLogFont& L, int32_t FaceWeight, bool FaceItalic) {
    double Height = L.Height > 0 ? L.Height : 1;
    if (Height > 100000) Height = 100000;
    bool Scalable = FT_IS_SCALABLE(FFace);
    const TT_OS2* Os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(FFace, FT_SFNT_OS2));
    const TT_Postscript* Post =
        static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(FFace, FT_SFNT_POST));
    double Upem = FFace->units_per_EM > 0 ? FFace->units_per_EM : 1000;
    FScale = Height / Upem;
    double XScale = FScale;
    if (L.Width > 0 && Os2 && Os2->xAvgCharWidth > 0) XScale = L.Width / Os2->xAvgCharWidth;
    if (Scalable) {
      FT_Set_Char_Size(FFace, static_cast<FT_F26Dot6>(std::lround(XScale * Upem * 64)),
                       static_cast<FT_F26Dot6>(std::lround(Height * 64)), 72, 72);
    } else if (FFace->num_fixed_sizes > 0) {
      FT_Select_Size(FFace, 0);
    }
    SelectCharmap(Os2);

    int32_t Ascent, Descent;
    if (Os2 && Os2->version != 0xFFFF && (Os2->usWinAscent || Os2->usWinDescent)) {
      Ascent = Round(Os2->usWinAscent * FScale);
      Descent = Round(Os2->usWinDescent * FScale);
    } else if (Scalable) {
      Ascent = Round(FFace->ascender * FScale);
      Descent = Round(-FFace->descender * FScale);
    } else {
      Ascent = static_cast<int32_t>(FFace->size->metrics.ascender >> 6);
      Descent = static_cast<int32_t>(-FFace->size->metrics.descender >> 6);
    }
    FMetrics.Ascent = Ascent;
    FMetrics.Descent = Descent;
    FMetrics.Height = Ascent + Descent;
    FMetrics.MaxCharWidth = Scalable ? Round(FFace->max_advance_width * XScale)
                                     : static_cast<int32_t>(FFace->size->metrics.max_advance >> 6);
    if (Os2 && Os2->xAvgCharWidth > 0 && Scalable)
      FMetrics.AveCharWidth = Round(Os2->xAvgCharWidth * XScale);
    else
      FMetrics.AveCharWidth = CharAdvance(u'x');
    // The window system makes a bold or slanted face where the file has
    // none and reports the font as asked.
    FMetrics.Weight = L.Weight >= 600 && FaceWeight < 600 ? L.Weight : FaceWeight;
    FMetrics.Italic = L.Italic || FaceItalic;
    // fontconfig's match reports the style it makes up for a face; the
    // file's own says what the face is.
    uint16_t WeightClass = Os2 && Os2->version != 0xFFFF ? Os2->usWeightClass : 0;
    if (WeightClass >= 1 && WeightClass <= 9) WeightClass *= 100;
    FFaceBold = WeightClass > 0 && WeightClass <= 1000
                    ? WeightClass >= 600
                    : (FFace->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    FFaceItalic = (FFace->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    bool Fixed = FT_IS_FIXED_WIDTH(FFace) || (Post && Post->isFixedPitch != 0);
    bool TrueType = FT_IS_SFNT(FFace) && HasTable(TTAG_glyf) && HasTable(TTAG_loca);
    uint8_t Bits = 0;
    if (!Fixed) Bits |= tmpfVariablePitch;
    if (Scalable) Bits |= tmpfVector;
    if (TrueType) Bits |= tmpfTrueType;
    FMetrics.PitchAndFamily = Bits | FamilyOf(Os2, Fixed);
    FSymbol = FFace->charmap && FFace->charmap->encoding == FT_ENCODING_MS_SYMBOL;
    if (FSymbol)
      FMetrics.Charset = SymbolCharset;
    else if (L.Charset == DefaultCharset || L.Charset == SymbolCharset)
      // A face without symbol data is no symbol font, whatever was asked.
      FMetrics.Charset = SystemDefaultCharset();
    else
      FMetrics.Charset = L.Charset;
    FCodePage = FSymbol ? 1252 : CharsetCodePages(FMetrics.Charset);

    FHasOutline = Scalable;
    if (Scalable) {
      FOutline.ItalicAngle =
          Post ? static_cast<int32_t>(std::lround(Post->italicAngle / 6553.6)) : 0;
      if (Os2 && Os2->version != 0xFFFF) {
        FOutline.StrikeoutSize = Round(Os2->yStrikeoutSize * FScale);
        FOutline.StrikeoutPosition = Round(Os2->yStrikeoutPosition * FScale);
      } else {
        FOutline.StrikeoutSize = Round(FFace->underline_thickness * FScale);
        FOutline.StrikeoutPosition = Round(FFace->ascender * FScale / 3);
      }
      // The post table's own values; FreeType moves the position to the
      // middle of the line.
      if (Post) {
        FOutline.UnderscoreSize = Round(Post->underlineThickness * FScale);
        FOutline.UnderscorePosition = Round(Post->underlinePosition * FScale);
      } else {
        FOutline.UnderscoreSize = Round(FFace->underline_thickness * FScale);
        FOutline.UnderscorePosition = Round(FFace->underline_position * FScale);
      }
    }

    // A variable font's file is not the instance drawn: it is not embedded.
    bool Variable = HasTable(FT_MAKE_TAG('f', 'v', 'a', 'r'));
    if (TrueType && !Variable) FData = &FFile->Data();
    if ((TrueType || HasTable(FT_MAKE_TAG('C', 'F', 'F', ' '))) && !Variable &&
        IsSfntHeader(FFile->Data()))
      FSfnt = &FFile->Data();
    for (int B = 0; B < 256; ++B) FByteAdvance[B] = -1;
  }

  // The data begins as one font does: a file FreeType reads as sfnt may be
  // wrapped otherwise (a resource fork) and is then no font file of its own.
  static bool IsSfntHeader(std::string_view D) {
    uint32_t Tag = ReadU32(D, 0);
    return D.size() >= 12 && (Tag == 0x00010000u || Tag == FT_MAKE_TAG('O', 'T', 'T', 'O') ||
                              Tag == FT_MAKE_TAG('t', 'r', 'u', 'e'));
  }

  static int32_t Round(double V) {
    if (!(V > -1e9 && V < 1e9)) return 0;
    return static_cast<int32_t>(std::lround(V));
  }

  bool HasTable(FT_ULong Tag) const {
    FT_ULong Length = 0;
    return FT_Load_Sfnt_Table(FFace, Tag, 0, nullptr, &Length) == 0 && Length > 0;
  }

  // A symbol face is drawn through its (3, 0) cmap, as PDF readers draw a
  // symbolic TrueType font: when it has no Unicode cmap, or when its OS/2
  // table says its character set is Symbol.
  void SelectCharmap(const TT_OS2* Os2) {
    bool SymbolSet = Os2 && Os2->version != 0xFFFF && (Os2->ulCodePageRange1 & 0x80000000u) != 0;
    if (SymbolSet && FT_Select_Charmap(FFace, FT_ENCODING_MS_SYMBOL) == 0) return;
    if (FT_Select_Charmap(FFace, FT_ENCODING_UNICODE) == 0) return;
    FT_Select_Charmap(FFace, FT_ENCODING_MS_SYMBOL);
  }

  int32_t ByteAdvance(uint8_t B) const {
    if (FByteAdvance[B] < 0)
      FByteAdvance[B] = FSymbol ? GlyphAdvance(FT_Get_Char_Index(FFace, 0xF000 | B))
                                : CharAdvance(Cp1252ToUnicode(B));
    return FByteAdvance[B];
  }

  int32_t CharAdvance(char16_t C) const {
    auto It = FCharAdvance.find(C);
    if (It != FCharAdvance.end()) return It->second;
    FT_UInt Glyph = FT_Get_Char_Index(FFace, FSymbol && C < 0x100 ? 0xF000 | C : C);
    int32_t A = GlyphAdvance(Glyph);
    FCharAdvance.emplace(C, A);
    return A;
  }

  // Hinted advance in whole pixels, as the rasteriser places the glyph.
  int32_t GlyphAdvance(FT_UInt Glyph) const {
    if (FT_Load_Glyph(FFace, Glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return 0;
    return static_cast<int32_t>((FFace->glyph->advance.x + 32) >> 6);
  }

  // The face lives in the library: it goes first, the library with the
  // last font made in it.
  std::shared_ptr<FT_LibraryRec_> FLibrary;
  std::shared_ptr<const TvxFontFile> FFile;
  std::string FFaceName;
  const std::string* FData = &NoData;
  const std::string* FSfnt = &NoData;
  bool FFaceBold = false;
  bool FFaceItalic = false;
  FT_Face FFace = nullptr;
  double FScale = 1;
  bool FSymbol = false;
  uint32_t FCodePage = 1252;
  TvxTextMetrics FMetrics;
  TvxOutlineMetrics FOutline;
  bool FHasOutline = false;
  mutable std::mutex FMutex;
  mutable int32_t FByteAdvance[256];
  mutable std::unordered_map<char16_t, int32_t> FCharAdvance;
};

std::string Lower(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

struct TvxLogFontHash {
  size_t operator()(const TvxLogFont& L) const noexcept {
    size_t H = std::hash<std::string>()(L.FaceName);
    auto Mix = [&H](uint64_t V) { H = (H ^ V) * 0x100000001B3ull; };
    Mix(std::hash<double>()(L.Height));
    Mix(std::hash<double>()(L.Width));
    Mix(static_cast<uint64_t>(L.Weight));
    Mix(static_cast<uint64_t>(L.Italic) << 1 | L.Underline << 2 | L.StrikeOut << 3 |
        L.TrueTypeOnly << 4);
    Mix(static_cast<uint64_t>(L.Pitch) << 8 | L.Charset);
    return H;
  }
};

// A face at a logical font's size and style.
struct TvxFaceKey {
  std::string Path;
  int Index = 0;
  TvxLogFont LogFont;
  bool operator==(const TvxFaceKey&) const = default;
};

struct TvxFaceKeyHash {
  size_t operator()(const TvxFaceKey& K) const noexcept {
    return (TvxLogFontHash()(K.LogFont) ^ std::hash<std::string>()(K.Path)) * 0x100000001B3ull +
           static_cast<size_t>(K.Index);
  }
};

struct TvxFallbackKey {
  char32_t Char = 0;
  TvxLogFont LogFont;
  bool operator==(const TvxFallbackKey&) const = default;
};

struct TvxFallbackKeyHash {
  size_t operator()(const TvxFallbackKey& K) const noexcept {
    return (TvxLogFontHash()(K.LogFont) ^ K.Char) * 0x100000001B3ull;
  }
};

// A character's search for a face loads at most this many files that turn
// out not to draw it after all.
constexpr int MaxFallbackMisses = 4;
constexpr size_t MaxCachedFallbacks = 1024;
constexpr size_t MaxCachedSorts = 16;

class TvxFontConfigService : public TvxFontService {
 public:
  TvxFontConfigService() = default;
  ~TvxFontConfigService() override { DropSorts(); }
  TvxFontConfigService(const TvxFontConfigService&) = delete;
  TvxFontConfigService& operator=(const TvxFontConfigService&) = delete;

  std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont& LogFont) override {
    std::lock_guard<std::mutex> Lock(FMutex);
    auto It = FFonts.find(LogFont);
    if (It != FFonts.end()) return It->second;
    Init();
    std::shared_ptr<const TvxPlatformFont> Font = Make(LogFont);
    if (FFonts.size() >= MaxCachedFonts) FFonts.clear();
    FFonts.emplace(LogFont, Font);
    return Font;
  }

  std::shared_ptr<const TvxPlatformFont> FallbackFont(char32_t C,
                                                      const TvxLogFont& LogFont) override {
    std::lock_guard<std::mutex> Lock(FMutex);
    TvxFallbackKey Key{C, LogFont};
    auto It = FFallbacks.find(Key);
    if (It != FFallbacks.end()) return It->second;
    std::shared_ptr<const TvxPlatformFont> Font;
    if (C != 0 && C <= 0x10FFFF && (C < 0xD800 || C > 0xDFFF)) {
      Init();
      Font = FindFallback(C, LogFont);
    }
    if (FFallbacks.size() >= MaxCachedFallbacks) FFallbacks.clear();
    FFallbacks.emplace(std::move(Key), Font);
    return Font;
  }

  void ReleaseLookups() override {
    std::lock_guard<std::mutex> Lock(FMutex);
    if (!FFcLoaded) return;
    // Every pattern and set was destroyed after its use, but for the sorted
    // lists kept for fallbacks.
    DropSorts();
    FcFini();
    FFcLoaded = false;
  }

  void ReleaseFonts() override {
    std::lock_guard<std::mutex> Lock(FMutex);
    FFonts.clear();
    FFaceFonts.clear();
    FFallbacks.clear();
    FFiles.clear();
    FLibrary.reset();
  }

  std::vector<uint8_t> FontCharsets(std::string_view FaceName) override {
    std::lock_guard<std::mutex> Lock(FMutex);
    Init();
    bool Seen[256] = {};
    // A face that is not installed offers what its metric-compatible
    // stand-in offers.
    if (!ListCharsets(std::string(FaceName), Seen)) {
      std::string StandIn = MetricStandIn(std::string(FaceName));
      if (!StandIn.empty()) ListCharsets(StandIn, Seen);
    }
    std::vector<uint8_t> Result;
    for (int C = 0; C < 256; ++C)
      if (Seen[C]) Result.push_back(static_cast<uint8_t>(C));
    return Result;
  }

 private:
  // Marks the character sets the installed faces of Family cover; false when
  // there is none.
  static bool ListCharsets(const std::string& Family, bool (&Seen)[256]) {
    FcPattern* Pat = FcPatternCreate();
    FcPatternAddString(Pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(Family.c_str()));
    FcObjectSet* Os = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* Set = FcFontList(nullptr, Pat, Os);
    bool Any = false;
    if (Set) {
      for (int I = 0; I < Set->nfont; ++I) {
        FcCharSet* Cs = nullptr;
        if (FcPatternGetCharSet(Set->fonts[I], FC_CHARSET, 0, &Cs) != FcResultMatch) continue;
        Any = true;
        for (const TvxCharsetProbe& P : CharsetProbes)
          if (FcCharSetHasChar(Cs, P.Chars[0]) && FcCharSetHasChar(Cs, P.Chars[1]))
            Seen[P.Charset] = true;
      }
      FcFontSetDestroy(Set);
    }
    FcObjectSetDestroy(Os);
    FcPatternDestroy(Pat);
    return Any;
  }

  // The families fontconfig puts in place of Pattern's own with a strong
  // binding: the face itself and its metric-compatible stand-ins. The
  // generic fallbacks that follow are weak.
  static std::vector<std::string> StrongFamilies(FcPattern* Pattern) {
    std::vector<std::string> Strong;
    for (int I = 0;; ++I) {
      FcValue V;
      FcValueBinding B;
      if (FcPatternGetWithBinding(Pattern, FC_FAMILY, I, &V, &B) != FcResultMatch) break;
      if (B != FcValueBindingStrong || V.type != FcTypeString) break;
      Strong.push_back(Lower(reinterpret_cast<const char*>(V.u.s)));
    }
    return Strong;
  }

  // The installed family standing in for Face with the same metrics, or
  // empty.
  static std::string MetricStandIn(const std::string& Face) {
    FcPattern* Pat = FcPatternCreate();
    FcPatternAddString(Pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(Face.c_str()));
    FcConfigSubstitute(nullptr, Pat, FcMatchPattern);
    FcDefaultSubstitute(Pat);
    std::vector<std::string> Strong = StrongFamilies(Pat);
    FcResult Res;
    FcPattern* Match = FcFontMatch(nullptr, Pat, &Res);
    FcPatternDestroy(Pat);
    std::string Family;
    FcChar8* F = nullptr;
    if (Match && FcPatternGetString(Match, FC_FAMILY, 0, &F) == FcResultMatch &&
        std::find(Strong.begin(), Strong.end(), Lower(reinterpret_cast<const char*>(F))) !=
            Strong.end())
      Family = reinterpret_cast<const char*>(F);
    if (Match) FcPatternDestroy(Match);
    return Family;
  }

  void Init() {
    if (!FFcLoaded) {
      if (!FcInit()) throw Exception("Cannot initialise fontconfig");
      FFcLoaded = true;
    }
    if (FLibrary) return;
    FT_Library Library = nullptr;
    if (FT_Init_FreeType(&Library) != 0) throw Exception("Cannot initialise FreeType");
    FLibrary = std::shared_ptr<FT_LibraryRec_>(Library, FT_Done_FreeType);
  }

  std::shared_ptr<const TvxPlatformFont> Make(const TvxLogFont& L) {
    FcPattern* Pat = FcPatternCreate();
    if (!L.FaceName.empty())
      FcPatternAddString(Pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(L.FaceName.c_str()));
    FcPatternAddInteger(Pat, FC_WEIGHT, L.Weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(Pat, FC_SLANT, L.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (L.Pitch == fpFixed) FcPatternAddInteger(Pat, FC_SPACING, FC_MONO);
    if (const char* Lang = LanguageOf(L.Charset))
      FcPatternAddString(Pat, FC_LANG, reinterpret_cast<const FcChar8*>(Lang));
    if (L.TrueTypeOnly) FcPatternAddBool(Pat, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, Pat, FcMatchPattern);
    FcDefaultSubstitute(Pat);

    std::vector<std::string> Strong = StrongFamilies(Pat);

    FcResult Res;
    FcPattern* Match = FcFontMatch(nullptr, Pat, &Res);
    FcPatternDestroy(Pat);
    if (!Match) throw Exception("No font found for \"" + L.FaceName + "\"");
    FcChar8* File = nullptr;
    int Index = 0;
    int Weight = FC_WEIGHT_REGULAR, Slant = FC_SLANT_ROMAN;
    FcPatternGetString(Match, FC_FILE, 0, &File);
    FcPatternGetInteger(Match, FC_INDEX, 0, &Index);
    FcPatternGetInteger(Match, FC_WEIGHT, 0, &Weight);
    FcPatternGetInteger(Match, FC_SLANT, 0, &Slant);
    std::string PDFName;
    bool Alias = false;
    for (int I = 0;; ++I) {
      FcChar8* Family = nullptr;
      if (FcPatternGetString(Match, FC_FAMILY, I, &Family) != FcResultMatch) break;
      if (I == 0) PDFName = reinterpret_cast<const char*>(Family);
      if (std::find(Strong.begin(), Strong.end(), Lower(reinterpret_cast<const char*>(Family))) !=
          Strong.end())
        Alias = true;
    }
    if (Alias && !L.FaceName.empty()) PDFName = L.FaceName;
    std::string Path = File ? reinterpret_cast<const char*>(File) : "";
    FcPatternDestroy(Match);
    return MakeFace(Path, Index & 0xFFFF, L, PDFName, Weight, Slant);
  }

  std::shared_ptr<TvxFreeTypeFont> MakeFace(const std::string& Path, int Index, const TvxLogFont& L,
                                            const std::string& PDFName, int FcWeight, int FcSlant) {
    std::shared_ptr<const TvxFontFile> Data = LoadFile(Path, Index);
    int32_t FaceWeight = static_cast<int32_t>(FcWeightToOpenType(FcWeight));
    return std::make_shared<TvxFreeTypeFont>(FLibrary, std::move(Data), L, PDFName, FaceWeight,
                                             FcSlant != FC_SLANT_ROMAN);
  }

  // The first installed face in fontconfig's order for L's family and style
  // that draws C and can be embedded (sfnt outlines, no variable font).
  std::shared_ptr<const TvxPlatformFont> FindFallback(char32_t C, const TvxLogFont& L) {
    FcFontSet* Sorted = SortedFaces(L, LanguageOfChar(C, L.Charset));
    if (!Sorted) return nullptr;
    int Misses = 0;
    for (int I = 0; I < Sorted->nfont && Misses < MaxFallbackMisses; ++I) {
      FcPattern* P = Sorted->fonts[I];
      FcCharSet* Cs = nullptr;
      FcBool Outline = FcFalse, Variable = FcFalse;
      FcChar8* File = nullptr;
      FcChar8* Family = nullptr;
      int Index = 0, Weight = FC_WEIGHT_REGULAR, Slant = FC_SLANT_ROMAN;
      if (FcPatternGetCharSet(P, FC_CHARSET, 0, &Cs) != FcResultMatch || !FcCharSetHasChar(Cs, C))
        continue;
      if (FcPatternGetBool(P, FC_OUTLINE, 0, &Outline) != FcResultMatch || !Outline) continue;
      if (FcPatternGetBool(P, FC_VARIABLE, 0, &Variable) == FcResultMatch && Variable) continue;
      if (FcPatternGetString(P, FC_FILE, 0, &File) != FcResultMatch) continue;
      FcPatternGetInteger(P, FC_INDEX, 0, &Index);
      // A named instance of a variable font: its file holds no such face.
      if (Index < 0 || Index > 0xFFFF) continue;
      FcPatternGetInteger(P, FC_WEIGHT, 0, &Weight);
      FcPatternGetInteger(P, FC_SLANT, 0, &Slant);
      FcPatternGetString(P, FC_FAMILY, 0, &Family);
      std::string Name = Family ? reinterpret_cast<const char*>(Family) : L.FaceName;
      std::shared_ptr<TvxFreeTypeFont> Font;
      try {
        Font = FaceFont(reinterpret_cast<const char*>(File), Index, L, Name, Weight, Slant);
      } catch (const Exception&) {
      }
      // fontconfig's character set is the cache's word; the face's own cmap
      // decides.
      if (Font && Font->HasSfnt() && Font->MapsChar(C)) return Font;
      ++Misses;
    }
    return nullptr;
  }

  // The font of a face at L's size and style, one object per face and size.
  std::shared_ptr<TvxFreeTypeFont> FaceFont(const std::string& Path, int Index, const TvxLogFont& L,
                                            const std::string& Family, int FcWeight, int FcSlant) {
    TvxFaceKey Key{Path, Index, L};
    auto It = FFaceFonts.find(Key);
    if (It != FFaceFonts.end()) return It->second;
    TvxLogFont Face = L;
    Face.FaceName = Family;
    std::shared_ptr<TvxFreeTypeFont> Font = MakeFace(Path, Index, Face, Family, FcWeight, FcSlant);
    if (FFaceFonts.size() >= MaxCachedFonts) FFaceFonts.clear();
    FFaceFonts.emplace(std::move(Key), Font);
    return Font;
  }

  // Every installed face in fontconfig's order for L's family, style and
  // Lang. A character is left out of the pattern: it would rank the faces
  // having it first and leave their order as it is, so one list serves every
  // character, filtered by the faces' character sets.
  FcFontSet* SortedFaces(const TvxLogFont& L, const char* Lang) {
    std::string Key = L.FaceName + '\n' + (L.Weight >= 600 ? 'b' : '-') + (L.Italic ? 'i' : '-') +
                      (L.Pitch == fpFixed ? 'f' : '-') + (Lang ? Lang : "");
    auto It = FSorts.find(Key);
    if (It != FSorts.end()) return It->second;
    FcPattern* Pat = FcPatternCreate();
    if (!L.FaceName.empty())
      FcPatternAddString(Pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(L.FaceName.c_str()));
    FcPatternAddInteger(Pat, FC_WEIGHT, L.Weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(Pat, FC_SLANT, L.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (L.Pitch == fpFixed) FcPatternAddInteger(Pat, FC_SPACING, FC_MONO);
    if (Lang) FcPatternAddString(Pat, FC_LANG, reinterpret_cast<const FcChar8*>(Lang));
    FcPatternAddBool(Pat, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, Pat, FcMatchPattern);
    FcDefaultSubstitute(Pat);
    FcResult Res;
    FcFontSet* Sorted = FcFontSort(nullptr, Pat, FcFalse, nullptr, &Res);
    FcPatternDestroy(Pat);
    if (FSorts.size() >= MaxCachedSorts) DropSorts();
    FSorts.emplace(std::move(Key), Sorted);
    return Sorted;
  }

  void DropSorts() {
    for (auto& S : FSorts)
      if (S.second) FcFontSetDestroy(S.second);
    FSorts.clear();
  }

  std::shared_ptr<const TvxFontFile> LoadFile(const std::string& Path, int Index) {
    std::string Key = Path + '\n' + std::to_string(Index);
    auto It = FFiles.find(Key);
    if (It != FFiles.end()) return It->second;
    auto F = std::make_shared<TvxFontFile>();
    F->RawData = ReadWholeFile(Path);
    F->FaceIndex = Index;
    F->Collection = F->RawData.size() >= 12 && F->RawData.compare(0, 4, "ttcf") == 0;
    if (F->Collection) F->Face = ExtractCollectionFace(F->RawData, static_cast<uint32_t>(Index));
    // FreeType reads the extracted face as a font of its own, so the rest of
    // the collection (other faces' glyphs) need not stay in memory.
    if (F->Collection && !F->Face.empty()) {
      F->RawData = std::move(F->Face);
      F->Face.clear();
      F->Face.shrink_to_fit();
      F->Collection = false;
      F->FaceIndex = 0;
    }
    if (FFiles.size() >= MaxCachedFiles) FFiles.clear();
    FFiles.emplace(Key, F);
    return F;
  }

  std::mutex FMutex;
  std::shared_ptr<FT_LibraryRec_> FLibrary;
  bool FFcLoaded = false;
  std::unordered_map<TvxLogFont, std::shared_ptr<const TvxPlatformFont>, TvxLogFontHash> FFonts;
  std::map<std::string, std::shared_ptr<const TvxFontFile>> FFiles;
  // Fonts of faces chosen by file, for fallbacks.
  std::unordered_map<TvxFaceKey, std::shared_ptr<TvxFreeTypeFont>, TvxFaceKeyHash> FFaceFonts;
  // Per character and logical font, nil when no face has the character.
  std::unordered_map<TvxFallbackKey, std::shared_ptr<const TvxPlatformFont>, TvxFallbackKeyHash>
      FFallbacks;
  // fontconfig's sorted lists, owned; gone before fontconfig is let go of.
  std::map<std::string, FcFontSet*> FSorts;
};

TvxFontService* CurrentService = nullptr;
uint32_t Generation = 0;

TvxFontService& DefaultService() {
  static TvxFontConfigService Service;
  return Service;
}

}  // namespace

TvxFontService& FontService() {
  return CurrentService ? *CurrentService : DefaultService();
}

void SetFontService(TvxFontService* Service) {
  CurrentService = Service;
  ++Generation;
}

uint32_t FontServiceGeneration() {
  return Generation;
}

}  // namespace vx

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VX_ASAN)
// fontconfig loses a few bytes while parsing its configuration (inside
// FcInit); they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
// The statistics of used suppressions would end up on standard error of every
// command that touched fontconfig, mixed into its own messages.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif
