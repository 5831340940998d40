// The window: controls, defaults, layout, dialogs and the handlers' errors.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include "app/vxColorSelector.h"
#include "app/vxFontColorDialog.h"
#include "app/vxMainForm.h"
#include "app/vxPreviewWindow.h"
#include "app_test_support.h"
#include "app_tests.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkJob.h"

using namespace vx;
using namespace vx::app;
using vxtest::TFakePlatform;

namespace {

QString CorpusFile(const char* Name) {
  QString Path = QStringLiteral(VX_SHARED_DIR "/corpus/files/") + QString::fromLatin1(Name);
  return QFileInfo::exists(Path) ? Path : QString();
}

}  // namespace

void TestWindow::initTestCase() {
  Dir = std::make_unique<QTemporaryDir>();
  QVERIFY(Dir->isValid());
  Letter = Dir->filePath(QStringLiteral("letter.pdf"));
  QVERIFY(vxtest::WriteAll(Letter, vxtest::OnePageLetterPdf()));
}

void TestWindow::ControlsAndDefaults() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QCOMPARE(Form.windowTitle(), QStringLiteral("Vellumark  2.0"));
  QCOMPARE(Form.objectName(), QStringLiteral("Form1"));
  QVERIFY(Form.autoFillBackground());
  QCOMPARE(Form.palette().color(QPalette::Window), Form.palette().color(QPalette::Button));

  struct Expect {
    const char* Name;
    int X, Y, W, H;  // W 0: sized to its text
    QString Text;
  };
  const Expect Controls[] = {
      {"Label1", 20, 22, 0, 0, QStringLiteral("PDF File:")},
      {"Edit1", 108, 20, 553, 24, QString()},
      {"Button1", 677, 16, 92, 31, QStringLiteral("Open")},
      {"Label2", 20, 62, 0, 0, QStringLiteral("Text to stamp as watermark")},
      {"Memo1", 108, 89, 661, 129, QStringLiteral("Type your watermark text here")},
      {"Label3", 20, 235, 0, 0, QStringLiteral("Angle")},
      {"Edit2", 108, 231, 61, 24, QStringLiteral("45")},
      {"Label4", 20, 274, 0, 0, QStringLiteral("Font")},
      {"Edit3", 108, 270, 553, 24,
       QStringLiteral("Arial, %1, clRed").arg(PixelHeightToPoints(48, PixelsPerInch()))},
      {"Button2", 677, 267, 92, 31, QStringLiteral("Font")},
      {"Label5", 20, 314, 0, 0, QStringLiteral("Render Mode")},
      {"ComboBox1", 108, 309, 179, 24, QStringLiteral("FillStroke")},
      {"Label6", 20, 353, 0, 0, QStringLiteral("Stroke Color")},
      {"AdvColorSelector1", 108, 354, 179, 15, QStringLiteral("0000FF")},
      {"Label7", 20, 393, 0, 0, QStringLiteral("Horizontal Position")},
      {"ComboBox2", 148, 388, 139, 24, QStringLiteral("Center")},
      {"Label8", 20, 432, 0, 0, QStringLiteral("Vertical Position")},
      {"ComboBox3", 148, 427, 139, 24, QStringLiteral("Center")},
      {"CheckBox1", 20, 471, 413, 21,
       QStringLiteral("Make watermark cover up the content at the background")},
      {"CheckBox2", 20, 501, 168, 21, QStringLiteral("Open PDF after save")},
      {"Button3", 591, 453, 218, 31, QStringLiteral("Stamp Watermark && Save PDF")},
      {"Label9", 108, 538, 0, 0, QString()},
  };
  for (const Expect& E : Controls) {
    auto* W = Form.findChild<QWidget*>(QString::fromLatin1(E.Name));
    QVERIFY2(W, E.Name);
    QCOMPARE(W->parentWidget(), &Form);
    QCOMPARE(W->pos(), QPoint(Form.Scaled(E.X), Form.Scaled(E.Y)));
    if (E.W) QCOMPARE(W->size(), QSize(Form.Scaled(E.W), Form.Scaled(E.H)));
    QString Text;
    if (auto* L = qobject_cast<QLabel*>(W)) Text = L->text();
    if (auto* L = qobject_cast<QLineEdit*>(W)) Text = L->text();
    if (auto* B = qobject_cast<QAbstractButton*>(W)) Text = B->text();
    if (auto* M = qobject_cast<QPlainTextEdit*>(W)) Text = M->toPlainText();
    if (auto* C = qobject_cast<QComboBox*>(W)) Text = C->currentText();
    if (auto* S = qobject_cast<TvxColorSelector*>(W)) Text = S->toolTip();
    if (!E.Text.isNull()) QCOMPARE(Text, E.Text);
  }
  QVERIFY(Form.Label9->text().endsWith(QStringLiteral("2020")));

  // Kinds and the defaults that are not text.
  QVERIFY(Form.Edit3->isReadOnly());
  QCOMPARE(Form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  const QStringList Items[] = {
      {"Fill", "Stroke", "FillStroke"}, {"Left", "Center", "Right"}, {"Top", "Center", "Bottom"}};
  QComboBox* Combos[] = {Form.ComboBox1, Form.ComboBox2, Form.ComboBox3};
  for (int I = 0; I < 3; ++I) {
    QVERIFY(!Combos[I]->isEditable());
    QStringList Have;
    for (int K = 0; K < Combos[I]->count(); ++K) Have << Combos[I]->itemText(K);
    QCOMPARE(Have, Items[I]);
  }
  QCOMPARE(Form.AdvColorSelector1->Color(), MakeColor(0, 0, 0xFF));
  QVERIFY(!Form.CheckBox1->isChecked());
  QVERIFY(Form.CheckBox2->isChecked());

  // The record the job reads.
  TvxJobSettings S = Form.Settings();
  QCOMPARE(S.SourceFile, QString());
  QCOMPARE(S.Text, QStringLiteral("Type your watermark text here"));
  QCOMPARE(S.AngleText, QStringLiteral("45"));
  QCOMPARE(S.Font.Name, QStringLiteral("Arial"));
  // In points, whatever the screen (at 96 dpi the 48-pixel font).
  QCOMPARE(S.Font.Size, 36);
  QCOMPARE(S.Font.Color, MakeColor(0xFF, 0, 0));
  QVERIFY(!S.Font.Bold && !S.Font.Italic && !S.Font.Underline && !S.Font.StrikeOut);
  QCOMPARE(S.RenderMode, QStringLiteral("FillStroke"));
  QCOMPARE(S.StrokeColor, MakeColor(0, 0, 0xFF));
  QVERIFY(!S.Overlay);
  QCOMPARE(S.HorizontalPosition, QStringLiteral("Center"));
  QCOMPARE(S.VerticalPosition, QStringLiteral("Center"));
  QVERIFY(S.OpenAfterSave);
  Form.Memo1->setPlainText(QStringLiteral("First\nSecond"));
  QCOMPARE(Form.Settings().Text, QStringLiteral("First\r\nSecond"));

  // The document and the dialogs.
  QVERIFY(!Form.PDOC->OpenAfterSave);
  QVERIFY(!Form.PDOC->ShowSetupDialog);
  QCOMPARE(Form.PDOC->PDFVersion(), pvPDF14);
  QCOMPARE(Form.PDOC->PageMode(), pmNone);
  QCOMPARE(Form.PDOC->PageLayout(), plNone);
  QCOMPARE(Form.PDOC->Encryption().Level(), el40bit);
  QVERIFY(Form.PDOC->MergeOptions == (TvxMergeOptions{moIncludeOutlines, moIncludeFormFields}));
  QVERIFY(!Form.PDOC->EMailAfterSave);
  QVERIFY(!Form.PDOC->CustomRenderText);
  QVERIFY(!Form.PDOC->Encryption().Enabled());
  QVERIFY(!Form.PDOC->IsLoaded());
  QCOMPARE(Form.OpenDialog1.Title, QStringLiteral("Choose a PDF file"));
  QCOMPARE(Form.SaveDialog1.Title, QStringLiteral("Save PDF"));
  for (const TvxFileDialogSettings* D : {&Form.OpenDialog1, &Form.SaveDialog1}) {
    QCOMPARE(D->Filter, QStringLiteral("Adobe PDF files (*.pdf)|*.pdf"));
    QCOMPARE(D->DefaultSuffix, QStringLiteral("pdf"));
  }
  QVERIFY(!Form.OpenDialog1.ConfirmOverwrite);
  QVERIFY(Form.SaveDialog1.ConfirmOverwrite && Form.SaveDialog1.HideReadOnly);
}

