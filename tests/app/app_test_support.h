// What the window's tests share: a platform whose dialogs answer from
// queues and record what they were asked, and small PDF files.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/vxAppPlatform.h"

namespace vxtest {

class TFakePlatform : public vx::app::TvxAppPlatform {
 public:
  // Answers, taken from the front; a null string or an empty queue answers
  // "cancelled".
  QStringList OpenAnswers;
  QStringList SaveAnswers;
  QStringList PasswordAnswers;
  std::deque<bool> ConfirmAnswers;
  std::optional<vx::app::TvxFontSpec> FontAnswer;
  std::optional<vx::TvxColor> ColorAnswer;
  // The options dialog's answer: nothing cancels it.
  std::optional<vx::TvxWatermarkJob> OptionsAnswer;
  int32_t Year = 2020;
  bool OpenThrows = false;  // the open dialog fails with a plain std::exception

  // What was asked.
  std::vector<vx::app::TvxFileDialogSettings> OpenDialogs;
  std::vector<vx::app::TvxFileDialogSettings> SaveDialogs;
  std::vector<vx::app::TvxFontSpec> FontDialogs;
  std::vector<vx::TvxWatermarkJob> OptionsDialogs;
  QStringList PasswordPrompts;
  QStringList Messages;
  QStringList Confirms;
  QStringList Errors;
  std::vector<std::pair<QString, QString>> ShellOpens;
  // Progress: the views started, every text shown, and the count of shows
  // after which the user cancels (never when negative).
  QStringList ProgressTitles;
  QStringList ProgressTexts;
  int CancelAtShow = -1;

  std::optional<QString> OpenFileDialog(QWidget*,
                                        const vx::app::TvxFileDialogSettings& D) override {
    OpenDialogs.push_back(D);
    if (OpenThrows) throw std::runtime_error("open dialog failed");
    return Take(OpenAnswers);
  }
  std::optional<QString> SaveFileDialog(QWidget*,
                                        const vx::app::TvxFileDialogSettings& D) override {
    SaveDialogs.push_back(D);
    return Take(SaveAnswers);
  }
  std::optional<vx::app::TvxFontSpec> FontDialog(QWidget*,
                                                 const vx::app::TvxFontSpec& Current) override {
    FontDialogs.push_back(Current);
    return FontAnswer;
  }
  std::optional<vx::TvxColor> ColorDialog(QWidget*, vx::TvxColor) override { return ColorAnswer; }
  std::optional<vx::TvxWatermarkJob> OptionsDialog(QWidget*,
                                                   const vx::TvxWatermarkJob& Current) override {
    OptionsDialogs.push_back(Current);
    return OptionsAnswer;
  }
  std::optional<QString> PasswordDialog(QWidget*, const QString& Prompt) override {
    PasswordPrompts << Prompt;
    return Take(PasswordAnswers);
  }
  void MessageBox(QWidget*, const QString& Text) override { Messages << Text; }
  bool Confirm(QWidget*, const QString& Text) override {
    Confirms << Text;
    if (ConfirmAnswers.empty()) return false;
    bool Answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return Answer;
  }
  void ErrorBox(QWidget*, const QString& Text) override { Errors << Text; }
  std::unique_ptr<vx::app::TvxProgressView> StartProgress(QWidget*, const QString& Title) override {
    ProgressTitles << Title;
    return std::make_unique<TFakeProgress>(*this);
  }
  void ShellOpen(const QString& Verb, const QString& Path) override {
    ShellOpens.emplace_back(Verb, Path);
  }
  int32_t CurrentYear() override { return Year; }

 private:
  class TFakeProgress : public vx::app::TvxProgressView {
   public:
    explicit TFakeProgress(TFakePlatform& Owner) : FOwner(Owner) {}
    bool Show(const QString& Text, int64_t, int64_t) override {
      FOwner.ProgressTexts << Text;
      return FOwner.CancelAtShow < 0 || FOwner.ProgressTexts.size() < FOwner.CancelAtShow;
    }

   private:
    TFakePlatform& FOwner;
  };
  static std::optional<QString> Take(QStringList& Queue) {
    if (Queue.isEmpty()) return std::nullopt;
    QString Answer = Queue.takeFirst();
    if (Answer.isNull()) return std::nullopt;
    return Answer;
  }
};

// A one-page US Letter document with a line of Helvetica text.
QByteArray OnePageLetterPdf();
// True when the engine itself opens the encrypted File with Password (the
// window's password tests need a security handler underneath).
bool EngineOpens(const QString& File, const std::string& Password);
// The message the engine's load of File raises, with or without repair;
// empty when it loads.
QString LoadError(const QString& File, bool Repair);
// A file of the tests' data folder.
QString TestData(const char* Name);
// The file's bytes; empty when it cannot be read.
QByteArray ReadAll(const QString& Path);
bool WriteAll(const QString& Path, const QByteArray& Bytes);

// The body of object Number in a file the writer made (uncompressed
// objects, CR LF lines); empty when there is none.
QByteArray ObjectBody(const QByteArray& File, int Number);
// Object numbers of the references in the /Contents array of the first page.
std::vector<int> PageContents(const QByteArray& File);
// The data of stream object Number.
QByteArray StreamData(const QByteArray& File, int Number);

}  // namespace vxtest
