#include "app/vxOptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vx::app {

TvxOptionsDialog::TvxOptionsDialog(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("OptionsDialog"));
  setWindowTitle(QStringLiteral("Options"));
  auto* Outer = new QVBoxLayout(this);

  auto* Job = new QGroupBox(QStringLiteral("Pages and appearance"), this);
  auto* JobForm = new QFormLayout(Job);
  Pages = new QLineEdit(Job);
  Pages->setPlaceholderText(QStringLiteral("all pages, or e.g. 1-3,7"));
  JobForm->addRow(QStringLiteral("&Pages:"), Pages);
  Opacity = new QSpinBox(Job);
  Opacity->setRange(0, 100);
  Opacity->setSuffix(QStringLiteral(" %"));
  JobForm->addRow(QStringLiteral("&Opacity:"), Opacity);
  Embedding = new QComboBox(Job);
  Embedding->addItems(
      {QStringLiteral("Not embedded"), QStringLiteral("Whole font"), QStringLiteral("Subset")});
  JobForm->addRow(QStringLiteral("Font &embedding:"), Embedding);
  Scale = new QSpinBox(Job);
  Scale->setRange(0, 1000);
  Scale->setSuffix(QStringLiteral(" %"));
  Scale->setSpecialValueText(QStringLiteral("Font size"));
  Scale->setToolTip(QStringLiteral("The widest line spans this share of the page's shorter side"));
  JobForm->addRow(QStringLiteral("&Size on the page:"), Scale);
  Outer->addWidget(Job);

  auto* Tiles = new QGroupBox(QStringLiteral("Tiling"), this);
  auto* TileForm = new QFormLayout(Tiles);
  Tile = new QCheckBox(QStringLiteral("&Repeat the watermark over the whole page"), Tiles);
  TileForm->addRow(Tile);
  TileGapX = new QDoubleSpinBox(Tiles);
  TileGapY = new QDoubleSpinBox(Tiles);
  for (QDoubleSpinBox* Gap : {TileGapX, TileGapY}) {
    Gap->setRange(0, 10000);
    Gap->setSuffix(QStringLiteral(" pt"));
  }
  TileForm->addRow(QStringLiteral("Gap &along:"), TileGapX);
  TileForm->addRow(QStringLiteral("Gap a&cross:"), TileGapY);
  TileStagger = new QCheckBox(QStringLiteral("S&hift every other row"), Tiles);
  TileForm->addRow(TileStagger);
  Outer->addWidget(Tiles);

  auto* Layers = new QGroupBox(QStringLiteral("Watermark layer"), this);
  auto* LayerForm = new QVBoxLayout(Layers);
  Layer = new QCheckBox(QStringLiteral("Put the watermark in a &layer viewers can hide"), Layers);
  LayerPrint = new QCheckBox(QStringLiteral("Shown when &printed"), Layers);
  LayerView = new QCheckBox(QStringLiteral("Shown on &screen"), Layers);
  Replace = new QCheckBox(QStringLiteral("Replace the layer watermarks already &there"), Layers);
  for (QCheckBox* Box : {Layer, LayerPrint, LayerView, Replace}) LayerForm->addWidget(Box);
  Outer->addWidget(Layers);

  auto* Output = new QGroupBox(QStringLiteral("Saved file"), this);
  auto* OutputForm = new QFormLayout(Output);
  Compact =
      new QCheckBox(QStringLiteral("Pages stamped alike share one &watermark stream"), Output);
  OutputForm->addRow(Compact);
  ObjectStreams = new QComboBox(Output);
  // In the order of TvxObjectStreams.
  ObjectStreams->addItems({QStringLiteral("As the source file has them"), QStringLiteral("Always"),
                           QStringLiteral("Never")});
  ObjectStreams->setToolTip(
      QStringLiteral("Small objects packed into compressed object streams make a smaller file"));
  OutputForm->addRow(QStringLiteral("Object s&treams:"), ObjectStreams);
  Outer->addWidget(Output);

  auto* Buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
  Defaults = Buttons->addButton(QStringLiteral("Restore &defaults"), QDialogButtonBox::ResetRole);
  Outer->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Defaults, &QPushButton::clicked, this, &TvxOptionsDialog::RestoreDefaults);
  connect(Tile, &QCheckBox::toggled, this, &TvxOptionsDialog::UpdateEnabled);
  connect(Layer, &QCheckBox::toggled, this, &TvxOptionsDialog::UpdateEnabled);
  RestoreDefaults();
}

void TvxOptionsDialog::SetJob(const TvxWatermarkJob& Job) {
  Pages->setText(QString::fromStdString(Job.Pages));
  Opacity->setValue(Job.Opacity);
  Embedding->setCurrentIndex(Job.FontEmbedding <= 2 ? Job.FontEmbedding : 0);
  Scale->setValue(Job.Scale);
  Tile->setChecked(Job.Tile);
  TileGapX->setValue(Job.TileGapX);
  TileGapY->setValue(Job.TileGapY);
  TileStagger->setChecked(Job.TileStagger);
  Layer->setChecked(Job.Layer);
  LayerPrint->setChecked(Job.LayerPrint);
  LayerView->setChecked(Job.LayerView);
  Replace->setChecked(Job.Replace);
  Compact->setChecked(Job.Compact);
  ObjectStreams->setCurrentIndex(static_cast<int>(Job.ObjectStreams));
  UpdateEnabled();
}

TvxWatermarkJob TvxOptionsDialog::ApplyTo(TvxWatermarkJob Job) const {
  Job.Pages = Pages->text().trimmed().toStdString();
  Job.Opacity = Opacity->value();
  Job.FontEmbedding = static_cast<uint8_t>(Embedding->currentIndex());
  Job.Scale = Scale->value();
  Job.Tile = Tile->isChecked();
  Job.TileGapX = TileGapX->value();
  Job.TileGapY = TileGapY->value();
  Job.TileStagger = TileStagger->isChecked();
  Job.Layer = Layer->isChecked();
  Job.LayerPrint = LayerPrint->isChecked();
  Job.LayerView = LayerView->isChecked();
  Job.Replace = Replace->isChecked();
  Job.Compact = Compact->isChecked();
  Job.ObjectStreams = static_cast<TvxObjectStreams>(ObjectStreams->currentIndex());
  return Job;
}

void TvxOptionsDialog::RestoreDefaults() {
  SetJob(TvxWatermarkJob{});
}

void TvxOptionsDialog::UpdateEnabled() {
  for (QWidget* W : {static_cast<QWidget*>(TileGapX), static_cast<QWidget*>(TileGapY),
                     static_cast<QWidget*>(TileStagger)})
    W->setEnabled(Tile->isChecked());
  for (QCheckBox* Box : {LayerPrint, LayerView, Replace}) Box->setEnabled(Layer->isChecked());
}

}  // namespace vx::app
