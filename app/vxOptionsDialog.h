// The options of a job the form itself has no controls for: pages, opacity,
// font embedding, size relative to the page, tiling, the watermark layer,
// shared streams and object streams.
#pragma once

#include <QDialog>

#include "pdf/watermark/vxWatermarkJob.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vx::app {

class TvxOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TvxOptionsDialog(QWidget* Parent = nullptr);

  // Shows Job's options.
  void SetJob(const TvxWatermarkJob& Job);
  // Job with the options as shown.
  TvxWatermarkJob ApplyTo(TvxWatermarkJob Job) const;
  // The options of a new job.
  void RestoreDefaults();

  QLineEdit* Pages;
  QSpinBox* Opacity;
  QComboBox* Embedding;
  QSpinBox* Scale;
  QCheckBox* Tile;
  QDoubleSpinBox* TileGapX;
  QDoubleSpinBox* TileGapY;
  QCheckBox* TileStagger;
  QCheckBox* Layer;
  QCheckBox* LayerPrint;
  QCheckBox* LayerView;
  QCheckBox* Replace;
  QCheckBox* Compact;
  QComboBox* ObjectStreams;
  QPushButton* Defaults;

 private:
  // Controls that only mean something with another one ticked follow it.
  void UpdateEnabled();
};

}  // namespace vx::app
