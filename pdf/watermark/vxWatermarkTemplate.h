// Watermark templates: what to draw on a page and where, and the text of the
// content stream that draws a text watermark.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/fonts/vxPDFFont.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/watermark/vxUnits.h"
#include "platform/vxFontService.h"

namespace vx {

class TvxUnicodeText;

enum TvxHorizontalPosition : uint8_t { hpLeft = 0, hpCenter = 1, hpRight = 2, hpCustom = 3 };
enum TvxVerticalPosition : uint8_t { vpTop = 0, vpCenter = 1, vpBottom = 2, vpCustom = 3 };
enum TvxTextRenderMode : uint8_t { trFill = 0, trStroke = 1, trFillStroke = 2 };

class TvxWatermarkTemplate {
 public:
  TvxWatermarkTemplate() = default;
  virtual ~TvxWatermarkTemplate() = default;
  TvxWatermarkTemplate(const TvxWatermarkTemplate&) = delete;
  TvxWatermarkTemplate& operator=(const TvxWatermarkTemplate&) = delete;
};

class TvxCustomWatermarkTemplate : public TvxWatermarkTemplate {
 public:
  TvxCustomWatermarkTemplate() = default;

  // Writes the complete content-stream text for one page into Content.
  // FontName and GSName are resource names with their slash (GSName empty
  // when no opacity state is used); X, Y is the anchor in points.
  virtual void BuildContent(const std::string& FontName, const std::string& GSName, double X,
                            double Y, TvxMeasurementUnit Unit, std::string& Content) = 0;

  int32_t Angle = 0;  // degrees, counter-clockwise
  bool Overlay = false;
  TvxHorizontalPosition HorizontalPosition = hpLeft;
  TvxVerticalPosition VerticalPosition = vpTop;
  double X = 0;  // custom offsets in the document's unit, from the box's top left
  double Y = 0;
  // The box of the page being stamped, in points; the anchor is kept at or
  // above its left and bottom edges. Set by the stamping for every page.
  TvxPDFRect PageBox;
  // With a percentage, each page scales the watermark so that its widest
  // line spans that part of the shown page's shorter side; 0 keeps the size.
  int32_t Scale = 0;
  // Tiling: copies of the watermark in a grid over the whole page, each
  // TileGapX, TileGapY (in the document's unit) from the next; Stagger
  // shifts every other row by half a step. Positions play no part.
  bool Tile = false;
  double TileGapX = 0, TileGapY = 0;
  bool TileStagger = false;
  // Layer mode: each page's watermark is a pagination artifact in the
  // document's "Watermark" optional content group (shown on paper and on
  // screen as LayerPrint and LayerView say), and the page keeps a record of
  // what the stamping changed, so that the watermark can be found, hidden
  // and taken off again.
  bool Layer = false;
  bool LayerPrint = true, LayerView = true;
  // Pages stamped alike share one watermark stream object rather than each
  // having its own (text without per-page variables).
  bool ShareStreams = false;

  // The width in points of the widest line and the height of all lines, as
  // BuildContent measures them; 0 for a watermark that is no text.
  virtual void BlockSize(double& W, double& H) const { W = H = 0; }
};

// A text watermark's content for one page, as BuildContent writes it.
class TvxTextWatermarkTemplate : public TvxCustomWatermarkTemplate {
 public:
  TvxTextWatermarkTemplate();

  // Copies every attribute of Source, character set included.
  void SetFont(const TvxFont& Source);

  void BuildContent(const std::string& FontName, const std::string& GSName, double X, double Y,
                    TvxMeasurementUnit Unit, std::string& Content) override;
  void BlockSize(double& W, double& H) const override;

  // Moves the anchor (the start of the first baseline) so that the rotated
  // block of Lines lines, W wide (its widest line) and F per line, sits as
  // HorizontalPosition and VerticalPosition ask.
  void ApplyAlignment(double& AX, double& AY, double F, double W, int32_t Lines = 1) const;

  std::u16string Text;  // a line feed starts a new line
  std::unique_ptr<TvxFont> Font;
  TvxColor StrokeColor = 0;
  TvxTextRenderMode RenderMode = trFill;
  uint8_t FontEncoding = 0;   // index into the encoding names of the font resources
  uint8_t FontEmbedding = 0;  // 0 none, 1 whole file, 2 subset
  int32_t Opacity = 100;      // percent
  // While a stamping shows text beyond the single-byte encodings: its shaped
  // lines and composite fonts (not owned). FontName then holds the page's
  // names of those fonts, in their order, separated by spaces.
  TvxUnicodeText* Unicode = nullptr;

 private:
  void BuildUnicodeContent(const std::string& FontNames, const std::string& GSName, double X,
                           double Y, std::string& Content);
  // The decoration lines of each line along the rotated baselines.
  void AppendDecorations(const std::vector<double>& LineWidths, double AX, double AY,
                         const TvxPDFFontInfo& Info, std::string& Content) const;
};

// Makes and analyses Font as stamping with it will (safe on another thread,
// say while the document loads): stamping then finds it all made. Errors
// are left for stamping to meet again.
void PrepareWatermarkFont(const TvxFont& Font);
// Lets go of every font made and analysed so far, with their files, for a
// program that has stamped its last watermark: what it writes afterwards
// needs none of them.
void ReleaseWatermarkFonts();

// Converts T to single-byte text in the system ANSI code page ("?" for what
// it lacks), then gives the escaped string body E, where each line end (CR
// LF, CR or LF) becomes ")Tj T* (", and the unescaped lines L. A tab becomes
// a space; other control characters are left out. An empty T gives an empty
// E and no lines.
void EscapeAndSplitLines(std::u16string_view T, std::string& E, std::vector<std::string>& L);

// The Tc value that makes Text (single-byte, in a font of size F whose widths
// of the codes 32..255 are Widths) cover the measured width W: the
// difference spread over the characters shown. Bytes below 32 have width 0
// and line feeds are not shown.
double ComputeCharSpacing(std::string_view Text, std::span<const int32_t, 224> Widths, double W,
                          double F);

}  // namespace vx
