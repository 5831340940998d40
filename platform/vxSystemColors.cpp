#include "platform/vxSystemColors.h"

namespace vx {

namespace {

// RGB of the classic desktop colour scheme, by system colour index.
constexpr uint32_t ClassicColors[31] = {
    0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0x000000, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF6633, 0xF0F0F0};

class TvxClassicColors : public TvxSystemColorService {
 public:
  uint32_t SystemColor(uint32_t Index) const override {
    return Index < 31 ? ClassicColors[Index] : 0;
  }
};

TvxClassicColors DefaultColors;
TvxSystemColorService* CurrentColors = &DefaultColors;

}  // namespace

void SetSystemColorService(TvxSystemColorService* Service) {
  CurrentColors = Service ? Service : &DefaultColors;
}

uint32_t ResolveSystemColor(uint32_t Color) {
  if ((Color & 0xFF000000u) == SystemColorBase) return CurrentColors->SystemColor(Color & 0xFF);
  return Color & 0x00FFFFFFu;
}

}  // namespace vx
