#include "app/vxMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QUrl>
#include <cmath>
#include <exception>
#include <new>

#include "app/vxColorSelector.h"
#include "app/vxPreviewWindow.h"
#include "app/vxRemembered.h"
#include "app/vxWatermarkJob.h"
#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/reader/vxRepair.h"
#include "pdf/security/vxPasswordText.h"

namespace vx::app {

namespace {

std::string LocalPath(const QString& Path) {
  return QFile::encodeName(Path).toStdString();
}

QString FromLocalPath(const std::string& Path) {
  return QFile::decodeName(QByteArray::fromStdString(Path));
}

// The memo's text for settings text whose lines end in CR LF.
QString MemoText(const QString& Text) {
  return QString(Text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// "a", "a and b", "a, b and c".
QString ListText(const QStringList& Items) {
  if (Items.size() < 2) return Items.join(QString());
  return Items.mid(0, Items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
         Items.last();
}

}  // namespace

TForm1::TForm1(TvxAppPlatform& Platform, QWidget* Parent)
    : QWidget(Parent), PDOC(std::make_unique<TvxPDFDocument>()), FPlatform(Platform) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vellumark  2.0"));
  setAcceptDrops(true);

  PDOC->OpenAfterSave = false;
  PDOC->ShowSetupDialog = false;
  PDOC->SetPDFVersion(pvPDF14);
  PDOC->SetPageMode(pmNone);
  PDOC->SetPageLayout(plNone);
  PDOC->Encryption().SetLevel(el40bit);
  PDOC->MergeOptions = TvxMergeOptions{moIncludeOutlines, moIncludeFormFields};
  PDOC->EMailAfterSave = false;
  PDOC->CustomRenderText = false;
  PDOC->OnPassword = [this](TvxCustomPDFDocument&, std::string& Password, bool& Continue,
                            int32_t Tries) { PasswordRequested(Password, Continue, Tries); };

  // A new job's font, its size in points: the watermark in the file must
  // not depend on the screen (48 pixels at 96 dpi, 36 points, at any dpi).
  FontDialog1.Font = FromWatermarkJob(FJob).Font;
  if (RememberSettings) LoadRememberedOptions(FJob);

  const QString PdfFilter = QStringLiteral("Adobe PDF files (*.pdf)|*.pdf");
  OpenDialog1 = {
      QStringLiteral("Choose a PDF file"), PdfFilter, QStringLiteral("pdf"), false, false, {}, {}};
  SaveDialog1 = {QStringLiteral("Save PDF"), PdfFilter, QStringLiteral("pdf"), true, true, {}, {}};
  const QString JobFilter = QStringLiteral("Vellumark job files (*.json)|*.json");
  OpenJobDialog = {
      QStringLiteral("Load job"), JobFilter, QStringLiteral("json"), false, false, {}, {}};
  SaveJobDialog = {
      QStringLiteral("Save job"), JobFilter, QStringLiteral("json"), true, true, {}, {}};

  QScreen* Screen = screen() ? screen() : QGuiApplication::primaryScreen();
  double Dpi = Screen ? Screen->logicalDotsPerInchY() : 96.0;
  FScale = Dpi > 0 ? Dpi / DesignPixelsPerInch : 96.0 / DesignPixelsPerInch;

  // Where the classic face is missing, a face of its width rather than the
  // desktop's wider default keeps the labels clear of their controls.
  QFont WindowFont;
  WindowFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                          QStringLiteral("Helvetica")});
  WindowFont.setStyleHint(QFont::SansSerif);
  WindowFont.setPixelSize(std::max(1, Scaled(14)));
  setFont(WindowFont);

  QPalette Face = palette();
  Face.setColor(QPalette::Window, Face.color(QPalette::Button));
  setPalette(Face);
  setAutoFillBackground(true);

