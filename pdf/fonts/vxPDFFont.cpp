#include "pdf/fonts/vxPDFFont.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

#include "pdf/fonts/vxFontEncodings.h"
#include "pdf/fonts/vxTextMeasure.h"
#include "pdf/fonts/vxTrueType.h"
#include "pdf/objects/vxUtils.h"
#include "platform/vxCodePage.h"

namespace vx {

// What the analysis finds for a face, style and character set at the
// reference size. Shared between fonts of any size: stamping many pages
// analyses a font once.
struct TvxPDFFont::TvxAnalysis {
  TvxPDFFontInfo Info;  // the size-independent values
  std::string FaceName;
  bool HasOutline = false;
  TvxOutlineMetrics Outline;  // pixels at the reference size
  std::unique_ptr<TvxTrueTypeFile> File;
  std::vector<uint16_t> GlyphIDs;
  std::vector<char16_t> CodePoints;
  std::vector<int32_t> GlyphWidths;
  // Characters of the other encodings that Windows-1252 lacks, measured.
  std::map<char16_t, int32_t> ExtraWidths;
  // By code unit: the first cmap entry's glyph, or -1. Made on first use
  // (a quarter megabyte for most fonts, needed only to encode glyphs).
  mutable std::once_flag FirstGlyphMade;
  mutable std::vector<int32_t> FirstGlyph;
  const std::vector<int32_t>& FirstGlyphs() const {
    std::call_once(FirstGlyphMade, [this] {
      char16_t Top = 0;
      for (char16_t C : CodePoints) Top = std::max(Top, C);
      FirstGlyph.assign(CodePoints.empty() ? 0 : Top + 1u, -1);
      for (size_t K = CodePoints.size(); K-- > 0;) FirstGlyph[CodePoints[K]] = GlyphIDs[K];
    });
    return FirstGlyph;
  }
};

namespace {

using TvxAnalysis = TvxPDFFont::TvxAnalysis;

constexpr size_t MaxCachedAnalyses = 64;

double PixelsToThousandths(double Pixels) {
  return Pixels / PixelsPerInch() * 72;
}

int32_t RoundToInt(double V) {
  if (!(V > -2e9 && V < 2e9)) return 0;
  return static_cast<int32_t>(std::lround(V));
}

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

std::shared_ptr<const TvxAnalysis> Analyse(const TvxFont& Font, bool CheckCharset,
                                           bool CollectUsed) {
  auto A = std::make_shared<TvxAnalysis>();
  TvxPDFFontInfo& I = A->Info;
  // Measured at 1000 points: pixel extents become thousandths of the em.
  double RefHeight = 1000.0 * PixelsPerInch() / 72.0;
  TvxLogFont RefLog = LogFontOf(Font, RefHeight);
  RefLog.Underline = RefLog.StrikeOut = false;
  TvxFontService& Service = FontService();
  std::shared_ptr<const TvxPlatformFont> Ref = Service.CreateFont(RefLog);
  if (SameText(Font.Name, "Symbol")) {
    // The symbol face, upright and regular, in its own proportions: widths
    // stretched to another face's would not be the widths readers draw.
    TvxLogFont Sym;
    Sym.FaceName = "Symbol";
    Sym.Height = RefHeight;
    Sym.Weight = 400;
    Sym.Charset = SymbolCharset;
    Sym.TrueTypeOnly = true;
    Ref = Service.CreateFont(Sym);
  }
  A->FaceName = Ref->FaceName();
  const TvxTextMetrics& Tm = Ref->TextMetrics();
  uint8_t Pf = Tm.PitchAndFamily;

  const std::string& Data = Ref->FontData();
  bool Kind0 = (Pf & tmpfTrueType) != 0 && !Data.empty();
  if (Kind0 && CheckCharset) {
    uint8_t Cs = Font.Charset == DefaultCharset ? SystemDefaultCharset() : Font.Charset;
    std::vector<uint8_t> Sets = Service.FontCharsets(Font.Name);
    Kind0 = std::find(Sets.begin(), Sets.end(), Cs) != Sets.end();
  }
  if (Kind0)
    I.FontKind = fkTrueType;
  else if ((Pf & (tmpfVariablePitch | tmpfVector | tmpfDevice)) ==
           (tmpfVariablePitch | tmpfVector | tmpfDevice))
    I.FontKind = fkVector;
  I.FixedPitch = (Pf & tmpfVariablePitch) == 0;

  // Every font is measured code by code, a fixed-pitch one included: its
  // widths are its own, not a guess.
  for (int C = 32; C < 256; ++C) {
    char B = static_cast<char>(C);
    I.Widths[C - 32] =
        RoundToInt(PixelsToThousandths(Ref->TextExtent(std::string_view(&B, 1)).Width));
  }

  I.Symbolic = Tm.Charset == SymbolCharset;
  if (!I.Symbolic)
    for (uint8_t Enc : {enMacRoman, enStandard})
      for (int C = 32; C < 256; ++C) {
        char16_t U = EncodedChar(Enc, static_cast<uint8_t>(C));
        if (U && UnicodeToCp1252(U) < 0 && !A->ExtraWidths.count(U))
          A->ExtraWidths[U] = RoundToInt(PixelsToThousandths(Ref->CharExtent(U).Width));
      }

  I.Flags = 33;
  if (!I.FixedPitch) I.Flags -= 1;
  if (Tm.Charset == SymbolCharset) I.Flags -= 28;
  if (Pf & 0x10) I.Flags += 2;
  if (Pf & 0x40) I.Flags += 8;
  if (Tm.Italic) I.Flags += 64;

  int32_t Ppi = PixelsPerInch();
  I.Ascent = PixelsToThousandths(Tm.Ascent);
  I.Descent = -PixelsToThousandths(std::abs(Tm.Descent));
  I.CapHeight = I.Ascent;
  I.AvgWidth = Tm.AveCharWidth / Ppi * 72;
  // A fixed-pitch font's widest glyph is any glyph: the space stands for all.
  I.MaxWidth = I.FixedPitch ? I.Widths[0] : Tm.MaxCharWidth / Ppi * 72;
  I.BBoxTop = RoundToInt(I.Ascent);
  I.BBoxRight = I.MaxWidth;
  I.BBoxBottom = RoundToInt(I.Descent);

  if (I.FontKind == fkTrueType) {
    A->HasOutline = Ref->OutlineMetrics(A->Outline);
    if (A->HasOutline) I.ItalicAngle = A->Outline.ItalicAngle / 10;
    I.StemV = 78;
    // The platform's copy of the file is shared, not copied again.
    A->File = std::make_unique<TvxTrueTypeFile>(Ref->SharedFontData());
    bool Lists = CollectUsed || (Font.Charset != AnsiCharset && Font.Charset != DefaultCharset &&
                                 CodePageService().AnsiCodePage() == 1252);
    if (Lists) {
      A->File->ReadCmap(A->GlyphIDs, A->CodePoints);
      A->GlyphWidths = A->File->ReadGlyphWidths();
    }
  }
  return A;
}

std::mutex& AnalysisMutex() {
  static std::mutex Mutex;
  return Mutex;
}

std::map<std::string, std::shared_ptr<const TvxAnalysis>>& AnalysisCache() {
  static std::map<std::string, std::shared_ptr<const TvxAnalysis>> Cache;
  return Cache;
}

std::shared_ptr<const TvxAnalysis> CachedAnalysis(const TvxFont& Font, bool CheckCharset,
                                                  bool CollectUsed) {
  std::mutex& Mutex = AnalysisMutex();
  auto& Cache = AnalysisCache();
  std::string Key = Font.Name;
  Key += '\0';
  Key += static_cast<char>(Font.Bold | Font.Italic << 1 | CheckCharset << 2 | CollectUsed << 3);
  Key += static_cast<char>(Font.Pitch);
  Key += static_cast<char>(Font.Charset);
  Key += std::to_string(FontServiceGeneration());
  Key += ':' + std::to_string(CodePageService().AnsiCodePage());
  {
    std::lock_guard<std::mutex> Lock(Mutex);
    auto It = Cache.find(Key);
    if (It != Cache.end()) return It->second;
  }
  std::shared_ptr<const TvxAnalysis> A = Analyse(Font, CheckCharset, CollectUsed);
  std::lock_guard<std::mutex> Lock(Mutex);
  if (Cache.size() >= MaxCachedAnalyses) Cache.clear();
  Cache.emplace(Key, A);
  return A;
}

void AppendHex4(std::string& S, uint32_t V) {
  const char Bytes[2] = {static_cast<char>((V >> 8) & 0xFF), static_cast<char>(V & 0xFF)};
  S += BytesToHex(std::string_view(Bytes, 2));
}

}  // namespace

void ReleaseFontAnalyses() {
  std::map<std::string, std::shared_ptr<const TvxAnalysis>> Gone;
  {
    std::lock_guard<std::mutex> Lock(AnalysisMutex());
    Gone.swap(AnalysisCache());
  }
}

bool NeedsCIDFont(uint8_t Charset) {
  if (Charset == AnsiCharset || Charset == SymbolCharset) return false;
  if (Charset == DefaultCharset) return CodePageService().AnsiCodePage() != 1252;
  return true;
}

TvxPDFFont::TvxPDFFont(const TvxFont& Font, bool CheckCharset, bool CollectUsed)
    : FFont(Font), FInfo(std::make_unique<TvxPDFFontInfo>()), FCollectUsed(CollectUsed) {
  FAnalysis = CachedAnalysis(Font, CheckCharset, CollectUsed);
  *FInfo = FAnalysis->Info;
  // Decoration metrics in points for this font's size.
  if (FInfo->FontKind == fkTrueType && FAnalysis->HasOutline) {
    const TvxOutlineMetrics& O = FAnalysis->Outline;
    auto Scale = [&](int32_t Px) {
      return RoundToInt(FFont.Size * PixelsToThousandths(Px) / 1000.0);
    };
    FInfo->StrikeoutSize = Scale(O.StrikeoutSize);
    FInfo->StrikeoutPosition = Scale(O.StrikeoutPosition);
    FInfo->UnderscoreSize = Scale(O.UnderscoreSize);
    FInfo->UnderscorePosition = Scale(O.UnderscorePosition);
  } else {
    FInfo->StrikeoutSize = FFont.Size / 20;
    FInfo->StrikeoutPosition = std::abs(FFont.Height(PixelsPerInch())) / 5;
    FInfo->UnderscoreSize = FFont.Size / 10;
    FInfo->UnderscorePosition = -1;
  }
}

TvxPDFFont::~TvxPDFFont() = default;

std::array<int32_t, 224> TvxPDFFont::EncodedWidths(uint8_t FontEncoding) const {
  std::array<int32_t, 224> W = FInfo->Widths;
  if (FInfo->Symbolic || (FontEncoding != enMacRoman && FontEncoding != enStandard)) return W;
  for (int C = 32; C < 256; ++C) {
    char16_t U = EncodedChar(FontEncoding, static_cast<uint8_t>(C));
    int B = U ? UnicodeToCp1252(U) : -1;
    if (B >= 32) {
      W[C - 32] = FInfo->Widths[B - 32];
    } else {
      auto It = FAnalysis->ExtraWidths.find(U);
      W[C - 32] = It != FAnalysis->ExtraWidths.end() ? It->second : 0;
    }
  }
  return W;
}

const std::string& TvxPDFFont::FaceName() const {
  return FAnalysis->FaceName;
}

const std::vector<uint16_t>& TvxPDFFont::GlyphIDs() const {
  return FAnalysis->GlyphIDs;
}

const std::vector<char16_t>& TvxPDFFont::CodePoints() const {
  return FAnalysis->CodePoints;
}

const std::vector<int32_t>& TvxPDFFont::GlyphWidths() const {
  return FAnalysis->GlyphWidths;
}

int32_t TvxPDFFont::GlyphOf(char16_t C) const {
  const std::vector<int32_t>& First = FAnalysis->FirstGlyphs();
  return C < First.size() ? First[C] : -1;
}

void TvxPDFFont::AddUsedChars(std::u16string_view Chars) {
  if (FInfo->FontKind != fkTrueType || !FCollectUsed) return;
  for (char16_t C : Chars)
    if (C != u' ') FUsedChars.insert(C);
}

std::string TvxPDFFont::EncodeGlyphText(std::u16string_view Text, uint8_t Charset) {
  std::string Out;
  if (Text.empty()) return Out;
  Out.reserve(Text.size() * 4);
  auto Emit = [&](char16_t U) {
    int32_t G = GlyphOf(U);
    if (G < 0) return;
    if (FCollectUsed && FInfo->FontKind == fkTrueType && U != u' ') FUsedChars.insert(U);
    AppendHex4(Out, static_cast<uint32_t>(G));
  };
  const TvxCodePageService& Cp = CodePageService();
  uint32_t Ansi = Cp.AnsiCodePage();
  if (!Cp.IsDBCSLeadByte(static_cast<uint8_t>(Text[0] & 0xFF), Ansi)) {
    for (char16_t U : Text) Emit(U);
    return Out;
  }
  // Text typed on a double-byte system: each character is taken through the
  // system code page into the font's own.
  size_t B = 0, E = Text.size();
  auto Blank = [](char16_t C) { return C <= u' '; };
  while (B < E && Blank(Text[B])) ++B;
  while (E > B && Blank(Text[E - 1])) --E;
  uint32_t FontCp = CharsetCodePages(Charset);
  for (size_t K = B; K < E; ++K) {
    std::u16string U = Cp.ToUnicode(Cp.FromUnicode(Text.substr(K, 1), Ansi), FontCp);
    if (U.empty() && K + 1 < E && Cp.IsDBCSLeadByte(static_cast<uint8_t>(Text[K] & 0xFF), Ansi)) {
      U = Cp.ToUnicode(Cp.FromUnicode(Text.substr(K, 2), Ansi), FontCp);
      ++K;
    }
    if (!U.empty()) Emit(U[0]);
  }
  return Out;
}

void TvxPDFFont::GetFontFile(TvxMemoryStream& Stream) const {
  if (FInfo->FontKind != fkTrueType || !FAnalysis->File) return;
  std::string_view Data = FAnalysis->File->Data();
  Stream.Write(Data.data(), static_cast<int64_t>(Data.size()));
}

int64_t TvxPDFFont::FontFileSize() const {
  if (FInfo->FontKind != fkTrueType || !FAnalysis->File) return 0;
  return static_cast<int64_t>(FAnalysis->File->Data().size());
}

std::vector<bool> TvxPDFFont::KeptGlyphs() const {
  std::vector<bool> Keep(std::max<size_t>(FAnalysis->GlyphWidths.size(), 1), false);
  Keep[0] = true;
  const auto& Codes = FAnalysis->CodePoints;
  const auto& Glyphs = FAnalysis->GlyphIDs;
  // The space is never recorded as used, yet text shows it: its (empty)
  // glyph stays so that its width is written.
  for (size_t K = 0; K < Codes.size(); ++K)
    if (Codes[K] == u' ' || FUsedChars.count(Codes[K])) {
      if (Glyphs[K] >= Keep.size()) Keep.resize(Glyphs[K] + 1u, false);
      Keep[Glyphs[K]] = true;
    }
  return Keep;
}

void TvxPDFFont::BuildSubset(TvxMemoryStream& Stream) {
  FIsSubset = false;
  Stream.Clear();
  GetFontFile(Stream);
  if (FInfo->FontKind != fkTrueType || !FAnalysis->File) return;
  // The components of accented letters and the like come along.
  std::vector<bool> Keep = FAnalysis->File->WithComponents(KeptGlyphs());
  std::string Subset = FAnalysis->File->BuildSubset(Keep);
  if (Subset.empty() || Subset.size() >= FAnalysis->File->Data().size()) return;
  Stream.Clear();
  Stream.Write(Subset.data(), static_cast<int64_t>(Subset.size()));
  FIsSubset = true;
  FSubsetGlyphs = std::move(Keep);
}

std::string TvxPDFFont::SubsetTag() const {
  // FNV-1a over the kept glyph numbers, spelled in six letters.
  uint64_t H = 0xCBF29CE484222325ull;
  std::vector<bool> Keep = KeptGlyphs();
  for (size_t G = 0; G < Keep.size(); ++G)
    if (Keep[G]) {
      H = (H ^ (G & 0xFF)) * 0x100000001B3ull;
      H = (H ^ (G >> 8)) * 0x100000001B3ull;
    }
  std::string Tag;
  for (int K = 0; K < 6; ++K) {
    Tag.push_back(static_cast<char>('A' + H % 26));
    H /= 26;
  }
  return Tag;
}

std::string ToUnicodeCMapText(
    const std::vector<std::pair<uint16_t, std::u16string_view>>& Entries) {
  std::string T;
  T.reserve(Entries.size() * 16 + 1024);
  auto Line = [&T](std::string_view L) {
    T.append(L);
    T.append("\r\n");
  };
  Line("%!PS-Adobe-3.0 Resource-CMap");
  Line("%%DocumentNeededResources: ProcSet (CIDInit)");
  Line("%%IncludeResource: ProcSet (CIDInit)");
  Line("%%BeginResource: CMap (Adobe-Identity-UCS)");
  Line("%%Title: (Adobe-Identity-UCS Adobe UCS 0)");
  Line("%%Version: 10.001");
  Line("%%EndComments");
  Line("");
  Line("/CIDInit /ProcSet findresource begin");
  Line("");
  Line("12 dict begin");
  Line("");
  Line("begincmap");
  Line("");
  Line("/CIDSystemInfo 3 dict dup begin");
  Line("/Registry (Adobe) def");
  Line("/Ordering (UCS) def");
  Line("/Supplement 0 def");
  Line("end def");
  Line("");
  Line("/CMapName /Adobe-Identity-UCS def");
  Line("/CMapVersion 10.001 def");
  Line("/CMapType 2 def");
  Line("");
  Line("1 begincodespacerange");
  Line("<0000> <FFFF>");
  Line("endcodespacerange");
  for (size_t From = 0; From < Entries.size(); From += 100) {
    const size_t N = std::min<size_t>(Entries.size() - From, 100);
    T.append(std::to_string(N));
    Line(" beginbfchar");
    for (size_t K = From; K < From + N; ++K) {
      T.push_back('<');
      AppendHex4(T, Entries[K].first);
      T.append("> <");
      for (char16_t U : Entries[K].second) AppendHex4(T, U);
      Line(">");
    }
    Line("endbfchar");
  }
  Line("endcmap");
  Line("CMapName currentdict /CMap defineresource pop");
  Line("end");
  Line("end");
  Line("");
  Line("%%EndResource");
  T.append("%%EOF");
  return T;
}

void TvxPDFFont::WriteToUnicodeCMap(TvxMemoryStream& Stream) const {
  const auto& Glyphs = FAnalysis->GlyphIDs;
  const auto& Codes = FAnalysis->CodePoints;
  if (Glyphs.empty()) return;
  // One mapping per glyph: its first code point in cmap order.
  std::vector<std::pair<uint16_t, char16_t>> ToCode;
  ToCode.reserve(Glyphs.size());
  const std::vector<bool>& Keep = FSubsetGlyphs;
  for (size_t K = 0; K < Glyphs.size(); ++K) {
    uint16_t G = Glyphs[K];
    if (FIsSubset && (G >= Keep.size() || !Keep[G])) continue;
    ToCode.emplace_back(G, Codes[K]);
  }
  // By glyph, the first code in cmap order kept.
  std::stable_sort(ToCode.begin(), ToCode.end(),
                   [](const auto& A, const auto& B) { return A.first < B.first; });
  ToCode.erase(std::unique(ToCode.begin(), ToCode.end(),
                           [](const auto& A, const auto& B) { return A.first == B.first; }),
               ToCode.end());
  std::vector<std::pair<uint16_t, std::u16string_view>> Entries;
  Entries.reserve(ToCode.size());
  for (const auto& [Glyph, Code] : ToCode)
    Entries.emplace_back(Glyph, std::u16string_view(&Code, 1));
  const std::string T = ToUnicodeCMapText(Entries);
  Stream.Write(T.data(), static_cast<int64_t>(T.size()));
}

}  // namespace vx
