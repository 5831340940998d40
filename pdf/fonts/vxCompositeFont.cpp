#include "pdf/fonts/vxCompositeFont.h"

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "pdf/fonts/vxFontResources.h"
#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "pdf/objects/vxUtils.h"

namespace vx {

namespace {

[[noreturn]] void Damaged(std::string_view What) {
  throw EFontFileError(FormatMessage(msg::DamagedFontFile, What));
}

constexpr uint32_t SfntTrueType = 0x00010000, SfntApple = 0x74727565 /* true */,
                   SfntCFF = 0x4F54544F /* OTTO */;

using TvxBytes = TvxTableReader;

// An INDEX of a CFF table; elements are located on demand.
class TvxCFFIndex {
 public:
  TvxCFFIndex(const TvxBytes& B, size_t Pos) : FB(B) {
    FCount = B.U16(Pos);
    if (FCount == 0) {
      FEnd = Pos + 2;
      return;
    }
    FOffSize = B.U8(Pos + 2);
    if (FOffSize < 1 || FOffSize > 4) Damaged("CFF index");
    FOffsets = Pos + 3;
    size_t Table = (static_cast<size_t>(FCount) + 1) * FOffSize;
    B.Need(FOffsets, Table);
    FBase = FOffsets + Table - 1;
    size_t Last = Offset(FCount);
    if (Last < 1 || Last > B.Size() - FBase) Damaged("CFF index");
    FEnd = FBase + Last;
  }
  uint16_t Count() const { return FCount; }
  size_t End() const { return FEnd; }
  std::string_view Item(uint16_t I) const {
    size_t Start = Offset(I), Stop = Offset(I + 1u);
    if (Start < 1 || Start > Stop || FBase + Stop > FEnd) Damaged("CFF index");
    return FB.D.substr(FBase + Start, Stop - Start);
  }