  CreateControls();
  FFixedSize = QSize(Scaled(DesignClientWidth), Scaled(DesignClientHeight));
  setFixedSize(FFixedSize);
  CenterOnScreen();
  FormCreate();
}

TForm1::~TForm1() = default;

int TForm1::Scaled(int DesignPixels) const {
  return static_cast<int>(std::lround(DesignPixels * FScale));
}

template <typename F>
void TForm1::Guarded(F&& Handler) {
  // Nothing may leave a slot: every failure ends in the error box.
  try {
    Handler();
  } catch (const Exception& E) {
    FPlatform.ErrorBox(this, QString::fromStdString(E.Message()));
  } catch (const std::bad_alloc&) {
    FPlatform.ErrorBox(this, QStringLiteral("Out of memory"));
  } catch (const std::exception& E) {
    FPlatform.ErrorBox(this, QString::fromUtf8(E.what()));
  } catch (...) {
    FPlatform.ErrorBox(this, QStringLiteral("Unexpected Error"));
  }
}

void TForm1::CreateControls() {
  auto Place = [this](QWidget* W, const char* Name, int X, int Y, int Width, int Height) {
    W->setObjectName(QString::fromLatin1(Name));
    W->setGeometry(Scaled(X), Scaled(Y), Scaled(Width), Scaled(Height));
  };
  auto MakeLabel = [this](const char* Name, const QString& Text, int X, int Y) {
    auto* L = new QLabel(Text, this);
    L->setObjectName(QString::fromLatin1(Name));
    L->move(Scaled(X), Scaled(Y));
    L->adjustSize();
    return L;
  };
  auto MakeCombo = [&](const char* Name, const QStringList& Items, const QString& Selected, int X,
                       int Y, int Width, int Height) {
    auto* C = new QComboBox(this);
    C->addItems(Items);
    C->setCurrentText(Selected);
    Place(C, Name, X, Y, Width, Height);
    return C;
  };

  // A new job's values, the ones the command line starts from too.
  const TvxJobSettings Defaults = FromWatermarkJob(FJob);

  Label1 = MakeLabel("Label1", QStringLiteral("PDF File:"), 20, 22);
  Edit1 = new QLineEdit(this);
  Place(Edit1, "Edit1", 108, 20, 553, 24);
  Button1 = new QPushButton(QStringLiteral("Open"), this);
  Place(Button1, "Button1", 677, 16, 92, 31);

  Label2 = MakeLabel("Label2", QStringLiteral("Text to stamp as watermark"), 20, 62);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setPlainText(MemoText(Defaults.Text));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  Place(Memo1, "Memo1", 108, 89, 661, 129);

  Label3 = MakeLabel("Label3", QStringLiteral("Angle"), 20, 235);
  Edit2 = new QLineEdit(Defaults.AngleText, this);
  Place(Edit2, "Edit2", 108, 231, 61, 24);

  Label4 = MakeLabel("Label4", QStringLiteral("Font"), 20, 274);
  Edit3 = new QLineEdit(this);
  Edit3->setReadOnly(true);  // a summary of the font dialog's font, never read back
  Place(Edit3, "Edit3", 108, 270, 553, 24);
  Button2 = new QPushButton(QStringLiteral("Font"), this);
  Place(Button2, "Button2", 677, 267, 92, 31);

  Label5 = MakeLabel("Label5", QStringLiteral("Render Mode"), 20, 314);
  ComboBox1 = MakeCombo(
      "ComboBox1", {QStringLiteral("Fill"), QStringLiteral("Stroke"), QStringLiteral("FillStroke")},
      Defaults.RenderMode, 108, 309, 179, 24);

  Label6 = MakeLabel("Label6", QStringLiteral("Stroke Color"), 20, 353);
  AdvColorSelector1 = new TvxColorSelector(Defaults.StrokeColor, this);
  AdvColorSelector1->OnMoreColors = [this](TvxColor Current) {
    std::optional<TvxColor> Chosen;
    Guarded([&] { Chosen = FPlatform.ColorDialog(this, Current); });
    return Chosen;
  };
  Place(AdvColorSelector1, "AdvColorSelector1", 108, 354, 179, 15);

  Label7 = MakeLabel("Label7", QStringLiteral("Horizontal Position"), 20, 393);
  ComboBox2 = MakeCombo("ComboBox2",
                        {QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")},
                        Defaults.HorizontalPosition, 148, 388, 139, 24);
  Label8 = MakeLabel("Label8", QStringLiteral("Vertical Position"), 20, 432);
  ComboBox3 = MakeCombo("ComboBox3",
                        {QStringLiteral("Top"), QStringLiteral("Center"), QStringLiteral("Bottom")},
                        Defaults.VerticalPosition, 148, 427, 139, 24);

  CheckBox1 =
      new QCheckBox(QStringLiteral("Make watermark cover up the content at the background"), this);
  CheckBox1->setChecked(Defaults.Overlay);
  Place(CheckBox1, "CheckBox1", 20, 471, 413, 21);
  CheckBox2 = new QCheckBox(QStringLiteral("Open PDF after save"), this);
  CheckBox2->setChecked(Defaults.OpenAfterSave);
  Place(CheckBox2, "CheckBox2", 20, 501, 168, 21);

  Button3 = new QPushButton(QStringLiteral("Stamp Watermark && Save PDF"), this);
  Place(Button3, "Button3", 591, 453, 218, 31);

  // Beside the stamp button, after the form's own controls in tab order.
  PreviewButton = new QPushButton(QStringLiteral("Preview"), this);
  Place(PreviewButton, "PreviewButton", 477, 453, 100, 31);

  Label9 = MakeLabel("Label9", QString::fromUtf8(MakersNotice), 108, 538);

  QWidget* Order[] = {Edit1,     Button1, CheckBox1,        CheckBox2, Memo1,
                      Edit2,     Edit3,   Button2,          ComboBox1, ComboBox2,
                      ComboBox3, Button3, AdvColorSelector1};
  for (size_t I = 0; I + 1 < std::size(Order); ++I) setTabOrder(Order[I], Order[I + 1]);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(PreviewButton, &QPushButton::clicked, this, &TForm1::PreviewClick);
  setTabOrder(AdvColorSelector1, PreviewButton);
  connect(Memo1, &QPlainTextEdit::textChanged, this, &TForm1::PreviewChanged);
  connect(Edit2, &QLineEdit::textChanged, this, &TForm1::PreviewChanged);
  for (QComboBox* Box : {ComboBox1, ComboBox2, ComboBox3})
    connect(Box, &QComboBox::currentIndexChanged, this, &TForm1::PreviewChanged);
  connect(CheckBox1, &QCheckBox::toggled, this, &TForm1::PreviewChanged);
  connect(AdvColorSelector1, &TvxColorSelector::ColorChanged, this, &TForm1::PreviewChanged);

  // Linux window managers keep their window menus to themselves, so the
  // job file commands sit in the form's own context menu.
  LoadJobAction = new QAction(QStringLiteral("Load job\u2026"), this);
  LoadJobAction->setObjectName(QStringLiteral("LoadJobAction"));
  SaveJobAction = new QAction(QStringLiteral("Save job\u2026"), this);
  SaveJobAction->setObjectName(QStringLiteral("SaveJobAction"));
  OptionsAction = new QAction(QStringLiteral("Options\u2026"), this);
  OptionsAction->setObjectName(QStringLiteral("OptionsAction"));
  ShowSavedAction = new QAction(QStringLiteral("Show saved file in folder"), this);
  ShowSavedAction->setObjectName(QStringLiteral("ShowSavedAction"));
  ShowSavedAction->setEnabled(false);
  addAction(OptionsAction);
  addAction(LoadJobAction);
  addAction(SaveJobAction);
  addAction(ShowSavedAction);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(LoadJobAction, &QAction::triggered, this, &TForm1::LoadJobClick);
  connect(SaveJobAction, &QAction::triggered, this, &TForm1::SaveJobClick);
  connect(OptionsAction, &QAction::triggered, this, &TForm1::OptionsClick);
  connect(ShowSavedAction, &QAction::triggered, this, &TForm1::ShowSavedClick);
}

void TForm1::CenterOnScreen() {
  QScreen* Screen = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!Screen) return;
  QRect Area = Screen->availableGeometry();
  move(Area.center() - QPoint(width() / 2, height() / 2));
}

void TForm1::FormCreate() {
  Guarded([this] {
    int32_t Year = FPlatform.CurrentYear();
    if (Year > 2020) {
      QString Notice = Label9->text();
      Notice.replace(QStringLiteral("2020"), QString::number(Year));
      Label9->setText(Notice);
      Label9->adjustSize();
    }
    Edit3->setText(FontSummary(FontDialog1.Font));
  });
}

void TForm1::FormCanResize(int& NewWidth, int& NewHeight) const {
  // The window keeps the size it was made with.
  NewWidth = FFixedSize.width();
  NewHeight = FFixedSize.height();
}

void TForm1::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  if (!FFixedSize.isValid()) return;
  int W = width(), H = height();
  FormCanResize(W, H);
  if (QSize(W, H) != size()) resize(W, H);
}

