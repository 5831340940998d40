// The watermark job from the window: what the saved file holds, and the
// window's sound behaviour around loading, saving and retrying.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <clocale>

#include "app/vxColorSelector.h"
#include "app/vxMainForm.h"
#include "app/vxRemembered.h"
#include "app_test_support.h"
#include "app_tests.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxAES.h"
#include "pdf/watermark/vxWatermarkJob.h"
#include "platform/vxScreen.h"

using namespace vx;
using namespace vx::app;
using vxtest::TFakePlatform;

// Shows the errors' texts when there are any.
#define VX_EXPECT_NO_ERRORS(Platform) \
  QVERIFY2((Platform).Errors.isEmpty(), qPrintable((Platform).Errors.join(QStringLiteral(" | "))))

namespace {

const QByteArray LetterContent = "BT /F1 24 Tf 72 700 Td (Hello from page one) Tj ET";

// Opens File with "Open" and runs the job, saving to Target.
void OpenAndStamp(TForm1& Form, TFakePlatform& Platform, const QString& File,
                  const QString& Target) {
  Platform.OpenAnswers = {File};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
}

// Text a reader sees on the pages; null only when pdftotext is not installed.
QString ReaderText(const QString& Pdf, const QString& UserPassword = QString()) {
  QString Tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (Tool.isEmpty()) return QString();
  QStringList Args;
  if (!UserPassword.isEmpty()) Args << QStringLiteral("-upw") << UserPassword;
  Args << Pdf << QStringLiteral("-");
  QProcess P;
  P.start(Tool, Args);
  P.waitForFinished(30000);
  QString Text = QString::fromUtf8(P.readAllStandardOutput());
  return Text.isNull() ? QStringLiteral("") : Text;
}

QByteArray Rg(TvxColor Color, const char* Op) {
  return QByteArray::fromStdString(ColorToPDFText(Color)) + " " + Op + "\r";
}

// A locale whose decimal separator is a comma, built from the system's
// locale sources when none is installed.
bool UseCommaLocale(const QString& Scratch) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
    QString Tool = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (Tool.isEmpty()) return false;
    QProcess::execute(Tool, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                             QStringLiteral("UTF-8"), Scratch + QStringLiteral("/de_DE.utf8")});
    qputenv("LOCPATH", Scratch.toLocal8Bit());
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) return false;
  }
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  return std::localeconv()->decimal_point == std::string(",");
}

}  // namespace

void TestJob::initTestCase() {
  Dir = std::make_unique<QTemporaryDir>();
  QVERIFY(Dir->isValid());
  Letter = Out(QStringLiteral("letter.pdf"));
  QVERIFY(vxtest::WriteAll(Letter, vxtest::OnePageLetterPdf()));
}

QString TestJob::Out(const QString& Name) const {
  return Dir->filePath(Name);
}

