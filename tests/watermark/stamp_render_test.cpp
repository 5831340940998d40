// Stamped files as a reader sees them: rendered with pdftoppm, read with
// pdftotext and checked with qpdf. Skips when the tools are missing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "support/corpus.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

// A binary PPM as pdftoppm writes it.
struct Image {
  int Width = 0, Height = 0;
  std::string Pixels;  // RGB
  bool Load(const std::string& Path) {
    std::string Data = ReadAll(Path);
    std::istringstream In(Data);
    std::string Magic;
    int Max = 0;
    if (!(In >> Magic >> Width >> Height >> Max) || Magic != "P6") return false;
    In.get();
    Pixels = Data.substr(static_cast<size_t>(In.tellg()));
    return Pixels.size() >= static_cast<size_t>(Width) * Height * 3;
  }
  unsigned char At(int X, int Y, int C) const {
    return static_cast<unsigned char>(Pixels[(static_cast<size_t>(Y) * Width + X) * 3 + C]);
  }
  bool Ink(int X, int Y) const {
    return At(X, Y, 0) < 200 || At(X, Y, 1) < 200 || At(X, Y, 2) < 200;
  }
  // The watermark's red fill.
  bool Red(int X, int Y) const {
    return At(X, Y, 0) > 150 && At(X, Y, 1) < 110 && At(X, Y, 2) < 110;
  }
  // Pixels in [X0, X1) x [Y0, Y1) (fractions of the size) for which Test holds.
  template <typename F>
  int Count(double X0, double Y0, double X1, double Y1, F Test) const {
    int N = 0;
    for (int Y = static_cast<int>(Y0 * Height); Y < static_cast<int>(Y1 * Height); ++Y)
      for (int X = static_cast<int>(X0 * Width); X < static_cast<int>(X1 * Width); ++X)
        N += Test(X, Y) ? 1 : 0;
    return N;
  }
};

std::string WorkDir() {
  std::string Dir = vxtest::TempPath("vx_stamp/");
  std::system(("mkdir -p " + Quote(Dir)).c_str());
  return Dir;
}

// Pages of an empty document, each with its own media and crop box.
std::string BlankPages(const std::vector<std::string>& Boxes) {
  vxtest::PdfBuilder B;
  std::string Kids;
  for (size_t I = 0; I < Boxes.size(); ++I) Kids += std::to_string(10 + I) + " 0 R ";
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2,
           "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Boxes.size()) + " >>");
  for (size_t I = 0; I < Boxes.size(); ++I)
    B.Object(static_cast<int>(10 + I), "<< /Type /Page /Parent 2 0 R " + Boxes[I] + " >>");
  return B.FinishTable("/Root 1 0 R");
}

void Prepare(TvxTextWatermarkTemplate& T, const std::u16string& Text) {
  T.Text = Text;
  T.Font->Name = "Arial";
  T.Font->Size = 36;
  T.Font->Color = MakeColor(0xFF, 0, 0);
  T.StrokeColor = MakeColor(0, 0, 0xFF);
  T.RenderMode = trFillStroke;
}

}  // namespace

