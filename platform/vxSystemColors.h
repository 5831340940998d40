// Window-system colour constants and their RGB values.
#pragma once

#include <cstdint>

namespace vx {

// A colour whose high byte is 0xFF names a system colour by its index in the
// low byte; everything else is 0x00BBGGRR already.
inline constexpr uint32_t SystemColorBase = 0xFF000000u;
inline constexpr uint32_t clBtnFace = SystemColorBase | 15;
inline constexpr uint32_t clWindow = SystemColorBase | 5;
inline constexpr uint32_t clWindowText = SystemColorBase | 8;
inline constexpr uint32_t clHighlight = SystemColorBase | 13;

class TvxSystemColorService {
 public:
  virtual ~TvxSystemColorService() = default;
  // RGB 0x00BBGGRR of system colour Index.
  virtual uint32_t SystemColor(uint32_t Index) const = 0;
};

// Not owned; nullptr restores the default (the classic desktop palette).
void SetSystemColorService(TvxSystemColorService* Service);
uint32_t ResolveSystemColor(uint32_t Color);

}  // namespace vx
