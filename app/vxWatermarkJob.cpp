#include "app/vxWatermarkJob.h"

#include <memory>

#include "pdf/watermark/vxWatermarkTemplate.h"

namespace vx::app {

TvxStampAction PrepareWatermark(const TvxJobSettings& Settings) {
  auto Template = std::make_shared<TvxTextWatermarkTemplate>();
  Template->Text = Settings.Text.toStdU16String();
  Template->Angle = StrToInt(Settings.AngleText);

  // One by one, so that the template's ANSI character set stays.
  TvxFont& Font = *Template->Font;
  Font.Name = Settings.Font.Name.toStdString();
  Font.Size = Settings.Font.Size;
  Font.Bold = Settings.Font.Bold;
  Font.Italic = Settings.Font.Italic;
  Font.Underline = Settings.Font.Underline;
  Font.StrikeOut = Settings.Font.StrikeOut;
  Font.Color = Settings.Font.Color;

  if (Settings.RenderMode == QLatin1String("FillStroke"))
    Template->RenderMode = trFillStroke;
  else if (Settings.RenderMode == QLatin1String("Fill"))
    Template->RenderMode = trFill;
  else if (Settings.RenderMode == QLatin1String("Stroke"))
    Template->RenderMode = trStroke;
  Template->StrokeColor = Settings.StrokeColor;
  Template->Overlay = Settings.Overlay;

  if (Settings.HorizontalPosition == QLatin1String("Center"))
    Template->HorizontalPosition = hpCenter;
  else if (Settings.HorizontalPosition == QLatin1String("Left"))
    Template->HorizontalPosition = hpLeft;
  else if (Settings.HorizontalPosition == QLatin1String("Right"))
    Template->HorizontalPosition = hpRight;
  if (Settings.VerticalPosition == QLatin1String("Center"))
    Template->VerticalPosition = vpCenter;
  else if (Settings.VerticalPosition == QLatin1String("Top"))
    Template->VerticalPosition = vpTop;
  else if (Settings.VerticalPosition == QLatin1String("Bottom"))
    Template->VerticalPosition = vpBottom;

  // The template lives until the stamping is done with it.
  return [Template](TvxPDFDocument& Document) { Document.InsertWatermark(*Template); };
}

}  // namespace vx::app
