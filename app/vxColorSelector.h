// A colour button with a drop-down palette: "Automatic", forty colour cells
// and "More Colors..." for the platform's colour dialog.
#pragma once

#include <QToolButton>
#include <array>
#include <functional>
#include <optional>

#include "pdf/objects/vxUtils.h"

class QFrame;

namespace vx::app {

class TvxColorSelector : public QToolButton {
  Q_OBJECT

 public:
  // The palette's cells in order, as RGB.
  static const std::array<uint32_t, 40> PaletteRgb;

  // Automatic is the colour the "Automatic" entry selects.
  explicit TvxColorSelector(TvxColor Automatic, QWidget* Parent = nullptr);

  TvxColor Color() const { return FColor; }
  void SetColor(TvxColor Color);
  TvxColor AutomaticColor() const { return FAutomatic; }

  // Runs the colour dialog behind "More Colors..."; nothing when cancelled.
  std::function<std::optional<TvxColor>(TvxColor Current)> OnMoreColors;

  // The drop-down palette (made on first use), shown by ShowPalette.
  QFrame* Palette();
  void ShowPalette();

 signals:
  void ColorChanged(vx::TvxColor Color);

 protected:
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void Pick(TvxColor Color);
  void MoreColors();
  void UpdateFace();

  TvxColor FColor;
  TvxColor FAutomatic;
  QFrame* FPalette = nullptr;  // not owned: a child widget, freed by Qt
};

}  // namespace vx::app
