// The window's value conversions, the colour selector and the font dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "app/vxAppSettings.h"
#include "app/vxColorSelector.h"
#include "app/vxFontColorDialog.h"
#include "app/vxOptionsDialog.h"
#include "app/vxProgressDialog.h"
#include "app/vxWatermarkJob.h"
#include "app_tests.h"
#include "pdf/objects/vxExceptions.h"
#include "platform/vxSystemColors.h"

using namespace vx;
using namespace vx::app;

namespace {

template <typename F>
QString ErrorOf(F&& Call) {
  try {
    Call();
  } catch (const EConvertError& E) {
    return QString::fromStdString(E.Message());
  }
  return QStringLiteral("<no EConvertError>");
}

}  // namespace

void TestSettings::AngleTextAsInteger() {
  QCOMPARE(StrToInt(QStringLiteral("45")), 45);
  QCOMPARE(StrToInt(QStringLiteral("  -45")), -45);
  QCOMPARE(StrToInt(QStringLiteral("+405")), 405);
  QCOMPARE(StrToInt(QStringLiteral("2147483647")), 2147483647);
  QCOMPARE(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
  // Text that is not a whole integer is refused with its own text quoted.
  for (const char* Bad : {"", " ", "4x5", "45 ", "4.5", "4,5", "-", "$", "2147483648",
                          "-2147483649", "$1F", "0x10", "1e2"})
    QCOMPARE(ErrorOf([&] { StrToInt(QString::fromLatin1(Bad)); }),
             QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(Bad)));
}

void TestSettings::FontSummaryNamesColours() {
  TvxFontSpec Font;
  QCOMPARE(FontSummary(Font), QStringLiteral("Arial, 36, clRed"));
  Font.Name = QStringLiteral("Liberation Serif");
  Font.Size = 12;
  Font.Color = MakeColor(0x12, 0x34, 0x56);
  QCOMPARE(FontSummary(Font), QStringLiteral("Liberation Serif, 12, $00563412"));
  QCOMPARE(ColorToIdent(MakeColor(0, 0, 0xFF)), QStringLiteral("clBlue"));
  QCOMPARE(ColorToIdent(MakeColor(0x80, 0, 0)), QStringLiteral("clMaroon"));
  QCOMPARE(ColorToIdent(MakeColor(0xA6, 0xCA, 0xF0)), QStringLiteral("clSkyBlue"));
  QCOMPARE(ColorToIdent(MakeColor(0xFF, 0xFB, 0xF0)), QStringLiteral("clCream"));
  QCOMPARE(ColorToIdent(clBtnFace), QStringLiteral("clBtnFace"));
  QCOMPARE(ColorToIdent(clWindowText), QStringLiteral("clWindowText"));
  QCOMPARE(ColorToIdent(MakeColor(0xFF, 0x66, 0)), QStringLiteral("$000066FF"));
}

void TestSettings::PixelHeightInPoints() {
  QCOMPARE(PixelHeightToPoints(48, 96), 36);
  QCOMPARE(PixelHeightToPoints(48, 120), 29);  // 28.8
  QCOMPARE(PixelHeightToPoints(48, 144), 24);
  QCOMPARE(PixelHeightToPoints(-48, 96), -36);
}

void TestSettings::DialogFiltersTheQtWay() {
  QCOMPARE(QtNameFilters(QStringLiteral("Adobe PDF files (*.pdf)|*.pdf")),
           QStringLiteral("Adobe PDF files (*.pdf)"));
  QCOMPARE(QtNameFilters(QStringLiteral("Documents|*.pdf;*.fdf|All files (*.*)|*.*")),
           QStringLiteral("Documents (*.pdf *.fdf);;All files (*.*)"));
}

void TestSettings::ColoursBetweenQtAndWindowSystem() {
  QColor Qt(0x12, 0x34, 0x56);
  QCOMPARE(FromQColor(Qt), MakeColor(0x12, 0x34, 0x56));
  QCOMPARE(FromQColor(Qt), TvxColor(0x00563412));
  QCOMPARE(ToQColor(0x00563412), Qt);
  QCOMPARE(RgbHex(0x00563412), QStringLiteral("123456"));
  QCOMPARE(RgbHex(MakeColor(0, 0, 0xFF)), QStringLiteral("0000FF"));
}