void TestJob::DefaultJobOnLetter() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString Target = Out(QStringLiteral("default.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.SaveDialogs.size(), size_t(1));
  QCOMPARE(Platform.SaveDialogs[0].Title, QStringLiteral("Save PDF"));
  QVERIFY(Platform.SaveDialogs[0].ConfirmOverwrite);

  const QByteArray File = vxtest::ReadAll(Target);
  QVERIFY(File.startsWith("%PDF-1.4\r\n"));
  // Underneath: the watermark first, then the page's own content.
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(2));
  QCOMPARE(vxtest::StreamData(File, Contents[1]), LetterContent);
  const QByteArray W = vxtest::StreamData(File, Contents[0]);
  QVERIFY2(W.startsWith("q\rBT\r"), W.constData());
  QVERIFY(W.endsWith("\rET\rQ\r\n"));
  QVERIFY(W.contains(Rg(MakeColor(0xFF, 0, 0), "rg")));
  QVERIFY(W.contains(Rg(MakeColor(0, 0, 0xFF), "RG")));
  QVERIFY(W.contains("\r2 Tr\r"));
  QVERIFY(W.contains("0.7071 0.7071 -0.7071 0.7071 "));
  QVERIFY(W.contains("(Type your watermark text here) Tj\r"));
  // The font the stream names is in the page's resources.
  QRegularExpressionMatch Tf =
      QRegularExpression(QStringLiteral("(/ZRBFnt\\d+) 36 Tf\r")).match(QString::fromLatin1(W));
  QVERIFY2(Tf.hasMatch(), W.constData());
  QRegularExpressionMatch FontRef =
      QRegularExpression(Tf.captured(1) + QStringLiteral(" (\\d+) 0 R"))
          .match(QString::fromLatin1(File));
  QVERIFY(FontRef.hasMatch());
  QVERIFY(vxtest::ObjectBody(File, FontRef.captured(1).toInt()).contains("/Type /Font"));

  // The saved file is opened, without waiting for it.
  QCOMPARE(Platform.ShellOpens.size(), size_t(1));
  QCOMPARE(Platform.ShellOpens[0].first, QStringLiteral("open"));
  QCOMPARE(Platform.ShellOpens[0].second, Target);
  QVERIFY(!Form.HasUnsavedStamp());

  QString Seen = ReaderText(Target);
  if (!Seen.isNull()) {
    QVERIFY(Seen.contains(QStringLiteral("Hello from page one")));
    // Rotated text comes out in pieces, in order.
    QVERIFY(Seen.simplified().remove(u' ').contains(QStringLiteral("Typeyourwatermarktexthere")));
  }
}

void TestJob::StrokeAndOverlay() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.ComboBox1->setCurrentText(QStringLiteral("Stroke"));
  Form.CheckBox1->setChecked(true);
  Form.CheckBox2->setChecked(false);
  // The stroke colour from the colour dialog behind "More Colors...".
  Platform.ColorAnswer = MakeColor(0x12, 0x34, 0x56);
  Form.AdvColorSelector1->ShowPalette();
  QTest::mouseClick(
      Form.AdvColorSelector1->Palette()->findChild<QPushButton*>(QStringLiteral("MoreColors")),
      Qt::LeftButton);
  QCOMPARE(Form.Settings().StrokeColor, TvxColor(0x00563412));
  // Two lines, the second with a character Windows-1252 has and Latin-1 lacks.
  Form.Memo1->setPlainText(QStringLiteral("Line one\nPrice 5 \u20AC"));
  const QString Target = Out(QStringLiteral("stroke_over.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(Platform.ShellOpens.empty());  // "Open PDF after save" unchecked

  const QByteArray File = vxtest::ReadAll(Target);
  // Over the content: q, the content, Q, then the watermark.
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(4));
  QCOMPARE(vxtest::StreamData(File, Contents[0]), QByteArray("q"));
  QCOMPARE(vxtest::StreamData(File, Contents[1]), LetterContent);
  QCOMPARE(vxtest::StreamData(File, Contents[2]), QByteArray("Q"));
  const QByteArray W = vxtest::StreamData(File, Contents[3]);
  QVERIFY2(W.contains("\r1 Tr\r"), W.constData());
  QVERIFY(W.contains(Rg(MakeColor(0x12, 0x34, 0x56), "RG")));
  // CR LF between the memo's lines ends a line, and is neither shown nor
  // measured.
  QVERIFY2(W.contains("(Line one)Tj T* (Price 5 \x80) Tj\r"), W.constData());
}

void TestJob::EmptyMemoSavesUnchanged() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Memo1->clear();
  const QString Target = Out(QStringLiteral("empty_memo.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.SaveDialogs.size(), size_t(1));  // still asked
  const QByteArray File = vxtest::ReadAll(Target);
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(1));
  QCOMPARE(vxtest::StreamData(File, Contents[0]), LetterContent);
  QVERIFY(!File.contains("/ZRBFnt"));
}