TvxJobSettings TForm1::Settings() const {
  TvxJobSettings S;
  S.SourceFile = Edit1->text();
  S.Text = JoinLinesCRLF(Memo1->document()->toRawText());
  S.AngleText = Edit2->text();
  S.Font = FontDialog1.Font;
  S.RenderMode = ComboBox1->currentText();
  S.StrokeColor = AdvColorSelector1->Color();
  S.Overlay = CheckBox1->isChecked();
  S.HorizontalPosition = ComboBox2->currentText();
  S.VerticalPosition = ComboBox3->currentText();
  S.OpenAfterSave = CheckBox2->isChecked();
  return S;
}

TvxWatermarkJob TForm1::Job() const {
  return ToWatermarkJob(Settings(), FJob);
}

void TForm1::SetJob(const TvxWatermarkJob& Job) {
  FJob = Job;
  const TvxJobSettings S = FromWatermarkJob(Job, Settings());
  Memo1->setPlainText(MemoText(S.Text));
  Edit2->setText(S.AngleText);
  FontDialog1.Font = S.Font;
  Edit3->setText(FontSummary(FontDialog1.Font));
  ComboBox1->setCurrentText(S.RenderMode);
  AdvColorSelector1->SetColor(S.StrokeColor);
  CheckBox1->setChecked(S.Overlay);
  ComboBox2->setCurrentText(S.HorizontalPosition);
  ComboBox3->setCurrentText(S.VerticalPosition);
  CheckBox2->setChecked(S.OpenAfterSave);
}

