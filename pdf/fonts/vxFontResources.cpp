#include "pdf/fonts/vxFontResources.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "pdf/filters/vxFlateFilter.h"
#include "pdf/fonts/vxFontEncodings.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxUtils.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

constexpr std::string_view PageNoVariable = "<%PageNo%>";

std::string_view EncodingName(uint8_t FontEncoding) {
  // An index outside the table writes the default encoding, never garbage.
  return EncodingNames[FontEncoding < std::size(EncodingNames) ? FontEncoding : 0];
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// A name's text with #xx escapes decoded, so that differently escaped
// spellings of one name compare equal.
std::string NormalName(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '#' && I + 2 < Text.size()) {
      int H = HexValue(Text[I + 1]), L = HexValue(Text[I + 2]);
      if (H >= 0 && L >= 0) {
        Out.push_back(static_cast<char>(H << 4 | L));
        I += 2;
        continue;
      }
    }
    Out.push_back(Text[I]);
  }
  return Out;
}

// Position of Needle in Text, ASCII case ignored; npos when absent.
size_t FindNoCase(std::u16string_view Text, std::string_view Needle, size_t From = 0) {
  auto Low = [](char16_t C) { return C >= u'A' && C <= u'Z' ? C - u'A' + u'a' : C; };
  for (size_t I = From; I + Needle.size() <= Text.size(); ++I) {
    size_t K = 0;
    while (K < Needle.size() &&
           Low(Text[I + K]) == Low(static_cast<char16_t>(static_cast<uint8_t>(Needle[K]))))
      ++K;
    if (K == Needle.size()) return I;
  }
  return std::u16string_view::npos;
}

// What a font entry of a page holds, resolved.
struct TvxFontEntry {
  std::string Subtype, BaseFont, Encoding;
  const TvxPDFDictObject* Dict = nullptr;
};

class TvxEntryReader {
 public:
  explicit TvxEntryReader(const TvxPDFObjectStore& Store) : S(Store) {}