void TestJob::TwoPressesTwoWatermarks() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  OpenAndStamp(Form, Platform, Letter, Out(QStringLiteral("first.pdf")));
  Form.Memo1->setPlainText(QStringLiteral("Second"));
  Platform.SaveAnswers = {Out(QStringLiteral("second.pdf"))};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);

  const QByteArray File = vxtest::ReadAll(Out(QStringLiteral("second.pdf")));
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(3));
  QVERIFY(vxtest::StreamData(File, Contents[0]).contains("(Second) Tj"));
  QVERIFY(vxtest::StreamData(File, Contents[1]).contains("(Type your watermark text here) Tj"));
  QCOMPARE(vxtest::StreamData(File, Contents[2]), LetterContent);
}

void TestJob::CancelledSaveIsUndoneBeforeTheNextJob() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QTest::mouseClick(Form.Button3, Qt::LeftButton);  // the save dialog is cancelled
  QCOMPARE(Platform.SaveDialogs.size(), size_t(1));
  QVERIFY(Platform.ShellOpens.empty());
  QVERIFY(Form.HasUnsavedStamp());
  QCOMPARE(QDir(Dir->path()).entryList({QStringLiteral("retry*")}), QStringList());

  const QString Target = Out(QStringLiteral("retry.pdf"));
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Target);
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(2));  // one watermark, not two
  QCOMPARE(vxtest::StreamData(File, Contents[1]), LetterContent);
}

// A saved job, then one whose save is cancelled: the retry undoes only the
// cancelled one, and the saved watermark stays in the next file.
void TestJob::UndoKeepsTheJobsSavedBefore() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString First = Out(QStringLiteral("kept_first.pdf"));
  OpenAndStamp(Form, Platform, Letter, First);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(vxtest::PageContents(vxtest::ReadAll(First)).size(), size_t(2));

  Platform.SaveAnswers.clear();
  QTest::mouseClick(Form.Button3, Qt::LeftButton);  // cancelled
  QVERIFY(Form.HasUnsavedStamp());
  const QString Second = Out(QStringLiteral("kept_second.pdf"));
  Platform.SaveAnswers = {Second};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Second);
  std::vector<int> Contents = vxtest::PageContents(File);
  // The first job's watermark and the last one's, not the cancelled one.
  QCOMPARE(Contents.size(), size_t(3));
  QCOMPARE(vxtest::StreamData(File, Contents[2]), LetterContent);
}

void TestJob::NameWithoutPdfSuffix() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString Typed = Out(QStringLiteral("typed"));
  const QString Written = Out(QStringLiteral("typed.pdf"));
  OpenAndStamp(Form, Platform, Letter, Typed);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(!QFileInfo::exists(Typed));
  QVERIFY(QFileInfo::exists(Written));
  QCOMPARE(Platform.ShellOpens.back().second, Written);  // the file actually written
  QVERIFY(Platform.Confirms.isEmpty());

  // Now typed.pdf exists: typing "typed" again asks about typed.pdf; "no"
  // goes back to the dialog, and the other name chosen there is written.
  const QByteArray Before = vxtest::ReadAll(Written);
  Platform.ConfirmAnswers = {false};
  Platform.SaveAnswers = {Typed, Out(QStringLiteral("other.pdf"))};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 1);
  QVERIFY(Platform.Confirms[0].contains(QStringLiteral("typed.pdf")));
  QCOMPARE(vxtest::ReadAll(Written), Before);
  QVERIFY(QFileInfo::exists(Out(QStringLiteral("other.pdf"))));

  // "yes" replaces it.
  Platform.ConfirmAnswers = {true};
  Platform.SaveAnswers = {Typed};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QVERIFY(vxtest::ReadAll(Written) != Before);
  VX_EXPECT_NO_ERRORS(Platform);
}

void TestJob::JobWithNothingLoaded() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Edit1->setText(Letter);  // typed, never opened
  const QString Target = Out(QStringLiteral("typed_path.pdf"));
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(Form.PDOC->IsLoaded());
  std::vector<int> Contents = vxtest::PageContents(vxtest::ReadAll(Target));
  QCOMPARE(Contents.size(), size_t(2));
}

