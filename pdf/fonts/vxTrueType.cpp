#include "pdf/fonts/vxTrueType.h"

#include <algorithm>

#include "pdf/fonts/vxPDFFont.h"

namespace vx {

namespace {

[[noreturn]] void Damaged(std::string_view What) {
  throw EFontFileError(FormatMessage(msg::DamagedFontFile, What));
}

uint32_t TagOf(std::string_view T) {
  return static_cast<uint32_t>(static_cast<uint8_t>(T[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(T[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(T[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(T[3]));
}

void AppendU16(std::string& S, uint16_t V) {
  S.push_back(static_cast<char>(V >> 8));
  S.push_back(static_cast<char>(V));
}

void AppendU32(std::string& S, uint32_t V) {
  AppendU16(S, static_cast<uint16_t>(V >> 16));
  AppendU16(S, static_cast<uint16_t>(V));
}

void PutU32(std::string& S, size_t Pos, uint32_t V) {
  S[Pos] = static_cast<char>(V >> 24);
  S[Pos + 1] = static_cast<char>(V >> 16);
  S[Pos + 2] = static_cast<char>(V >> 8);
  S[Pos + 3] = static_cast<char>(V);
}

void PadToFour(std::string& S) {
  S.append((4 - S.size() % 4) % 4, '\0');
}

}  // namespace

uint32_t TableChecksum(std::string_view Table) {
  uint32_t Sum = 0;
  size_t N = Table.size();
  size_t I = 0;
  for (; I + 4 <= N; I += 4)
    Sum += static_cast<uint32_t>(static_cast<uint8_t>(Table[I])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(Table[I + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(Table[I + 2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(Table[I + 3]));
  if (I < N) {
    uint32_t Last = 0;
    for (size_t K = 0; K < 4; ++K)
      Last = Last << 8 | (I + K < N ? static_cast<uint8_t>(Table[I + K]) : 0u);
    Sum += Last;
  }
  return Sum;
}

TvxTrueTypeFile::TvxTrueTypeFile(std::string Data)
    : TvxTrueTypeFile(std::make_shared<const std::string>(std::move(Data))) {}

TvxTrueTypeFile::TvxTrueTypeFile(std::shared_ptr<const std::string> Data)
    : FData(Data ? std::move(Data) : std::make_shared<const std::string>()) {
  TvxTableReader R(*FData, "table directory");
  uint16_t NumTables = R.U16(4);
  R.Need(12, static_cast<size_t>(NumTables) * 16);
  FTables.reserve(NumTables);
  for (uint16_t I = 0; I < NumTables; ++I) {
    size_t E = 12 + static_cast<size_t>(I) * 16;
    TvxTableEntry T{R.U32(E), R.U32(E + 4), R.U32(E + 8), R.U32(E + 12)};
    if (T.Offset > FData->size() || FData->size() - T.Offset < T.Length) {
      std::string Tag;
      for (int K = 3; K >= 0; --K) {
        char C = static_cast<char>(T.Tag >> (K * 8));
        Tag.push_back(C >= 32 && C < 127 ? C : '?');
      }
      Damaged("table " + Tag + " outside the file");
    }
    FTables.push_back(T);
  }
}

const TvxTableEntry* TvxTrueTypeFile::FindTable(std::string_view Tag) const {
  if (Tag.size() != 4) return nullptr;
  uint32_t T = TagOf(Tag);
  for (const TvxTableEntry& E : FTables)
    if (E.Tag == T) return &E;
  return nullptr;
}

std::string_view TvxTrueTypeFile::Table(std::string_view Tag) const {
  const TvxTableEntry* E = FindTable(Tag);
  if (!E) return {};
  return std::string_view(*FData).substr(E->Offset, E->Length);
}

bool TvxTrueTypeFile::HasTrueTypeOutlines() const {
  return FindTable("glyf") && FindTable("loca");
}

bool TvxTrueTypeFile::IsVariable() const {
  return FindTable("fvar") != nullptr;
}

void TvxTrueTypeFile::ReadCmap(std::vector<uint16_t>& GlyphIDs,
                               std::vector<char16_t>& CodePoints) const {
  GlyphIDs.clear();
  CodePoints.clear();
  TvxTableReader Cmap(Table("cmap"), "cmap");
  if (Cmap.Size() == 0) return;
  uint16_t Count = Cmap.U16(2);
  size_t Sub = 0;
  bool Found = false;
  for (uint16_t I = 0; I < Count && !Found; ++I) {
    size_t E = 4 + static_cast<size_t>(I) * 8;
    if (Cmap.U16(E) == 3 && Cmap.U16(E + 2) == 1) {
      Sub = Cmap.U32(E + 4);
      Found = true;
    }
  }
  if (!Found || Cmap.U16(Sub) != 4) return;
  // The subtable's own length field overflows in large fonts, so the bound
  // is the end of the cmap table.
  TvxTableReader R(Cmap.D.substr(Sub), "cmap");
  uint16_t SegCount = R.U16(6) / 2;
  size_t Ends = 14, Starts = 16 + SegCount * 2u, Deltas = Starts + SegCount * 2u,
         Ranges = Deltas + SegCount * 2u;
  R.Need(Ranges, SegCount * 2u);
  // Segments are sorted and do not overlap in a sound font; a damaged one
  // must not make the walk longer than the code space.
  int32_t Previous = -1;
  for (uint16_t S = 0; S < SegCount; ++S) {
    int32_t End = R.U16(Ends + S * 2u);
    int32_t Start = R.U16(Starts + S * 2u);
    uint16_t Delta = R.U16(Deltas + S * 2u);
    size_t RangePos = Ranges + S * 2u;
    uint16_t RangeOffset = R.U16(RangePos);
    for (int32_t C = std::max(Start, Previous + 1); C <= End && C < 0xFFFF; ++C) {
      uint16_t Glyph;
      if (RangeOffset == 0) {
        Glyph = static_cast<uint16_t>(Delta + C);
      } else {
        uint16_t Value = R.U16(RangePos + RangeOffset + 2u * static_cast<size_t>(C - Start));
        // An empty glyph-array entry means "no glyph", delta or not.
        Glyph = Value == 0 ? 0 : static_cast<uint16_t>(Value + Delta);
      }
      if (Glyph == 0) continue;
      GlyphIDs.push_back(Glyph);
      CodePoints.push_back(static_cast<char16_t>(C));
    }
    Previous = std::max(Previous, End);
  }
}

uint16_t TvxTrueTypeFile::NumGlyphs() const {
  return TvxTableReader(Table("maxp"), "maxp").U16(4);
}

std::vector<int32_t> TvxTrueTypeFile::ReadGlyphWidths() const {
  TvxTableReader Head(Table("head"), "head");
  TvxTableReader Hhea(Table("hhea"), "hhea");
  TvxTableReader Hmtx(Table("hmtx"), "hmtx");
  uint16_t UnitsPerEm = Head.U16(18);
  if (UnitsPerEm == 0) Damaged("head");
  uint16_t NumberOfHMetrics = Hhea.U16(34);
  uint16_t Glyphs = FindTable("maxp") ? NumGlyphs() : NumberOfHMetrics;
  Hmtx.Need(0, NumberOfHMetrics * 4u);
  std::vector<int32_t> Widths(std::max(Glyphs, NumberOfHMetrics), 0);
  int32_t Last = 0;
  for (size_t G = 0; G < Widths.size(); ++G) {
    if (G < NumberOfHMetrics) Last = Hmtx.U16(G * 4) * 1000 / UnitsPerEm;
    Widths[G] = Last;
  }
  return Widths;
}

namespace {

// The glyf data of each glyph through loca, every offset checked.
class TvxGlyphLocator {
 public:
  explicit TvxGlyphLocator(const TvxTrueTypeFile& File)
      : FLoca(File.Table("loca"), "loca"), FGlyf(File.Table("glyf")) {
    TvxTableReader Head(File.Table("head"), "head");
    FLong = Head.S16(50) == 1;
    FGlyphs = File.NumGlyphs();
  }
  uint16_t Glyphs() const { return FGlyphs; }
  std::string_view Glyph(size_t G) const {
    size_t Start = Offset(G), End = Offset(G + 1);
    if (Start > End || End > FGlyf.size()) Damaged("loca");
    return FGlyf.substr(Start, End - Start);
  }

 private:
  size_t Offset(size_t G) const {
    return FLong ? FLoca.U32(G * 4) : static_cast<size_t>(FLoca.U16(G * 2)) * 2;
  }
  TvxTableReader FLoca;
  std::string_view FGlyf;
  bool FLong = false;
  uint16_t FGlyphs = 0;
};

// Calls Visit with the glyph number of every component of a composite glyph.
template <typename TVisit>
void ForEachComponent(std::string_view Glyph, TVisit Visit) {
  constexpr uint16_t ArgsAreWords = 0x0001, HaveScale = 0x0008, MoreComponents = 0x0020,
                     HaveXYScale = 0x0040, HaveTwoByTwo = 0x0080;
  TvxTableReader R(Glyph, "glyf");
  if (R.Size() < 2 || R.S16(0) >= 0) return;
  // Every component takes at least four bytes, so the walk ends with the data.
  size_t Pos = 10;
  for (;;) {
    uint16_t Flags = R.U16(Pos);
    Visit(R.U16(Pos + 2));
    Pos += 4 + ((Flags & ArgsAreWords) ? 4 : 2);
    if (Flags & HaveScale)
      Pos += 2;
    else if (Flags & HaveXYScale)
      Pos += 4;
    else if (Flags & HaveTwoByTwo)
      Pos += 8;
    if (!(Flags & MoreComponents)) break;
  }
}

}  // namespace

std::vector<bool> TvxTrueTypeFile::WithComponents(std::vector<bool> Keep) const {
  if (!FindTable("glyf") || !FindTable("loca") || !FindTable("head") || !FindTable("maxp"))
    return Keep;
  TvxGlyphLocator L(*this);
  // Each glyph enters the list once, so nesting and loops end after at most
  // numGlyphs steps.
  std::vector<uint16_t> Pending;
  for (size_t G = 0; G < Keep.size() && G < L.Glyphs(); ++G)
    if (Keep[G]) Pending.push_back(static_cast<uint16_t>(G));
  while (!Pending.empty()) {
    uint16_t G = Pending.back();
    Pending.pop_back();
    ForEachComponent(L.Glyph(G), [&](uint16_t C) {
      // A component past the glyph count draws nothing.
      if (C >= L.Glyphs()) return;
      if (C >= Keep.size()) Keep.resize(C + 1u, false);
      if (Keep[C]) return;
      Keep[C] = true;
      Pending.push_back(C);
    });
  }
  return Keep;
}

std::string TvxTrueTypeFile::BuildSubset(const std::vector<bool>& Wanted) const {
  for (std::string_view Tag : SubsetTables)
    if (!FindTable(Tag)) return {};
  TvxTableReader Head(Table("head"), "head");
  bool LongOffsets = Head.S16(50) == 1;
  TvxGlyphLocator L(*this);
  uint16_t Glyphs = L.Glyphs();
  std::vector<bool> Keep = WithComponents(Wanted);

  std::string NewGlyf, NewLoca;
  NewGlyf.reserve(Table("glyf").size() / 4);
  for (size_t G = 0; G <= Glyphs; ++G) {
    if (LongOffsets)
      AppendU32(NewLoca, static_cast<uint32_t>(NewGlyf.size()));
    else
      AppendU16(NewLoca, static_cast<uint16_t>(NewGlyf.size() / 2));
    if (G == Glyphs) break;
    if (G != 0 && (G >= Keep.size() || !Keep[G])) continue;
    NewGlyf.append(L.Glyph(G));
  }

  std::string Out;
  AppendU32(Out, 0x00010000);
  AppendU16(Out, 10);
  AppendU16(Out, 128);
  AppendU16(Out, 3);
  AppendU16(Out, 32);
  Out.resize(12 + 160);
  std::string Body;
  size_t HeadOffset = 0;
  auto AddTable = [&](size_t Index, std::string_view Data) {
    size_t Offset = Out.size() + Body.size();
    std::string Entry;
    AppendU32(Entry, TagOf(SubsetTables[Index]));
    AppendU32(Entry, TableChecksum(Data));
    AppendU32(Entry, static_cast<uint32_t>(Offset));
    AppendU32(Entry, static_cast<uint32_t>(Data.size()));
    Out.replace(12 + Index * 16, 16, Entry);
    Body.append(Data);
    PadToFour(Body);
  };
  for (size_t I = 0; I < 10; ++I) {
    std::string_view Tag = SubsetTables[I];
    if (Tag == "glyf" || Tag == "loca") continue;
    if (Tag == "head") {
      std::string H(Table("head"));
      PutU32(H, 8, 0);  // checkSumAdjustment, set below
      HeadOffset = Out.size() + Body.size();
      AddTable(I, H);
    } else {
      AddTable(I, Table(Tag));
    }
  }
  AddTable(3, NewGlyf);
  AddTable(7, NewLoca);
  Out.append(Body);
  PutU32(Out, HeadOffset + 8, 0xB1B0AFBAu - TableChecksum(Out));
  return Out;
}

}  // namespace vx