void TestSettings::MemoLinesJoinedByCRLF() {
  QCOMPARE(JoinLinesCRLF(QStringLiteral("A") + QChar::ParagraphSeparator + QStringLiteral("B")),
           QStringLiteral("A\r\nB"));
  QCOMPARE(JoinLinesCRLF(QStringLiteral("A\nB") + QChar::LineSeparator),
           QStringLiteral("A\r\nB\r\n"));
  QCOMPARE(JoinLinesCRLF(QString()), QString());
}

void TestSettings::ColorSelectorPalette() {
  TvxColorSelector Selector(MakeColor(0, 0, 0xFF));
  Selector.resize(143, 12);
  QCOMPARE(Selector.Color(), MakeColor(0, 0, 0xFF));
  QCOMPARE(Selector.toolTip(), QStringLiteral("0000FF"));

  QFrame* Palette = Selector.Palette();
  auto* Automatic = Palette->findChild<QPushButton*>(QStringLiteral("Automatic"));
  auto* More = Palette->findChild<QPushButton*>(QStringLiteral("MoreColors"));
  QVERIFY(Automatic && More);
  QCOMPARE(Automatic->text(), QStringLiteral("Automatic"));
  QCOMPARE(Automatic->toolTip(), QStringLiteral("Automatic"));
  QCOMPARE(More->text(), QStringLiteral("More Colors..."));
  QCOMPARE(More->toolTip(), QStringLiteral("More Color"));
  const char* Expected[40] = {"000000", "993300", "333300", "003300", "003366", "000080", "333335",
                              "333333", "800000", "FF6600", "808000", "008000", "008080", "0000FF",
                              "666699", "808080", "FF0000", "FF9900", "99CC00", "339966", "33CCCC",
                              "3366FF", "800080", "999999", "FF00FF", "FFCC00", "FFFF00", "00FF00",
                              "00FFFF", "00CCFF", "993366", "C0C0C0", "FF99CC", "FFCC99", "FFFF99",
                              "CCFFCC", "CCFFFF", "99CCFF", "CC99FF", "FFFFFF"};
  for (int I = 0; I < 40; ++I) {
    auto* Cell = Palette->findChild<QToolButton*>(QStringLiteral("Cell%1").arg(I));
    QVERIFY(Cell);
    QCOMPARE(Cell->toolTip(), QString::fromLatin1(Expected[I]));
  }

  // A cell picks its colour, shown as the hint; "Automatic" goes back.
  QList<TvxColor> Changes;
  QObject::connect(&Selector, &TvxColorSelector::ColorChanged, [&](TvxColor C) { Changes << C; });
  Selector.ShowPalette();
  QTest::mouseClick(Palette->findChild<QToolButton*>(QStringLiteral("Cell9")), Qt::LeftButton);
  QCOMPARE(Selector.Color(), MakeColor(0xFF, 0x66, 0));
  QCOMPARE(Selector.toolTip(), QStringLiteral("FF6600"));
  QVERIFY(!Palette->isVisible());
  QTest::mouseClick(Automatic, Qt::LeftButton);
  QCOMPARE(Selector.Color(), MakeColor(0, 0, 0xFF));
  QCOMPARE(Changes, (QList<TvxColor>{MakeColor(0xFF, 0x66, 0), MakeColor(0, 0, 0xFF)}));

  // "More Colors...": a cancelled dialog changes nothing.
  std::optional<TvxColor> Answer;
  TvxColor AskedWith = 0;
  Selector.OnMoreColors = [&](TvxColor Current) {
    AskedWith = Current;
    return Answer;
  };
  QTest::mouseClick(More, Qt::LeftButton);
  QCOMPARE(AskedWith, MakeColor(0, 0, 0xFF));
  QCOMPARE(Selector.Color(), MakeColor(0, 0, 0xFF));
  Answer = MakeColor(0x12, 0x34, 0x56);
  QTest::mouseClick(More, Qt::LeftButton);
  QCOMPARE(Selector.Color(), TvxColor(0x00563412));
}

