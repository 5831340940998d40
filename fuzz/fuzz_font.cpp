// Feeds arbitrary bytes as the file of an installed TrueType font: the table
// reader, the whole font analysis, glyph encoding, the ToUnicode map and the
// subset. Only the engine's own exceptions may come out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/fonts/vxPDFFont.h"
#include "pdf/fonts/vxTrueType.h"
#include "pdf/objects/vxExceptions.h"

namespace {

class TvxBytesFont : public vx::TvxPlatformFont {
 public:
  explicit TvxBytesFont(std::string Data) : FData(std::move(Data)) {
    FMetrics.Ascent = 1000;
    FMetrics.Descent = 300;
    FMetrics.Height = 1300;
    FMetrics.AveCharWidth = 500;
    FMetrics.MaxCharWidth = 1500;
    FMetrics.PitchAndFamily = vx::tmpfVariablePitch | vx::tmpfVector | vx::tmpfTrueType;
  }
  const vx::TvxTextMetrics& TextMetrics() const override { return FMetrics; }
  bool OutlineMetrics(vx::TvxOutlineMetrics& M) const override {
    M = vx::TvxOutlineMetrics{};
    return true;
  }
  vx::TvxTextExtent TextExtent(std::string_view Text) const override {
    return {static_cast<int32_t>(Text.size()) * 7, FMetrics.Height};
  }
  const std::string& FontData() const override { return FData; }
  const std::string& FaceName() const override { return FName; }

 private:
  std::string FData;
  std::string FName = "Fuzz";
  vx::TvxTextMetrics FMetrics;
};

class TvxBytesService : public vx::TvxFontService {
 public:
  explicit TvxBytesService(std::string Data) : FFont(std::make_shared<TvxBytesFont>(Data)) {}
  std::shared_ptr<const vx::TvxPlatformFont> CreateFont(const vx::TvxLogFont&) override {
    return FFont;
  }
  std::vector<uint8_t> FontCharsets(std::string_view) override { return {0}; }

 private:
  std::shared_ptr<const vx::TvxPlatformFont> FFont;
};

void ReadTables(const std::string& Data) {
  try {
    vx::TvxTrueTypeFile F(Data);
    std::vector<uint16_t> Glyphs;
    std::vector<char16_t> Codes;
    F.ReadCmap(Glyphs, Codes);
    std::vector<int32_t> Widths = F.ReadGlyphWidths();
    std::vector<bool> Keep(Widths.size() + 1, false);
    for (size_t I = 0; I < Glyphs.size() && I < 64; ++I)
      if (Glyphs[I] < Keep.size()) Keep[Glyphs[I]] = true;
    std::string Subset = F.BuildSubset(Keep);
    if (!Subset.empty()) vx::TvxTrueTypeFile Again(Subset);
  } catch (const vx::Exception&) {
  }
}

void Analyse(const std::string& Data) {
  TvxBytesService Service(Data);
  vx::SetFontService(&Service);
  try {
    vx::TvxFont Font;
    Font.Name = "Fuzz";
    Font.Charset = vx::GreekCharset;
    vx::TvxPDFFont F(Font, false, true);
    F.EncodeGlyphText(u"AB \u03B1\u03B2 09", vx::GreekCharset);
    vx::TvxMemoryStream Subset, CMap;
    F.BuildSubset(Subset);
    F.WriteToUnicodeCMap(CMap);
    (void)F.SubsetTag();
  } catch (const vx::Exception&) {
  }
  vx::SetFontService(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string Bytes(reinterpret_cast<const char*>(Data), Size);
  ReadTables(Bytes);
  Analyse(Bytes);
  return 0;
}
