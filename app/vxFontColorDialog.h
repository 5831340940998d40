// The font dialog: Qt's font chooser (face, size, style, underline,
// strike-out) with a colour button beside it, confirmed or cancelled as one.
#pragma once

#include <QDialog>

#include "app/vxAppSettings.h"

class QFontDialog;

namespace vx::app {

class TvxColorSelector;

class TvxFontColorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TvxFontColorDialog(QWidget* Parent = nullptr);

  void SetFontSpec(const TvxFontSpec& Font);
  // The font as edited so far. A face the user did not change stays as
  // given, even when the chooser shows a substitute for a face not installed.
  TvxFontSpec FontSpec() const;

  QFontDialog* FontChooser() const { return FChooser; }
  TvxColorSelector* ColorButton() const { return FColor; }

 private:
  QFontDialog* FChooser;     // not owned: a child widget, freed by Qt
  TvxColorSelector* FColor;  // not owned: a child widget, freed by Qt
  TvxFontSpec FInitial;
  QString FShownFamily;  // what the chooser showed for FInitial's face
  bool FFontTouched = false;
};

}  // namespace vx::app