void TestSettings::FontDialogEditsFontAndColourTogether() {
  TvxFontColorDialog Dialog;
  TvxFontSpec Start;
  Start.Name = QStringLiteral("Arial");
  Start.Size = 36;
  Start.Color = MakeColor(0xFF, 0, 0);
  Dialog.SetFontSpec(Start);
  // Untouched, the face stays as given even when the chooser shows a
  // substitute for a font that is not installed.
  QCOMPARE(Dialog.FontSpec(), Start);

  // Only the size changed: the face stays "Arial" whatever the chooser shows.
  QFont Bigger = Dialog.FontChooser()->currentFont();
  Bigger.setPointSize(48);
  Dialog.FontChooser()->setCurrentFont(Bigger);
  QCOMPARE(Dialog.FontSpec().Name, QStringLiteral("Arial"));
  QCOMPARE(Dialog.FontSpec().Size, 48);

  QFont Chosen(QStringLiteral("Liberation Serif"));
  Chosen.setPointSize(20);
  Chosen.setBold(true);
  Chosen.setItalic(true);
  Chosen.setUnderline(true);
  Chosen.setStrikeOut(true);
  Dialog.FontChooser()->setCurrentFont(Chosen);
  Dialog.ColorButton()->SetColor(MakeColor(0, 0x80, 0));
  TvxFontSpec Edited = Dialog.FontSpec();
  QCOMPARE(Edited.Size, 20);
  QVERIFY(Edited.Bold && Edited.Italic && Edited.Underline && Edited.StrikeOut);
  QCOMPARE(Edited.Color, MakeColor(0, 0x80, 0));
  QCOMPARE(Edited.Name, QFontInfo(Chosen).family());
}

void TestSettings::SettingsOntoTheJobAndBack() {
  TvxJobSettings S;
  S.SourceFile = QStringLiteral("/tmp/in.pdf");
  S.Text = QStringLiteral("First\r\nZweite \u00C4nderung");
  S.AngleText = QStringLiteral(" -30");
  S.Font = {QStringLiteral("Liberation Serif"), 12, true, false, true, false, MakeColor(1, 2, 3)};
  S.RenderMode = QStringLiteral("Stroke");
  S.StrokeColor = MakeColor(4, 5, 6);
  S.Overlay = true;
  S.HorizontalPosition = QStringLiteral("Right");
  S.VerticalPosition = QStringLiteral("Top");
  S.OpenAfterSave = false;

  // What no control shows comes from the base.
  TvxWatermarkJob Base;
  Base.Pages = QStringLiteral("2-").toStdString();
  Base.Opacity = 30;
  Base.Encryption.emplace();
  const TvxWatermarkJob Job = ToWatermarkJob(S, Base);
  QVERIFY(Job.Text == u"First\r\nZweite \u00C4nderung");
  QCOMPARE(Job.Angle, -30);
  QVERIFY(Job.Font == (TvxWatermarkJob::TvxJobFont{"Liberation Serif", 12, true, false, true, false,
                                                   MakeColor(1, 2, 3)}));
  QCOMPARE(Job.RenderMode, trStroke);
  QCOMPARE(Job.StrokeColor, MakeColor(4, 5, 6));
  QVERIFY(Job.Overlay);
  QCOMPARE(Job.HorizontalPosition, hpRight);
  QCOMPARE(Job.VerticalPosition, vpTop);
  QVERIFY(!Job.OpenAfterSave);
  QCOMPARE(Job.Pages, std::string("2-"));
  QCOMPARE(Job.Opacity, 30);
  QVERIFY(Job.Encryption);

  // Back: the source file stays, the angle is written plainly.
  TvxJobSettings Back = FromWatermarkJob(Job, S);
  QCOMPARE(Back.AngleText, QStringLiteral("-30"));
  Back.AngleText = S.AngleText;
  QVERIFY(Back == S);
  for (const char* Item : {"Fill", "Stroke", "FillStroke"}) {
    S.RenderMode = QString::fromLatin1(Item);
    QCOMPARE(FromWatermarkJob(ToWatermarkJob(S)).RenderMode, S.RenderMode);
  }

  // Every kind of line end becomes the memo's CR LF.
  TvxWatermarkJob Lines;
  Lines.Text = u"a\nb\rc\r\nd";
  QCOMPARE(FromWatermarkJob(Lines).Text, QStringLiteral("a\r\nb\r\nc\r\nd"));

  S.AngleText = QStringLiteral("steep");
  QCOMPARE(ErrorOf([&] { ToWatermarkJob(S); }),
           QStringLiteral("'steep' is not a valid integer value"));
}