void TestWindow::TabOrder() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QList<QWidget*> Expected = {
      Form.Edit1,     Form.Button1, Form.CheckBox1,        Form.CheckBox2, Form.Memo1,
      Form.Edit2,     Form.Edit3,   Form.Button2,          Form.ComboBox1, Form.ComboBox2,
      Form.ComboBox3, Form.Button3, Form.AdvColorSelector1};
  QList<QWidget*> Seen;
  QWidget* W = Form.Edit1;
  for (int Guard = 0; Guard < 200 && Seen.size() < Expected.size(); ++Guard) {
    if (W->parentWidget() == &Form && (W->focusPolicy() & Qt::TabFocus)) Seen << W;
    W = W->nextInFocusChain();
  }
  QCOMPARE(Seen, Expected);
  // The tab key walks the same way in the shown window.
  Form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&Form));
  Form.Edit2->setFocus();
  QTest::keyClick(Form.Edit2, Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), Form.Edit3);
  Form.Memo1->setFocus();
  QTest::keyClick(Form.Memo1, Qt::Key_Tab);  // Tab leaves the memo, it types nothing
  QCOMPARE(QApplication::focusWidget(), Form.Edit2);
}

void TestWindow::FixedSizeScaledAndCentred() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  double Dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  QCOMPARE(Form.Scaled(120), qRound(Dpi));
  const QSize Fixed(Form.Scaled(847), Form.Scaled(560));
  QCOMPARE(Form.size(), Fixed);
  QCOMPARE(Form.minimumSize(), Fixed);
  QCOMPARE(Form.maximumSize(), Fixed);
  Form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&Form));
  Form.resize(Fixed.width() + 200, Fixed.height() + 100);
  QCOMPARE(Form.size(), Fixed);
  int W = 1000, H = 1000;
  Form.FormCanResize(W, H);
  QCOMPARE(QSize(W, H), Fixed);
  QPoint Centre = QGuiApplication::primaryScreen()->availableGeometry().center();
  QVERIFY(qAbs(Form.geometry().center().x() - Centre.x()) <= 1);
  QVERIFY(qAbs(Form.geometry().center().y() - Centre.y()) <= 1);
}

