#include "pdf/fonts/vxPDFFont.h"

#include "pdf/fonts/vxTrueType.h"

namespace vx {

// Stubs: the analysis follows.
bool NeedsCIDFont(uint8_t) {
  throw Exception("not implemented");
}
uint32_t TableChecksum(std::string_view) {
  throw Exception("not implemented");
}
TvxPDFFont::TvxPDFFont(const TvxFont& Font, bool, bool CollectUsed)
    : FFont(Font), FInfo(std::make_unique<TvxPDFFontInfo>()), FCollectUsed(CollectUsed) {
  throw Exception("not implemented");
}
TvxPDFFont::~TvxPDFFont() = default;
int32_t TvxPDFFont::GlyphWidth(uint16_t) const {
  throw Exception("not implemented");
}
void TvxPDFFont::AddUsedChars(std::u16string_view) {
  throw Exception("not implemented");
}
std::string TvxPDFFont::EncodeGlyphText(std::u16string_view, uint8_t) {
  throw Exception("not implemented");
}
void TvxPDFFont::GetFontFile(TvxMemoryStream&) const {
  throw Exception("not implemented");
}
void TvxPDFFont::BuildSubset(TvxMemoryStream&) {
  throw Exception("not implemented");
}
std::string TvxPDFFont::SubsetTag() const {
  throw Exception("not implemented");
}
void TvxPDFFont::WriteToUnicodeCMap(TvxMemoryStream&) const {
  throw Exception("not implemented");
}

}  // namespace vx