  const TvxPDFDictObject* Dict(TvxPDFObject* Obj) const { return AsDict(S.Resolve(Obj)); }
  // The normalised text (with slash) of a name entry; empty for anything else.
  std::string Name(const TvxPDFDictObject& D, std::string_view Key) const {
    const auto* R = ObjectAs<TvxPDFNameObject>(S.Resolve(D.Lookup(Key)));
    return R ? NormalName(R->Text) : std::string();
  }
  bool Integer(const TvxPDFDictObject& D, std::string_view Key, int64_t& Value) const {
    TvxPDFObject* R = S.Resolve(D.Lookup(Key));
    if (const auto* N = ObjectAs<TvxPDFIntegerObject>(R))
      Value = N->Value;
    else if (const auto* N64 = ObjectAs<TvxPDFInt64Object>(R))
      Value = N64->Value;
    else
      return false;
    return true;
  }
  TvxFontEntry Entry(TvxPDFObject* Obj) const {
    TvxFontEntry E;
    E.Dict = Dict(Obj);
    if (!E.Dict) return E;
    E.Subtype = Name(*E.Dict, "/Subtype");
    E.BaseFont = Name(*E.Dict, "/BaseFont");
    E.Encoding = Name(*E.Dict, "/Encoding");
    // Only a font without /Encoding keeps its built-in one.
    if (E.Encoding.empty() && E.Dict->Lookup("/Encoding")) E.Encoding = "?";
    return E;
  }
  // A simple font whose widths cover every code the watermark may use.
  bool CoversWinAnsiRange(const TvxPDFDictObject& D) const {
    int64_t First = 0, Last = 0;
    return Integer(D, "/FirstChar", First) && Integer(D, "/LastChar", Last) && First <= 32 &&
           Last >= 255;
  }
  // A simple font whose widths of the codes 32..255 are ours: the spacing
  // is computed from ours, viewers place glyphs by the font's. One unit
  // apart is rounding.
  bool HasWidths(const TvxPDFDictObject& D, const std::array<int32_t, 224>& Ours) const {
    int64_t First = 0;
    const auto* W = ObjectAs<TvxPDFArrayObject>(S.Resolve(D.Lookup("/Widths")));
    if (!Integer(D, "/FirstChar", First) || First > 32 || First < 0 || !W) return false;
    for (int32_t C = 32; C < 256; ++C) {
      TvxPDFObject* V = S.Resolve(W->GetItem(static_cast<int32_t>(C - First)));
      if (!V || !(V->IsInteger() || V->IsInt64() || V->IsReal()) ||
          std::fabs(GetNumberValue(V) - Ours[C - 32]) > 1)
        return false;
    }
    return true;
  }
  // The font program a font descriptor embeds: Length1 of its /FontFile2,
  // 0 for a program of another kind or of unknown length, -1 for none.
  int64_t ProgramLength(const TvxPDFDictObject& Font) const {
    const TvxPDFDictObject* Desc = Dict(Font.Lookup("/FontDescriptor"));
    if (!Desc) return -1;
    if (const auto* File = ObjectAs<TvxPDFStreamObject>(S.Resolve(Desc->Lookup("/FontFile2")))) {
      const TvxPDFDictObject* FileDict = File->Dict.get();
      int64_t Length1 = 0;
      return FileDict && Integer(*FileDict, "/Length1", Length1) && Length1 > 0 ? Length1 : 0;
    }
    for (std::string_view Key : {"/FontFile", "/FontFile3"}) {
      TvxPDFObject* Other = S.Resolve(Desc->Lookup(Key));
      if (Other && Other->IsStream()) return 0;
    }
    return -1;
  }
  // Whether a simple font embeds what the job asks for: with no embedding
  // anything goes (as before); a whole font must carry our program; a
  // subset our tagged subset or our whole program.
  bool EmbedsAsAsked(const TvxPDFDictObject& Font, uint8_t Embedding, int64_t ProgramSize,
                     bool Tagged) const {
    if (Embedding == feNone) return true;
    int64_t Length = ProgramLength(Font);
    if (Embedding == feSubset && Tagged) return Length >= 0;
    return Length == ProgramSize && ProgramSize > 0;
  }
  // A composite font whose character codes are glyph numbers of an embedded
  // TrueType program: ours when its tagged name matched (a subset), or when
  // it is as long as ProgramSize (glyph numbers differ between versions of
  // a face, so another vendor's whole font would show other glyphs).
  bool IsIdentityCIDFont(const TvxPDFDictObject& D, bool Subset, int64_t ProgramSize) const {
    const auto* A = ObjectAs<TvxPDFArrayObject>(S.Resolve(D.Lookup("/DescendantFonts")));
    if (!A) return false;
    const TvxPDFDictObject* Cid = Dict(A->GetItem(0));
    if (!Cid || Name(*Cid, "/Subtype") != "/CIDFontType2") return false;
    TvxPDFObject* Map = S.Resolve(Cid->Lookup("/CIDToGIDMap"));
    const auto* MapName = ObjectAs<TvxPDFNameObject>(Map);
    if (Map && !(MapName && MapName->Text == "/Identity")) return false;
    const TvxPDFDictObject* Desc = Dict(Cid->Lookup("/FontDescriptor"));
    const auto* File =
        ObjectAs<TvxPDFStreamObject>(Desc ? S.Resolve(Desc->Lookup("/FontFile2")) : nullptr);
    if (!File) return false;
    int64_t Length1 = -1;
    const TvxPDFDictObject* FileDict = File->Dict.get();
    return Subset ||
           (FileDict && Integer(*FileDict, "/Length1", Length1) && Length1 == ProgramSize);
  }

 private:
  const TvxPDFObjectStore& S;
};

}  // namespace

std::string MakeBaseFontName(const TvxPDFFont& Font) {
  std::string Name;
  for (char C : Font.FaceName())
    if (C != ' ') Name.push_back(C);
  const TvxFont& F = Font.Font();
  if (F.Bold || F.Italic) {
    Name.push_back(',');
    if (F.Bold) Name += "Bold";
    if (F.Italic) Name += "Italic";
  }
  return Name;
}