void TestJob::BadFileThenGoodOne() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString Bad = Out(QStringLiteral("broken.pdf"));
  QByteArray Broken = vxtest::OnePageLetterPdf();
  Broken.truncate(Broken.indexOf("xref"));  // no cross-reference data
  QVERIFY(vxtest::WriteAll(Bad, Broken));

  // The bad file named in Edit1 is opened by the job and fails there: nothing
  // is saved.
  Form.Edit1->setText(Bad);
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Errors.size(), 1);
  QVERIFY(Platform.SaveDialogs.empty());
  QVERIFY(!Form.PDOC->IsLoaded());

  const QString Target = Out(QStringLiteral("after_bad.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  QCOMPARE(Platform.Errors.size(), 1);
  const QByteArray File = vxtest::ReadAll(Target);
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(2));
  QCOMPARE(vxtest::StreamData(File, Contents[1]), LetterContent);
}

void TestJob::DamagedFileRepairedByTheJob() {
  const QString Damaged = vxtest::TestData("damaged_two_pages.pdf");
  const QString Described = vxtest::LoadError(Damaged, false);
  QVERIFY(!Described.isEmpty());
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Edit1->setText(Damaged);

  // The job's own open asks too; "no" stops the job with the load's error.
  Platform.ConfirmAnswers = {false};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 1);
  QCOMPARE(Platform.Errors, QStringList{Described});
  QVERIFY(Platform.SaveDialogs.empty());
  QVERIFY(!Form.PDOC->IsLoaded());

  // "Yes", then the save cancelled: the stamp is undone by loading the file
  // again, repaired without a second question.
  Platform.ConfirmAnswers = {true};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QCOMPARE(Platform.SaveDialogs.size(), size_t(1));
  QVERIFY(Form.HasUnsavedStamp());
  const QString Target = Out(QStringLiteral("repaired_stamped.pdf"));
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Confirms.size(), 2);
  QCOMPARE(Platform.Errors.size(), 1);
  QVERIFY(!Form.HasUnsavedStamp());

  // The saved file is sound: it loads without repair, both pages stamped
  // once each.
  QVERIFY(vxtest::LoadError(Target, false).isEmpty());
  TvxPDFDocument Saved;
  QVERIFY(Saved.LoadFromFile(QFile::encodeName(Target).toStdString()));
  QCOMPARE(Saved.PageCount(), 2);
  const QString Seen = ReaderText(Target);
  if (!Seen.isNull())
    QCOMPARE(Seen.simplified().remove(u' ').count(QStringLiteral("Typeyourwatermarktexthere")), 2);
}

void TestJob::EncryptedFileStamped() {
  QString File = QStringLiteral(VX_SHARED_DIR "/corpus/files/pdfbox-PasswordSample-40bit.pdf");
  if (!QFileInfo::exists(File)) QSKIP("the shared corpus is not present");
  if (!vxtest::EngineOpens(File, "user"))
    QSKIP("the engine cannot open this encrypted file even with its password");
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.PasswordAnswers = {QStringLiteral("user")};
  const QString Target = Out(QStringLiteral("encrypted_stamped.pdf"));
  OpenAndStamp(Form, Platform, File, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.PasswordPrompts.size(), 1);
  QVERIFY(QFileInfo::exists(Target));
  // The save keeps the source's encryption.
  QString Seen = ReaderText(Target, QStringLiteral("user"));
  if (!Seen.isNull())
    QVERIFY(Seen.simplified().remove(u' ').contains(QStringLiteral("Typeyourwatermarktexthere")));

  // A cancelled save is undone by loading the file again: its password is
  // used again without asking.
  Platform.SaveAnswers.clear();
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  Platform.SaveAnswers = {Out(QStringLiteral("encrypted_again.pdf"))};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.PasswordPrompts.size(), 1);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(QFileInfo::exists(Out(QStringLiteral("encrypted_again.pdf"))));
}