// For every position and angle, one line and three: the ink lies inside the
// crop box, on a box at the origin and on one that is not. The media box is
// larger, so ink outside the crop box would show in the render.
TEST(StampRender, WatermarkInkStaysInsideThePageBox) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  const std::string Dir = WorkDir();
  const int32_t Angles[] = {0, 45, 90, 135, 180, 225, 270, 315, -45};
  struct Box {
    double L, B, R, T;
  };
  const Box Boxes[] = {{0, 0, 612, 792}, {100, 50, 712, 842}};
  const double ML = -300, MB = -300, MR = 1012, MT = 1142;
  std::vector<std::string> PageBoxes;
  struct Case {
    int32_t Angle;
    int Lines;
    Box B;
  };
  std::vector<Case> Cases;
  for (const Box& B : Boxes)
    for (int32_t A : Angles)
      for (int Lines : {1, 3}) {
        Cases.push_back({A, Lines, B});
        char Text[160];
        std::snprintf(Text, sizeof Text, "/MediaBox [%g %g %g %g] /CropBox [%g %g %g %g]", ML, MB,
                      MR, MT, B.L, B.B, B.R, B.T);
        PageBoxes.push_back(Text);
      }
  const std::string Pdf = BlankPages(PageBoxes);
  const char* HNames[] = {"left", "center", "right"};
  const char* VNames[] = {"top", "center", "bottom"};
  std::string Failures;
  int Checked = 0;
  for (int H = 0; H < 3; ++H)
    for (int V = 0; V < 3; ++V) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(Doc.LoadFromMemory(Pdf));
      Doc.MeasurementUnit = muPoints;
      for (size_t I = 0; I < Cases.size(); ++I) {
        TvxTextWatermarkTemplate T;
        Prepare(T, Cases[I].Lines == 1 ? u"WATERMARK" : u"WATERMARK\nTHREE\nLINES");
        T.Angle = Cases[I].Angle;
        T.HorizontalPosition = static_cast<TvxHorizontalPosition>(H);
        T.VerticalPosition = static_cast<TvxVerticalPosition>(V);
        Doc.InsertWatermark(T, std::to_string(I + 1));
      }
      const std::string File = Dir + "place.pdf", Prefix = Dir + "place";
      Doc.SaveToFile(File);
      ASSERT_EQ(RunCommand("pdftoppm -r 18 " + Quote(File) + " " + Quote(Prefix)), 0);
      for (size_t I = 0; I < Cases.size(); ++I) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "-%02zu.ppm", I + 1);
        Image Img;
        ASSERT_TRUE(Img.Load(Prefix + Name));
        const Case& C = Cases[I];
        const double Sx = Img.Width / (MR - ML), Sy = Img.Height / (MT - MB);
        // The crop box in pixels, with two pixels for rounding and the stroke.
        const double X0 = (C.B.L - ML) * Sx - 2, X1 = (C.B.R - ML) * Sx + 2;
        const double Y0 = (MT - C.B.T) * Sy - 2, Y1 = (MT - C.B.B) * Sy + 2;
        int Inside = 0, Outside = 0;
        for (int Y = 0; Y < Img.Height; ++Y)
          for (int X = 0; X < Img.Width; ++X)
            if (Img.Ink(X, Y)) ++(X >= X0 && X <= X1 && Y >= Y0 && Y <= Y1 ? Inside : Outside);
        ++Checked;
        if (Inside == 0 || Outside > 0)
          Failures += std::string(HNames[H]) + "/" + VNames[V] + " angle " +
                      std::to_string(C.Angle) + ", " + std::to_string(C.Lines) +
                      " lines, box left " + std::to_string(static_cast<int>(C.B.L)) + ": " +
                      std::to_string(Inside) + " pixels inside, " + std::to_string(Outside) +
                      " outside\n";
        std::remove((Prefix + Name).c_str());
      }
      std::remove(File.c_str());
    }
  EXPECT_EQ(Checked, 9 * 36);
  EXPECT_EQ(Failures, "");
}

namespace {

// Where the ink of a render lies: its bounding box and centre, in fractions
// of the image.
struct InkBox {
  double X0 = 1, Y0 = 1, X1 = 0, Y1 = 0, CX = 0, CY = 0;
  int Pixels = 0;
};

InkBox InkOf(const Image& Img) {
  InkBox B;
  double SX = 0, SY = 0;
  for (int Y = 0; Y < Img.Height; ++Y)
    for (int X = 0; X < Img.Width; ++X)
      if (Img.Red(X, Y)) {
        const double FX = (X + 0.5) / Img.Width, FY = (Y + 0.5) / Img.Height;
        B.X0 = std::min(B.X0, FX), B.X1 = std::max(B.X1, FX);
        B.Y0 = std::min(B.Y0, FY), B.Y1 = std::max(B.Y1, FY);
        SX += FX, SY += FY, ++B.Pixels;
      }
  if (B.Pixels > 0) B.CX = SX / B.Pixels, B.CY = SY / B.Pixels;
  return B;
}

}  // namespace

