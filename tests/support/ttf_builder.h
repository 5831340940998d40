// Builds small TrueType font files byte by byte, so that tests see exactly
// the tables under test.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vxtest {

inline void PutU16(std::string& S, uint16_t V) {
  S.push_back(static_cast<char>(V >> 8));
  S.push_back(static_cast<char>(V));
}

inline void PutU32(std::string& S, uint32_t V) {
  PutU16(S, static_cast<uint16_t>(V >> 16));
  PutU16(S, static_cast<uint16_t>(V));
}

// A glyph of one triangle contour.
inline std::string SimpleGlyph() {
  std::string G;
  PutU16(G, 1);                              // numberOfContours
  for (int K = 0; K < 4; ++K) PutU16(G, 0);  // bounding box
  PutU16(G, 2);                              // endPtsOfContours
  PutU16(G, 0);                              // instructionLength
  G += std::string("\x01\x01\x01", 3);       // flags: on curve, long coordinates
  for (int K = 0; K < 6; ++K) PutU16(G, static_cast<uint16_t>(K * 10));
  if (G.size() % 2) G.push_back('\0');
  return G;
}

// A composite glyph made of Component.
inline std::string CompositeGlyph(uint16_t Component) {
  std::string G;
  PutU16(G, 0xFFFF);  // numberOfContours -1
  for (int K = 0; K < 4; ++K) PutU16(G, 0);
  PutU16(G, 0x0002);  // ARGS_ARE_XY_VALUES, byte arguments
  PutU16(G, Component);
  G += std::string("\0\0", 2);
  return G;
}

struct CmapSegment {
  uint16_t Start, End, Delta, RangeOffset;
};

// A format-4 subtable; GlyphArray follows the range offsets.
inline std::string Format4(const std::vector<CmapSegment>& Segments,
                           const std::vector<uint16_t>& GlyphArray = {}) {
  std::string S;
  uint16_t N = static_cast<uint16_t>(Segments.size());
  PutU16(S, 4);
  PutU16(S, static_cast<uint16_t>(16 + N * 8 + GlyphArray.size() * 2));
  PutU16(S, 0);
  PutU16(S, static_cast<uint16_t>(N * 2));
  PutU16(S, 0);
  PutU16(S, 0);
  PutU16(S, 0);
  for (const auto& G : Segments) PutU16(S, G.End);
  PutU16(S, 0);
  for (const auto& G : Segments) PutU16(S, G.Start);
  for (const auto& G : Segments) PutU16(S, G.Delta);
  for (const auto& G : Segments) PutU16(S, G.RangeOffset);
  for (uint16_t V : GlyphArray) PutU16(S, V);
  return S;
}

struct TtfSpec {
  std::vector<std::string> Glyphs;  // glyf data per glyph (empty allowed)
  std::vector<uint16_t> Advances;   // numberOfHMetrics entries
  uint16_t UnitsPerEm = 1000;
  std::string Cmap31;  // (3, 1) subtable; none when empty
  bool LongLoca = false;
  std::vector<std::string> Omit;  // tags left out
};

inline std::string BuildTtf(const TtfSpec& Spec) {
  std::map<std::string, std::string> T;
  std::string Glyf, Loca;
  for (size_t G = 0; G <= Spec.Glyphs.size(); ++G) {
    if (Spec.LongLoca)
      PutU32(Loca, static_cast<uint32_t>(Glyf.size()));
    else
      PutU16(Loca, static_cast<uint16_t>(Glyf.size() / 2));
    if (G < Spec.Glyphs.size()) Glyf += Spec.Glyphs[G];
  }
  T["glyf"] = Glyf;
  T["loca"] = Loca;
  std::string Head;
  PutU32(Head, 0x00010000);
  PutU32(Head, 0x00010000);
  PutU32(Head, 0);           // checkSumAdjustment
  PutU32(Head, 0x5F0F3CF5);  // magic
  PutU16(Head, 0);
  PutU16(Head, Spec.UnitsPerEm);
  Head.append(16, '\0');  // dates
  for (int K = 0; K < 4; ++K) PutU16(Head, 0);
  PutU16(Head, 0);
  PutU16(Head, 8);
  PutU16(Head, 2);
  PutU16(Head, Spec.LongLoca ? 1 : 0);
  PutU16(Head, 0);
  T["head"] = Head;
  std::string Hhea;
  PutU32(Hhea, 0x00010000);
  Hhea.append(30, '\0');
  PutU16(Hhea, static_cast<uint16_t>(Spec.Advances.size()));
  T["hhea"] = Hhea;
  std::string Hmtx;
  for (uint16_t A : Spec.Advances) {
    PutU16(Hmtx, A);
    PutU16(Hmtx, 0);
  }
  for (size_t G = Spec.Advances.size(); G < Spec.Glyphs.size(); ++G) PutU16(Hmtx, 0);
  T["hmtx"] = Hmtx;
  std::string Maxp;
  PutU32(Maxp, 0x00010000);
  PutU16(Maxp, static_cast<uint16_t>(Spec.Glyphs.size()));
  Maxp.append(26, '\0');
  T["maxp"] = Maxp;
  std::string Cmap;
  PutU16(Cmap, 0);
  PutU16(Cmap, Spec.Cmap31.empty() ? 0 : 1);
  if (!Spec.Cmap31.empty()) {
    PutU16(Cmap, 3);
    PutU16(Cmap, 1);
    PutU32(Cmap, 12);
    Cmap += Spec.Cmap31;
  }
  T["cmap"] = Cmap;
  T["cvt "] = std::string("\0\x10\0\x20", 4);
  T["fpgm"] = std::string("\xB0\x00", 2);
  T["prep"] = std::string("\xB0\x01", 2);
  for (const std::string& Tag : Spec.Omit) T.erase(Tag);

  std::string Out;
  PutU32(Out, 0x00010000);
  PutU16(Out, static_cast<uint16_t>(T.size()));
  PutU16(Out, 0);
  PutU16(Out, 0);
  PutU16(Out, 0);
  std::string Body;
  size_t Offset = 12 + T.size() * 16;
  for (const auto& [Tag, Data] : T) {
    Out += Tag;
    PutU32(Out, 0);
    PutU32(Out, static_cast<uint32_t>(Offset + Body.size()));
    PutU32(Out, static_cast<uint32_t>(Data.size()));
    Body += Data;
    Body.append((4 - Body.size() % 4) % 4, '\0');
  }
  return Out + Body;
}

}  // namespace vxtest
