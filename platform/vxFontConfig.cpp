// The font service on fontconfig and FreeType.
#include "pdf/objects/vxExceptions.h"
#include "platform/vxFontService.h"

namespace vx {

namespace {

// Stub: replaced by the fontconfig/FreeType service.
class TvxStubFontService : public TvxFontService {
 public:
  std::shared_ptr<const TvxPlatformFont> CreateFont(const TvxLogFont&) override {
    throw Exception("not implemented");
  }
  std::vector<uint8_t> FontCharsets(std::string_view) override {
    throw Exception("not implemented");
  }
};

TvxStubFontService DefaultService;
TvxFontService* CurrentService = &DefaultService;

}  // namespace

TvxFontService& FontService() {
  return *CurrentService;
}

void SetFontService(TvxFontService* Service) {
  CurrentService = Service ? Service : &DefaultService;
}

}  // namespace vx
