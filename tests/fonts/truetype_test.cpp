// The bounded TrueType reader on fonts built byte by byte.
#include <gtest/gtest.h>

#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "platform/vxFontService.h"
#include "support/expect_error.h"
#include "support/ttf_builder.h"

using namespace vx;
using vxtest::BuildTtf;
using vxtest::TtfLayout;

namespace {

TtfLayout FourGlyphs() {
  TtfLayout S;
  S.Glyphs = {vxtest::SimpleGlyph(), vxtest::SimpleGlyph(), vxtest::CompositeGlyph(1),
              vxtest::SimpleGlyph()};
  S.Advances = {1024, 2048};
  S.UnitsPerEm = 2048;
  S.Cmap31 = vxtest::Format4({{65, 67, static_cast<uint16_t>(1 - 65), 0}, {0xFFFF, 0xFFFF, 1, 0}});
  return S;
}

TEST(TrueTypeFile, CmapSegmentsWithDeltasAndGlyphArray) {
  TtfLayout S = FourGlyphs();
  // Segment 0 by delta: A B C -> 36 37 38. Segment 1 through the glyph
  // array with delta 1: a -> 5 + 1, b -> empty entry (no glyph, delta not
  // added), c -> 7 + 1. The range offset counts from its own position.
  S.Cmap31 = vxtest::Format4(
      {{65, 67, static_cast<uint16_t>(36 - 65), 0}, {97, 99, 1, 4}, {0xFFFF, 0xFFFF, 1, 0}},
      {5, 0, 7});
  TvxTrueTypeFile F(BuildTtf(S));
  std::vector<uint16_t> Glyphs;
  std::vector<char16_t> Codes;
  F.ReadCmap(Glyphs, Codes);
  EXPECT_EQ(Glyphs, (std::vector<uint16_t>{36, 37, 38, 6, 8}));
  EXPECT_EQ(Codes, (std::vector<char16_t>{u'A', u'B', u'C', u'a', u'c'}));
}

TEST(TrueTypeFile, OverlappingSegmentsCannotRepeatCodes) {
  TtfLayout S = FourGlyphs();
  S.Cmap31 = vxtest::Format4(
      {{0, 0xFFFE, 0, 0}, {0, 0xFFFE, 0, 0}, {0, 0xFFFE, 0, 0}, {0xFFFF, 0xFFFF, 1, 0}});
  TvxTrueTypeFile F(BuildTtf(S));
  std::vector<uint16_t> Glyphs;
  std::vector<char16_t> Codes;
  F.ReadCmap(Glyphs, Codes);
  // Code 0 maps to glyph 0 and is left out.
  EXPECT_EQ(Codes.size(), 0xFFFEu);
}

TEST(TrueTypeFile, NoWindowsUnicodeCmapGivesEmptyLists) {
  TtfLayout S = FourGlyphs();
  S.Cmap31.clear();
  TvxTrueTypeFile F(BuildTtf(S));
  std::vector<uint16_t> Glyphs{1};
  std::vector<char16_t> Codes{1};
  F.ReadCmap(Glyphs, Codes);
  EXPECT_TRUE(Glyphs.empty());
  EXPECT_TRUE(Codes.empty());
}

TEST(TrueTypeFile, GlyphsPastTheHorizontalMetricsTakeTheLastAdvance) {
  TvxTrueTypeFile F(BuildTtf(FourGlyphs()));
  EXPECT_EQ(F.ReadGlyphWidths(), (std::vector<int32_t>{500, 1000, 1000, 1000}));
  EXPECT_EQ(F.NumGlyphs(), 4);
}

TEST(TrueTypeFile, DamagedFilesRaise) {
  using vxtest::ExpectError;
  ExpectError<EFontFileError>([] { TvxTrueTypeFile F(std::string("\0\1\0\0\0", 5)); },
                              "Damaged font file (table directory)");
  std::string Good = BuildTtf(FourGlyphs());
  // The directory promises more tables than the file holds.
  std::string Many = Good;
  Many[4] = '\x7F';
  ExpectError<EFontFileError>([&] { TvxTrueTypeFile F(Many); },
                              "Damaged font file (table directory)");
  // A table running past the end of the file.
  std::string Cut = Good.substr(0, Good.size() - 8);
  EXPECT_THROW(TvxTrueTypeFile F(Cut), EFontFileError);

  // A segment count larger than the cmap.
  TtfLayout S = FourGlyphs();
  S.Cmap31[6] = '\x7F';
  TvxTrueTypeFile BadCmap(BuildTtf(S));
  std::vector<uint16_t> G;
  std::vector<char16_t> C;
  ExpectError<EFontFileError>([&] { BadCmap.ReadCmap(G, C); }, "Damaged font file (cmap)");
  // A glyph-array offset pointing past the table.
  S = FourGlyphs();
  S.Cmap31 = vxtest::Format4({{65, 67, 0, 0x7000}, {0xFFFF, 0xFFFF, 1, 0}});
  TvxTrueTypeFile FarArray(BuildTtf(S));
  ExpectError<EFontFileError>([&] { FarArray.ReadCmap(G, C); }, "Damaged font file (cmap)");
  // More horizontal metrics announced than hmtx holds; no units per em.
  S = FourGlyphs();
  S.Advances = {};
  std::string NoMetrics = BuildTtf(S);
  TvxTrueTypeFile Short(NoMetrics);
  EXPECT_NO_THROW(Short.ReadGlyphWidths());
  S = FourGlyphs();
  S.UnitsPerEm = 0;
  TvxTrueTypeFile ZeroEm(BuildTtf(S));
  ExpectError<EFontFileError>([&] { ZeroEm.ReadGlyphWidths(); }, "Damaged font file (head)");
  S = FourGlyphs();
  S.Omit = {"hmtx"};
  TvxTrueTypeFile NoHmtx(BuildTtf(S));
  ExpectError<EFontFileError>([&] { NoHmtx.ReadGlyphWidths(); }, "Damaged font file (hmtx)");
}

TEST(TrueTypeFile, SubsetKeepsChosenGlyphsAndSumsToTheMagicNumber) {
  for (bool Long : {false, true}) {
    SCOPED_TRACE(Long ? "long loca" : "short loca");
    TtfLayout S = FourGlyphs();
    S.LongLoca = Long;
    TvxTrueTypeFile F(BuildTtf(S));
    std::string Sub = F.BuildSubset({false, false, false, true});
    ASSERT_FALSE(Sub.empty());
    EXPECT_EQ(TableChecksum(Sub), 0xB1B0AFBAu);
    TvxTrueTypeFile Back(Sub);
    ASSERT_EQ(Back.Tables().size(), 10u);
    for (size_t I = 0; I < 10; ++I) {
      const TvxTableEntry& E = Back.Tables()[I];
      EXPECT_EQ(Back.FindTable(SubsetTables[I]), &E);
      if (SubsetTables[I] != "head") {
        EXPECT_EQ(E.Checksum, TableChecksum(Back.Table(SubsetTables[I])));
      }
      EXPECT_EQ(E.Offset % 4, 0u);
    }
    std::string Glyph = vxtest::SimpleGlyph();
    // Glyphs 0 and 3 stay, 1 and 2 are emptied.
    EXPECT_EQ(Back.Table("glyf"), Glyph + Glyph);
    EXPECT_EQ(Back.ReadGlyphWidths(), F.ReadGlyphWidths());
  }
}

// A composite glyph of the given components, each with its flags (the
// argument and transform sizes follow from them; more-components is set
// between them).
std::string Composite(const std::vector<std::pair<uint16_t, uint16_t>>& Parts) {
  std::string G;
  vxtest::PutU16(G, 0xFFFF);
  for (int K = 0; K < 4; ++K) vxtest::PutU16(G, 0);
  for (size_t I = 0; I < Parts.size(); ++I) {
    uint16_t Flags = Parts[I].second | (I + 1 < Parts.size() ? 0x0020 : 0);
    vxtest::PutU16(G, Flags);
    vxtest::PutU16(G, Parts[I].first);
    size_t Extra = ((Flags & 0x0001) ? 4 : 2) + ((Flags & 0x0008)   ? 2
                                                 : (Flags & 0x0040) ? 4
                                                 : (Flags & 0x0080) ? 8
                                                                    : 0);
    G.append(Extra, '\x01');
  }
  if (G.size() % 2) G.push_back('\0');
  return G;
}

TEST(TrueTypeFile, SubsetTakesTheComponentsOfCompositeGlyphs) {
  // 1 plain; 2 = 1 (byte args); 3 = 2 (word args, scale) + 4 (2x2);
  // 5 = 6 (x/y scale), 6 = 5: a loop; 7 untouched; 8 names a glyph past
  // the count.
  TtfLayout S;
  S.Glyphs = {vxtest::SimpleGlyph(),    vxtest::SimpleGlyph(),
              Composite({{1, 0x0002}}), Composite({{2, 0x0001 | 0x0008}, {4, 0x0080}}),
              vxtest::SimpleGlyph(),    Composite({{6, 0x0040}}),
              Composite({{5, 0}}),      vxtest::SimpleGlyph(),
              Composite({{500, 0}})};
  S.Advances = {1000};
  for (bool Long : {false, true}) {
    S.LongLoca = Long;
    TvxTrueTypeFile F(BuildTtf(S));
    std::vector<bool> Want(9, false);
    Want[3] = Want[5] = Want[8] = true;
    EXPECT_EQ(F.WithComponents(Want),
              (std::vector<bool>{false, true, true, true, true, true, true, false, true}));
    std::string Sub = F.BuildSubset(Want);
    ASSERT_FALSE(Sub.empty());
    TvxTrueTypeFile Back(Sub);
    std::string Expected;
    for (size_t G = 0; G < S.Glyphs.size(); ++G)
      if (G != 7) Expected += S.Glyphs[G];
    EXPECT_EQ(Back.Table("glyf"), Expected);
  }
}

TEST(TrueTypeFile, DamagedGlyphDataOrAMissingTable) {
  TtfLayout S = FourGlyphs();
  S.Omit = {"prep"};
  TvxTrueTypeFile NoPrep(BuildTtf(S));
  EXPECT_TRUE(NoPrep.BuildSubset({false, true}).empty());
  // loca pointing outside glyf.
  S = FourGlyphs();
  std::string Data = BuildTtf(S);
  TvxTrueTypeFile Probe(Data);
  const TvxTableEntry* Loca = Probe.FindTable("loca");
  Data[Loca->Offset + 4] = '\x7F';
  TvxTrueTypeFile BadLoca(Data);
  EXPECT_THROW(BadLoca.BuildSubset({true, true, false, true}), EFontFileError);
  // A composite announcing more components than its data holds.
  S = FourGlyphs();
  std::string Cut = Composite({{1, 0x0002}, {1, 0x0002}});
  S.Glyphs[2] = Cut.substr(0, Cut.size() - 4);
  TvxTrueTypeFile Truncated(BuildTtf(S));
  vxtest::ExpectError<EFontFileError>(
      [&] {
        Truncated.BuildSubset({false, false, true});
      },
      "Damaged font file (glyf)");
}

TEST(TrueTypeFile, TableChecksumPadsTheLastWord) {
  EXPECT_EQ(TableChecksum(std::string("\0\0\0\1\2", 5)), 0x02000001u);
  EXPECT_EQ(TableChecksum(std::string("\xFF\xFF\xFF\xFF\0\0\0\2", 8)), 1u);
  EXPECT_EQ(TableChecksum(""), 0u);
}

}  // namespace

