#include "app/vxRemembered.h"

#include <QSettings>

#include "pdf/objects/vxExceptions.h"

namespace vx::app {

void CopyOptions(const TvxWatermarkJob& From, TvxWatermarkJob& To) {
  To.Pages = From.Pages;
  To.Opacity = From.Opacity;
  To.FontEmbedding = From.FontEmbedding;
  To.Scale = From.Scale;
  To.Tile = From.Tile;
  To.TileGapX = From.TileGapX;
  To.TileGapY = From.TileGapY;
  To.TileStagger = From.TileStagger;
  To.Layer = From.Layer;
  To.LayerPrint = From.LayerPrint;
  To.LayerView = From.LayerView;
  To.Replace = From.Replace;
  To.Compact = From.Compact;
}

void LoadRememberedOptions(TvxWatermarkJob& Job) {
  const QString Text = QSettings().value(QStringLiteral("Options/Job")).toString();
  if (Text.isEmpty()) return;
  try {
    // Written by this program, but a settings file can be edited by hand.
    CopyOptions(ReadWatermarkJob(Text.toStdString(), Job), Job);
  } catch (const Exception&) {
  }
}

void SaveRememberedOptions(const TvxWatermarkJob& Job) {
  // Only the options: the text and the font start as a new job's.
  TvxWatermarkJob Options;
  CopyOptions(Job, Options);
  QSettings().setValue(QStringLiteral("Options/Job"),
                       QString::fromStdString(WriteWatermarkJob(Options)));
}

QString RememberedFolder() {
  return QSettings().value(QStringLiteral("Folders/Open")).toString();
}

void RememberFolder(const QString& Folder) {
  QSettings().setValue(QStringLiteral("Folders/Open"), Folder);
}

}  // namespace vx::app