void TestWindow::NoticeYear() {
  TFakePlatform Later;
  Later.Year = 2031;
  TForm1 Form(Later);
  QVERIFY(Form.Label9->text().endsWith(QStringLiteral(", 2031")));
  QVERIFY(!Form.Label9->text().contains(QStringLiteral("2020")));
  TFakePlatform Earlier;
  Earlier.Year = 2019;
  TForm1 Old(Earlier);
  QCOMPARE(Old.Label9->text(), QString::fromUtf8(TForm1::MakersNotice));
}

void TestWindow::FontButton() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const TvxFontSpec Initial = Form.FontDialog1.Font;
  const QString Summary = Form.Edit3->text();
  // Cancelled: nothing changes.
  QTest::mouseClick(Form.Button2, Qt::LeftButton);
  QCOMPARE(Platform.FontDialogs.size(), size_t(1));
  QCOMPARE(Platform.FontDialogs[0], Initial);
  QCOMPARE(Form.FontDialog1.Font, Initial);
  QCOMPARE(Form.Edit3->text(), Summary);

  TvxFontSpec Chosen;
  Chosen.Name = QStringLiteral("Liberation Serif");
  Chosen.Size = 12;
  Chosen.Bold = Chosen.Underline = true;
  Chosen.Color = MakeColor(0x12, 0x34, 0x56);
  Platform.FontAnswer = Chosen;
  QTest::mouseClick(Form.Button2, Qt::LeftButton);
  QCOMPARE(Form.FontDialog1.Font, Chosen);
  QCOMPARE(Form.Edit3->text(), QStringLiteral("Liberation Serif, 12, $00563412"));
  QCOMPARE(Form.Settings().Font, Chosen);
  // The next dialog starts from the confirmed font.
  QTest::mouseClick(Form.Button2, Qt::LeftButton);
  QCOMPARE(Platform.FontDialogs.back(), Chosen);
}