bool TForm1::LoadDocument(QString Path) {
  FLastPassword.clear();
  FTypedPasswords = 0;
  // A sound file loads exactly as described; repair is only ever tried on a
  // file whose load has failed, and only when the user agrees.
  std::exception_ptr Failure;
  QString Reason;
  try {
    return LoadOnce(Path);
  } catch (const std::exception& E) {
    if (PDOC->RepairDamaged || !IsDamagedStructureError(E)) throw;
    Failure = std::current_exception();
    Reason = QString::fromStdString(E.what());
  }
  const QString Question =
      QStringLiteral(
          "\"%1\" is damaged and cannot be opened as it is:\n%2\n\nDo you want to try to "
          "repair it?")
          .arg(QDir::toNativeSeparators(Path), Reason);
  if (!FPlatform.Confirm(this, Question)) std::rethrow_exception(Failure);
  FRepairPath = Path;
  return LoadOnce(Path);
}

bool TForm1::LoadOnce(const QString& Path) {
  FUnsavedStamp = false;
  FLoadedPath.clear();
  FLoadingPath = Path;
  PDOC->RepairDamaged = !FRepairPath.isEmpty() && FRepairPath == Path;
  // Every load starts from an empty document, whatever an earlier one left.
  PDOC->ClearDocument();
  bool Loaded = false;
  // What a repair mended is told once the load is done.
  FLoadWarnings.clear();
  PDOC->OnWarning = [this](TvxCustomPDFDocument&, const std::string& Warning) {
    FLoadWarnings << QString::fromStdString(Warning);
  };
  struct TvxEndWarnings {
    TvxCustomPDFDocument& Doc;
    ~TvxEndWarnings() { Doc.OnWarning = nullptr; }
  } EndWarnings{*PDOC};
  try {
    Loaded = PDOC->LoadFromFile(LocalPath(Path));
  } catch (...) {
    PDOC->ClearDocument();
    throw;
  }
  if (!Loaded) {
    PDOC->ClearDocument();
    return false;
  }
  FLoadedPath = Path;
  if (PDOC->IsEncrypted()) {
    FPasswordPath = Path;
    FPassword = FLastPassword;
  }
  return true;
}

