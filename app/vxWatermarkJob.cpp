#include "app/vxWatermarkJob.h"

#include <QStringList>

namespace vx::app {

namespace {

// The combo boxes' items, in the order of the engine's values.
const char* const RenderItems[] = {"Fill", "Stroke", "FillStroke"};
const char* const HorizontalItems[] = {"Left", "Center", "Right"};
const char* const VerticalItems[] = {"Top", "Center", "Bottom"};

// The index of Item among Items, Default when it is none of them.
template <typename T, size_t N>
T FromItem(const QString& Item, const char* const (&Items)[N], T Default) {
  for (size_t I = 0; I < N; ++I)
    if (Item == QLatin1String(Items[I])) return static_cast<T>(I);
  return Default;
}

template <typename T, size_t N>
QString ToItem(T Value, const char* const (&Items)[N]) {
  return QLatin1String(static_cast<size_t>(Value) < N ? Items[Value] : Items[0]);
}

}  // namespace

TvxWatermarkJob ToWatermarkJob(const TvxJobSettings& Settings, TvxWatermarkJob Base) {
  Base.Text = Settings.Text.toStdU16String();
  Base.Angle = StrToInt(Settings.AngleText);
  Base.Font.Name = Settings.Font.Name.toStdString();
  Base.Font.Size = Settings.Font.Size;
  Base.Font.Bold = Settings.Font.Bold;
  Base.Font.Italic = Settings.Font.Italic;
  Base.Font.Underline = Settings.Font.Underline;
  Base.Font.StrikeOut = Settings.Font.StrikeOut;
  Base.Font.Color = Settings.Font.Color;
  Base.RenderMode = FromItem(Settings.RenderMode, RenderItems, Base.RenderMode);
  Base.StrokeColor = Settings.StrokeColor;
  Base.Overlay = Settings.Overlay;
  Base.HorizontalPosition =
      FromItem(Settings.HorizontalPosition, HorizontalItems, Base.HorizontalPosition);
  Base.VerticalPosition = FromItem(Settings.VerticalPosition, VerticalItems, Base.VerticalPosition);
  Base.OpenAfterSave = Settings.OpenAfterSave;
  return Base;
}

TvxJobSettings FromWatermarkJob(const TvxWatermarkJob& Job, TvxJobSettings Settings) {
  QString Text = QString::fromStdU16String(Job.Text);
  Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  Settings.Text = JoinLinesCRLF(Text);
  Settings.AngleText = QString::number(Job.Angle);
  Settings.Font = {QString::fromStdString(Job.Font.Name),
                   Job.Font.Size,
                   Job.Font.Bold,
                   Job.Font.Italic,
                   Job.Font.Underline,
                   Job.Font.StrikeOut,
                   Job.Font.Color};
  Settings.RenderMode = ToItem(Job.RenderMode, RenderItems);
  Settings.StrokeColor = Job.StrokeColor;
  Settings.Overlay = Job.Overlay;
  Settings.HorizontalPosition = ToItem(Job.HorizontalPosition, HorizontalItems);
  Settings.VerticalPosition = ToItem(Job.VerticalPosition, VerticalItems);
  Settings.OpenAfterSave = Job.OpenAfterSave;
  return Settings;
}

QStringList UnshownJobSettings(const TvxWatermarkJob& Job) {
  // The options dialog shows the rest.
  const TvxWatermarkJob New;
  QStringList Names;
  if (Job.Encryption != New.Encryption) Names << QStringLiteral("the encryption");
  return Names;
}

}  // namespace vx::app
