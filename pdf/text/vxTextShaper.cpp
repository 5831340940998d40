#include "pdf/text/vxTextShaper.h"

#include <fribidi.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cstdio>

#include "platform/vxUnicode.h"

namespace vx {

struct TvxTextShaper::TvxHbFace {
  hb_blob_t* Blob = nullptr;
  hb_face_t* Face = nullptr;
  hb_font_t* Font = nullptr;
  ~TvxHbFace() {
    hb_font_destroy(Font);
    hb_face_destroy(Face);
    hb_blob_destroy(Blob);
  }
};

namespace {

// HarfBuzz reads the locale on the first call for the default language,
// which is not safe while another thread makes its first call too: the
// static makes that call once, before any other thread's use.
hb_language_t DefaultLanguage() {
  static const hb_language_t Language = hb_language_get_default();
  return Language;
}

// A run longer than this is shaped in pieces, so that no one shaping call
// grows without bound; no watermark line comes near it.
constexpr size_t MaxRun = 4096;

std::u32string ToCodePoints(std::u16string_view T) {
  std::u32string Out;
  Out.reserve(T.size());
  for (size_t I = 0; I < T.size(); ++I) {
    char32_t C = T[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < T.size() && T[I + 1] >= 0xDC00 &&
        T[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (T[I + 1] - 0xDC00);
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;  // a lone surrogate stands for nothing
    }
    if (C == U'\t') C = U' ';
    if (C < 32 || C == 0x7F) continue;
    Out.push_back(C);
  }
  return Out;
}

void AppendUtf16(std::u16string& Out, char32_t C) {
  if (C >= 0x10000) {
    C -= 0x10000;
    Out.push_back(static_cast<char16_t>(0xD800 + (C >> 10)));
    Out.push_back(static_cast<char16_t>(0xDC00 + (C & 0x3FF)));
  } else {
    Out.push_back(static_cast<char16_t>(C));
  }
}

// Characters that belong with the one before them: marks, joiners and
// variation selectors.
bool Clings(char32_t C) {
  if (C == 0x200C || C == 0x200D || (C >= 0xFE00 && C <= 0xFE0F) || (C >= 0xE0100 && C <= 0xE01EF))
    return true;
  switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), C)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK: return true;
    default: return false;
  }
}

bool Neutral(hb_script_t S) {
  return S == HB_SCRIPT_COMMON || S == HB_SCRIPT_INHERITED || S == HB_SCRIPT_UNKNOWN;
}

// Shares out a cluster's characters among its glyphs (Glyphs, indices into
// Run in logical order), so that a reader finds each glyph's own text: a
// glyph the font maps from a character takes that character; the rest go,
// in order, to the first glyph still without any, or to the first glyph.
// A glyph left without characters would read as a break between words.
void GiveCharacters(std::vector<TvxShapedGlyph>& Run, const std::vector<unsigned>& Glyphs,
                    std::u32string_view Chars, hb_font_t* Font) {
  if (Glyphs.size() == 1) {
    for (char32_t C : Chars) AppendUtf16(Run[Glyphs[0]].Chars, C);
    return;
  }
  std::vector<int> Owner(Chars.size(), -1);
  std::vector<bool> Taken(Glyphs.size(), false);
  for (size_t C = 0; C < Chars.size(); ++C) {
    hb_codepoint_t Nominal = 0;
    if (!hb_font_get_nominal_glyph(Font, Chars[C], &Nominal)) continue;
    for (size_t G = 0; G < Glyphs.size(); ++G)
      if (!Taken[G] && Run[Glyphs[G]].GlyphID == Nominal) {
        Taken[G] = true;
        Owner[C] = static_cast<int>(G);
        break;
      }
  }
  size_t Free = 0;
  for (size_t C = 0; C < Chars.size(); ++C) {
    if (Owner[C] >= 0) continue;
    while (Free < Glyphs.size() && Taken[Free]) ++Free;
    if (Free < Glyphs.size()) {
      Owner[C] = static_cast<int>(Free);
      Taken[Free] = true;
    } else {
      Owner[C] = 0;
    }
  }
  for (size_t C = 0; C < Chars.size(); ++C)
    AppendUtf16(Run[Glyphs[static_cast<size_t>(Owner[C])]].Chars, Chars[C]);
}

}  // namespace

