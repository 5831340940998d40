#include "pdf/fonts/vxFontResources.h"

#include "pdf/objects/vxExceptions.h"

namespace vx {

// Stubs: the font objects follow.
std::string MakeBaseFontName(const TvxFont&) {
  throw Exception("not implemented");
}
std::string MakeBaseFontName(const TvxPDFFont&) {
  throw Exception("not implemented");
}
std::string EscapePDFName(std::string_view) {
  throw Exception("not implemented");
}
std::unique_ptr<TvxMemoryStream> CompressFontStream(const std::string&) {
  throw Exception("not implemented");
}
std::unique_ptr<TvxPDFArrayObject> BuildWidthsArray(const std::vector<int32_t>&) {
  throw Exception("not implemented");
}
bool TvxFontResources::FindFontResource(const TvxPDFDictObject*, const TvxFont&, std::string&,
                                        uint8_t) {
  throw Exception("not implemented");
}
std::unique_ptr<TvxPDFIndirectReference> TvxFontResources::CreateFontResource(const TvxFont&,
                                                                              const std::string&,
                                                                              uint8_t, uint8_t,
                                                                              std::u16string_view) {
  throw Exception("not implemented");
}

}  // namespace vx