std::string MakeBaseFontName(const TvxFont& Font) {
  return MakeBaseFontName(TvxPDFFont(Font, false, false));
}

std::string EscapePDFName(std::string_view Raw) {
  std::string Out = "/";
  for (char Ch : Raw) {
    auto C = static_cast<uint8_t>(Ch);
    bool Plain =
        C >= 33 && C <= 126 && std::string_view("()<>[]{}/%#").find(Ch) == std::string_view::npos;
    if (Plain) {
      Out.push_back(Ch);
    } else {
      Out.push_back('#');
      Out += BytesToHex(std::string_view(&Ch, 1));
    }
  }
  return Out;
}

std::unique_ptr<TvxMemoryStream> CompressFontStream(const std::string& Data) {
  return std::make_unique<TvxMemoryStream>(TvxFlateFilter().EncodeString(Data));
}

std::unique_ptr<TvxPDFArrayObject> BuildWidthsArray(const std::vector<int32_t>& GlyphWidths,
                                                    const std::vector<bool>* Keep) {
  auto W = std::make_unique<TvxPDFArrayObject>();
  auto Kept = [&](size_t G) { return !Keep || (G < Keep->size() && (*Keep)[G]); };
  size_t Last = GlyphWidths.empty() ? 0 : GlyphWidths.size() - 1;
  size_t G = 1;
  while (G <= Last) {
    if (!Kept(G)) {
      ++G;
      continue;
    }
    int32_t Width = GlyphWidths[G];
    size_t E = G;
    while (E + 1 <= Last && Kept(E + 1) && GlyphWidths[E + 1] == Width) ++E;
    // A run reaching the last glyph leaves that glyph to a triple of its own.
    if (E == Last && E > G) --E;
    W->AddInteger(static_cast<int32_t>(G));
    W->AddInteger(static_cast<int32_t>(E));
    W->AddInteger(Width);
    G = E + 1;
  }
  return W;
}

TvxPDFIndirectObject* TvxFontResources::AddNew(TvxPDFObjectPtr Value) {
  return FStore.AddObject(std::make_unique<TvxPDFIndirectObject>(
      FDocumentID, FStore.NewObjectNumber(), 0, true, std::move(Value)));
}

std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::AddFontStream(const std::string& Data,
                                                                         bool WithLength1) {
  auto Dict = std::make_unique<TvxPDFDictObject>();
  std::unique_ptr<TvxMemoryStream> Packed = CompressFontStream(Data);
  if (WithLength1) Dict->AddInteger("/Length1", static_cast<int32_t>(Data.size()));
  Dict->AddInteger("/Length", static_cast<int32_t>(Packed->MemSize()));
  Dict->AddName("/Filter", "/FlateDecode");
  return MakeReference(
      *AddNew(std::make_unique<TvxPDFStreamObject>(std::move(Dict), std::move(Packed))));
}

bool TvxFontResources::FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                                        std::string& ResourceName, uint8_t FontEncoding,
                                        uint8_t FontEmbedding) {
  TvxFontLookupCache Cache;
  return FindFontResource(FontDict, Font, ResourceName, FontEncoding, FontEmbedding, Cache);
}