void TForm1::PasswordRequested(std::string& Password, bool& Continue, int32_t Tries) {
  Continue = true;
  if (Tries == 0) {
    // Most encrypted files open with the empty user password; a file being
    // loaded again (a job undone) gets the password that opened it.
    FPendingPasswords.clear();
    if (FPasswordPath == FLoadingPath && !FPassword.empty()) FPendingPasswords.push_back(FPassword);
    // A password given to an earlier try of this load (one that then failed
    // on damage, before a repair) is not asked for again.
    if (!FLastPassword.empty() &&
        (FPendingPasswords.empty() || FPendingPasswords.front() != FLastPassword))
      FPendingPasswords.push_back(FLastPassword);
    Password.clear();
    FLastPassword.clear();
    return;
  }
  if (FPendingPasswords.empty()) {
    QString Name = QDir::toNativeSeparators(FLoadingPath);
    QString Prompt =
        FTypedPasswords == 0
            ? QStringLiteral("\"%1\" is protected by a password.\nEnter the password to open it:")
                  .arg(Name)
            : QStringLiteral(
                  "Password attempt %1 was not accepted.\nEnter the password to open "
                  "\"%2\":")
                  .arg(FTypedPasswords)
                  .arg(Name);
    std::optional<QString> Typed = FPlatform.PasswordDialog(this, Prompt);
    if (!Typed) {
      Continue = false;
      return;
    }
    ++FTypedPasswords;
    // The RC4 revisions take PDFDocEncoding bytes; some writers used the
    // UTF-8 bytes as typed, so those are tried next without asking.
    std::string Doc;
    if (UnicodeToPDFDocEncoding(Typed->toStdU16String(), Doc)) FPendingPasswords.push_back(Doc);
    std::string Utf8 = Typed->toUtf8().toStdString();
    if (FPendingPasswords.empty() || FPendingPasswords.front() != Utf8)
      FPendingPasswords.push_back(Utf8);
  }
  Password = FPendingPasswords.front();
  FPendingPasswords.pop_front();
  FLastPassword = Password;
}

void TForm1::Button1Click() {
  Guarded([this] {
    // The dialog opens where the named file is.
    const QFileInfo Named(Edit1->text().trimmed());
    OpenDialog1.Directory = !Edit1->text().trimmed().isEmpty() && Named.dir().exists()
                                ? Named.absolutePath()
                                : QString();
    if (OpenDialog1.Directory.isEmpty() && RememberSettings)
      OpenDialog1.Directory = RememberedFolder();
    std::optional<QString> Path = FPlatform.OpenFileDialog(this, OpenDialog1);
    if (!Path) return;
    OpenPath(*Path);
  });
}

bool TForm1::OpenDropped(const QMimeData& Data) {
  if (!Data.hasUrls()) return false;
  for (const QUrl& Url : Data.urls()) {
    const QString Path = Url.toLocalFile();
    if (Path.isEmpty() || !Path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) continue;
    Guarded([&] { OpenPath(Path); });
    return true;
  }
  return false;
}

void TForm1::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* Event) {
  if (OpenDropped(*Event->mimeData())) Event->acceptProposedAction();
}

void TForm1::OpenFile(const QString& Path) {
  Guarded([this, &Path] { OpenPath(Path); });
}

void TForm1::OpenPath(const QString& Path) {
  {
    Edit1->setText(Path);
    FSavedPath.clear();
    FBoxPath = Path;
    if (LoadDocument(Path) && PDOC->IsLoaded()) {
      if (RememberSettings) RememberFolder(QFileInfo(Path).absolutePath());
      const int32_t Pages = PDOC->PageCount();
      QString Text = QStringLiteral("%1: %2 page%3")
                         .arg(QFileInfo(Path).fileName())
                         .arg(Pages)
                         .arg(Pages == 1 ? QString() : QStringLiteral("s"));
      if (PDOC->IsEncrypted()) Text += QStringLiteral(", encrypted");
      if (!FRepairPath.isEmpty() && FRepairPath == Path) Text += QStringLiteral(", repaired");
      ShowStatus(Text);
      if (!FLoadWarnings.isEmpty()) {
        // The details, not only on standard error; a long list is cut short.
        constexpr qsizetype Shown = 20;
        QStringList Lines = FLoadWarnings.mid(0, Shown);
        if (FLoadWarnings.size() > Shown)
          Lines << QStringLiteral("\u2026 and %1 more").arg(FLoadWarnings.size() - Shown);
        FPlatform.MessageBox(this, QStringLiteral("\"%1\" was mended while it loaded:\n%2")
                                       .arg(QFileInfo(Path).fileName(), Lines.join(u'\n')));
      }
    }
    PreviewChanged();
  }
}

void TForm1::Button2Click() {
  Guarded([this] {
    std::optional<TvxFontSpec> Font = FPlatform.FontDialog(this, FontDialog1.Font);
    if (!Font) return;
    FontDialog1.Font = *Font;
    Edit3->setText(FontSummary(FontDialog1.Font));
    PreviewChanged();
  });
}

