// What the window needs from the desktop: dialogs, message boxes, the shell
// and the clock. The window reaches them only through this interface, so
// tests put their own in its place.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/vxAppSettings.h"
#include "pdf/watermark/vxWatermarkJob.h"

class QWidget;

namespace vx::app {

// Settings of an open- or save-file dialog as the window declares them.
struct TvxFileDialogSettings {
  QString Title;
  QString Filter;         // "Description|pattern" pairs
  QString DefaultSuffix;  // without the dot
  bool ConfirmOverwrite = false;
  bool HideReadOnly = false;
  // Where the dialog opens and the name it proposes; empty for the
  // system's choice.
  QString Directory;
  QString FileName;
};

// A long job's progress before the user's eyes, with a way to stop it.
class TvxProgressView {
 public:
  virtual ~TvxProgressView() = default;
  // Says Text with Done of Total (Total 0: unknown); false once the user
  // has asked to cancel.
  virtual bool Show(const QString& Text, int64_t Done, int64_t Total) = 0;
};

class TvxAppPlatform {
 public:
  virtual ~TvxAppPlatform() = default;

  // The chosen path, or nothing when cancelled.
  virtual std::optional<QString> OpenFileDialog(QWidget* Owner,
                                                const TvxFileDialogSettings& Dialog) = 0;
  virtual std::optional<QString> SaveFileDialog(QWidget* Owner,
                                                const TvxFileDialogSettings& Dialog) = 0;
  // The edited font, or nothing when cancelled (then nothing changes).
  virtual std::optional<TvxFontSpec> FontDialog(QWidget* Owner, const TvxFontSpec& Current) = 0;
  // The colour dialog behind "More Colors...".
  virtual std::optional<TvxColor> ColorDialog(QWidget* Owner, TvxColor Current) = 0;
  // The job's options edited, or nothing when cancelled.
  virtual std::optional<TvxWatermarkJob> OptionsDialog(QWidget* Owner,
                                                       const TvxWatermarkJob& Current) = 0;
  // The password of an encrypted file, or nothing when cancelled.
  virtual std::optional<QString> PasswordDialog(QWidget* Owner, const QString& Prompt) = 0;

  // Shows Text with an OK button and waits.
  virtual void MessageBox(QWidget* Owner, const QString& Text) = 0;
  // A yes/no question; true for yes.
  virtual bool Confirm(QWidget* Owner, const QString& Text) = 0;
  // The message of an error a handler raised.
  virtual void ErrorBox(QWidget* Owner, const QString& Text) = 0;

  // The view of a job that starts now; it shows only once the job has
  // taken about half a second, and goes when destroyed.
  virtual std::unique_ptr<TvxProgressView> StartProgress(QWidget* Owner, const QString& Title) = 0;

  // Opens Path with the program associated with its type; never waits for it.
  virtual void ShellOpen(const QString& Verb, const QString& Path) = 0;
  virtual int32_t CurrentYear() = 0;
};

}  // namespace vx::app