void TestWindow::OpenShowsLoadErrorsAndRecovers() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QString Bad = Dir->filePath(QStringLiteral("bad.pdf"));
  QVERIFY(vxtest::WriteAll(Bad, "%PDF-1.4\nthis is no PDF file at all\n"));

  // Cancelled: nothing happens.
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.OpenDialogs.size(), size_t(1));
  QCOMPARE(Platform.OpenDialogs[0].Title, QStringLiteral("Choose a PDF file"));
  QCOMPARE(Platform.OpenDialogs[0].DefaultSuffix, QStringLiteral("pdf"));
  QCOMPARE(Form.Edit1->text(), QString());

  Platform.OpenAnswers = {Bad};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Errors.size(), 1);
  QVERIFY(!Platform.Errors[0].isEmpty());
  QCOMPARE(Form.Edit1->text(), Bad);
  QVERIFY(!Form.PDOC->IsLoaded());
  QCOMPARE(Form.PDOC->PageCount(), 0);

  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Errors.size(), 1);
  QCOMPARE(Form.Edit1->text(), Letter);
  QVERIFY(Form.PDOC->IsLoaded());
  QCOMPARE(Form.PDOC->PageCount(), 1);
  QVERIFY(Platform.Messages.isEmpty());
}

void TestWindow::JobMessages() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  Form.Edit1->setText(Dir->filePath(QStringLiteral("missing.pdf")));
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  Form.Edit1->setText(Dir->path());  // a folder is no file
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Messages, (QStringList{QStringLiteral("No source file specified!"),
                                           QStringLiteral("Source file cannot be found!"),
                                           QStringLiteral("Source file cannot be found!")}));
  QVERIFY(Platform.Errors.isEmpty());
  QVERIFY(Platform.SaveDialogs.empty());
  QVERIFY(!Form.PDOC->IsLoaded());
}

void TestWindow::BadAngleShowsConversionError() {
  TFakePlatform Platform;
  Platform.OpenAnswers = {Letter};
  TForm1 Form(Platform);
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QVERIFY(Form.PDOC->IsLoaded());
  Form.Edit2->setText(QStringLiteral("4x5"));
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Errors, QStringList{QStringLiteral("'4x5' is not a valid integer value")});
  QVERIFY(Platform.SaveDialogs.empty());
  QVERIFY(!Form.HasUnsavedStamp());
  QVERIFY(Form.PDOC->IsLoaded());
}

void TestWindow::EncryptedFileAsksForPassword() {
  QString File = CorpusFile("pdfbox-PasswordSample-40bit.pdf");
  if (File.isEmpty()) QSKIP("the shared corpus is not present");
  TFakePlatform Platform;
  TForm1 Form(Platform);

  // The empty password is tried without asking; each typed one that fails is
  // named in the next question; Cancel ends the load with nothing loaded.
  Platform.OpenAnswers = {File};
  Platform.PasswordAnswers = {QStringLiteral("wrong")};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.PasswordPrompts.size(), 2);
  QVERIFY(Platform.PasswordPrompts[0].contains(QStringLiteral("is protected by a password")));
  QVERIFY(Platform.PasswordPrompts[1].startsWith(
      QStringLiteral("Password attempt 1 was not accepted.")));
  QVERIFY(!Form.PDOC->IsLoaded());
  QVERIFY(Platform.Errors.isEmpty());
  QCOMPARE(Form.Edit1->text(), File);

  if (!vxtest::EngineOpens(File, "user"))
    QSKIP("the engine cannot open this encrypted file even with its password");
  Platform.PasswordPrompts.clear();
  Platform.OpenAnswers = {File};
  Platform.PasswordAnswers = {QStringLiteral("user")};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.PasswordPrompts.size(), 1);
  QVERIFY(Platform.Errors.isEmpty());
  QVERIFY(Form.PDOC->IsLoaded());
  QVERIFY(Form.PDOC->IsEncrypted());
  QCOMPARE(Form.PDOC->PageCount(), 1);

  // The empty user password opens a file without a question.
  QString Open = CorpusFile("pdfjs-bug900822.pdf");
  if (!Open.isEmpty() && vxtest::EngineOpens(Open, "")) {
    Platform.PasswordPrompts.clear();
    Platform.OpenAnswers = {Open};
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QVERIFY(Platform.PasswordPrompts.isEmpty());
    QVERIFY(Form.PDOC->IsLoaded() && Form.PDOC->IsEncrypted());
  }
  // A typed password reaches the engine in PDFDocEncoding.
  QString Accented = CorpusFile("pdfium-encrypted_hello_world_r2.pdf");
  if (!Accented.isEmpty() && vxtest::EngineOpens(Accented, "h\xF4tel")) {
    Platform.OpenAnswers = {Accented};
    Platform.PasswordAnswers = {QStringLiteral("h\u00F4tel")};
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QVERIFY(Form.PDOC->IsLoaded());
  }
  QVERIFY(Platform.Errors.isEmpty());
}

