// The window's settings as plain values, and the small conversions between
// them and what the widgets show. Nothing here touches a widget.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

#include "pdf/objects/vxUtils.h"
#include "pdf/watermark/vxWatermarkJob.h"

namespace vx::app {

// The watermark font as the font dialog edits it: the window keeps no other
// copy. Size is in whole points; Color is 0x00BBGGRR. It starts as the job
// record's font.
struct TvxFontSpec {
  QString Name = QString::fromStdString(TvxWatermarkJob::TvxJobFont{}.Name);
  int32_t Size = TvxWatermarkJob::TvxJobFont{}.Size;
  bool Bold = TvxWatermarkJob::TvxJobFont{}.Bold;
  bool Italic = TvxWatermarkJob::TvxJobFont{}.Italic;
  bool Underline = TvxWatermarkJob::TvxJobFont{}.Underline;
  bool StrikeOut = TvxWatermarkJob::TvxJobFont{}.StrikeOut;
  TvxColor Color = TvxWatermarkJob::TvxJobFont{}.Color;

  bool operator==(const TvxFontSpec&) const = default;
};

// Everything the watermark job reads from the window's controls.
struct TvxJobSettings {
  QString SourceFile;          // Edit1
  QString Text;                // Memo1, lines joined by CR LF
  QString AngleText;           // Edit2
  TvxFontSpec Font;            // FontDialog1's font
  QString RenderMode;          // ComboBox1
  TvxColor StrokeColor = 0;    // AdvColorSelector1
  bool Overlay = false;        // CheckBox1
  QString HorizontalPosition;  // ComboBox2
  QString VerticalPosition;    // ComboBox3
  bool OpenAfterSave = true;   // CheckBox2

  bool operator==(const TvxJobSettings&) const = default;
};

// Points of a font given as a pixel height at PixelsPerInch, rounded as the
// platform's MulDiv does (halves away from zero).
int32_t PixelHeightToPoints(int32_t Pixels, int32_t PixelsPerInch);

// The identifier of a named or window-system colour ("clRed", "clBtnFace"),
// else "$" and the eight upper-case hex digits of the 0x00BBGGRR value.
QString ColorToIdent(TvxColor Color);
// "Arial, 36, clRed".
QString FontSummary(const TvxFontSpec& Font);

// A decimal 32-bit integer with optional leading
// blanks and sign; anything else raises EConvertError with
// "'%s' is not a valid integer value". Never depends on the locale.
int32_t StrToInt(const QString& Text);

// "Adobe PDF files (*.pdf)|*.pdf" as Qt writes name filters:
// "Adobe PDF files (*.pdf)". Patterns separated by ";" become blank-separated.
QString QtNameFilters(const QString& Filter);

// Between 0x00BBGGRR (system colours resolved) and Qt's colour.
QColor ToQColor(TvxColor Color);
TvxColor FromQColor(const QColor& Color);
// "RRGGBB" as the colour selector's hint shows it.
QString RgbHex(TvxColor Color);

// A multi-line edit's raw text with its line breaks as CR LF.
QString JoinLinesCRLF(const QString& RawText);

}  // namespace vx::app
