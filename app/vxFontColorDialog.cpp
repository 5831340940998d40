#include "app/vxFontColorDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "app/vxColorSelector.h"
#include "pdf/watermark/vxUnits.h"

namespace vx::app {

TvxFontColorDialog::TvxFontColorDialog(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle(QStringLiteral("Font"));
  auto* Column = new QVBoxLayout(this);

  FChooser = new QFontDialog(this);
  FChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  FChooser->setWindowFlags(Qt::Widget);
  FChooser->setObjectName(QStringLiteral("FontChooser"));
  Column->addWidget(FChooser);

  auto* Row = new QHBoxLayout;
  auto* Label = new QLabel(QStringLiteral("&Color:"), this);
  FColor = new TvxColorSelector(MakeColor(0, 0, 0), this);
  FColor->setObjectName(QStringLiteral("FontColor"));
  FColor->setFixedSize(120, 22);
  FColor->OnMoreColors = [this](TvxColor Current) -> std::optional<TvxColor> {
    QColor C = QColorDialog::getColor(ToQColor(Current), this);
    if (!C.isValid()) return std::nullopt;
    return FromQColor(C);
  };
  Label->setBuddy(FColor);
  Row->addWidget(Label);
  Row->addWidget(FColor);
  Row->addStretch(1);
  Column->addLayout(Row);

  auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Column->addWidget(Buttons);

  connect(FChooser, &QFontDialog::currentFontChanged, this, [this] { FFontTouched = true; });
}

void TvxFontColorDialog::SetFontSpec(const TvxFontSpec& Font) {
  FInitial = Font;
  QFont F(Font.Name);
  F.setPointSize(std::max(1, Font.Size));
  F.setBold(Font.Bold);
  F.setItalic(Font.Italic);
  F.setUnderline(Font.Underline);
  F.setStrikeOut(Font.StrikeOut);
  FChooser->setCurrentFont(F);
  FShownFamily = FChooser->currentFont().family();
  FColor->SetColor(Font.Color);
  FFontTouched = false;
}

TvxFontSpec TvxFontColorDialog::FontSpec() const {
  TvxFontSpec Out = FInitial;
  Out.Color = FColor->Color();
  if (!FFontTouched) return Out;
  QFont F = FChooser->currentFont();
  if (F.family() != FShownFamily) Out.Name = F.family();
  if (F.pointSizeF() > 0)
    Out.Size = static_cast<int32_t>(std::lround(F.pointSizeF()));
  else if (F.pixelSize() > 0)
    Out.Size = static_cast<int32_t>(std::lround(PixelsToPoints(F.pixelSize())));
  Out.Bold = F.bold();
  Out.Italic = F.italic();
  Out.Underline = F.underline();
  Out.StrikeOut = F.strikeOut();
  return Out;
}

}  // namespace vx::app