void TestJob::SameBytesUnderDecimalCommaLocale() {
  auto Run = [&](const QString& Name) {
    TFakePlatform Platform;
    TForm1 Form(Platform);
    Form.Edit2->setText(QStringLiteral("33"));  // numbers with many decimals
    Form.ComboBox2->setCurrentText(QStringLiteral("Right"));
    RandomSeed(12345);
    SeedRandomBytes(12345);
    OpenAndStamp(Form, Platform, Letter, Out(Name));
    SeedRandomBytes(0);
    [&] { VX_EXPECT_NO_ERRORS(Platform); }();
    return vxtest::ReadAll(Out(Name));
  };
  const QByteArray InC = Run(QStringLiteral("locale_c.pdf"));
  QVERIFY(!InC.isEmpty());
  QTemporaryDir Scratch;
  bool Comma = UseCommaLocale(Scratch.path());
  QByteArray InGerman;
  if (Comma) InGerman = Run(QStringLiteral("locale_de.pdf"));
  std::setlocale(LC_ALL, "C");
  QLocale::setDefault(QLocale::c());
  if (!Comma) QSKIP("no locale with a decimal comma could be set up");
  QCOMPARE(InGerman, InC);
}

// The settings dialog restricts the copy without an owner password: the
// window says, after the save, that the restrictions cannot be lifted.
void TestJob::RestrictedSaveSaysTheOwnerPasswordIsMadeUp() {
  struct TRestrict : TvxSetupDialog {
    int32_t Execute(TvxCustomPDFDocument& Doc) override {
      Doc.Encryption().SetEnabled(true);
      Doc.Encryption().SetLevel(el128bit);
      Doc.Encryption().SetUserPassword("u");
      Doc.Encryption().SetUserPermissions(TvxUserPermissions::None());
      return 1;
    }
  } Restrict;
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.PDOC->ShowSetupDialog = true;
  Form.PDOC->SetupDialog = &Restrict;
  const QString Target = Out(QStringLiteral("restricted.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  QCOMPARE(Platform.Errors, QStringList());
  QCOMPARE(Platform.Messages,
           QStringList{QStringLiteral("no owner password given: the restrictions can only be "
                                      "lifted by re-encrypting from the original")});
  TvxPDFDocument Saved;
  Saved.OnPassword = [](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Try) {
    Pw = std::string(1, 'u');
    Continue = Try == 0;
  };
  QVERIFY(Saved.LoadFromFile(QFile::encodeName(Target).toStdString()));
  QVERIFY(!Saved.IsOwner());
  QVERIFY(Saved.Encryption().UserPermissions() == TvxUserPermissions::None());
}

// A job file sets what the window has no control for: the window says so,
// stamps with it and saves it back with the controls' values.
void TestJob::LoadedJobStampsWhatTheWindowDoesNotShow() {
  const QString JobFile = Out(QStringLiteral("hidden.json"));
  QVERIFY(vxtest::WriteAll(JobFile, R"({"text": "Hidden settings", "angle": 0, "opacity": 50,
    "encrypt": {"level": "128", "userPassword": "u", "ownerPassword": "o"}})"));
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.OpenAnswers = {JobFile};
  Form.LoadJobAction->trigger();
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.Messages,
           QStringList{QStringLiteral("This job also sets the encryption, which "
                                      "the window does not show. They apply when you stamp and "
                                      "are saved with the job.")});
  QCOMPARE(Form.Memo1->toPlainText(), QStringLiteral("Hidden settings"));

  const QString Target = Out(QStringLiteral("hidden.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(vxtest::EngineOpens(Target, "u"));
  QVERIFY(!vxtest::EngineOpens(Target, ""));
  QString Seen = ReaderText(Target, QStringLiteral("u"));
  if (!Seen.isNull()) QVERIFY2(Seen.contains(QStringLiteral("Hidden settings")), qPrintable(Seen));

  Form.Edit2->setText(QStringLiteral("10"));
  const QString Saved = Out(QStringLiteral("hidden-saved.json"));
  Platform.SaveAnswers = {Saved};
  Form.SaveJobAction->trigger();
  VX_EXPECT_NO_ERRORS(Platform);
  const TvxWatermarkJob Back = LoadWatermarkJob(QFile::encodeName(Saved).toStdString());
  QCOMPARE(Back.Angle, 10);
  QCOMPARE(Back.Opacity, 50);
  QVERIFY(Back.Encryption && Back.Encryption->UserPassword == std::string("u") &&
          Back.Encryption->OwnerPassword == std::string("o"));
}

void TestJob::TextInAnyScriptStampedAsTyped() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Memo1->setPlainText(QStringLiteral("Совершенно секретно\n机密 סודי"));
  Form.Edit2->setText(QStringLiteral("0"));
  const QString Target = Out(QStringLiteral("scripts.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Target);
  QVERIFY(File.contains("/Type0"));
  // Shaped glyphs, no single-byte text with stand-ins.
  const QByteArray W = vxtest::StreamData(File, vxtest::PageContents(File)[0]);
  QVERIFY2(W.contains("] TJ") && !W.contains(") Tj"), W.constData());
  QString Seen = ReaderText(Target);
  if (!Seen.isNull()) {
    Seen.remove(QRegularExpression(QStringLiteral("[\\x{202A}-\\x{202E}]")));
    QVERIFY2(Seen.contains(QStringLiteral("Совершенно секретно")), qPrintable(Seen));
    QVERIFY2(Seen.contains(QStringLiteral("机密 סודי")), qPrintable(Seen));
  }

  // A character no installed font has is refused, and nothing is saved.
  Form.Memo1->setPlainText(QStringLiteral("Draft \u0378"));
  Platform.SaveAnswers = {Out(QStringLiteral("refused.pdf"))};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Errors.size(), qsizetype(1));
  QVERIFY2(Platform.Errors[0].contains(QStringLiteral("U+0378")), qPrintable(Platform.Errors[0]));
  QVERIFY(!QFileInfo::exists(Out(QStringLiteral("refused.pdf"))));
}

// The options dialog reaches what the form has no controls for: the job it
// returns is stamped, and a cancelled dialog changes nothing.
void TestJob::OptionsDialogSetsTheJobsOtherOptions() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Form.Memo1->setPlainText(QStringLiteral("Layered"));
  Form.Edit2->setText(QStringLiteral("0"));
  TvxWatermarkJob Wanted = Form.Job();
  Wanted.Layer = true;
  Wanted.Tile = true;
  Wanted.Opacity = 40;
  Platform.OptionsAnswer = Wanted;
  Form.OptionsAction->trigger();
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.OptionsDialogs.size(), size_t(1));
  QVERIFY(Form.Job().Layer && Form.Job().Tile);
  QCOMPARE(Form.Job().Opacity, 40);
  QCOMPARE(Form.Memo1->toPlainText(), QStringLiteral("Layered"));
  // Cancelled: as before.
  Platform.OptionsAnswer.reset();
  Form.OptionsAction->trigger();
  QVERIFY(Form.Job().Layer);

  const QString Target = Out(QStringLiteral("options.pdf"));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Target);
  QVERIFY(File.contains("/OCProperties"));
  QVERIFY(File.contains("/ZRBTile"));
  QVERIFY(File.contains("/ca 0.4"));
}

