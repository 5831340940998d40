#include "pdf/watermark/vxUnicodeText.h"

#include <cmath>
#include <cstdio>

#include "pdf/fonts/vxFontEncodings.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/fonts/vxPDFFont.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

bool FitsCodePage(char16_t C, const TvxCodePageService& CP, uint32_t Page) {
  if (Page == 1252) return UnicodeToCp1252(C) >= 0;
  const std::u16string_view One(&C, 1);
  return CP.ToUnicode(CP.FromUnicode(One, Page), Page) == One;
}

// A number for a content stream: up to three decimals, no exponent.
std::string Number(double V) {
  if (!std::isfinite(V) || std::fabs(V) < 0.0005) return "0";
  char Buf[64];
  std::snprintf(Buf, sizeof Buf, "%.3f", V);
  std::string S = Buf;
  while (S.back() == '0') S.pop_back();
  if (S.back() == '.') S.pop_back();
  return S;
}

void AppendHex(std::string& Out, uint16_t Code) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  for (int Shift = 12; Shift >= 0; Shift -= 4) Out.push_back(Digits[(Code >> Shift) & 15]);
}

}  // namespace

bool NeedsUnicodeText(std::u16string_view Text, const TvxFont& Font, uint8_t FontEncoding) {
  bool Outside = NeedsCIDFont(Font.Charset);
  if (!Outside) {
    const TvxCodePageService& CP = CodePageService();
    const uint32_t Page = CP.AnsiCodePage();
    const bool Recoded = FontEncoding == enMacRoman || FontEncoding == enStandard;
    for (char16_t C : Text) {
      if (C < 32 || C == 0x7F) continue;
      if ((C >= 0xD800 && C <= 0xDFFF) || !FitsCodePage(C, CP, Page) ||
          (Recoded && EncodeChar(FontEncoding, C) < 0)) {
        Outside = true;
        break;
      }
    }
  }
  if (!Outside) return false;
  // A symbolic face shows its own glyphs for the bytes, whatever they stand for.
  return !TvxPDFFont(Font, false, false).Info().Symbolic;
}

TvxUnicodeText::TvxUnicodeText(const TvxFont& Font) : FFont(Font), FShaper(Font) {}

TvxUnicodeText::~TvxUnicodeText() = default;

std::vector<std::u16string_view> TvxUnicodeText::SplitLines(std::u16string_view Text) {
  std::vector<std::u16string_view> Lines;
  if (Text.empty()) return Lines;
  size_t From = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != u'\r' && Text[I] != u'\n') continue;
    Lines.push_back(Text.substr(From, I - From));
    if (Text[I] == u'\r' && I + 1 < Text.size() && Text[I + 1] == u'\n') ++I;
    From = I + 1;
  }
  Lines.push_back(Text.substr(From));
  return Lines;
}

TvxCompositeFont& TvxUnicodeText::FontOfFace(size_t Face) {
  if (FByFace.size() <= Face) FByFace.resize(Face + 1);
  if (!FByFace[Face]) {
    const TvxShapingFace& F = FShaper.Face(Face);
    // The chosen face is named as the simple fonts name it; others by their
    // own family and style.
    std::string Base;
    if (Face == 0) {
      Base = MakeBaseFontName(FFont);
    } else {
      TvxFont Named;
      Named.Name = F.Font->FaceName();
      Named.Bold = F.Font->FaceBold();
      Named.Italic = F.Font->FaceItalic();
      Base = MakeBaseFontName(Named);
    }
    FByFace[Face] = std::make_unique<TvxCompositeFont>(F.Data, Base);
  }
  return *FByFace[Face];
}

const TvxShapedLine& TvxUnicodeText::Line(std::u16string_view Text) {
  auto It = FLines.find(std::u16string(Text));
  if (It != FLines.end()) return It->second;
  TvxShapedLine Shaped = FShaper.ShapeLine(Text);
  if (!FBuilt)
    for (const TvxShapedGlyph& G : Shaped.Glyphs) FontOfFace(G.Face).AddGlyph(G.GlyphID, G.Chars);
  return FLines.emplace(std::u16string(Text), std::move(Shaped)).first->second;
}

void TvxUnicodeText::AddText(std::u16string_view Text) {
  for (std::u16string_view L : SplitLines(Text)) Line(L);
}

void TvxUnicodeText::BuildFonts(TvxPDFObjectStore& Store, int32_t DocumentID,
                                const std::function<std::string()>& NewName) {
  FFontOfFace.assign(FByFace.size(), -1);
  for (size_t Face = 0; Face < FByFace.size(); ++Face) {
    if (!FByFace[Face]) continue;
    TvxFontEntry Entry{Face, NewName(), nullptr};
    Entry.Ref = FByFace[Face]->Build(Store, DocumentID, Entry.Name);
    FFontOfFace[Face] = static_cast<int32_t>(FFonts.size());
    FFonts.push_back(std::move(Entry));
  }
  FBuilt = true;
}

void TvxUnicodeText::WriteLine(const TvxShapedLine& Line, const std::vector<std::string>& Names,
                               double F, std::string& Content) const {
  // Positions in thousandths of the em: where the shaping puts the pen, and
  // where the text position stands after the glyphs written so far.
  double Pen = 0, At = 0, Rise = 0;
  int32_t Current = -1;
  bool Open = false, InHex = false;
  auto Close = [&] {
    if (InHex) Content.push_back('>');
    if (Open) Content += "] TJ ";
    Open = InHex = false;
  };
  for (const TvxShapedGlyph& G : Line.Glyphs) {
    if (G.Face >= FFontOfFace.size() || FFontOfFace[G.Face] < 0) continue;
    const auto Font = static_cast<size_t>(FFontOfFace[G.Face]);
    if (Font >= Names.size()) continue;
    if (static_cast<int32_t>(Font) != Current) {
      Close();
      Content += Names[Font] + " " + Number(F) + " Tf ";
      Current = static_cast<int32_t>(Font);
    }
    if (std::fabs(G.YOffset - Rise) >= 0.5) {
      Close();
      Rise = G.YOffset;
      Content += Number(Rise * F / 1000) + " Ts ";
    }
    if (!Open) {
      Content.push_back('[');
      Open = true;
    }
    const double Shift = std::round(Pen + G.XOffset - At);
    if (Shift != 0) {
      if (InHex) Content.push_back('>');
      InHex = false;
      Content += Number(-Shift);
      At += Shift;
    }
    if (!InHex) Content.push_back('<');
    InHex = true;
    const TvxCompositeFont& Composite = *FByFace[G.Face];
    AppendHex(Content, Composite.CodeOf(G.GlyphID));
    At += Composite.GlyphWidth(G.GlyphID);
    Pen += G.Advance;
  }
  Close();
  if (Rise != 0) Content += "0 Ts ";
}

}  // namespace vx