// A turned page is stamped as it is shown: positions refer to the shown
// edges and the text reads upright there. The text is a heavy first line
// over a small second one, so its ink sits high in its box when it reads
// the right way up; the box is wider than tall when the text runs across.
TEST(StampRender, TurnedPagesAreStampedAsShown) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  const std::string Dir = WorkDir();
  const int32_t Rotations[] = {0, 90, 180, 270, -90, 450, 45};
  std::vector<std::string> Boxes;
  for (int32_t R : Rotations)
    Boxes.push_back("/MediaBox [0 0 612 792] /Rotate " + std::to_string(R));
  // A box away from the origin, turned: the matrix starts from its corner.
  Boxes.push_back("/MediaBox [100 50 712 842] /CropBox [100 50 712 842] /Rotate 90");
  const std::string Pdf = BlankPages(Boxes);
  struct Place {
    TvxHorizontalPosition H;
    TvxVerticalPosition V;
    int32_t Angle;
  };
  const Place Places[] = {{hpLeft, vpTop, 0},
                          {hpRight, vpBottom, 0},
                          {hpCenter, vpCenter, 0},
                          {hpLeft, vpTop, 90},
                          {hpCenter, vpCenter, 45}};
  std::string Failures;
  for (const Place& Pl : Places) {
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(Pdf));
    Doc.MeasurementUnit = muPoints;
    TvxTextWatermarkTemplate T;
    Prepare(T, u"MMMMMMMM\n.");
    T.RenderMode = trFill;
    T.Angle = Pl.Angle;
    T.HorizontalPosition = Pl.H;
    T.VerticalPosition = Pl.V;
    Doc.InsertWatermark(T);
    const std::string File = Dir + "turned.pdf", Prefix = Dir + "turned";
    Doc.SaveToFile(File);
    ASSERT_EQ(RunCommand("pdftoppm -r 36 " + Quote(File) + " " + Quote(Prefix)), 0);
    for (size_t I = 0; I < Boxes.size(); ++I) {
      char Name[32];
      std::snprintf(Name, sizeof Name, "-%zu.ppm", I + 1);
      Image Img;
      ASSERT_TRUE(Img.Load(Prefix + Name));
      std::remove((Prefix + Name).c_str());
      const InkBox B = InkOf(Img);
      const double W = (B.X1 - B.X0) * Img.Width, H = (B.Y1 - B.Y0) * Img.Height;
      bool Ok = B.Pixels > 20;
      if (Pl.Angle == 0) {
        // Across the shown page, right way up.
        Ok = Ok && W > 2 * H && B.CY < (B.Y0 + B.Y1) / 2;
        if (Pl.H == hpLeft) Ok = Ok && B.X0 < 0.05 && B.X1 < 0.8 && B.Y0 < 0.05 && B.Y1 < 0.3;
        if (Pl.H == hpRight) Ok = Ok && B.X1 > 0.95 && B.X0 > 0.2 && B.Y1 > 0.85 && B.Y0 > 0.7;
        if (Pl.H == hpCenter)
          Ok = Ok && std::abs((B.X0 + B.X1) / 2 - 0.5) < 0.05 &&
               std::abs((B.Y0 + B.Y1) / 2 - 0.5) < 0.05;
      } else if (Pl.Angle == 90) {
        // Up the shown left edge, reading from the bottom: the heavy line
        // is on the left.
        Ok =
            Ok && H > 2 * W && B.X0 < 0.05 && B.X1 < 0.3 && B.Y0 < 0.05 && B.CX < (B.X0 + B.X1) / 2;
      } else {
        // Rising to the right from the shown bottom left, centred.
        Ok = Ok && std::abs((B.X0 + B.X1) / 2 - 0.5) < 0.05 &&
             std::abs((B.Y0 + B.Y1) / 2 - 0.5) < 0.05;
        // The text runs bottom left to top right: ink at the shown top
        // right corner of its box, none at the top left.
        const int TopLeft =
            Img.Count(B.X0, B.Y0, B.X0 + (B.X1 - B.X0) / 4, B.Y0 + (B.Y1 - B.Y0) / 4,
                      [&](int X, int Y) { return Img.Red(X, Y); });
        const int TopRight =
            Img.Count(B.X1 - (B.X1 - B.X0) / 4, B.Y0, B.X1, B.Y0 + (B.Y1 - B.Y0) / 4,
                      [&](int X, int Y) { return Img.Red(X, Y); });
        Ok = Ok && TopRight > 0 && TopLeft == 0;
      }
      if (!Ok) {
        char Line[200];
        std::snprintf(Line, sizeof Line,
                      "page %zu, angle %d, position %d/%d: ink %.2f-%.2f x %.2f-%.2f, centre "
                      "%.2f %.2f\n",
                      I + 1, Pl.Angle, Pl.H, Pl.V, B.X0, B.X1, B.Y0, B.Y1, B.CX, B.CY);
        Failures += Line;
      }
    }
    std::remove(File.c_str());
  }
  EXPECT_EQ(Failures, "");
}

