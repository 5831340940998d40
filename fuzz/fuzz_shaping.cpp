// Arbitrary Unicode text through shaping, font fallback, subsetting and the
// composite fonts of a stamped page; with the first byte's high bit set, the
// rest is the chosen face's font file instead, shaped and subset as it is.
// Only the engine's own exceptions may come out.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxRandom.h"

namespace {

// One blank page, with a cross-reference table that fits.
const std::string& Page() {
  static const std::string Pdf = [] {
    const char* Objects[] = {"<< /Type /Catalog /Pages 2 0 R >>",
                             "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] >>"};
    std::string S = "%PDF-1.4\n";
    std::string Table = "xref\n0 4\n0000000000 65535 f \n";
    for (int I = 0; I < 3; ++I) {
      char Entry[32];
      std::snprintf(Entry, sizeof Entry, "%010zu 00000 n \n", S.size());
      Table += Entry;
      S += std::to_string(I + 1) + " 0 obj " + Objects[I] + " endobj\n";
    }
    const size_t At = S.size();
    return S + Table + "trailer << /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(At) +
           "\n%%EOF\n";
  }();
  return Pdf;
}

constexpr const char* Faces[] = {"Liberation Sans",  "DejaVu Sans",      "WenQuanYi Micro Hei",
                                 "Lohit Devanagari", "Cantarell",        "Liberation Serif",
                                 "DejaVu Sans Mono", "No Such Face Here"};

// A face whose file is the fuzzer's bytes.
class TvxBytesFont : public vx::TvxPlatformFont {
 public:
  explicit TvxBytesFont(std::string Data)
      : FData(std::make_shared<const std::string>(std::move(Data))) {
    FMetrics.Ascent = 800;
    FMetrics.Descent = 200;
    FMetrics.Height = 1000;
    FMetrics.AveCharWidth = 500;
    FMetrics.MaxCharWidth = 1000;
    FMetrics.PitchAndFamily = vx::tmpfVariablePitch | vx::tmpfVector;
  }
  const vx::TvxTextMetrics& TextMetrics() const override { return FMetrics; }
  bool OutlineMetrics(vx::TvxOutlineMetrics&) const override { return false; }
  vx::TvxTextExtent TextExtent(std::string_view Text) const override {
    return {static_cast<int32_t>(Text.size()) * 500, FMetrics.Height};
  }
  const std::string& FontData() const override { return FNone; }
  std::shared_ptr<const std::string> SfntData() const override { return FData; }
  const std::string& FaceName() const override { return FName; }

 private:
  std::shared_ptr<const std::string> FData;
  std::string FNone, FName = "Fuzz";
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

void Stamp(const std::u16string& Text, const char* Face, uint8_t Pick) {
  vx::TvxPDFDocument Doc;
  if (!Doc.LoadFromMemory(Page())) return;
  vx::TvxTextWatermarkTemplate T;
  T.Text = Text;
  T.Font->Name = Face;
  T.Font->Size = 24;
  T.Font->Bold = (Pick & 1) != 0;
  T.Font->Italic = (Pick & 2) != 0;
  T.Font->Underline = (Pick & 4) != 0;
  T.Angle = (Pick & 8) ? 45 : 0;
  T.Tile = (Pick & 16) != 0;
  T.Scale = (Pick & 32) ? 50 : 0;
  Doc.InsertWatermark(T, "");
  vx::TvxMemoryStream Out;
  Doc.WriteDocument(Out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  vx::RandomSeed(1);
  const uint8_t Pick = Data[0];
  try {
    if (Pick & 0x80) {
      TvxBytesService Service(std::string(reinterpret_cast<const char*>(Data + 1), Size - 1));
      vx::SetFontService(&Service);
      struct TvxRestore {
        ~TvxRestore() { vx::SetFontService(nullptr); }
      } Restore;
      Stamp((Pick & 1) ? u"Draft ffi" : u"Draft Мир ffi", "Fuzz", Pick);
      return 0;
    }
    std::u16string Text;
    for (size_t I = 1; I + 1 < Size && Text.size() < 2048; I += 2)
      Text.push_back(static_cast<char16_t>(Data[I] | (Data[I + 1] << 8)));
    if (!Text.empty()) Stamp(Text, Faces[Pick & 7], static_cast<uint8_t>(Pick >> 3));
  } catch (const vx::Exception&) {
  }
  return 0;
}
