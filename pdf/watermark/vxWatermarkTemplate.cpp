#include "pdf/watermark/vxWatermarkTemplate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "pdf/fonts/vxFontEncodings.h"
#include "pdf/fonts/vxPDFFont.h"
#include "pdf/watermark/vxUnicodeText.h"
#include "platform/vxCodePage.h"

namespace vx {

namespace {

constexpr double Pi = 3.14159265358979323846;

double Rad(double Degrees) {
  return Degrees * Pi / 180;
}

// Content streams have no exponent form: a number the formatter would write
// with one (a page box beyond 10^10) is written out in plain decimals.
std::string PlainDecimals(std::string Text, double V, int Decimals) {
  if (Text.find_first_of("Ee") == std::string::npos) return Text;
  if (!std::isfinite(V)) return "0";
  char Buf[400];
  std::snprintf(Buf, sizeof Buf, "%.*f", Decimals, V);
  return Buf;
}

std::string Fixed(double V, int Decimals) {
  return PlainDecimals(FloatToTextFmtDot(V, ffFixed, 10, Decimals), V, Decimals);
}

// The general form, in plain decimals: trailing zeros dropped.
std::string General(double V) {
  const std::string Text = FloatToTextDot(V);
  if (Text.find_first_of("Ee") == std::string::npos) return Text;
  std::string Plain = PlainDecimals(Text, V, 10);
  if (Plain.find('.') != std::string::npos) {
    while (Plain.back() == '0') Plain.pop_back();
    if (Plain.back() == '.') Plain.pop_back();
  }
  return Plain == "-0" ? "0" : Plain;
}

// A point of text space (x along the baseline, y up) on the page.
struct TvxTextFrame {
  double X, Y, C, S;
  double PageX(double Tx, double Ty) const { return X + Tx * C - Ty * S; }
  double PageY(double Tx, double Ty) const { return Y + Tx * S + Ty * C; }
};

// The text in the system ANSI code page; a character outside the basic
// plane (a surrogate pair) becomes one "?", like any other it lacks.
std::string ToSingleByte(std::u16string_view T) {
  std::u16string Units;
  bool Pairs = false;
  for (char16_t C : T) Pairs = Pairs || (C >= 0xD800 && C <= 0xDFFF);
  if (!Pairs) return UnicodeToAnsi(T);
  Units.reserve(T.size());
  for (size_t I = 0; I < T.size(); ++I) {
    char16_t C = T[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < T.size() && T[I + 1] >= 0xDC00 && T[I + 1] <= 0xDFFF)
      ++I;
    Units.push_back(C >= 0xD800 && C <= 0xDFFF ? u'?' : C);
  }
  return UnicodeToAnsi(Units);
}

}  // namespace

void TvxTextWatermarkTemplate::BlockSize(double& W, double& H) const {
  if (Unicode) {
    W = 0;
    const std::vector<std::u16string_view> Lines = TvxUnicodeText::SplitLines(Text);
    for (std::u16string_view L : Lines) W = std::max(W, Unicode->Line(L).Width * Font->Size / 1000);
    H = static_cast<double>(Font->Size) * static_cast<double>(Lines.size());
    return;
  }
  std::string Escaped;
  std::vector<std::string> Lines;
  EscapeAndSplitLines(Text, Escaped, Lines);
  W = 0;
  for (const std::string& Line : Lines)
    W = std::max(W, PixelsToPoints(MeasureText(Line, *Font).Width));
  H = static_cast<double>(Font->Size) * static_cast<double>(Lines.size());
}

TvxTextWatermarkTemplate::TvxTextWatermarkTemplate() : Font(std::make_unique<TvxFont>()) {
  Font->Charset = AnsiCharset;
}

void TvxTextWatermarkTemplate::SetFont(const TvxFont& Source) {
  if (Font)
    *Font = Source;
  else
    Font = std::make_unique<TvxFont>(Source);
}

void PrepareWatermarkFont(const TvxFont& Font) {
  try {
    // The analyses of the text measurement, of the font lookup and of the
    // font creation, and the font at its own size.
    TvxPDFFont Measured(Font, false, false);
    TvxPDFFont Created(Font, false, true);
    MeasureText(" ", Font);
  } catch (...) {
  }
}

void ReleaseWatermarkFonts() {
  ReleaseFontAnalyses();
  FontService().ReleaseFonts();
}

void EscapeAndSplitLines(std::u16string_view T, std::string& E, std::vector<std::string>& L) {
  E.clear();
  L.clear();
  if (T.empty()) return;
  // Converted first, so that what the code page lacks ("?") is escaped like
  // anything else and no character can turn into a delimiter afterwards.
  const std::string Bytes = ToSingleByte(T);
  E.reserve(Bytes.size() + Bytes.size() / 4 + 8);
  std::string Line;
  for (size_t I = 0; I < Bytes.size(); ++I) {
    char C = Bytes[I];
    // CR LF (as a multi-line edit box gives it), CR and LF all end a line.
    if (C == '\r' || C == '\n') {
      if (C == '\r' && I + 1 < Bytes.size() && Bytes[I + 1] == '\n') ++I;
      E += ")Tj T* (";
      L.push_back(std::move(Line));
      Line.clear();
      continue;
    }
    // A tab is a space; other control characters have no glyph to show and
    // would be drawn and measured as the missing-glyph box.
    if (C == '\t') C = ' ';
    if (static_cast<unsigned char>(C) < 32 || C == '\x7F') continue;
    switch (C) {
      case '(': E += "\\("; break;
      case ')': E += "\\)"; break;
      case '\\': E += "\\\\"; break;
      default: E.push_back(C);
    }
    Line.push_back(C);
  }
  L.push_back(std::move(Line));
}

double ComputeCharSpacing(std::string_view Text, std::span<const int32_t, 224> Widths, double W,
                          double F) {
  if (Text.empty()) return 0;
  double S = 0;
  int64_t Shown = 0;
  for (char C : Text) {
    auto B = static_cast<uint8_t>(C);
    if (B >= 32) S += Widths[B - 32];
    if (C != '\n') ++Shown;
  }
  double D = W - S * F / 1000;
  if (std::fabs(D) < 0.0001 || Shown == 0) return 0;
  return D / static_cast<double>(Shown);
}

void TvxTextWatermarkTemplate::ApplyAlignment(double& AX, double& AY, double F, double W,
                                              int32_t Lines) const {
  // The tables below place a block of height H whose lower left corner is
  // (AX, AY); the first baseline lies (Lines - 1) lines above that corner.
  // Negative angles take the same places as their positive equivalents.
  const int32_t Theta = ((Angle % 360) + 360) % 360;
  const double T = Theta;
  const double C = std::cos(Rad(T));
  const double S = std::sin(Rad(T));
  const int32_t K = std::max<int32_t>(Lines, 1);
  const double H = F * K;
  const double Up = F * (K - 1);
  const double R = std::sqrt(W * W + H * H) / 2;
  const double Alpha = W == 0 ? Pi / 2 : std::atan(H / W);

  switch (HorizontalPosition) {
    case hpLeft:
      if (T > 0 && T <= 90) {
        AX = AX + H * S;
      } else if (T > 90 && T <= 180) {
        const double Phi = Rad(180 - T);
        const double V = std::tan(Phi) > 0 ? W - H / std::tan(Phi) : W;
        AX = AX + std::cos(Phi) * V + (std::sin(Phi) > 0 ? H / std::sin(Phi) : 0);
      } else if (T > 180 && T <= 270) {
        AX = AX + std::fabs(std::cos(Rad(T - 180))) * W;
      }
      AX -= Up * S;
      break;
    case hpCenter: AX = AX - R * std::cos(Rad(T) + Alpha) - Up * S; break;
    case hpRight:
      if (T >= 0 && T <= 90)
        AX = AX - std::fabs(C) * W;
      else if (T > 180 && T < 270)
        AX = AX - std::fabs(std::cos(Rad(270 - T))) * H;
      else if (T >= 270 && T <= 360)
        AX = AX - (std::cos(Rad(T - 270)) * H + W * C);
      AX -= Up * S;
      break;
    case hpCustom: AX = AX + F * std::cos(Rad(90 - T)); break;
  }

  switch (VerticalPosition) {
    case vpTop:
      if (T >= 0 && T <= 90)
        AY = AY - (H * C + W * S);
      else if (T > 90 && T <= 180)
        AY = AY - W * S;
      else if (T > 270 && T <= 360)
        AY = AY - H * std::sin(Rad(T - 270));
      AY += Up * C;
      break;
    case vpCenter: AY = AY - R * std::sin(Rad(T) + Alpha) + Up * C; break;
    case vpBottom:
      // Up to 90 degrees the block keeps one line's height of room below it.
      if (T >= 0 && T <= 90)
        AY = AY + F;
      else if (T > 90 && T <= 180)
        AY = AY + H * std::sin(Rad(T - 90));
      else if (T > 180 && T <= 270)
        AY = AY + W * std::sin(Rad(T - 180)) + H * std::cos(Rad(T - 180));
      else if (T > 270 && T <= 360)
        AY = AY + W * std::cos(Rad(T - 270));
      AY += Up * C;
      break;
    case vpCustom: AY = AY - F * std::sin(Rad(90 - T)); break;
  }
}

void TvxTextWatermarkTemplate::BuildContent(const std::string& FontName, const std::string& GSName,
                                            double AX, double AY, TvxMeasurementUnit,
                                            std::string& Content) {
  if (!Font) SetFont(TvxFont{.Charset = AnsiCharset});
  if (Unicode) {
    BuildUnicodeContent(FontName, GSName, AX, AY, Content);
    return;
  }
  const double Theta = Angle;
  const double C = std::cos(Rad(Theta));
  const double S = std::sin(Rad(Theta));
  const double F = Font->Size;
  const std::string FText = std::to_string(Font->Size);

  // A symbolic face keeps its own encoding; others write the bytes of the
  // encoding the font names, characters it lacks shown as "?".
  CheckFontEncoding(FontEncoding);
  TvxPDFFont PDFFont(*Font, false, false);
  const uint8_t Encoding = PDFFont.Info().Symbolic ? enWinAnsi : FontEncoding;
  const std::u16string Shown = ShownInEncoding(Text, Encoding);

  std::string E;
  std::vector<std::string> Lines;
  EscapeAndSplitLines(Shown, E, Lines);
  // What is shown: the lines, each line end a line feed, in the encoding.
  std::string Joined;
  for (size_t K = 0; K < Lines.size(); ++K) {
    if (K > 0) Joined.push_back('\n');
    Joined += Lines[K];
  }
  const std::string Bytes = RecodeFromCp1252(Joined, Encoding);

  // Each line measured once; the block is as wide as its widest line.
  std::vector<double> LineWidths;
  LineWidths.reserve(Lines.size());
  double WMax = 0, WSum = 0;
  for (const std::string& Line : Lines) {
    double W = PixelsToPoints(MeasureText(Line, *Font).Width);
    LineWidths.push_back(W);
    WMax = std::max(WMax, W);
    WSum += W;
  }

  const TvxPDFFontInfo& Info = PDFFont.Info();
  const std::array<int32_t, 224> Widths = PDFFont.EncodedWidths(Encoding);
  const double Tc = ComputeCharSpacing(Bytes, Widths, WSum, F);
  const std::string FillColor = ColorToPDFText(Font->Color);

  Content.clear();
  Content.reserve(256 + E.size() + 64 * Lines.size());
  Content += "q\rBT\r";
  Content += PlainDecimals(FloatToTextFmtDot(Tc, ffFixed, 18, 8), Tc, 8);
  Content += " Tc 0 Tw 100 Tz " + FText + " TL \r";
  Content += FillColor + " rg\r";
  Content += ColorToPDFText(StrokeColor) + " RG\r";
  Content += std::to_string(static_cast<int>(RenderMode)) + " Tr\r";
  Content += FontName + " " + FText + " Tf\r";

  ApplyAlignment(AX, AY, F, WMax, static_cast<int32_t>(Lines.size()));
  if (AX < PageBox.Left + 0.1) AX = PageBox.Left;
  if (AY < PageBox.Bottom + 0.1) AY = PageBox.Bottom;

  Content += Fixed(C, 4) + " " + Fixed(S, 4) + " " + Fixed(-S, 4) + " " + Fixed(C, 4) + " " +
             Fixed(AX, 3) + " " + Fixed(AY, 3) + " Tm\r";
  Text = AnsiToUnicode(E);
  if (!GSName.empty()) Content += " " + GSName + " gs \r";
  Content += "(" + RecodeFromCp1252(E, Encoding) + ") Tj\r";
  Content += "\rET\r";

  AppendDecorations(LineWidths, AX, AY, Info, Content);
  Content += "Q\r\n";
}

void TvxTextWatermarkTemplate::BuildUnicodeContent(const std::string& FontNames,
                                                   const std::string& GSName, double AX, double AY,
                                                   std::string& Content) {
  const double C = std::cos(Rad(Angle));
  const double S = std::sin(Rad(Angle));
  const double F = Font->Size;
  const std::string FText = std::to_string(Font->Size);
  std::vector<std::string> Names;
  for (size_t From = 0; From < FontNames.size();) {
    size_t To = FontNames.find(' ', From);
    if (To == std::string::npos) To = FontNames.size();
    Names.push_back(FontNames.substr(From, To - From));
    From = To + 1;
  }
  // The chosen face gives the decorations' metrics.
  const TvxPDFFont PDFFont(*Font, false, false);

  const std::vector<std::u16string_view> Lines = TvxUnicodeText::SplitLines(Text);
  std::vector<const TvxShapedLine*> Shaped;
  std::vector<double> LineWidths;
  double WMax = 0;
  for (std::u16string_view L : Lines) {
    Shaped.push_back(&Unicode->Line(L));
    LineWidths.push_back(Shaped.back()->Width * F / 1000);
    WMax = std::max(WMax, LineWidths.back());
  }

  Content.clear();
  Content += "q\rBT\r0 Tc 0 Tw 100 Tz " + FText + " TL \r";
  Content += ColorToPDFText(Font->Color) + " rg\r";
  Content += ColorToPDFText(StrokeColor) + " RG\r";
  Content += std::to_string(static_cast<int>(RenderMode)) + " Tr\r";
  ApplyAlignment(AX, AY, F, WMax, static_cast<int32_t>(Lines.size()));
  if (AX < PageBox.Left + 0.1) AX = PageBox.Left;
  if (AY < PageBox.Bottom + 0.1) AY = PageBox.Bottom;
  Content += Fixed(C, 4) + " " + Fixed(S, 4) + " " + Fixed(-S, 4) + " " + Fixed(C, 4) + " " +
             Fixed(AX, 3) + " " + Fixed(AY, 3) + " Tm\r";
  if (!GSName.empty()) Content += " " + GSName + " gs \r";
  for (size_t K = 0; K < Shaped.size(); ++K) {
    if (K > 0) Content += "T* ";
    Unicode->WriteLine(*Shaped[K], Names, F, Content);
    Content += "\r";
  }
  Content += "ET\r";
  AppendDecorations(LineWidths, AX, AY, PDFFont.Info(), Content);
  Content += "Q\r\n";
}

void TvxTextWatermarkTemplate::AppendDecorations(const std::vector<double>& LineWidths, double AX,
                                                 double AY, const TvxPDFFontInfo& Info,
                                                 std::string& Content) const {
  const double C = std::cos(Rad(Angle));
  const double S = std::sin(Rad(Angle));
  const double F = Font->Size;
  const std::string FillColor = ColorToPDFText(Font->Color);
  const TvxTextFrame Frame{AX, AY, C, S};
  const double T = PixelsToPoints(Info.UnderscoreSize);
  auto Segment = [&](double Ty, double Width) {
    double N = Frame.PageX(0, Ty), O = Frame.PageY(0, Ty);
    Content += Fixed(N, 3) + " " + Fixed(O, 3) + " m " + Fixed(N + Width * C, 3) + " " +
               Fixed(O + Width * S, 3) + " l B\r";
  };
  auto LinePrefix = [&] {
    Content += General(T) + " w " + FillColor + " rg " + FillColor + " RG ";
  };
  // Each line is decorated along its own rotated baseline, over its own width.
  if (Font->Underline) {
    LinePrefix();
    for (size_t K = 0; K < LineWidths.size(); ++K)
      Segment(-T - F * static_cast<double>(K), LineWidths[K]);
  }
  if (Font->StrikeOut) {
    // The position counts as a distance; the thickness as the font gives it.
    const double Lift =
        std::fabs(PixelsToPoints(Info.StrikeoutPosition)) + PixelsToPoints(Info.StrikeoutSize);
    LinePrefix();
    for (size_t K = 0; K < LineWidths.size(); ++K)
      Segment(Lift - F * static_cast<double>(K), LineWidths[K]);
    // Text with no line at all still gets its one, empty, line.
    if (LineWidths.empty()) Segment(Lift, 0);
  }
}

}  // namespace vx