// After a load the title names the file and its pages; after a save, what
// was saved where.
void TestJob::TitleSaysWhatTheLoadAndTheSaveDid() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QVERIFY(!Form.ShowSavedAction->isEnabled());
  const QString Target = Out(QStringLiteral("titled.pdf"));
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(Form.windowTitle(), QStringLiteral("Vellumark  2.0 \u2014 letter.pdf: 1 page"));
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Form.windowTitle(), QStringLiteral("Vellumark  2.0 \u2014 Saved 1 page to titled.pdf"));
  // The saved file's folder opens from the context menu.
  QVERIFY(Form.ShowSavedAction->isEnabled());
  Platform.ShellOpens.clear();
  Form.ShowSavedAction->trigger();
  QCOMPARE(Platform.ShellOpens.size(), size_t(1));
  QCOMPARE(QDir(Platform.ShellOpens[0].second), QDir(Dir->path()));
}

// A file typed into the box after another was opened is the one stamped;
// the save dialog opens beside the source and proposes NAME-watermarked.pdf;
// a dropped PDF file opens as "Open" would.
void TestJob::TheBoxNamesTheDocumentAndDialogsStartBesideIt() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString Two = Out(QStringLiteral("two.pdf"));
  QVERIFY(QFile::copy(QStringLiteral(VX_TEST_DATA_DIR "/two_pages.pdf"), Two));
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QVERIFY(Form.PDOC->IsLoaded());
  Form.Edit1->setText(Two);
  const QString Target = Out(QStringLiteral("typed.pdf"));
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(vxtest::PageContents(vxtest::ReadAll(Target)).size() > 0, true);
  QVERIFY(vxtest::ReadAll(Target).contains("/Count 2"));
  QCOMPARE(Platform.SaveDialogs.back().FileName, QStringLiteral("two-watermarked.pdf"));
  QCOMPARE(QDir(Platform.SaveDialogs.back().Directory), QDir(Dir->path()));

  // The open dialog starts where the named file is.
  Platform.OpenAnswers = {QString()};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  QCOMPARE(QDir(Platform.OpenDialogs.back().Directory), QDir(Dir->path()));

  QMimeData Dropped;
  Dropped.setUrls({QUrl::fromLocalFile(Letter)});
  QVERIFY(Form.OpenDropped(Dropped));
  QCOMPARE(Form.Edit1->text(), Letter);
  QVERIFY(Form.windowTitle().contains(QStringLiteral("letter.pdf: 1 page")));
  QMimeData Text;
  Text.setText(QStringLiteral("not a file"));
  QVERIFY(!Form.OpenDropped(Text));
}