std::string DescribeCharacter(char32_t C) {
  char Hex[16];
  std::snprintf(Hex, sizeof Hex, "U+%04X", static_cast<unsigned>(C));
  std::u16string U;
  AppendUtf16(U, C);
  return std::string(Hex) + " '" + Utf16ToUtf8(U) + "'";
}

TvxTextShaper::TvxTextShaper(const TvxFont& Font) : FLogFont(LogFontOf(Font, 1000)) {
  AddFace(FontService().CreateFont(FLogFont));
}

TvxTextShaper::~TvxTextShaper() = default;

int32_t TvxTextShaper::AddFace(std::shared_ptr<const TvxPlatformFont> Font) {
  if (!Font) return -1;
  std::shared_ptr<const std::string> Data = Font->SfntData();
  if (!Data || Data->empty()) return -1;
  for (size_t I = 0; I < FFaces.size(); ++I)
    if (FFaces[I]->Data == Data) return static_cast<int32_t>(I);
  auto Hb = std::make_unique<TvxHbFace>();
  Hb->Blob = hb_blob_create(Data->data(), static_cast<unsigned>(Data->size()),
                            HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  Hb->Face = hb_face_create(Hb->Blob, 0);
  Hb->Font = hb_font_create(Hb->Face);
  const unsigned Upem = hb_face_get_upem(Hb->Face);
  hb_font_set_scale(Hb->Font, static_cast<int>(Upem), static_cast<int>(Upem));
  auto Face = std::make_unique<TvxShapingFace>();
  Face->Font = std::move(Font);
  Face->Data = std::move(Data);
  Face->UnitsPerEm = Upem > 0 ? Upem : 1000;
  FFaces.push_back(std::move(Face));
  FHb.push_back(std::move(Hb));
  return static_cast<int32_t>(FFaces.size() - 1);
}

bool TvxTextShaper::FaceHas(int32_t Face, char32_t C) const {
  if (Face < 0 || static_cast<size_t>(Face) >= FHb.size()) return false;
  hb_codepoint_t G = 0;
  return hb_font_get_nominal_glyph(FHb[static_cast<size_t>(Face)]->Font, C, &G) && G != 0;
}

int32_t TvxTextShaper::FaceFor(char32_t C) {
  // The chosen face, when it is an sfnt at all, is face 0.
  if (!FFaces.empty() && FFaces[0]->Font && FaceHas(0, C)) return 0;
  auto Found = FFallbacks.find(C);
  if (Found != FFallbacks.end()) return Found->second;
  int32_t Face = -1;
  // A face already in use is preferred over asking for another.
  for (size_t I = 1; I < FFaces.size() && Face < 0; ++I)
    if (FaceHas(static_cast<int32_t>(I), C)) Face = static_cast<int32_t>(I);
  if (Face < 0) {
    Face = AddFace(FontService().FallbackFont(C, FLogFont));
    if (Face >= 0 && !FaceHas(Face, C)) Face = -1;
  }
  FFallbacks.emplace(C, Face);
  return Face;
}

void TvxTextShaper::CheckCoverage(std::u16string_view Text) {
  for (char32_t C : ToCodePoints(Text))
    if (!Clings(C) && FaceFor(C) < 0)
      throw EMissingGlyphError(FormatMessage(msg::MissingGlyph, DescribeCharacter(C)));
}

TvxShapedLine TvxTextShaper::ShapeLine(std::u16string_view Line) {
  TvxShapedLine Out;
  const std::u32string Text = ToCodePoints(Line);
  const size_t N = Text.size();
  if (N == 0) return Out;

  // Faces: marks stay with their base, neutral characters with the face
  // before them when it has them.
  hb_unicode_funcs_t* Uni = hb_unicode_funcs_get_default();
  std::vector<int32_t> Faces(N, -1);
  std::vector<hb_script_t> Scripts(N);
  for (size_t I = 0; I < N; ++I) {
    const char32_t C = Text[I];
    Scripts[I] = hb_unicode_script(Uni, C);
    if (I > 0 && Clings(C)) {
      Faces[I] = Faces[I - 1];
      continue;
    }
    if (I > 0 && Neutral(Scripts[I]) && Faces[I - 1] != 0 && FaceHas(Faces[I - 1], C)) {
      Faces[I] = Faces[I - 1];
      continue;
    }
    Faces[I] = FaceFor(C);
    if (Faces[I] < 0)
      throw EMissingGlyphError(FormatMessage(msg::MissingGlyph, DescribeCharacter(C)));
  }
  // Marks at the very start have no base: they take a face of their own.
  for (size_t I = 0; I < N && Faces[I] < 0; ++I) Faces[I] = std::max(FaceFor(Text[I]), 0);
  if (FFaces.empty())
    throw EMissingGlyphError(FormatMessage(msg::MissingGlyph, DescribeCharacter(Text[0])));

  // Scripts: neutral characters join the run around them.
  hb_script_t Last = HB_SCRIPT_UNKNOWN;
  for (size_t I = 0; I < N; ++I) {
    if (Neutral(Scripts[I]))
      Scripts[I] = Last;
    else
      Last = Scripts[I];
  }
  Last = HB_SCRIPT_COMMON;
  for (size_t I = N; I-- > 0;) {
    if (Scripts[I] == HB_SCRIPT_UNKNOWN)
      Scripts[I] = Last;
    else
      Last = Scripts[I];
  }

  // Direction: embedding levels of the paragraph, its base direction taken
  // from its first strong character.
  std::vector<FriBidiLevel> Levels(N, 0);
  {
    std::vector<FriBidiChar> Chars(Text.begin(), Text.end());
    std::vector<FriBidiCharType> Types(N);
    std::vector<FriBidiBracketType> Brackets(N);
    fribidi_get_bidi_types(Chars.data(), static_cast<FriBidiStrIndex>(N), Types.data());
    fribidi_get_bracket_types(Chars.data(), static_cast<FriBidiStrIndex>(N), Types.data(),
                              Brackets.data());
    FriBidiParType Base = FRIBIDI_PAR_ON;
    if (!fribidi_get_par_embedding_levels_ex(Types.data(), Brackets.data(),
                                             static_cast<FriBidiStrIndex>(N), &Base, Levels.data()))
      std::fill(Levels.begin(), Levels.end(), 0);
  }

  // Runs of one face, script and level, in logical order.
  struct TvxRun {
    size_t Start, End;
    FriBidiLevel Level;
    std::vector<TvxShapedGlyph> Glyphs;
  };
  std::vector<TvxRun> Runs;
  for (size_t I = 0; I < N;) {
    size_t J = I + 1;
    while (J < N && J - I < MaxRun && Faces[J] == Faces[I] && Scripts[J] == Scripts[I] &&
           Levels[J] == Levels[I])
      ++J;
    Runs.push_back(TvxRun{I, J, Levels[I], {}});
    I = J;
  }

  hb_buffer_t* Buffer = hb_buffer_create();
  struct TvxBufferEnd {
    hb_buffer_t* B;
    ~TvxBufferEnd() { hb_buffer_destroy(B); }
  } BufferEnd{Buffer};
  const auto* Points = reinterpret_cast<const uint32_t*>(Text.data());
  for (TvxRun& Run : Runs) {
    const auto FaceIndex = static_cast<uint32_t>(Faces[Run.Start]);
    const TvxHbFace& Hb = *FHb[FaceIndex];
    const double Scale = 1000.0 / FFaces[FaceIndex]->UnitsPerEm;
    hb_buffer_clear_contents(Buffer);
    hb_buffer_add_utf32(Buffer, Points, static_cast<int>(N), static_cast<unsigned>(Run.Start),
                        static_cast<int>(Run.End - Run.Start));
    hb_buffer_set_direction(Buffer, (Run.Level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(Buffer, Scripts[Run.Start]);
    hb_buffer_set_language(Buffer, DefaultLanguage());
    hb_shape(Hb.Font, Buffer, nullptr, 0);
    unsigned Count = 0;
    const hb_glyph_info_t* Info = hb_buffer_get_glyph_infos(Buffer, &Count);
    const hb_glyph_position_t* Pos = hb_buffer_get_glyph_positions(Buffer, &Count);
    // Each cluster's characters run up to the next cluster's start.
    std::vector<uint32_t> Starts;
    Starts.reserve(Count);
    for (unsigned K = 0; K < Count; ++K) Starts.push_back(Info[K].cluster);
    std::sort(Starts.begin(), Starts.end());
    Starts.erase(std::unique(Starts.begin(), Starts.end()), Starts.end());
    Run.Glyphs.reserve(Count);
    for (unsigned K = 0; K < Count; ++K) {
      TvxShapedGlyph G;
      G.Face = FaceIndex;
      G.GlyphID = static_cast<uint16_t>(std::min<uint32_t>(Info[K].codepoint, 0xFFFF));
      G.Advance = Pos[K].x_advance * Scale;
      G.XOffset = Pos[K].x_offset * Scale;
      G.YOffset = Pos[K].y_offset * Scale;
      Out.Width += G.Advance;
      Run.Glyphs.push_back(std::move(G));
    }
    // The glyphs of each cluster, in logical order.
    std::vector<std::vector<unsigned>> Members(Starts.size());
    for (unsigned K = 0; K < Count; ++K) {
      const size_t At = static_cast<size_t>(
          std::lower_bound(Starts.begin(), Starts.end(), Info[K].cluster) - Starts.begin());
      if (At < Starts.size()) Members[At].push_back(K);
    }
    for (size_t At = 0; At < Starts.size(); ++At) {
      std::vector<unsigned>& Glyphs = Members[At];
      if (Glyphs.empty()) continue;
      if (Run.Level & 1) std::reverse(Glyphs.begin(), Glyphs.end());
      const size_t From = std::min<size_t>(Starts[At], Run.End);
      const size_t To =
          At + 1 < Starts.size() ? std::min<size_t>(Starts[At + 1], Run.End) : Run.End;
      GiveCharacters(Run.Glyphs, Glyphs, std::u32string_view(Text).substr(From, To - From),
                     Hb.Font);
    }
  }

  // Display order: from the highest level down to the lowest odd one, every
  // sequence of runs at that level or above is reversed.
  int High = 0, LowOdd = 1000;
  for (const TvxRun& Run : Runs) {
    High = std::max<int>(High, Run.Level);
    if (Run.Level & 1) LowOdd = std::min<int>(LowOdd, Run.Level);
  }
  for (int L = High; L >= LowOdd && L > 0; --L) {
    for (size_t I = 0; I < Runs.size();) {
      if (Runs[I].Level < L) {
        ++I;
        continue;
      }
      size_t J = I;
      while (J < Runs.size() && Runs[J].Level >= L) ++J;
      std::reverse(Runs.begin() + static_cast<std::ptrdiff_t>(I),
                   Runs.begin() + static_cast<std::ptrdiff_t>(J));
      I = J;
    }
  }
  for (TvxRun& Run : Runs)
    for (TvxShapedGlyph& G : Run.Glyphs) Out.Glyphs.push_back(std::move(G));
  return Out;
}

}  // namespace vx