std::optional<QString> TForm1::ChooseTarget() {
  const QFileInfo Source(FBoxPath.isEmpty() ? Edit1->text().trimmed() : FBoxPath);
  SaveDialog1.Directory = Source.absolutePath();
  SaveDialog1.FileName = Source.completeBaseName() + QStringLiteral("-watermarked.pdf");
  for (;;) {
    std::optional<QString> Chosen = FPlatform.SaveFileDialog(this, SaveDialog1);
    if (!Chosen) return std::nullopt;
    // The save appends ".pdf" to a name without it; the dialog's overwrite
    // question was about the name as typed.
    QString Target = FromLocalPath(TvxCustomPDFDocument::TargetFileName(LocalPath(*Chosen)));
    if (Target == *Chosen || !QFileInfo::exists(Target)) return Target;
    if (FPlatform.Confirm(this, QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                    .arg(QDir::toNativeSeparators(Target))))
      return Target;
  }
}

void TForm1::Button3Click() {
  Guarded([this] {
    TvxJobSettings S = Settings();
    if (S.SourceFile.isEmpty()) {
      FPlatform.MessageBox(this, QStringLiteral("No source file specified!"));
      return;
    }
    if (!QFileInfo(S.SourceFile).isFile()) {
      FPlatform.MessageBox(this, QStringLiteral("Source file cannot be found!"));
      return;
    }
    // The job's values first: a bad angle leaves the document as it is.
    const TvxWatermarkJob Stamp = ToWatermarkJob(S, FJob);

    // A stamp whose save did not happen is undone, so a retry stamps once;
    // jobs saved before it stay, as the last save wrote them.
    if (FUnsavedStamp && !UndoUnsavedStamp()) return;
    // The document stamped is the one the box names: another file typed
    // there is opened as "Open" would (and never save an empty document).
    auto Same = [](const QString& A, const QString& B) {
      return QFileInfo(A).canonicalFilePath() == QFileInfo(B).canonicalFilePath();
    };
    if (!PDOC->IsLoaded() || (!FBoxPath.isEmpty() && !Same(S.SourceFile, FBoxPath))) {
      FSavedPath.clear();
      FUnsavedStamp = false;
      FBoxPath = S.SourceFile;
      if (!LoadDocument(S.SourceFile)) return;
    }

    FUnsavedStamp = true;
    try {
      TvxJobProgressScope Progress(*this, QStringLiteral("Stamping"));
      RunWatermarkJob(*PDOC, Stamp);
    } catch (const EJobCancelled&) {
      Cancelled();
      return;
    }

    std::optional<QString> Target = ChooseTarget();
    if (!Target) return;
    // What the file cannot show (an owner password made up for restricted
    // permissions, a permission the level cannot hold) is said after the
    // save.
    QStringList Warnings;
    PDOC->OnWarning = [&Warnings](TvxCustomPDFDocument&, const std::string& Warning) {
      Warnings << QString::fromStdString(Warning);
    };
    struct TvxEndWarnings {
      TvxCustomPDFDocument& Doc;
      ~TvxEndWarnings() { Doc.OnWarning = nullptr; }
    } EndWarnings{*PDOC};
    try {
      TvxJobProgressScope Progress(*this, QStringLiteral("Saving"));
      PDOC->SaveToFile(LocalPath(*Target), 2);
    } catch (const EJobCancelled&) {
      Cancelled();
      return;
    } catch (const std::exception& E) {
      // The user learns which file was not written, and why.
      throw Exception(QStringLiteral("\"%1\" was not saved: %2")
                          .arg(QDir::toNativeSeparators(*Target), QString::fromUtf8(E.what()))
                          .toStdString());
    }
    FUnsavedStamp = false;
    FSavedPath = *Target;
    ShowSavedAction->setEnabled(true);
    const int32_t Pages = PDOC->PageCount();
    ShowStatus(QStringLiteral("Saved %1 page%2 to %3")
                   .arg(Pages)
                   .arg(Pages == 1 ? QString() : QStringLiteral("s"))
                   .arg(QFileInfo(*Target).fileName()));
    // The copy keeps the source's passwords: one that opened the source
    // opens the copy when a job is undone.
    if (PDOC->IsEncrypted()) FPasswordPath = *Target;
    if (!Warnings.isEmpty()) FPlatform.MessageBox(this, Warnings.join(QLatin1Char('\n')));
    if (S.OpenAfterSave) FPlatform.ShellOpen(QStringLiteral("open"), *Target);
  });
}