bool TvxFontResources::FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                                        std::string& ResourceName, uint8_t FontEncoding,
                                        uint8_t FontEmbedding, TvxFontLookupCache& Cache) {
  ResourceName.clear();
  CheckFontEncoding(FontEncoding);
  TvxFontLookupCache& C = Cache;
  if (!C.Prepared) {
    C.Prepared = true;
    TvxPDFFont F(Font, false, false);
    C.BaseFont = NormalName(EscapePDFName(MakeBaseFontName(F)));
    C.Composite = NeedsCIDFont(Font.Charset);
    // Composite text is glyph numbers of our own TrueType program: only such
    // a font can show it.
    C.Usable = !C.Composite || F.FontKind() == fkTrueType;
    C.Subtype = C.Composite ? "/Type0" : F.FontKind() != fkTrueType ? "/Type1" : "/TrueType";
    C.Encoding = C.Composite         ? "/Identity-H"
                 : F.Info().Symbolic ? ""
                                     : "/" + std::string(EncodingName(FontEncoding));
    C.ProgramSize = F.FontFileSize();
    C.Embedding = F.FontKind() != fkTrueType ? feNone
                  : FontEmbedding > feSubset ? feFull
                                             : FontEmbedding;
    C.Widths = F.EncodedWidths(FontEncoding);
  }
  if (!C.Usable || !FontDict) return false;
  TvxEntryReader R(FStore);
  for (int32_t I = 0; I < FontDict->Count(); ++I) {
    const TvxPDFDictObject* Entry = R.Dict(FontDict->GetValue(I));
    if (!Entry) continue;
    int32_t Usable = C.Judged.Find(Entry);
    if (Usable < 0) {
      TvxFontEntry E = R.Entry(FontDict->GetValue(I));
      Usable = E.Subtype == C.Subtype && E.BaseFont == C.BaseFont && E.Encoding == C.Encoding &&
               (C.Composite ? R.IsIdentityCIDFont(*Entry, false, C.ProgramSize)
                            : R.CoversWinAnsiRange(*Entry) && R.HasWidths(*Entry, C.Widths) &&
                                  R.EmbedsAsAsked(*Entry, C.Embedding, C.ProgramSize, false));
      C.Judged.Insert(Entry, Usable);
    }
    if (!Usable) continue;
    ResourceName = FontDict->GetKey(I)->Text;
    return true;
  }
  return false;
}