void TestWindow::DamagedFileRepairedWhenTheUserAgrees() {
  const QString Damaged = vxtest::TestData("damaged_two_pages.pdf");
  const QString Described = vxtest::LoadError(Damaged, false);
  QVERIFY(!Described.isEmpty());
  QVERIFY(vxtest::LoadError(Damaged, true).isEmpty());
  TFakePlatform Platform;
  TForm1 Form(Platform);

  // No: the load's own error, nothing loaded.
  Platform.OpenAnswers = {Damaged};
  Platform.ConfirmAnswers = {false};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 1);
  QVERIFY(Platform.Confirms[0].contains(QDir::toNativeSeparators(Damaged)));
  QVERIFY(Platform.Confirms[0].contains(Described));
  QVERIFY(Platform.Confirms[0].contains(QStringLiteral("repair")));
  QCOMPARE(Platform.Errors, QStringList{Described});
  QVERIFY(!Form.PDOC->IsLoaded());

  // Yes: repaired, both pages; asked once more, since "no" was the answer.
  Platform.OpenAnswers = {Damaged};
  Platform.ConfirmAnswers = {true};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QCOMPARE(Platform.Errors.size(), 1);
  QVERIFY(Form.PDOC->IsLoaded());
  QCOMPARE(Form.PDOC->PageCount(), 2);
  // What the repair mended is shown, and the title says it was repaired.
  QCOMPARE(Platform.Messages.size(), qsizetype(1));
  QVERIFY2(Platform.Messages[0].startsWith(QStringLiteral("\"damaged")),
           qPrintable(Platform.Messages[0]));
  QVERIFY(Platform.Messages[0].contains(QStringLiteral("was mended while it loaded:\n")));
  QVERIFY(Form.windowTitle().endsWith(QStringLiteral(", repaired")));

  // A sound file never asks and loads without repair.
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QVERIFY(!Form.PDOC->RepairDamaged);
  QCOMPARE(Form.PDOC->PageCount(), 1);

  // The agreement holds for that file: opened again, it is repaired without
  // a question.
  Platform.OpenAnswers = {Damaged};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QCOMPARE(Form.PDOC->PageCount(), 2);
  QCOMPARE(Platform.Errors.size(), 1);

  // Another damaged file is asked about; when repair cannot rescue it either,
  // its error shows after the one question.
  const QString Hopeless = Dir->filePath(QStringLiteral("hopeless.pdf"));
  QVERIFY(vxtest::WriteAll(Hopeless, "%PDF-1.4\nnothing of a document follows\n"));
  const QString RepairError = vxtest::LoadError(Hopeless, true);
  QVERIFY(!RepairError.isEmpty());
  Platform.OpenAnswers = {Hopeless};
  Platform.ConfirmAnswers = {true};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 3);
  QVERIFY(Platform.Confirms[2].contains(QDir::toNativeSeparators(Hopeless)));
  QCOMPARE(Platform.Errors.size(), 2);
  QCOMPARE(Platform.Errors[1], RepairError);
  QVERIFY(!Form.PDOC->IsLoaded());

  // A failure that is no damage (a missing file) is never offered a repair.
  Platform.OpenAnswers = {Dir->filePath(QStringLiteral("missing.pdf"))};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 3);
  QCOMPARE(Platform.Errors.size(), 3);
}