// A save that fails says which file was not written; the next try works.
void TestJob::AFailedSaveNamesTheFile() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  const QString Nowhere = Out(QStringLiteral("no-such-folder/out.pdf"));
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  Platform.SaveAnswers = {Nowhere};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  QCOMPARE(Platform.Errors.size(), qsizetype(1));
  QVERIFY2(Platform.Errors[0].startsWith(QStringLiteral("\"") + QDir::toNativeSeparators(Nowhere) +
                                         QStringLiteral("\" was not saved: ")),
           qPrintable(Platform.Errors[0]));
  const QString Target = Out(QStringLiteral("after-failure.pdf"));
  Platform.Errors.clear();
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QVERIFY(QFileInfo::exists(Target));
}

// Cancel while pages are stamped or while the file is written: no file,
// no save dialog for a stamp that never finished, and a retry stamps once.
void TestJob::CancelledJobLeavesNoFileAndTheDocumentAsBefore() {
  TFakePlatform Platform;
  TForm1 Form(Platform);
  Platform.OpenAnswers = {Letter};
  QTest::mouseClick(Form.Button1, Qt::LeftButton);
  Platform.CancelAtShow = 1;  // after the first page
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.ProgressTitles, QStringList{QStringLiteral("Stamping")});
  QCOMPARE(Platform.ProgressTexts, QStringList{QStringLiteral("Stamping page 1 of 1")});
  QVERIFY(Platform.SaveDialogs.empty());
  QVERIFY(!Form.HasUnsavedStamp());
  QVERIFY(Form.windowTitle().contains(QStringLiteral("Cancelled: nothing was saved")));

  const QString Target = Out(QStringLiteral("cancelled.pdf"));
  Platform.ProgressTexts.clear();
  Platform.CancelAtShow = 2;  // the page, then the first bytes written
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  QCOMPARE(Platform.ProgressTexts.size(), qsizetype(2));
  QVERIFY2(Platform.ProgressTexts[1].startsWith(QStringLiteral("Writing ")),
           qPrintable(Platform.ProgressTexts[1]));
  QVERIFY(!QFileInfo::exists(Target));
  QCOMPARE(QDir(Dir->path()).entryList({QStringLiteral("cancelled*")}), QStringList());
  QVERIFY(!Form.HasUnsavedStamp());

  Platform.CancelAtShow = -1;
  Platform.SaveAnswers = {Target};
  QTest::mouseClick(Form.Button3, Qt::LeftButton);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Target);
  std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(2));  // one watermark: the cancelled ones are gone
  QCOMPARE(vxtest::StreamData(File, Contents[1]), LetterContent);
}