std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::CreateFontResource(
    const TvxFont& Font, const std::string& ResourceName, uint8_t FontEmbedding,
    uint8_t FontEncoding, std::u16string_view Text) {
  CheckFontEncoding(FontEncoding);
  TvxPDFFont F(Font, false, true);
  bool TrueType = F.FontKind() == fkTrueType;
  bool Composite = NeedsCIDFont(Font.Charset);
  if (Composite && !TrueType)
    throw EUnsupportedFontError(FormatMessage(msg::UnsupportedFont, Font.Name));
  uint8_t Embedding = TrueType ? FontEmbedding : feNone;
  // Composite text is glyph numbers of this very program: always embedded.
  if (Composite && Embedding == feNone) Embedding = feFull;
  if (Embedding > feSubset) Embedding = feFull;

  // The font program, decided first: the names depend on it.
  TvxMemoryStream Program;
  std::string Prefix;
  if (Embedding == feSubset) {
    // The subset must hold every glyph the pages will show: page numbers
    // need the digits; other variables are unknown here, so they need all.
    std::u16string Shown(Text);
    bool PageNo = false;
    for (size_t P; (P = FindNoCase(Shown, PageNoVariable)) != std::u16string::npos;) {
      Shown.erase(P, PageNoVariable.size());
      PageNo = true;
    }
    bool Whole = FindNoCase(Shown, "<%") != std::u16string::npos;
    // A simple font shows what the system code page makes of the text.
    if (!Composite) Shown = AnsiToUnicode(UnicodeToAnsi(Shown));
    if (!Composite && !F.Info().Symbolic) Shown = ShownInEncoding(Shown, FontEncoding);
    F.EncodeGlyphText(Shown, Font.Charset);
    if (PageNo) F.AddUsedChars(u"0123456789");
    bool Blank = std::all_of(Shown.begin(), Shown.end(), [](char16_t C) { return C <= u' '; });
    if (F.UsedChars().empty() && !Blank) Whole = true;
    if (Whole) {
      Embedding = feFull;
    } else {
      F.BuildSubset(Program);
      if (F.IsSubset())
        Prefix = F.SubsetTag() + "+";
      else
        Embedding = feFull;
    }
  }
  if (Embedding == feFull) F.GetFontFile(Program);

  std::string Base = MakeBaseFontName(F);
  std::string BaseFont = EscapePDFName(Prefix + Base);
  std::string Subtype = Composite ? "/Type0" : TrueType ? "/TrueType" : "/Type1";
  // A symbolic face shows its codes through its own encoding: naming
  // another would send readers to glyphs it does not have.
  bool Symbolic = !Composite && F.Info().Symbolic;
  std::string Encoding = Composite  ? "/Identity-H"
                         : Symbolic ? ""
                                    : "/" + std::string(EncodingName(FontEncoding));
  const std::array<int32_t, 224> Widths = F.EncodedWidths(FontEncoding);

  // Reuse a font of the document only when it shows this text exactly as a
  // new one would.
  TvxEntryReader R(FStore);
  std::string WantBase = NormalName(BaseFont);
  std::string PlainBase = NormalName(EscapePDFName(Base));
  // Pages mostly name the same few font objects, often through one shared
  // font dictionary: each object is judged once, in page order, so the
  // first match is the one a full walk finds.
  const TvxPDFDictObject* LastFonts = nullptr;
  TvxFlatIndex<TvxObjectKey, TvxObjectKeyHash> SeenRefs;
  TvxFlatIndex<const TvxPDFDictObject*, TvxFontLookupCache::TvxDictHash> SeenFonts;
  const TvxPDFDictObject* LastResources = nullptr;
  for (TvxPDFIndirectObject* Page : FPages) {
    const TvxPDFDictObject* PageDict = Page ? R.Dict(Page) : nullptr;
    const TvxPDFDictObject* Resources = PageDict ? R.Dict(PageDict->Lookup("/Resources")) : nullptr;
    // Pages sharing one resource dictionary share its fonts too.
    if (!Resources || Resources == LastResources) continue;
    LastResources = Resources;
    const TvxPDFDictObject* Fonts = R.Dict(Resources->Lookup("/Font"));
    if (!Fonts || Fonts == LastFonts) continue;
    // Large dictionaries shared by pages taking turns are walked once; small
    // ones cost little to walk again and much to remember for every page.
    if (Fonts->Count() > 32 && !SeenFonts.Insert(Fonts, 0)) continue;
    LastFonts = Fonts;
    for (int32_t I = 0; I < Fonts->Count(); ++I) {
      TvxPDFObject* V = Fonts->GetValue(I);
      const auto* Ref = ObjectAs<TvxPDFIndirectReference>(V);
      if (!Ref) continue;
      if (!SeenRefs.Insert(TvxObjectKey{Ref->DocumentID, Ref->ObjectNumber, Ref->Generation}, 0))
        continue;
      TvxFontEntry E = R.Entry(V);
      if (!E.Dict || E.Subtype != Subtype || E.Encoding != Encoding) continue;
      if (E.BaseFont != WantBase && E.BaseFont != PlainBase) continue;
      bool Tagged = !Prefix.empty() && E.BaseFont == WantBase;
      if (Composite ? !R.IsIdentityCIDFont(*E.Dict, Tagged, F.FontFileSize())
                    : !R.CoversWinAnsiRange(*E.Dict) || !R.HasWidths(*E.Dict, Widths) ||
                          !R.EmbedsAsAsked(*E.Dict, Embedding, F.FontFileSize(), Tagged))
        continue;
      TvxPDFIndirectObject* Target = FStore.FindObject(V);
      if (Target) return MakeReference(*Target);
    }
  }

  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddName("/Type", "/Font");
  Dict->AddName("/Subtype", Subtype);
  if (Composite) {
    Dict->AddName("/Name", ResourceName);
    Dict->AddName("/BaseFont", BaseFont);
    Dict->AddName("/Encoding", "/Identity-H");
    // The ToUnicode stream is made before the descendant font and its file.
    Dict->Add("/ToUnicode", BuildToUnicodeStream(F));
    std::unique_ptr<TvxPDFIndirectReference> Descendant =
        BuildCIDFont(F, Embedding, Program.DataString(), BaseFont);
    auto Fonts = std::make_unique<TvxPDFArrayObject>();
    Fonts->Add(std::move(Descendant));
    Dict->Add("/DescendantFonts", std::move(Fonts));
  } else {
    Dict->AddName("/BaseFont", BaseFont);
    Dict->AddName("/Name", ResourceName);
    if (!Encoding.empty()) Dict->AddName("/Encoding", Encoding);
    Dict->AddInteger("/FirstChar", 32);
    Dict->AddInteger("/LastChar", 255);
    auto WidthsArray = std::make_unique<TvxPDFArrayObject>();
    for (int32_t W : Widths) WidthsArray->AddInteger(W);
    Dict->Add("/Widths", std::move(WidthsArray));
    Dict->Add("/FontDescriptor", BuildFontDescriptor(F, Embedding, Program.DataString(), BaseFont));
  }
  return MakeReference(*AddNew(std::move(Dict)));
}