// With a scale, the widest line spans that part of each page's shorter
// side, whatever the page's size or turn.
TEST(StampRender, ScaledWatermarkKeepsItsProportionOnEveryPage) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  const std::string Dir = WorkDir();
  struct Page {
    double W, H;
    int32_t Rotate;
  };
  const Page Pages[] = {{595, 842, 0}, {612, 792, 0},  {2384, 3370, 0},
                        {200, 200, 0}, {612, 792, 90}, {842, 595, 270}};
  std::vector<std::string> Boxes;
  for (const Page& P : Pages) {
    char Box[96];
    std::snprintf(Box, sizeof Box, "/MediaBox [0 0 %g %g] /Rotate %d", P.W, P.H, P.Rotate);
    Boxes.push_back(Box);
  }
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(BlankPages(Boxes)));
  Doc.MeasurementUnit = muPoints;
  TvxTextWatermarkTemplate T;
  Prepare(T, u"WATERMARK");
  T.RenderMode = trFill;
  T.Angle = 0;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  T.Scale = 50;
  Doc.InsertWatermark(T);
  const std::string File = Dir + "scaled.pdf", Prefix = Dir + "scaled";
  Doc.SaveToFile(File);
  std::string Failures;
  for (size_t I = 0; I < std::size(Pages); ++I) {
    const double Shorter = std::min(Pages[I].W, Pages[I].H);
    const std::string Png = Prefix + std::to_string(I + 1);
    ASSERT_EQ(RunCommand("pdftoppm -f " + std::to_string(I + 1) + " -l " + std::to_string(I + 1) +
                         " -scale-to 600 -singlefile " + Quote(File) + " " + Quote(Png)),
              0);
    Image Img;
    ASSERT_TRUE(Img.Load(Png + ".ppm"));
    std::remove((Png + ".ppm").c_str());
    const InkBox B = InkOf(Img);
    // The line's ink along the text, as a part of the shown shorter side.
    const double Span = (B.X1 - B.X0) * Img.Width / std::min(Img.Width, Img.Height);
    if (!(std::abs(Span - 0.5) <= 0.03 && (B.Y1 - B.Y0) < (B.X1 - B.X0)))
      Failures += "page " + std::to_string(I + 1) + " (" + std::to_string(Shorter) +
                  " pt): the line spans " + std::to_string(Span) + " of the shorter side\n";
  }
  EXPECT_EQ(Failures, "");
  std::remove(File.c_str());
}