 private:
  size_t Offset(size_t I) const {
    size_t V = 0;
    for (size_t K = 0; K < FOffSize; ++K) V = V << 8 | FB.U8(FOffsets + I * FOffSize + K);
    return V;
  }
  const TvxBytes& FB;
  uint16_t FCount = 0;
  uint8_t FOffSize = 0;
  size_t FOffsets = 0, FBase = 0, FEnd = 0;
};

// What the Top DICT tells about glyph naming.
struct TvxTopDict {
  bool CIDKeyed = false;  // has ROS
  int64_t Charset = 0;
  int64_t CharStrings = -1;
};

TvxTopDict ReadTopDict(std::string_view Dict) {
  TvxBytes R(Dict, "CFF dictionary");
  TvxTopDict T;
  int64_t Last = 0;
  size_t P = 0;
  while (P < R.Size()) {
    uint8_t B0 = R.U8(P);
    if (B0 <= 21) {
      uint32_t Op = B0;
      ++P;
      if (B0 == 12) Op = 1200 + R.U8(P++);
      if (Op == 15) T.Charset = Last;
      if (Op == 17) T.CharStrings = Last;
      if (Op == 1230) T.CIDKeyed = true;
      Last = 0;
    } else if (B0 == 28) {
      Last = R.S16(P + 1);
      P += 3;
    } else if (B0 == 29) {
      Last = static_cast<int32_t>(R.U32(P + 1));
      P += 5;
    } else if (B0 == 30) {
      // A real: nibbles up to the end nibble 0xF. No offset is one.
      for (++P;; ++P) {
        uint8_t N = R.U8(P);
        if ((N >> 4) == 0xF || (N & 0xF) == 0xF) break;
      }
      ++P;
      Last = 0;
    } else if (B0 >= 32 && B0 <= 246) {
      Last = B0 - 139;
      ++P;
    } else if (B0 >= 247 && B0 <= 250) {
      Last = (B0 - 247) * 256 + R.U8(P + 1) + 108;
      P += 2;
    } else if (B0 >= 251 && B0 <= 254) {
      Last = -(B0 - 251) * 256 - R.U8(P + 1) - 108;
      P += 2;
    } else {
      Damaged("CFF dictionary");
    }
  }
  return T;
}

// The charset of a CID-keyed CFF table: where it lies and the CID of each
// glyph. Glyphs stays 0 for a name-keyed table.
struct TvxCIDCharset {
  uint16_t Glyphs = 0;
  size_t Offset = 0, Size = 0;
  uint8_t Format = 0;
  std::vector<uint16_t> CIDs;
};

TvxCIDCharset ReadCIDCharset(std::string_view CFF) {
  TvxBytes B(CFF, "CFF");
  uint8_t HeaderSize = B.U8(2);
  TvxCFFIndex Names(B, HeaderSize);
  TvxCFFIndex Tops(B, Names.End());
  if (Tops.Count() == 0) Damaged("CFF");
  TvxTopDict Top = ReadTopDict(Tops.Item(0));
  TvxCIDCharset C;
  if (!Top.CIDKeyed) return C;
  if (Top.CharStrings <= 0 || static_cast<uint64_t>(Top.CharStrings) >= B.Size())
    Damaged("CFF charstrings");
  C.Glyphs = TvxCFFIndex(B, static_cast<size_t>(Top.CharStrings)).Count();
  if (C.Glyphs == 0) Damaged("CFF charstrings");
  // The predefined charsets (0 to 2) name glyphs; a CID font lists its own.
  if (Top.Charset <= 2 || static_cast<uint64_t>(Top.Charset) >= B.Size()) Damaged("CFF charset");
  C.Offset = static_cast<size_t>(Top.Charset);
  C.CIDs.assign(C.Glyphs, 0);
  size_t P = C.Offset;
  C.Format = B.U8(P++);
  size_t G = 1;
  if (C.Format == 0) {
    for (; G < C.Glyphs; ++G, P += 2) C.CIDs[G] = B.U16(P);
  } else if (C.Format == 1 || C.Format == 2) {
    // Each range names at least one glyph, so the walk ends with the glyphs.
    while (G < C.Glyphs) {
      uint32_t First = B.U16(P);
      uint32_t Left = C.Format == 1 ? B.U8(P + 2) : B.U16(P + 2);
      P += C.Format == 1 ? 3 : 4;
      for (uint32_t K = 0; K <= Left && G < C.Glyphs; ++K, ++G) {
        if (First + K > 0xFFFF) Damaged("CFF charset");
        C.CIDs[G] = static_cast<uint16_t>(First + K);
      }
    }
  } else {
    Damaged("CFF charset");
  }
  C.Size = P - C.Offset;
  return C;
}

void PutU32(std::string& S, size_t Pos, uint32_t V) {
  for (int K = 0; K < 4; ++K) S[Pos + K] = static_cast<char>(V >> (24 - 8 * K));
}

// Gives each glyph of the CID-keyed CFF table of Font (an OpenType font)
// its glyph number as CID. Readers differ on CID-keyed programs in
// OpenType: some map codes through the charset, as they should, others
// take them as glyph numbers; with both the same every reader draws the
// same glyphs. The charset is rewritten in place (an identity one is never
// longer) and the checksums follow.
void MakeCIDsGlyphNumbers(std::string& Font) {
  TvxTrueTypeFile File(Font);
  const std::vector<TvxTableEntry>& Tables = File.Tables();
  size_t Entry = 0;
  while (Entry < Tables.size() && File.FindTable("CFF ") != &Tables[Entry]) ++Entry;
  if (Entry == Tables.size()) Damaged("CFF");
  const TvxTableEntry T = Tables[Entry];
  TvxCIDCharset C = ReadCIDCharset(File.Table("CFF "));
  if (C.Glyphs <= 1) return;
  std::string Identity;
  auto U16 = [&Identity](uint32_t V) {
    Identity.push_back(static_cast<char>(V >> 8));
    Identity.push_back(static_cast<char>(V));
  };
  if (C.Format == 0) {
    Identity.push_back('\0');
    for (uint32_t G = 1; G < C.Glyphs; ++G) U16(G);
  } else if (C.Glyphs - 2u <= 0xFF && C.Size < 5) {
    Identity.push_back('\1');
    U16(1);
    Identity.push_back(static_cast<char>(C.Glyphs - 2u));
  } else {
    Identity.push_back('\2');
    U16(1);
    U16(C.Glyphs - 2u);
  }
  if (Identity.size() > C.Size) Damaged("CFF charset");
  Font.replace(T.Offset + C.Offset, Identity.size(), Identity);
  PutU32(Font, 12 + Entry * 16 + 4,
         TableChecksum(std::string_view(Font).substr(T.Offset, T.Length)));
  if (const TvxTableEntry* Head = File.FindTable("head"); Head && Head->Length >= 12) {
    PutU32(Font, Head->Offset + 8, 0);
    PutU32(Font, Head->Offset + 8, 0xB1B0AFBAu - TableChecksum(Font));
  }
}

struct TvxHbFree {
  void operator()(hb_blob_t* P) const { hb_blob_destroy(P); }
  void operator()(hb_face_t* P) const { hb_face_destroy(P); }
  void operator()(hb_subset_input_t* P) const { hb_subset_input_destroy(P); }
};

// The face with only the glyphs in Keep drawn, glyph numbers unchanged.
std::string SubsetWithHarfBuzz(const std::string& Face, const std::vector<bool>& Keep) {
  if (Face.size() > UINT_MAX) Damaged("too large");
  std::unique_ptr<hb_blob_t, TvxHbFree> Blob(hb_blob_create(
      Face.data(), static_cast<unsigned>(Face.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr));
  std::unique_ptr<hb_face_t, TvxHbFree> Source(hb_face_create(Blob.get(), 0));
  std::unique_ptr<hb_subset_input_t, TvxHbFree> Input(hb_subset_input_create_or_fail());
  if (!Input) throw std::bad_alloc();
  hb_set_t* Glyphs = hb_subset_input_glyph_set(Input.get());
  for (size_t G = 0; G < Keep.size(); ++G)
    if (Keep[G]) hb_set_add(Glyphs, static_cast<hb_codepoint_t>(G));
  // Content streams name glyphs by number; the notdef glyph is what readers
  // draw for a code the font lacks.
  hb_subset_input_set_flags(Input.get(),
                            HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
  // PDF readers do no layout: those tables would only pull in glyphs that
  // substitutions reach.
  hb_set_t* Drop = hb_subset_input_set(Input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (const char* Tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "DSIG"})
    hb_set_add(Drop, hb_tag_from_string(Tag, 4));
  std::unique_ptr<hb_face_t, TvxHbFree> Subset(hb_subset_or_fail(Source.get(), Input.get()));
  if (!Subset) Damaged("outlines cannot be subset");
  std::unique_ptr<hb_blob_t, TvxHbFree> Out(hb_face_reference_blob(Subset.get()));
  unsigned Length = 0;
  const char* Data = hb_blob_get_data(Out.get(), &Length);
  if (!Data || Length < 12) Damaged("outlines cannot be subset");
  return std::string(Data, Length);
}

// A bfchar destination holds at most 512 bytes.
constexpr size_t MaxMappedUnits = 256;

std::string ToUnicodeCMap(const std::map<uint16_t, std::u16string>& ByCode) {
  std::vector<std::pair<uint16_t, std::u16string_view>> Lines;
  for (const auto& [Code, Chars] : ByCode) {
    std::u16string_view U = Chars;
    if (U.size() > MaxMappedUnits) {
      U = U.substr(0, MaxMappedUnits);
      if (U.back() >= 0xD800 && U.back() < 0xDC00) U.remove_suffix(1);
    }
    if (!U.empty()) Lines.emplace_back(Code, U);
  }
  return ToUnicodeCMapText(Lines);
}

// The /W array over codes in ascending order: consecutive codes share one
// list, and three or more equal widths in a row become a range.
std::unique_ptr<TvxPDFArrayObject> CompactWidths(
    const std::vector<std::pair<uint16_t, int32_t>>& Widths) {
  auto W = std::make_unique<TvxPDFArrayObject>();
  std::unique_ptr<TvxPDFArrayObject> List;
  auto Flush = [&] {
    if (List) W->Add(std::move(List));
    List.reset();
  };
  size_t I = 0, N = Widths.size();
  while (I < N) {
    size_t Last = I;
    while (Last + 1 < N && Widths[Last + 1].first == Widths[Last].first + 1) ++Last;
    for (size_t K = I; K <= Last;) {
      size_t E = K;
      while (E + 1 <= Last && Widths[E + 1].second == Widths[K].second) ++E;
      if (E - K >= 2) {
        Flush();
        W->AddInteger(Widths[K].first);
        W->AddInteger(Widths[E].first);
        W->AddInteger(Widths[K].second);
      } else {
        if (!List) {
          W->AddInteger(Widths[K].first);
          List = std::make_unique<TvxPDFArrayObject>();
        }
        for (size_t G = K; G <= E; ++G) List->AddInteger(Widths[G].second);
      }
      K = E + 1;
    }
    Flush();
    I = Last + 1;
  }
  return W;
}

}  // namespace

struct TvxCompositeFont::TvxImpl {
  std::shared_ptr<const std::string> Face;
  std::string BaseName;
  std::unique_ptr<TvxTrueTypeFile> File;
  bool CFF = false;
  uint16_t Glyphs = 0;
  uint16_t UnitsPerEm = 0;
  uint16_t HMetrics = 0;
  std::string_view Hmtx;
  // Descriptor values in thousandths of the em.
  int32_t Flags = 32;
  int32_t BBox[4] = {0, 0, 0, 0};
  double ItalicAngle = 0;
  int32_t Ascent = 0, Descent = 0, CapHeight = 0;
  // The characters of each glyph shown.
  std::map<uint16_t, std::u16string> Used;
  // The subset's CID of each glyph, for a CID-keyed CFF face; else empty.
  std::vector<uint16_t> CIDs;

  int32_t Scaled(int32_t FontUnits) const {
    return static_cast<int32_t>(std::lround(FontUnits * 1000.0 / UnitsPerEm));
  }
  void ReadMetrics();
  std::string SubsetTag() const;
  std::string BuildProgram(const std::vector<bool>& Keep) const;
};

void TvxCompositeFont::TvxImpl::ReadMetrics() {
  TvxBytes Head(File->Table("head"), "head");
  Head.Need(0, 54);
  UnitsPerEm = Head.U16(18);
  if (UnitsPerEm == 0) Damaged("head");
  for (int K = 0; K < 4; ++K) BBox[K] = Scaled(Head.S16(36 + 2 * K));
  bool Italic = (Head.U16(44) & 2) != 0;

  TvxBytes Maxp(File->Table("maxp"), "maxp");
  Glyphs = Maxp.U16(4);
  if (Glyphs == 0) Damaged("maxp");
  TvxBytes Hhea(File->Table("hhea"), "hhea");
  Hhea.Need(0, 36);
  HMetrics = Hhea.U16(34);
  if (HMetrics == 0) Damaged("hhea");
  Hmtx = File->Table("hmtx");
  TvxBytes(Hmtx, "hmtx").Need(0, HMetrics * 4u);
  Ascent = Scaled(Hhea.S16(4));
  Descent = Scaled(Hhea.S16(6));

  bool FixedPitch = false;
  if (File->FindTable("post")) {
    TvxBytes Post(File->Table("post"), "post");
    ItalicAngle = std::round(static_cast<int32_t>(Post.U32(4)) / 65536.0 * 10) / 10;
    FixedPitch = Post.U32(12) != 0;
    Italic = Italic || ItalicAngle != 0;
  }
  int16_t CapUnits = 0;
  if (File->FindTable("OS/2")) {
    TvxBytes Os2(File->Table("OS/2"), "OS/2");
    if (Os2.Size() >= 72 && (Os2.S16(68) != 0 || Os2.S16(70) != 0)) {
      Ascent = Scaled(Os2.S16(68));
      Descent = Scaled(Os2.S16(70));
    }
    if (Os2.Size() >= 90 && Os2.U16(0) >= 2) CapUnits = Os2.S16(88);
  }
  if (Descent > 0) Descent = -Descent;
  CapHeight = CapUnits > 0 ? Scaled(CapUnits) : Ascent;

  // A face whose only Windows map is the symbol one draws its own codes.
  bool SymbolMap = false, UnicodeMap = false;
  if (File->FindTable("cmap")) {
    TvxBytes Cmap(File->Table("cmap"), "cmap");
    uint16_t Count = Cmap.U16(2);
    for (uint16_t I = 0; I < Count; ++I) {
      uint16_t Platform = Cmap.U16(4 + I * 8u), Encoding = Cmap.U16(6 + I * 8u);
      if (Platform == 3 && Encoding == 0) SymbolMap = true;
      if (Platform == 0 || (Platform == 3 && (Encoding == 1 || Encoding == 10))) UnicodeMap = true;
    }
  }
  Flags = SymbolMap && !UnicodeMap ? 4 : 32;
  if (FixedPitch) Flags |= 1;
  if (Italic) Flags |= 64;
}

std::string TvxCompositeFont::TvxImpl::SubsetTag() const {
  // FNV-1a over the glyph numbers shown (and the notdef glyph), in six
  // letters, as the simple fonts spell theirs.
  uint64_t H = 0xCBF29CE484222325ull;
  auto Mix = [&H](uint32_t G) {
    H = (H ^ (G & 0xFF)) * 0x100000001B3ull;
    H = (H ^ (G >> 8)) * 0x100000001B3ull;
  };
  if (!Used.count(0)) Mix(0);
  for (const auto& Entry : Used) Mix(Entry.first);
  std::string Tag;
  for (int K = 0; K < 6; ++K) {
    Tag.push_back(static_cast<char>('A' + H % 26));
    H /= 26;
  }
  return Tag;
}

std::string TvxCompositeFont::TvxImpl::BuildProgram(const std::vector<bool>& Keep) const {
  std::string Program;
  if (!CFF) Program = File->BuildSubset(File->WithComponents(Keep));
  // A TrueType face without the hinting tables our subsetter copies goes
  // the way of CFF faces.
  if (Program.empty()) Program = SubsetWithHarfBuzz(*Face, Keep);
  TvxBytes Header(Program, "subset");
  uint32_t Version = Header.U32(0);
  if (CFF ? Version != SfntCFF : Version == SfntCFF) Damaged("outlines cannot be subset");
  return Program;
}

TvxCompositeFont::TvxCompositeFont(std::shared_ptr<const std::string> Face, std::string BaseName)
    : FImpl(std::make_unique<TvxImpl>()) {
  TvxImpl& I = *FImpl;
  I.Face = Face ? std::move(Face) : std::make_shared<const std::string>();
  I.BaseName = std::move(BaseName);
  uint32_t Version = TvxBytes(*I.Face, "not a font").U32(0);
  if (Version == 0x74746366 /* ttcf */) Damaged("a collection, not one face");
  if (Version != SfntTrueType && Version != SfntApple && Version != SfntCFF) Damaged("not a font");
  I.File = std::make_unique<TvxTrueTypeFile>(I.Face);
  if (I.File->IsVariable()) Damaged("variable fonts cannot be embedded");
  for (std::string_view Tag : {"head", "hhea", "hmtx", "maxp"})
    if (!I.File->FindTable(Tag)) Damaged("no " + std::string(Tag) + " table");
  bool Glyf = I.File->HasTrueTypeOutlines();
  I.CFF = I.File->FindTable("CFF ") && (Version == SfntCFF || !Glyf);
  if (!I.CFF && !Glyf) {
    if (I.File->FindTable("CFF2")) Damaged("CFF2 outlines cannot be embedded");
    Damaged("no outlines");
  }
  I.ReadMetrics();
}

TvxCompositeFont::~TvxCompositeFont() = default;

bool TvxCompositeFont::IsCFF() const {
  return FImpl->CFF;
}

uint32_t TvxCompositeFont::GlyphCount() const {
  return FImpl->Glyphs;
}

int32_t TvxCompositeFont::GlyphWidth(uint16_t G) const {
  const TvxImpl& I = *FImpl;
  if (G >= I.Glyphs) return 0;
  // Glyphs past the horizontal metrics take the last advance.
  size_t Metric = std::min<size_t>(G, I.HMetrics - 1u);
  return I.Scaled(TvxBytes(I.Hmtx, "hmtx").U16(Metric * 4));
}

void TvxCompositeFont::AddGlyph(uint16_t G, std::u16string_view Chars) {
  if (G >= FImpl->Glyphs) return;
  std::u16string& Mapped = FImpl->Used[G];
  if (Mapped.empty()) Mapped.assign(Chars);
}

uint16_t TvxCompositeFont::CodeOf(uint16_t G) const {
  const std::vector<uint16_t>& CIDs = FImpl->CIDs;
  if (CIDs.empty()) return G;
  return G < CIDs.size() ? CIDs[G] : 0;
}

std::unique_ptr<TvxPDFIndirectReference> TvxCompositeFont::Build(TvxPDFObjectStore& Store,
                                                                 int32_t DocumentID,
                                                                 const std::string& ResourceName) {
  TvxImpl& I = *FImpl;
  auto AddNew = [&Store, DocumentID](TvxPDFObjectPtr Value) {
    return Store.AddObject(std::make_unique<TvxPDFIndirectObject>(
        DocumentID, Store.NewObjectNumber(), 0, true, std::move(Value)));
  };
  auto AddStream = [&AddNew](const std::string& Data, std::unique_ptr<TvxPDFDictObject> Dict) {
    std::unique_ptr<TvxMemoryStream> Packed = CompressFontStream(Data);
    Dict->AddInteger("/Length", static_cast<int32_t>(Packed->MemSize()));
    Dict->AddName("/Filter", "/FlateDecode");
    return MakeReference(
        *AddNew(std::make_unique<TvxPDFStreamObject>(std::move(Dict), std::move(Packed))));
  };

  // The program first: the codes of a CID-keyed face come from it.
  std::vector<bool> Keep(I.Glyphs, false);
  Keep[0] = true;
  for (const auto& Entry : I.Used) Keep[Entry.first] = true;
  std::string Program = I.BuildProgram(Keep);
  I.CIDs.clear();
  if (I.CFF) {
    MakeCIDsGlyphNumbers(Program);
    // The codes are what the embedded program says, read back.
    I.CIDs = ReadCIDCharset(TvxTrueTypeFile(Program).Table("CFF ")).CIDs;
  }

  // By code: the characters and the width of each glyph shown. Codes are
  // unique in a sound face; of a repeat the lower glyph wins.
  std::map<uint16_t, std::u16string> Chars;
  std::vector<std::pair<uint16_t, int32_t>> Widths;
  for (const auto& [G, Text] : I.Used) {
    uint16_t Code = CodeOf(G);
    if (!Chars.emplace(Code, Text).second) continue;
    Widths.emplace_back(Code, GlyphWidth(G));
  }
  std::sort(Widths.begin(), Widths.end());

  std::string BaseFont = EscapePDFName(I.SubsetTag() + "+" + I.BaseName);

  auto Type0 = std::make_unique<TvxPDFDictObject>();
  Type0->AddName("/Type", "/Font");
  Type0->AddName("/Subtype", "/Type0");
  if (!ResourceName.empty()) Type0->AddName("/Name", ResourceName);
  Type0->AddName("/BaseFont", BaseFont);
  Type0->AddName("/Encoding", "/Identity-H");
  // The ToUnicode stream is made before the descendant font and its file.
  Type0->Add("/ToUnicode", AddStream(ToUnicodeCMap(Chars), std::make_unique<TvxPDFDictObject>()));

  auto FileDict = std::make_unique<TvxPDFDictObject>();
  if (I.CFF)
    FileDict->AddName("/Subtype", "/OpenType");
  else
    FileDict->AddInteger("/Length1", static_cast<int32_t>(Program.size()));
  std::unique_ptr<TvxPDFIndirectReference> FontFile = AddStream(Program, std::move(FileDict));

  auto Desc = std::make_unique<TvxPDFDictObject>();
  Desc->AddName("/Type", "/FontDescriptor");
  Desc->AddName("/FontName", BaseFont);
  Desc->AddInteger("/Flags", I.Flags);
  auto Box = std::make_unique<TvxPDFArrayObject>();
  for (int32_t V : I.BBox) Box->AddInteger(V);
  Desc->Add("/FontBBox", std::move(Box));
  if (I.ItalicAngle == std::trunc(I.ItalicAngle))
    Desc->AddInteger("/ItalicAngle", static_cast<int32_t>(I.ItalicAngle));
  else
    Desc->AddReal("/ItalicAngle", I.ItalicAngle);
  Desc->AddInteger("/Ascent", I.Ascent);
  Desc->AddInteger("/Descent", I.Descent);
  Desc->AddInteger("/CapHeight", I.CapHeight);
  Desc->AddInteger("/StemV", 80);
  Desc->Add(I.CFF ? "/FontFile3" : "/FontFile2", std::move(FontFile));
  std::unique_ptr<TvxPDFIndirectReference> Descriptor = MakeReference(*AddNew(std::move(Desc)));

  auto Cid = std::make_unique<TvxPDFDictObject>();
  Cid->AddName("/Type", "/Font");
  Cid->AddName("/Subtype", I.CFF ? "/CIDFontType0" : "/CIDFontType2");
  Cid->AddName("/BaseFont", BaseFont);
  Cid->Add("/FontDescriptor", std::move(Descriptor));
  auto Info = std::make_unique<TvxPDFDictObject>();
  Info->Add("/Registry", std::make_unique<TvxPDFStringObject>("(Adobe)"));
  Info->Add("/Ordering", std::make_unique<TvxPDFStringObject>("(Identity)"));
  Info->AddInteger("/Supplement", 0);
  Cid->Add("/CIDSystemInfo", std::move(Info));
  Cid->AddInteger("/DW", GlyphWidth(0));
  Cid->Add("/W", CompactWidths(Widths));
  if (!I.CFF) Cid->AddName("/CIDToGIDMap", "/Identity");
  auto Fonts = std::make_unique<TvxPDFArrayObject>();
  Fonts->Add(MakeReference(*AddNew(std::move(Cid))));
  Type0->Add("/DescendantFonts", std::move(Fonts));
  return MakeReference(*AddNew(std::move(Type0)));
}

}  // namespace vx