void TestWindow::DamagedEncryptedFileAsksForItsPasswordOnce() {
  // An encrypted file whose page tree is out of reach fails after its
  // password was accepted; the repair's loads try that password without
  // asking again.
  TvxPDFDocument Source;
  QVERIFY(Source.LoadFromFile(QFile::encodeName(Letter).toStdString()));
  Source.Encryption().SetEnabled(true);
  Source.Encryption().SetLevel(el128bit);
  Source.Encryption().SetUserPassword("user");
  const QString Sound = Dir->filePath(QStringLiteral("encrypted.pdf"));
  Source.SaveToFile(QFile::encodeName(Sound).toStdString(), 2);
  QByteArray Bytes = vxtest::ReadAll(Sound);
  // The page tree's cross-reference entry points at the catalog.
  auto Number = [&](const char* Key) {
    return QRegularExpression(QString::fromLatin1(Key) + QStringLiteral(" (\\d+) 0 R"))
        .match(QString::fromLatin1(Bytes))
        .captured(1)
        .toInt();
  };
  const qsizetype Table = Bytes.indexOf("0000000000 65535 f", Bytes.lastIndexOf("\nxref"));
  const int Pages = Number("/Pages"), Root = Number("/Root");
  constexpr int EntrySize = 20;
  QVERIFY(Table > 0 && Pages > 0 && Root > 0);
  QCOMPARE(Bytes.mid(Table + EntrySize * Pages + 10, 8), QByteArray(" 00000 n"));
  Bytes.replace(Table + EntrySize * Pages, 10, Bytes.mid(Table + EntrySize * Root, 10));
  const QString Damaged = Dir->filePath(QStringLiteral("encrypted_damaged.pdf"));
  QVERIFY(vxtest::WriteAll(Damaged, Bytes));

  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.OpenAnswers = {Damaged};
  Platform.PasswordAnswers = {QStringLiteral("user")};
  Platform.ConfirmAnswers = {true};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 1);
  QCOMPARE(Platform.PasswordPrompts.size(), 1);
  QVERIFY2(Platform.Errors.isEmpty(), qPrintable(Platform.Errors.join(QStringLiteral(" | "))));
  QVERIFY(Form.PDOC->IsLoaded() && Form.PDOC->IsEncrypted());
  QCOMPARE(Form.PDOC->PageCount(), 1);
}

void TestWindow::HandlerErrorsNeverLeaveTheSlot() {
  TFakePlatform Platform;
  Platform.OpenThrows = true;
  TForm1 Form(Platform);
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Platform.Errors, QStringList{QStringLiteral("open dialog failed")});
  // Still usable.
  Platform.OpenThrows = false;
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QVERIFY(Form.PDOC->IsLoaded());
  QCOMPARE(Platform.Errors.size(), 1);
}

void TestWindow::ControlsStartFromANewJob() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  // A new job's, font size in points included.
  QVERIFY(Form.Job() == TvxWatermarkJob{});
}

void TestWindow::JobFileCommandsInTheContextMenu() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QCOMPARE(Form.contextMenuPolicy(), Qt::ActionsContextMenu);
  QCOMPARE(Form.actions(), (QList<QAction*>{Form.OptionsAction, Form.LoadJobAction,
                                            Form.SaveJobAction, Form.ShowSavedAction}));
  QCOMPARE(Form.LoadJobAction->text(), QStringLiteral("Load job\u2026"));
  QCOMPARE(Form.SaveJobAction->text(), QStringLiteral("Save job\u2026"));

  // Cancelled dialogs change nothing and write nothing.
  const TvxJobSettings Before = Form.Settings();
  Form.LoadJobAction->trigger();
  Form.SaveJobAction->trigger();
  QCOMPARE(Platform.OpenDialogs.size(), size_t(1));
  QCOMPARE(Platform.OpenDialogs[0].Title, QStringLiteral("Load job"));
  QCOMPARE(Platform.OpenDialogs[0].Filter, QStringLiteral("Vellumark job files (*.json)|*.json"));
  QCOMPARE(Platform.OpenDialogs[0].DefaultSuffix, QStringLiteral("json"));
  QCOMPARE(Platform.SaveDialogs.size(), size_t(1));
  QCOMPARE(Platform.SaveDialogs[0].Title, QStringLiteral("Save job"));
  QVERIFY(Platform.SaveDialogs[0].ConfirmOverwrite);
  QVERIFY(Form.Settings() == Before);
  QVERIFY(Platform.Errors.isEmpty() && Platform.Messages.isEmpty());
}