namespace {

// A collection of Faces: the header, the faces' directories, then every
// face's tables with offsets from the start of the collection.
std::string BuildCollection(const std::vector<std::string>& Faces) {
  std::string Head = "ttcf";
  vxtest::PutU32(Head, 0x00010000);
  vxtest::PutU32(Head, static_cast<uint32_t>(Faces.size()));
  std::vector<std::string> Dirs;
  size_t DirSize = 0;
  for (const std::string& F : Faces) {
    size_t N = static_cast<uint8_t>(F[5]);
    Dirs.push_back(F.substr(0, 12 + N * 16));
    DirSize += Dirs.back().size();
  }
  size_t Offset = Head.size() + Faces.size() * 4;
  size_t DataStart = Offset + DirSize;
  std::string Data;
  for (size_t K = 0; K < Faces.size(); ++K) {
    vxtest::PutU32(Head, static_cast<uint32_t>(Offset));
    Offset += Dirs[K].size();
    size_t N = static_cast<uint8_t>(Faces[K][5]);
    size_t Base = DataStart + Data.size() - 12 - N * 16;
    for (size_t I = 0; I < N; ++I) {
      size_t E = 12 + I * 16 + 8;
      uint32_t Old = static_cast<uint32_t>(static_cast<uint8_t>(Dirs[K][E])) << 24 |
                     static_cast<uint32_t>(static_cast<uint8_t>(Dirs[K][E + 1])) << 16 |
                     static_cast<uint32_t>(static_cast<uint8_t>(Dirs[K][E + 2])) << 8 |
                     static_cast<uint8_t>(Dirs[K][E + 3]);
      std::string New;
      vxtest::PutU32(New, static_cast<uint32_t>(Old + Base));
      Dirs[K].replace(E, 4, New);
    }
    Data += Faces[K].substr(12 + N * 16);
  }
  std::string Out = Head;
  for (const std::string& D : Dirs) Out += D;
  return Out + Data;
}

TEST(TrueTypeFile, AFaceOfACollectionStandsAlone) {
  TtfLayout A = FourGlyphs();
  TtfLayout B = FourGlyphs();
  B.Advances = {2048};
  B.Omit = {"prep"};
  std::string FontA = BuildTtf(A), FontB = BuildTtf(B);
  std::string Ttc = BuildCollection({FontA, FontB});
  for (uint32_t Index : {0u, 1u}) {
    std::string Face = ExtractCollectionFace(Ttc, Index);
    ASSERT_FALSE(Face.empty());
    TvxTrueTypeFile Got(Face), Want(Index == 0 ? FontA : FontB);
    ASSERT_EQ(Got.Tables().size(), Want.Tables().size());
    for (const TvxTableEntry& E : Want.Tables()) {
      std::string Tag;
      for (int K = 3; K >= 0; --K) Tag.push_back(static_cast<char>(E.Tag >> (K * 8)));
      EXPECT_EQ(Got.Table(Tag), Want.Table(Tag)) << Tag;
    }
  }
  EXPECT_TRUE(ExtractCollectionFace(Ttc, 2).empty());
  EXPECT_TRUE(ExtractCollectionFace(Ttc.substr(0, Ttc.size() - 10), 1).empty());
  EXPECT_TRUE(ExtractCollectionFace("ttcf", 0).empty());
}

}  // namespace
