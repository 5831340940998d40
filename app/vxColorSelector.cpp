#include "app/vxColorSelector.h"

#include <QFrame>
#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/vxAppSettings.h"

namespace vx::app {

namespace {

constexpr TvxColor FromRgb(uint32_t Rgb) {
  return MakeColor(static_cast<uint8_t>(Rgb >> 16), static_cast<uint8_t>(Rgb >> 8),
                   static_cast<uint8_t>(Rgb));
}

QIcon Swatch(const QColor& Color, QSize Size) {
  QPixmap Pix(Size);
  Pix.fill(Color);
  QPainter P(&Pix);
  P.setPen(Qt::darkGray);
  P.drawRect(0, 0, Size.width() - 1, Size.height() - 1);
  return QIcon(Pix);
}

}  // namespace

const std::array<uint32_t, 40> TvxColorSelector::PaletteRgb{
    0x000000, 0x993300, 0x333300, 0x003300, 0x003366, 0x000080, 0x333335, 0x333333,
    0x800000, 0xFF6600, 0x808000, 0x008000, 0x008080, 0x0000FF, 0x666699, 0x808080,
    0xFF0000, 0xFF9900, 0x99CC00, 0x339966, 0x33CCCC, 0x3366FF, 0x800080, 0x999999,
    0xFF00FF, 0xFFCC00, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x00CCFF, 0x993366, 0xC0C0C0,
    0xFF99CC, 0xFFCC99, 0xFFFF99, 0xCCFFCC, 0xCCFFFF, 0x99CCFF, 0xCC99FF, 0xFFFFFF};

TvxColorSelector::TvxColorSelector(TvxColor Automatic, QWidget* Parent)
    : QToolButton(Parent), FColor(Automatic), FAutomatic(Automatic) {
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  connect(this, &QToolButton::clicked, this, &TvxColorSelector::ShowPalette);
  UpdateFace();
}

void TvxColorSelector::SetColor(TvxColor Color) {
  if (Color == FColor) return;
  FColor = Color;
  UpdateFace();
  emit ColorChanged(Color);
}

void TvxColorSelector::resizeEvent(QResizeEvent* Event) {
  QToolButton::resizeEvent(Event);
  UpdateFace();
}

void TvxColorSelector::UpdateFace() {
  QSize Size(std::max(8, width() - 12), std::max(6, height() - 6));
  setIconSize(Size);
  setIcon(Swatch(ToQColor(FColor), Size));
  setToolTip(RgbHex(FColor));
}

QFrame* TvxColorSelector::Palette() {
  if (FPalette) return FPalette;
  FPalette = new QFrame(this, Qt::Popup);
  FPalette->setObjectName(QStringLiteral("Palette"));
  FPalette->setFrameShape(QFrame::StyledPanel);
  auto* Column = new QVBoxLayout(FPalette);
  Column->setContentsMargins(4, 4, 4, 4);
  Column->setSpacing(4);

  auto* Automatic = new QPushButton(QStringLiteral("Automatic"), FPalette);
  Automatic->setObjectName(QStringLiteral("Automatic"));
  Automatic->setToolTip(QStringLiteral("Automatic"));
  connect(Automatic, &QPushButton::clicked, this, [this] { Pick(FAutomatic); });
  Column->addWidget(Automatic);

  auto* Grid = new QGridLayout;
  Grid->setSpacing(2);
  for (size_t I = 0; I < PaletteRgb.size(); ++I) {
    TvxColor Cell = FromRgb(PaletteRgb[I]);
    auto* Button = new QToolButton(FPalette);
    Button->setObjectName(QStringLiteral("Cell%1").arg(I));
    Button->setAutoRaise(true);
    Button->setIconSize(QSize(14, 14));
    Button->setIcon(Swatch(ToQColor(Cell), QSize(14, 14)));
    Button->setToolTip(RgbHex(Cell));
    connect(Button, &QToolButton::clicked, this, [this, Cell] { Pick(Cell); });
    Grid->addWidget(Button, static_cast<int>(I / 8), static_cast<int>(I % 8));
  }
  Column->addLayout(Grid);

  auto* More = new QPushButton(QStringLiteral("More Colors..."), FPalette);
  More->setObjectName(QStringLiteral("MoreColors"));
  More->setToolTip(QStringLiteral("More Color"));
  connect(More, &QPushButton::clicked, this, &TvxColorSelector::MoreColors);
  Column->addWidget(More);
  return FPalette;
}

void TvxColorSelector::ShowPalette() {
  QFrame* Popup = Palette();
  Popup->adjustSize();
  QPoint At = mapToGlobal(QPoint(0, height()));
  if (QScreen* S = screen()) {
    QRect Avail = S->availableGeometry();
    At.setX(
        std::clamp(At.x(), Avail.left(), std::max(Avail.left(), Avail.right() - Popup->width())));
    if (At.y() + Popup->height() > Avail.bottom())
      At.setY(mapToGlobal(QPoint(0, 0)).y() - Popup->height());
  }
  Popup->move(At);
  Popup->show();
}

void TvxColorSelector::Pick(TvxColor Color) {
  if (FPalette) FPalette->hide();
  SetColor(Color);
}

void TvxColorSelector::MoreColors() {
  if (FPalette) FPalette->hide();
  if (!OnMoreColors) return;
  if (std::optional<TvxColor> Chosen = OnMoreColors(FColor)) SetColor(*Chosen);
}

}  // namespace vx::app