TForm1::TvxJobProgressScope::TvxJobProgressScope(TForm1& Form, const QString& Title)
    : FDoc(*Form.PDOC), FView(Form.FPlatform.StartProgress(&Form, Title)) {
  FDoc.OnJobProgress = [this](TvxCustomPDFDocument&, const TvxJobProgress& P, bool& Cancel) {
    Cancel = !FView->Show(ProgressText(P), P.Done, P.Total);
  };
}

TForm1::TvxJobProgressScope::~TvxJobProgressScope() {
  FDoc.OnJobProgress = nullptr;
}

QString TForm1::ProgressText(const TvxJobProgress& P) {
  if (P.Stage == TvxJobProgress::jsStamping)
    return QStringLiteral("Stamping page %1 of %2").arg(P.Done).arg(P.Total);
  constexpr double MB = 1024.0 * 1024.0;
  return QStringLiteral("Writing %1 of %2 MB")
      .arg(static_cast<double>(P.Done) / MB, 0, 'f', 1)
      .arg(static_cast<double>(P.Total) / MB, 0, 'f', 1);
}

bool TForm1::UndoUnsavedStamp() {
  // The file the last save wrote, else the one loaded: the document as it
  // was before the stamp.
  const QString Back =
      !FSavedPath.isEmpty() && QFileInfo(FSavedPath).isFile() ? FSavedPath : FLoadedPath;
  return Back.isEmpty() || LoadDocument(Back);
}

void TForm1::Cancelled() {
  // The document goes back to what it was before the job; the save, if it
  // had begun, left no file.
  UndoUnsavedStamp();
  ShowStatus(QStringLiteral("Cancelled: nothing was saved"));
}

void TForm1::SaveJobClick() {
  Guarded([this] {
    // A bad angle is said before the dialog asks where to save.
    const TvxWatermarkJob Saved = Job();
    std::optional<QString> Path = FPlatform.SaveFileDialog(this, SaveJobDialog);
    if (!Path) return;
    SaveWatermarkJob(LocalPath(*Path), Saved);
  });
}

void TForm1::OptionsClick() {
  Guarded([this] {
    // The controls' own values stay as they are; only the options change.
    if (std::optional<TvxWatermarkJob> Edited = FPlatform.OptionsDialog(this, FJob)) {
      FJob = *Edited;
      if (RememberSettings) SaveRememberedOptions(FJob);
      PreviewChanged();
    }
  });
}

void TForm1::ShowStatus(const QString& Text) {
  // The title keeps the form's own caption first.
  setWindowTitle(QStringLiteral("Vellumark  2.0 \u2014 ") + Text);
}

void TForm1::ShowSavedClick() {
  Guarded([this] {
    if (!FSavedPath.isEmpty())
      FPlatform.ShellOpen(QStringLiteral("open"), QFileInfo(FSavedPath).absolutePath());
  });
}

void TForm1::PreviewChanged() {
  if (Preview && Preview->isVisible()) Preview->Refresh();
}

void TForm1::PreviewClick() {
  Guarded([this] {
    if (!Preview) {
      Preview = new TvxPreviewWindow(
          [this] {
            TvxPreviewRequest Request;
            if (PDOC && PDOC->IsLoaded()) Request.Path = FLoadedPath;
            Request.Password = FPassword;
            try {
              Request.Job = Job();
            } catch (const std::exception& E) {
              Request.Problem = QString::fromUtf8(E.what());
            }
            return Request;
          },
          this);
    }
    Preview->show();
    Preview->raise();
    Preview->Refresh();
  });
}

void TForm1::LoadJobClick() {
  Guarded([this] {
    std::optional<QString> Path = FPlatform.OpenFileDialog(this, OpenJobDialog);
    if (!Path) return;
    // A refused file leaves the controls as they were.
    const TvxWatermarkJob Loaded = LoadWatermarkJob(LocalPath(*Path));
    SetJob(Loaded);
    PreviewChanged();
    const QStringList Unshown = UnshownJobSettings(Loaded);
    if (!Unshown.isEmpty())
      FPlatform.MessageBox(this, QStringLiteral("This job also sets %1, which the window does not "
                                                "show. They apply when you stamp and are saved "
                                                "with the job.")
                                     .arg(ListText(Unshown)));
  });
}

}  // namespace vx::app
