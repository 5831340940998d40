// A font service with fixed, simple metrics, so that measured values in
// watermark content are known exactly: every byte is half an em wide.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vxFontService.h"

namespace vxtest {

class HalfEmFont : public vx::TvxPlatformFont {
 public:
  explicit HalfEmFont(const vx::TvxLogFont& Log) : FLog(Log) {
    auto H = static_cast<int32_t>(std::lround(Log.Height));
    FMetrics.Height = H;
    FMetrics.Ascent = H * 4 / 5;
    FMetrics.Descent = H / 5;
    FMetrics.AveCharWidth = H / 2;
    FMetrics.MaxCharWidth = H / 2;
    FMetrics.Weight = Log.Weight;
    FMetrics.Italic = Log.Italic;
    // Variable pitch, Swiss, no TrueType data: a simple /Type1 font.
    FMetrics.PitchAndFamily = vx::tmpfVariablePitch | vx::ffSwiss;
  }
  const vx::TvxTextMetrics& TextMetrics() const override { return FMetrics; }
  bool OutlineMetrics(vx::TvxOutlineMetrics&) const override { return false; }
  vx::TvxTextExtent TextExtent(std::string_view Text) const override {
    auto Half = static_cast<int32_t>(std::lround(FLog.Height / 2));
    return vx::TvxTextExtent{Half * static_cast<int32_t>(Text.size()), FMetrics.Height};
  }
  const std::string& FontData() const override { return FNoData; }
  const std::string& FaceName() const override { return FLog.FaceName; }

 private:
  vx::TvxLogFont FLog;
  vx::TvxTextMetrics FMetrics;
  std::string FNoData;
};

class HalfEmFontService : public vx::TvxFontService {
 public:
  std::shared_ptr<const vx::TvxPlatformFont> CreateFont(const vx::TvxLogFont& Log) override {
    return std::make_shared<HalfEmFont>(Log);
  }
  std::vector<uint8_t> FontCharsets(std::string_view) override { return {0}; }
};

// Installs the service for the life of the object.
class UseHalfEmFonts {
 public:
  UseHalfEmFonts() { vx::SetFontService(&FService); }
  ~UseHalfEmFonts() { vx::SetFontService(nullptr); }

 private:
  HalfEmFontService FService;
};

}  // namespace vxtest
