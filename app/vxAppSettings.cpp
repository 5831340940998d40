#include "app/vxAppSettings.h"

#include <QStringList>
#include <array>
#include <limits>

#include "pdf/objects/vxExceptions.h"
#include "platform/vxSystemColors.h"

namespace vx::app {

namespace {

constexpr TvxColor FromRgb(uint32_t Rgb) {
  return MakeColor(static_cast<uint8_t>(Rgb >> 16), static_cast<uint8_t>(Rgb >> 8),
                   static_cast<uint8_t>(Rgb));
}

struct TvxColorIdent {
  TvxColor Color;
  const char* Name;
};

// Named colours, given as RGB.
constexpr std::array<TvxColorIdent, 20> NamedColors{{
    {FromRgb(0x000000), "clBlack"},      {FromRgb(0x800000), "clMaroon"},
    {FromRgb(0x008000), "clGreen"},      {FromRgb(0x808000), "clOlive"},
    {FromRgb(0x000080), "clNavy"},       {FromRgb(0x800080), "clPurple"},
    {FromRgb(0x008080), "clTeal"},       {FromRgb(0x808080), "clGray"},
    {FromRgb(0xC0C0C0), "clSilver"},     {FromRgb(0xFF0000), "clRed"},
    {FromRgb(0x00FF00), "clLime"},       {FromRgb(0xFFFF00), "clYellow"},
    {FromRgb(0x0000FF), "clBlue"},       {FromRgb(0xFF00FF), "clFuchsia"},
    {FromRgb(0x00FFFF), "clAqua"},       {FromRgb(0xFFFFFF), "clWhite"},
    {FromRgb(0xC0DCC0), "clMoneyGreen"}, {FromRgb(0xA6CAF0), "clSkyBlue"},
    {FromRgb(0xFFFBF0), "clCream"},      {FromRgb(0xA0A0A4), "clMedGray"},
}};

// Window-system colour constants by index; nullptr where the index is unused.
constexpr std::array<const char*, 31> SystemColorNames{"clScrollBar",
                                                       "clBackground",
                                                       "clActiveCaption",
                                                       "clInactiveCaption",
                                                       "clMenu",
                                                       "clWindow",
                                                       "clWindowFrame",
                                                       "clMenuText",
                                                       "clWindowText",
                                                       "clCaptionText",
                                                       "clActiveBorder",
                                                       "clInactiveBorder",
                                                       "clAppWorkSpace",
                                                       "clHighlight",
                                                       "clHighlightText",
                                                       "clBtnFace",
                                                       "clBtnShadow",
                                                       "clGrayText",
                                                       "clBtnText",
                                                       "clInactiveCaptionText",
                                                       "clBtnHighlight",
                                                       "cl3DDkShadow",
                                                       "cl3DLight",
                                                       "clInfoText",
                                                       "clInfoBk",
                                                       nullptr,
                                                       "clHotLight",
                                                       "clGradientActiveCaption",
                                                       "clGradientInactiveCaption",
                                                       "clMenuHighlight",
                                                       "clMenuBar"};

constexpr TvxColor clNone = 0x1FFFFFFF;
constexpr TvxColor clDefault = 0x20000000;

[[noreturn]] void ThrowNotInteger(const QString& Text) {
  throw EConvertError(FormatMessage(msg::NotValidInteger, Text.toStdString()));
}

}  // namespace

int32_t PixelHeightToPoints(int32_t Pixels, int32_t PixelsPerInch) {
  if (PixelsPerInch <= 0) return Pixels;
  int64_t Num = static_cast<int64_t>(Pixels) * 72;
  int64_t Half = PixelsPerInch / 2;
  return static_cast<int32_t>(Num >= 0 ? (Num + Half) / PixelsPerInch
                                       : -((-Num + Half) / PixelsPerInch));
}

QString ColorToIdent(TvxColor Color) {
  for (const auto& C : NamedColors)
    if (C.Color == Color) return QString::fromLatin1(C.Name);
  if ((Color & 0xFF000000u) == SystemColorBase && (Color & 0x00FFFF00u) == 0) {
    uint32_t Index = Color & 0xFF;
    if (Index < SystemColorNames.size() && SystemColorNames[Index])
      return QString::fromLatin1(SystemColorNames[Index]);
  }
  if (Color == clNone) return QStringLiteral("clNone");
  if (Color == clDefault) return QStringLiteral("clDefault");
  return QStringLiteral("$%1").arg(Color, 8, 16, QLatin1Char('0')).toUpper();
}

QString FontSummary(const TvxFontSpec& Font) {
  return Font.Name + QStringLiteral(", ") + QString::number(Font.Size) + QStringLiteral(", ") +
         ColorToIdent(Font.Color);
}

int32_t StrToInt(const QString& Text) {
  qsizetype I = 0;
  const qsizetype N = Text.size();
  while (I < N && (Text[I] == u' ' || Text[I] == u'\t')) ++I;
  bool Negative = false;
  if (I < N && (Text[I] == u'+' || Text[I] == u'-')) Negative = Text[I++] == u'-';
  if (I >= N) ThrowNotInteger(Text);
  const uint64_t Limit =
      static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (Negative ? 1 : 0);
  uint64_t Value = 0;
  for (; I < N; ++I) {
    const char16_t C = Text[I].unicode();
    if (C < u'0' || C > u'9') ThrowNotInteger(Text);
    Value = Value * 10 + static_cast<uint64_t>(C - u'0');
    if (Value > Limit) ThrowNotInteger(Text);
  }
  return Negative ? static_cast<int32_t>(-static_cast<int64_t>(Value))
                  : static_cast<int32_t>(Value);
}

QString QtNameFilters(const QString& Filter) {
  QStringList Parts = Filter.split(u'|');
  QStringList Out;
  for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
    QString Patterns = Parts[I + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
    QString Name = Parts[I];
    if (Name.contains(u'(' + Patterns + u')'))
      Out << Name;
    else
      Out << Name + QStringLiteral(" (") + Patterns + u')';
  }
  return Out.join(QStringLiteral(";;"));
}

QColor ToQColor(TvxColor Color) {
  TvxColor Rgb = ResolveSystemColor(Color);
  return QColor(static_cast<int>(Rgb & 0xFF), static_cast<int>((Rgb >> 8) & 0xFF),
                static_cast<int>((Rgb >> 16) & 0xFF));
}

TvxColor FromQColor(const QColor& Color) {
  QRgb Rgb = Color.rgb();  // 0xAARRGGBB
  return MakeColor(static_cast<uint8_t>(qRed(Rgb)), static_cast<uint8_t>(qGreen(Rgb)),
                   static_cast<uint8_t>(qBlue(Rgb)));
}

QString RgbHex(TvxColor Color) {
  TvxColor Rgb = ResolveSystemColor(Color);
  uint32_t Value = (Rgb & 0xFF) << 16 | (Rgb & 0xFF00) | (Rgb >> 16 & 0xFF);
  return QStringLiteral("%1").arg(Value, 6, 16, QLatin1Char('0')).toUpper();
}

QString JoinLinesCRLF(const QString& RawText) {
  QString Out;
  Out.reserve(RawText.size() + RawText.size() / 16);
  for (QChar C : RawText) {
    if (C == QChar::ParagraphSeparator || C == QChar::LineSeparator || C == u'\n')
      Out += QStringLiteral("\r\n");
    else
      Out += C;
  }
  return Out;
}

}  // namespace vx::app