// The watermark's size in the file is the font's size in points, whatever
// the screen's resolution (run at 96 and at 120 dpi by the tests).
void TestJob::FontSizeInPointsWhateverTheScreen() {
  const int32_t Dpi = vx::ScreenService().LogicalPixelsPerInch();
  const QByteArray Wanted = qgetenv("VX_TEST_SCREEN_DPI");
  if (!Wanted.isEmpty()) QCOMPARE(Dpi, Wanted.toInt());
  TFakePlatform Platform;
  TForm1 Form(Platform);
  QCOMPARE(Form.Settings().Font.Size, 36);
  const QString Target = Out(QStringLiteral("points-%1.pdf").arg(Dpi));
  OpenAndStamp(Form, Platform, Letter, Target);
  VX_EXPECT_NO_ERRORS(Platform);
  const QByteArray File = vxtest::ReadAll(Target);
  const std::vector<int> Contents = vxtest::PageContents(File);
  QCOMPARE(Contents.size(), size_t(2));
  const QByteArray W = vxtest::StreamData(File, Contents[0]);
  QVERIFY2(QRegularExpression(QStringLiteral("/ZRBFnt\\d+ 36 Tf\r"))
               .match(QString::fromLatin1(W))
               .hasMatch(),
           W.constData());
}

// The options set in the dialog and the folder of the last file opened are
// there for the next window; restoring the defaults is remembered too.
void TestJob::OptionsAndFolderAreRememberedBetweenRuns() {
  QSettings().clear();
  TForm1::RememberSettings = true;
  struct TReset {
    ~TReset() {
      QSettings().clear();
      TForm1::RememberSettings = false;
    }
  } Reset;
  {
    TFakePlatform Platform;
    TForm1 Form(Platform);
    TvxWatermarkJob Wanted = Form.Job();
    Wanted.Tile = true;
    Wanted.Opacity = 30;
    Platform.OptionsAnswer = Wanted;
    Form.OptionsAction->trigger();
    Platform.OpenAnswers = {Letter};
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    VX_EXPECT_NO_ERRORS(Platform);
  }
  {
    TFakePlatform Platform;
    TForm1 Form(Platform);
    QVERIFY(Form.Job().Tile);
    QCOMPARE(Form.Job().Opacity, 30);
    // The text and the font are a new job's.
    QVERIFY(Form.Job().Text == TvxWatermarkJob{}.Text);
    Platform.OpenAnswers = {QString()};
    QTest::mouseClick(Form.Button1, Qt::LeftButton);
    QCOMPARE(QDir(Platform.OpenDialogs.back().Directory), QDir(Dir->path()));
    TvxWatermarkJob Defaults = Form.Job();
    CopyOptions(TvxWatermarkJob{}, Defaults);
    Platform.OptionsAnswer = Defaults;
    Form.OptionsAction->trigger();
  }
  {
    TFakePlatform Platform;
    TForm1 Form(Platform);
    QVERIFY(Form.Job() == TvxWatermarkJob{});
  }
}