void TestWindow::SavedJobLoadsBackIntoTheControls() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Memo1->setPlainText(QStringLiteral("CONFIDENTIAL\nDo not copy \u00A9"));
  Form.Edit2->setText(QStringLiteral("-30"));
  TvxFontSpec Font;
  Font.Name = QStringLiteral("Liberation Serif");
  Font.Size = 20;
  Font.Italic = Font.StrikeOut = true;
  Font.Color = MakeColor(0x12, 0x34, 0x56);
  Platform.FontAnswer = Font;
  QTest::mouseClick(Form.Button2, Qt::LeftButton);
  Form.ComboBox1->setCurrentText(QStringLiteral("Stroke"));
  Form.AdvColorSelector1->SetColor(MakeColor(0, 0x80, 0));
  Form.CheckBox1->setChecked(true);
  Form.ComboBox2->setCurrentText(QStringLiteral("Right"));
  Form.ComboBox3->setCurrentText(QStringLiteral("Bottom"));
  Form.CheckBox2->setChecked(false);
  const TvxJobSettings Saved = Form.Settings();

  const QString Path = Dir->filePath(QStringLiteral("controls.json"));
  Platform.SaveAnswers = {Path};
  Form.SaveJobAction->trigger();
  QVERIFY2(Platform.Errors.isEmpty(), qPrintable(Platform.Errors.join(u'|')));
  const TvxWatermarkJob Written = LoadWatermarkJob(QFile::encodeName(Path).toStdString());
  QVERIFY(Written == Form.Job());
  QCOMPARE(Written.Angle, -30);
  QCOMPARE(Written.Font.Name, std::string("Liberation Serif"));
  QVERIFY(!Written.Encryption);  // the window has no passwords to write
  QVERIFY(!vxtest::ReadAll(Path).contains("Password"));

  // A new window shows the saved job in every control.
  TFakePlatform Other;
  TForm1 Loaded(Other);
  Other.OpenAnswers = {Path};
  Loaded.LoadJobAction->trigger();
  QVERIFY2(Other.Errors.isEmpty(), qPrintable(Other.Errors.join(u'|')));
  QVERIFY(Other.Messages.isEmpty());
  QVERIFY(Loaded.Settings() == Saved);
  QCOMPARE(Loaded.Memo1->toPlainText(), QStringLiteral("CONFIDENTIAL\nDo not copy \u00A9"));
  QCOMPARE(Loaded.Edit3->text(), QStringLiteral("Liberation Serif, 20, $00563412"));
  QCOMPARE(Loaded.AdvColorSelector1->Color(), MakeColor(0, 0x80, 0));
  QVERIFY(Loaded.Job() == Form.Job());

  // Keys the file leaves out take a new job's values, not the controls'.
  QVERIFY(vxtest::WriteAll(Path, R"({"angle": 12})"));
  Other.OpenAnswers = {Path};
  Loaded.LoadJobAction->trigger();
  TvxWatermarkJob Expected;
  Expected.Angle = 12;
  QVERIFY(Loaded.Job() == Expected);
  QCOMPARE(Loaded.Edit2->text(), QStringLiteral("12"));
  QCOMPARE(Loaded.ComboBox1->currentText(), QStringLiteral("FillStroke"));
  QVERIFY(Loaded.CheckBox2->isChecked());
}