// Tiled, the watermark covers the whole page at any turn, is drawn once per
// page size into a form the pages share, and still reads as text.
TEST(StampRender, TiledWatermarkCoversThePageFromOneSharedForm) {
  if (!HaveTool("pdftoppm") || !HaveTool("pdftotext")) GTEST_SKIP() << "poppler tools missing";
  const std::string Dir = WorkDir();
  std::vector<std::string> Boxes(1000, "/MediaBox [0 0 612 792]");
  Boxes[1] = "/MediaBox [0 0 612 792] /Rotate 90";
  Boxes[2] = "/MediaBox [0 0 200 200]";
  const std::string Pdf = BlankPages(Boxes);
  TvxPDFDocument Plain;
  ASSERT_TRUE(Plain.LoadFromMemory(Pdf));
  const size_t PlainSize = vxtest::Written(Plain).size();

  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Pdf));
  Doc.MeasurementUnit = muPoints;
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Tiled mark");
  T.RenderMode = trFill;
  T.Angle = 45;
  T.Tile = true;
  T.TileStagger = true;
  T.Opacity = 50;
  Doc.InsertWatermark(T);
  const std::string Bytes = vxtest::Written(Doc);
  EXPECT_LT((Bytes.size() - PlainSize) / Boxes.size(), 2048u);
  const std::string File = Dir + "tiled.pdf", Prefix = Dir + "tiled";
  std::ofstream(File, std::ios::binary) << Bytes;

  ASSERT_EQ(RunCommand("pdftoppm -r 36 -f 1 -l 3 " + Quote(File) + " " + Quote(Prefix)), 0);
  for (int Page = 1; Page <= 3; ++Page) {
    const std::string Name =
        Prefix + "-" + (Page < 10 ? "000" : "") + std::to_string(Page) + ".ppm";
    Image Img;
    ASSERT_TRUE(Img.Load(Name)) << Name;
    std::remove(Name.c_str());
    // Half-opaque red over white.
    auto Mark = [&](int X, int Y) { return Img.At(X, Y, 0) > 200 && Img.At(X, Y, 1) < 200; };
    for (int Row = 0; Row < 3; ++Row)
      for (int Col = 0; Col < 3; ++Col)
        EXPECT_GT(Img.Count(Col / 3.0, Row / 3.0, (Col + 1) / 3.0, (Row + 1) / 3.0, Mark), 5)
            << "page " << Page << ", cell " << Row << "," << Col;
  }
  std::remove(File.c_str());

  // Level copies read as whole words, each page's with its own number.
  TvxPDFDocument Level;
  ASSERT_TRUE(
      Level.LoadFromMemory(BlankPages({"/MediaBox [0 0 612 792]", "/MediaBox [0 0 612 792]"})));
  T.Text = u"Tiled mark <%PageNo%>";
  T.Angle = 0;
  Level.InsertWatermark(T);
  Level.SaveToFile(File);
  for (int Page = 1; Page <= 2; ++Page) {
    const std::string P = std::to_string(Page);
    ASSERT_EQ(RunCommand("pdftotext -f " + P + " -l " + P + " " + Quote(File) + " " +
                         Quote(Dir + "tiled.txt")),
              0);
    const std::string Text = ReadAll(Dir + "tiled.txt");
    EXPECT_NE(Text.find("Tiled mark " + P), std::string::npos) << Text;
    EXPECT_EQ(Text.find("Tiled mark " + std::to_string(3 - Page)), std::string::npos) << Text;
  }
  std::remove(File.c_str());
}

// A crop box reaching past the medium: the watermark is placed on the part
// a viewer shows, not off its centre.
TEST(StampRender, CropBoxIsClippedToTheMedium) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  const std::string Dir = WorkDir();
  const std::string Pdf = BlankPages({"/MediaBox [0 0 400 400] /CropBox [0 0 1200 400]"});
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Pdf));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"Mark");
  T.Angle = 0;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
  Doc.InsertWatermark(T);
  const std::string File = Dir + "crop.pdf", Png = Dir + "crop";
  Doc.SaveToFile(File);
  ASSERT_EQ(RunCommand("pdftoppm -r 36 -singlefile " + Quote(File) + " " + Quote(Png)), 0);
  Image Img;
  ASSERT_TRUE(Img.Load(Png + ".ppm"));
  const InkBox B = InkOf(Img);
  EXPECT_GT(B.Pixels, 20);
  EXPECT_NEAR((B.X0 + B.X1) / 2, 0.5, 0.05);
  EXPECT_NEAR((B.Y0 + B.Y1) / 2, 0.5, 0.05);
  std::remove((Png + ".ppm").c_str());
  std::remove(File.c_str());
}

