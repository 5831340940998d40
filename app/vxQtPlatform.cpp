#include "app/vxQtPlatform.h"

#include <QColorDialog>
#include <QDate>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>
#include <cmath>

#include "app/vxFontColorDialog.h"
#include "app/vxOptionsDialog.h"
#include "app/vxProgressDialog.h"

namespace vx::app {

namespace {

QString Caption() {
  return QGuiApplication::applicationDisplayName();
}

std::optional<QString> RunFileDialog(QWidget* Owner, const TvxFileDialogSettings& Settings,
                                     QFileDialog::AcceptMode Mode) {
  QFileDialog Dialog(Owner, Settings.Title);
  Dialog.setAcceptMode(Mode);
  Dialog.setFileMode(Mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  Dialog.setNameFilter(QtNameFilters(Settings.Filter));
  Dialog.setDefaultSuffix(Settings.DefaultSuffix);
  Dialog.setOption(QFileDialog::DontConfirmOverwrite, !Settings.ConfirmOverwrite);
  if (!Settings.Directory.isEmpty()) Dialog.setDirectory(Settings.Directory);
  if (!Settings.FileName.isEmpty()) Dialog.selectFile(Settings.FileName);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Dialog.selectedFiles().constFirst();
}

}  // namespace

std::optional<QString> TvxQtPlatform::OpenFileDialog(QWidget* Owner,
                                                     const TvxFileDialogSettings& Dialog) {
  return RunFileDialog(Owner, Dialog, QFileDialog::AcceptOpen);
}

std::optional<QString> TvxQtPlatform::SaveFileDialog(QWidget* Owner,
                                                     const TvxFileDialogSettings& Dialog) {
  return RunFileDialog(Owner, Dialog, QFileDialog::AcceptSave);
}

std::optional<TvxFontSpec> TvxQtPlatform::FontDialog(QWidget* Owner, const TvxFontSpec& Current) {
  TvxFontColorDialog Dialog(Owner);
  Dialog.SetFontSpec(Current);
  if (Dialog.exec() != QDialog::Accepted) return std::nullopt;
  return Dialog.FontSpec();
}

std::optional<TvxColor> TvxQtPlatform::ColorDialog(QWidget* Owner, TvxColor Current) {
  QColor Chosen = QColorDialog::getColor(ToQColor(Current), Owner);
  if (!Chosen.isValid()) return std::nullopt;
  return FromQColor(Chosen);
}

std::optional<TvxWatermarkJob> TvxQtPlatform::OptionsDialog(QWidget* Owner,
                                                            const TvxWatermarkJob& Current) {
  TvxOptionsDialog Dialog(Owner);
  Dialog.SetJob(Current);
  if (Dialog.exec() != QDialog::Accepted) return std::nullopt;
  return Dialog.ApplyTo(Current);
}

std::optional<QString> TvxQtPlatform::PasswordDialog(QWidget* Owner, const QString& Prompt) {
  bool Ok = false;
  QString Password =
      QInputDialog::getText(Owner, Caption(), Prompt, QLineEdit::Password, QString(), &Ok);
  if (!Ok) return std::nullopt;
  return Password;
}

void TvxQtPlatform::MessageBox(QWidget* Owner, const QString& Text) {
  QMessageBox::information(Owner, Caption(), Text, QMessageBox::Ok);
}

bool TvxQtPlatform::Confirm(QWidget* Owner, const QString& Text) {
  return QMessageBox::question(Owner, Caption(), Text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void TvxQtPlatform::ErrorBox(QWidget* Owner, const QString& Text) {
  QMessageBox::critical(Owner, Caption(), Text, QMessageBox::Ok);
}

std::unique_ptr<TvxProgressView> TvxQtPlatform::StartProgress(QWidget* Owner,
                                                              const QString& Title) {
  return std::make_unique<TvxProgressDialog>(Owner, Title);
}

void TvxQtPlatform::ShellOpen(const QString& Verb, const QString& Path) {
  // The desktop's handler for the file type; only "open" exists there.
  if (Verb.compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(Path));
}

int32_t TvxQtPlatform::CurrentYear() {
  return QDate::currentDate().year();
}

int32_t TvxQtScreen::LogicalPixelsPerInch() const {
  QScreen* Screen = QGuiApplication::primaryScreen();
  if (!Screen) return 0;
  return static_cast<int32_t>(std::lround(Screen->logicalDotsPerInchY()));
}

}  // namespace vx::app