// Every option goes into the dialog and back out unchanged; what only
// means something with tiling or the layer follows its box; the defaults
// are a new job's.
void TestSettings::OptionsDialogShowsAndEditsTheJob() {
  vx::TvxWatermarkJob Job;
  Job.Text = u"kept";
  Job.Pages = "2-3";
  Job.Opacity = 35;
  Job.FontEmbedding = 2;
  Job.Scale = 60;
  Job.Tile = true;
  Job.TileGapX = 12.5;
  Job.TileGapY = 30;
  Job.TileStagger = true;
  Job.Layer = true;
  Job.LayerPrint = false;
  Job.Replace = true;
  Job.Compact = true;
  Job.ObjectStreams = vx::TvxObjectStreams::Disable;
  vx::app::TvxOptionsDialog Dialog;
  Dialog.SetJob(Job);
  vx::TvxWatermarkJob Kept;
  Kept.Text = u"kept";
  QVERIFY(Dialog.ApplyTo(Kept) == Job);
  QVERIFY(Dialog.TileGapX->isEnabled() && Dialog.LayerPrint->isEnabled());

  Dialog.Tile->setChecked(false);
  Dialog.Layer->setChecked(false);
  QVERIFY(!Dialog.TileGapX->isEnabled() && !Dialog.TileStagger->isEnabled());
  QVERIFY(!Dialog.LayerPrint->isEnabled() && !Dialog.Replace->isEnabled());
  Dialog.Pages->setText(QStringLiteral("  5 "));
  Dialog.Embedding->setCurrentIndex(1);
  Dialog.ObjectStreams->setCurrentIndex(1);
  const vx::TvxWatermarkJob Edited = Dialog.ApplyTo(Job);
  QVERIFY(Edited.ObjectStreams == vx::TvxObjectStreams::Generate);
  QCOMPARE(Edited.Pages, std::string("5"));
  QCOMPARE(int(Edited.FontEmbedding), 1);
  QVERIFY(!Edited.Tile && !Edited.Layer);
  QVERIFY(Edited.Text == u"kept");

  Dialog.Defaults->click();
  QVERIFY(Dialog.ApplyTo(vx::TvxWatermarkJob{}) == vx::TvxWatermarkJob{});
}

// Nothing shows for a quick job; after the delay the dialog shows the
// text and the share done, and a click on Cancel stops the job.
void TestSettings::ProgressDialogWaitsThenShowsAndCancels() {
  QWidget Owner;
  {
    TvxProgressDialog Quick(&Owner, QStringLiteral("Stamping"), 60000);
    QVERIFY(Quick.Show(QStringLiteral("Stamping page 1 of 2"), 1, 2));
    QVERIFY(!Quick.Dialog().isVisible());
  }
  TvxProgressDialog Slow(&Owner, QStringLiteral("Saving"), 0);
  QVERIFY(Slow.Show(QStringLiteral("Writing 1.0 of 4.0 MB"), 1, 4));
  QVERIFY(Slow.Dialog().isVisible());
  QCOMPARE(Slow.Dialog().windowTitle(), QStringLiteral("Saving"));
  QCOMPARE(Slow.Dialog().labelText(), QStringLiteral("Writing 1.0 of 4.0 MB"));
  QCOMPARE(Slow.Dialog().value(), 250);
  auto* Cancel = Slow.Dialog().findChild<QPushButton*>();
  QVERIFY(Cancel);
  QTest::mouseClick(Cancel, Qt::LeftButton);
  QVERIFY(!Slow.Show(QStringLiteral("Writing 2.0 of 4.0 MB"), 2, 4));
}