namespace {

const std::string Cli = VX_CLI_PATH;

// A US Letter page; with Box, an opaque black rectangle over its middle.
std::string LetterPage(bool Box) {
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  B.Stream(4, "", Box ? "0 0 0 rg 56 96 500 600 re f" : "");
  return B.FinishTable("/Root 1 0 R");
}

Image StampAndRender(const std::string& Source, const std::string& Options) {
  const std::string Dir = WorkDir();
  const std::string In = Dir + "letter.pdf", Out = Dir + "letter-out.pdf", Png = Dir + "letter";
  std::ofstream(In, std::ios::binary) << Source;
  std::remove(Out.c_str());
  Image Img;
  EXPECT_EQ(RunCommand(Quote(Cli) + " stamp " + Quote(In) + " -o " + Quote(Out) + " " + Options),
            0);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(Out)), 0);
  EXPECT_EQ(RunCommand("pdftoppm -r 50 -singlefile " + Quote(Out) + " " + Quote(Png)), 0);
  EXPECT_TRUE(Img.Load(Png + ".ppm"));
  std::remove((Png + ".ppm").c_str());
  return Img;
}

}  // namespace

TEST(StampRender, DefaultJobOnALetterPageIsCentred) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  Image Img = StampAndRender(LetterPage(false), "");
  auto Red = [&](int X, int Y) { return Img.Red(X, Y); };
  EXPECT_GT(Img.Count(0.4, 0.4, 0.6, 0.6, Red), 10);
  for (double X : {0.0, 0.85})
    for (double Y : {0.0, 0.85}) EXPECT_EQ(Img.Count(X, Y, X + 0.15, Y + 0.15, Red), 0);
}

// A window's multi-line edit box gives CR LF between lines: drawn exactly
// as with line feeds, with no missing-glyph box or spacing from the CR.
TEST(StampRender, LinesEndedByCarriageReturnsRenderAsWithLineFeeds) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  const Image Feeds = StampAndRender(LetterPage(false), "--text " + Quote("Top line\nSecond"));
  EXPECT_GT(Feeds.Count(0, 0, 1, 1, [&](int X, int Y) { return Feeds.Red(X, Y); }), 10);
  for (const char* Text : {"Top line\r\nSecond", "Top line\rSecond"}) {
    const Image Returns = StampAndRender(LetterPage(false), std::string("--text ") + Quote(Text));
    EXPECT_TRUE(Returns.Pixels == Feeds.Pixels);
  }
}

TEST(StampRender, LeftTopAtZeroDegreesSitsInTheTopLeftCorner) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  Image Img =
      StampAndRender(LetterPage(false), "--angle 0 --horizontal left --vertical top --text Mark");
  auto Red = [&](int X, int Y) { return Img.Red(X, Y); };
  EXPECT_GT(Img.Count(0, 0, 0.3, 0.08, Red), 5);
  EXPECT_EQ(Img.Count(0, 0.1, 1, 1, Red), 0);
  EXPECT_EQ(Img.Count(0.4, 0, 1, 1, Red), 0);
}

TEST(StampRender, OverlayShowsOverAnOpaqueBoxThatHidesTheUnderlay) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  Image Under = StampAndRender(LetterPage(true), "--angle 0");
  Image Over = StampAndRender(LetterPage(true), "--angle 0 --over");
  EXPECT_EQ(Under.Count(0.3, 0.3, 0.7, 0.7, [&](int X, int Y) { return Under.Red(X, Y); }), 0);
  EXPECT_GT(Over.Count(0.3, 0.3, 0.7, 0.7, [&](int X, int Y) { return Over.Red(X, Y); }), 10);
}