std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::BuildToUnicodeStream(
    const TvxPDFFont& Font) {
  TvxMemoryStream CMap;
  Font.WriteToUnicodeCMap(CMap);
  return AddFontStream(CMap.DataString(), false);
}

std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::BuildFontDescriptor(
    const TvxPDFFont& Font, uint8_t FontEmbedding, const std::string& Program,
    const std::string& FontName) {
  const TvxPDFFontInfo& I = Font.Info();
  auto D = std::make_unique<TvxPDFDictObject>();
  D->AddName("/Type", "/FontDescriptor");
  D->AddName("/FontName", FontName);
  D->AddInteger("/Flags", I.Flags);
  auto Box = std::make_unique<TvxPDFArrayObject>();
  Box->AddInteger(I.BBoxLeft);
  Box->AddInteger(I.BBoxBottom);
  Box->AddInteger(I.BBoxRight);
  Box->AddInteger(I.BBoxTop);
  D->Add("/FontBBox", std::move(Box));
  D->AddReal("/Ascent", I.Ascent);
  D->AddReal("/Descent", I.Descent);
  D->AddReal("/CapHeight", I.CapHeight);
  D->AddInteger("/AvgWidth", I.AvgWidth);
  D->AddInteger("/MaxWidth", I.MaxWidth);
  D->AddInteger("/MissingWidth", I.MaxWidth);
  D->AddInteger("/StemV", I.StemV);
  D->AddInteger("/ItalicAngle", I.ItalicAngle);
  if (FontEmbedding != feNone && Font.FontKind() == fkTrueType && !Program.empty())
    D->Add("/FontFile2", AddFontStream(Program, true));
  return MakeReference(*AddNew(std::move(D)));
}

std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::BuildCIDFont(
    const TvxPDFFont& Font, uint8_t FontEmbedding, const std::string& Program,
    const std::string& BaseFont) {
  std::unique_ptr<TvxPDFIndirectReference> Descriptor =
      BuildFontDescriptor(Font, FontEmbedding, Program, BaseFont);
  auto D = std::make_unique<TvxPDFDictObject>();
  D->AddName("/Type", "/Font");
  D->AddName("/Subtype", "/CIDFontType2");
  D->AddName("/BaseFont", BaseFont);
  D->Add("/FontDescriptor", std::move(Descriptor));
  auto Info = std::make_unique<TvxPDFDictObject>();
  Info->Add("/Registry", std::make_unique<TvxPDFStringObject>("(Adobe)"));
  Info->Add("/Ordering", std::make_unique<TvxPDFStringObject>("(Identity)"));
  Info->AddInteger("/Supplement", 0);
  D->Add("/CIDSystemInfo", std::move(Info));
  D->Add("/W",
         BuildWidthsArray(Font.GlyphWidths(), Font.IsSubset() ? &Font.SubsetGlyphs() : nullptr));
  D->AddInteger("/DW", 1000);
  D->AddName("/CIDToGIDMap", "/Identity");
  return MakeReference(*AddNew(std::move(D)));
}

}  // namespace vx