void TestWindow::RefusedJobFileShowsItsMessage() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Memo1->setPlainText(QStringLiteral("Kept"));
  const TvxJobSettings Before = Form.Settings();
  const QString Path = Dir->filePath(QStringLiteral("refused.json"));
  QVERIFY(vxtest::WriteAll(Path, R"({"text": "Never shown", "fnt": {"size": 20}})"));
  Platform.OpenAnswers = {Path};
  Form.LoadJobAction->trigger();
  QCOMPARE(Platform.Errors, QStringList{QStringLiteral("unknown key \"fnt\" in the job file")});
  QVERIFY(Form.Settings() == Before);

  QVERIFY(vxtest::WriteAll(Path, "{\"text\": "));
  Platform.OpenAnswers = {Path};
  Form.LoadJobAction->trigger();
  QCOMPARE(Platform.Errors.size(), 2);
  QVERIFY2(Platform.Errors[1].startsWith(QStringLiteral("the job file is not valid JSON: ")),
           qPrintable(Platform.Errors[1]));
  QVERIFY(Form.Settings() == Before);

  // A bad angle is said before the dialog asks where to save.
  Form.Edit2->setText(QStringLiteral("4x5"));
  Form.SaveJobAction->trigger();
  QCOMPARE(Platform.Errors.size(), 3);
  QCOMPARE(Platform.Errors[2], QStringLiteral("'4x5' is not a valid integer value"));
  QVERIFY(Platform.SaveDialogs.empty());
}

void TestWindow::GrabWindow() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&Form));
  QPixmap Shot = Form.grab();
  const QString Path = QDir::current().filePath(QStringLiteral("vellumark-window.png"));
  QVERIFY(Shot.save(Path, "PNG"));
  QImage Saved(Path);
  QCOMPARE(Saved.size(), Form.size() * Form.devicePixelRatio());
  // Not blank: the background and the controls differ somewhere.
  QImage Image = Saved.convertToFormat(QImage::Format_RGB32);
  QVERIFY(Image.pixel(2, 2) != Image.pixel(Form.Edit1->geometry().center()));

  // The font dialog, for a person to look at.
  TvxFontColorDialog Dialog(&Form);
  Dialog.SetFontSpec(Form.FontDialog1.Font);
  Dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
  QVERIFY(
      Dialog.grab().save(QDir::current().filePath(QStringLiteral("vellumark-font-dialog.png"))));
  Dialog.reject();
}

namespace {

int RedPixels(const QImage& Image) {
  int N = 0;
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X) {
      const QColor C = Image.pixelColor(X, Y);
      N += C.red() > 150 && C.green() < 110 && C.blue() < 110;
    }
  return N;
}

}  // namespace

// The preview draws the loaded page with the watermark as it will be saved,
// again after a change, without stamping the loaded document.
void TestWindow::PreviewShowsTheWatermarkBeforeSaving() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QVERIFY(Form.PDOC->IsLoaded());
  Form.Edit2->setText(QStringLiteral("0"));
  QTest::mouseClick(Form.PreviewButton, Qt::LeftButton);
  QVERIFY(Form.Preview && Form.Preview->isVisible());
  QTRY_VERIFY_WITH_TIMEOUT(Form.Preview->Renders() >= 1, 20000);
  QVERIFY2(!Form.Preview->Image().isNull(), qPrintable(Form.Preview->Status->text()));
  QCOMPARE(Form.Preview->PageCount(), 1);
  const QImage First = Form.Preview->Image();
  QVERIFY(RedPixels(First) > 50);

  const int Before = Form.Preview->Renders();
  Form.Memo1->setPlainText(QStringLiteral("WWWWWWWWWW WWWWWWWWWW"));
  QTRY_VERIFY_WITH_TIMEOUT(Form.Preview->Renders() > Before, 20000);
  QVERIFY(Form.Preview->Image() != First);
  QVERIFY(RedPixels(Form.Preview->Image()) > RedPixels(First));
  // Only the copy was stamped.
  QVERIFY(!Form.HasUnsavedStamp());
  QVERIFY(Platform.SaveDialogs.empty());

  // A job that cannot be made says why instead of drawing.
  Form.Edit2->setText(QStringLiteral("4x"));
  QTRY_VERIFY_WITH_TIMEOUT(
      Form.Preview->Status->text().contains(QStringLiteral("is not a valid integer")), 20000);
}