// A page whose content leaves a state open with a transformation: the
// overlay must not inherit it.
TEST(StampRender, OverlayIsNotMovedByStatesThePageLeavesOpen) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  // Moves everything after it off the page, and never restores.
  B.Stream(4, "", "q 1 0 0 1 2000 2000 cm q 0 0 1 rg 0 0 10 10 re f");
  Image Img = StampAndRender(B.FinishTable("/Root 1 0 R"), "--over");
  EXPECT_GT(Img.Count(0.3, 0.3, 0.7, 0.7, [&](int X, int Y) { return Img.Red(X, Y); }), 10);
}

// A page whose content restores a state it never saved, then moves
// everything: the overlay must still start from the initial state.
TEST(StampRender, OverlayIsNotMovedByRestoresThePageHasTooMany) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftoppm or qpdf missing";
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  B.Stream(4, "", "Q Q 1 0 0 1 2000 2000 cm 0 0 1 rg 0 0 10 10 re f");
  Image Img = StampAndRender(B.FinishTable("/Root 1 0 R"), "--over");
  EXPECT_GT(Img.Count(0.3, 0.3, 0.7, 0.7, [&](int X, int Y) { return Img.Red(X, Y); }), 10);
}

// Every corpus file that loads is stamped; the result passes qpdf --check and
// pdftotext finds the mark on every page whose text the original yields.
TEST(StampRender, CorpusFilesStampCheckAndCarryTheText) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTool("qpdf") || !HaveTool("pdftotext")) GTEST_SKIP() << "qpdf or pdftotext missing";
  auto LoadExceptions = vxtest::LoadExceptionList("corpus_load_exceptions.tsv");
  vxtest::KnownFailures Known("corpus_stamp_exceptions.tsv");
  const std::string Dir = WorkDir();
  int Tried = 0, Stamped = 0, Checked = 0, TextPages = 0, MarkedPages = 0;
  std::string Failures;
  auto Pages = [](const std::string& Text) {
    std::vector<std::string> P;
    std::string Cur;
    for (char C : Text)
      if (C == '\f') {
        P.push_back(Cur);
        Cur.clear();
      } else {
        Cur.push_back(C);
      }
    return P;
  };
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") != "yes" || F.Fields.at("encryption") != "none") continue;
    if (LoadExceptions.count(F.Name)) continue;
    ++Tried;
    const std::string Out = Dir + "corpus.pdf";
    try {
      RandomSeed(7);
      TvxPDFDocument Doc;
      Doc.LoadFromFile(F.Path);
      if (Doc.PageCount() == 0) continue;  // nothing to stamp; the range 1-0 is refused
      Doc.MeasurementUnit = muPoints;
      TvxTextWatermarkTemplate T;
      Prepare(T, u"VXSTAMPED");
      // Small enough for the smallest pages (100 points wide).
      T.Font->Size = 10;
      T.HorizontalPosition = hpCenter;
      T.VerticalPosition = vpCenter;
      Doc.InsertWatermark(T);
      Doc.SaveToFile(Out);
      ++Stamped;
    } catch (const vx::Exception& E) {
      // A listed file must fail for the reason the list gives.
      if (Known.Listed(F.Name) && Known.Reason(F.Name) != E.what())
        Failures += F.Name + ": " + E.what() + ", listed for: " + Known.Reason(F.Name) + "\n";
      Failures += Known.Outcome(F.Name, E.what());
      continue;
    }
    Failures += Known.Outcome(F.Name, "");
    int Check = RunCommand("qpdf --check " + Quote(Out));
    if (Check == 0 || Check == 3 || (Check == 2 && F.Fields.at("qpdf_check") == "errors"))
      ++Checked;
    else
      Failures += F.Name + ": qpdf --check status " + std::to_string(Check) + "\n";
    const std::string A = Dir + "a.txt", B = Dir + "b.txt";
    if (RunCommand("pdftotext " + Quote(F.Path) + " " + Quote(A)) == 0 &&
        RunCommand("pdftotext " + Quote(Out) + " " + Quote(B)) == 0) {
      std::vector<std::string> Before = Pages(ReadAll(A)), After = Pages(ReadAll(B));
      int Missing = 0;
      for (size_t P = 0; P < Before.size() && P < After.size(); ++P) {
        if (Before[P].find_first_not_of(" \t\r\n") == std::string::npos) continue;
        ++TextPages;
        if (After[P].find("VXSTAMPED") != std::string::npos)
          ++MarkedPages;
        else
          ++Missing;
      }
      if (Missing) Failures += F.Name + ": mark missing on " + std::to_string(Missing) + " pages\n";
    }
    std::remove(A.c_str());
    std::remove(B.c_str());
    std::remove(Out.c_str());
  }
  std::printf(
      "corpus stamp: %d files, %d stamped, %d pass qpdf --check, mark found on %d of %d pages "
      "with text\n",
      Tried, Stamped, Checked, MarkedPages, TextPages);
  EXPECT_EQ(Failures + Known.Untried(), "");
  vxtest::ExpectTriedAtLeast(Tried, 160);
}

// Files encrypted with RC4 are stamped through the command line with their
// user password, and keep their encryption.
TEST(StampRender, EncryptedCorpusFilesStampWithTheirPassword) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTool("qpdf") || !HaveTool("pdftotext")) GTEST_SKIP() << "qpdf or pdftotext missing";
  const std::string Dir = WorkDir();
  int Tried = 0, Stamped = 0, Checked = 0, Marked = 0;
  std::string Failures;
  for (const auto& F : Files) {
    const std::string& Enc = F.Fields.at("encryption");
    if (F.Fields.at("qpdf_opens") != "yes" || (Enc != "rc4-40" && Enc != "rc4-128")) continue;
    const std::string Pw = F.Fields.at("user_password");
    // Files the engine does not open (other crypt filters, damaged headers)
    // are the loading tests' concern.
    if (RunCommand(Quote(Cli) + " info " + Quote(F.Path) + " --password " + Quote(Pw)) != 0)
      continue;
    ++Tried;
    const std::string Out = Dir + "encrypted.pdf";
    std::remove(Out.c_str());
    if (RunCommand(Quote(Cli) + " stamp " + Quote(F.Path) + " -o " + Quote(Out) + " --password " +
                   Quote(Pw) + " --text VXSTAMPED --angle 0 --size 10") != 0) {
      Failures += F.Name + ": stamp failed\n";
      continue;
    }
    ++Stamped;
    int Check = RunCommand("qpdf --password=" + Quote(Pw) + " --check " + Quote(Out));
    if (Check == 0 || Check == 3 || (Check == 2 && F.Fields.at("qpdf_check") == "errors"))
      ++Checked;
    else
      Failures += F.Name + ": qpdf --check status " + std::to_string(Check) + "\n";
    // Decrypted by qpdf first: pdftotext takes non-ASCII passwords in
    // another encoding than the files use.
    const std::string Txt = Dir + "encrypted.txt", Plain = Dir + "decrypted.pdf";
    if (RunCommand("qpdf --password=" + Quote(Pw) + " --decrypt " + Quote(Out) + " " +
                   Quote(Plain)) != 2 &&
        RunCommand("pdftotext " + Quote(Plain) + " " + Quote(Txt)) == 0 &&
        ReadAll(Txt).find("VXSTAMPED") != std::string::npos)
      ++Marked;
    else
      Failures += F.Name + ": mark not found by pdftotext\n";
    std::remove(Txt.c_str());
    std::remove(Plain.c_str());
  }
  std::printf(
      "encrypted corpus stamp: %d files open, %d stamped, %d pass qpdf --check, %d show the mark\n",
      Tried, Stamped, Checked, Marked);
  EXPECT_EQ(Failures, "");
  vxtest::ExpectTriedAtLeast(Tried, 18);
}
