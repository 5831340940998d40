// The desktop behind the window: Qt's dialogs and message boxes, the shell
// through QDesktopServices, and the screen's resolution for the engine.
#pragma once

#include "app/vxAppPlatform.h"
#include "platform/vxScreen.h"

namespace vx::app {

class TvxQtPlatform : public TvxAppPlatform {
 public:
  std::optional<QString> OpenFileDialog(QWidget* Owner,
                                        const TvxFileDialogSettings& Dialog) override;
  std::optional<QString> SaveFileDialog(QWidget* Owner,
                                        const TvxFileDialogSettings& Dialog) override;
  std::optional<TvxFontSpec> FontDialog(QWidget* Owner, const TvxFontSpec& Current) override;
  std::optional<TvxColor> ColorDialog(QWidget* Owner, TvxColor Current) override;
  std::optional<TvxWatermarkJob> OptionsDialog(QWidget* Owner,
                                               const TvxWatermarkJob& Current) override;
  std::optional<QString> PasswordDialog(QWidget* Owner, const QString& Prompt) override;
  void MessageBox(QWidget* Owner, const QString& Text) override;
  bool Confirm(QWidget* Owner, const QString& Text) override;
  void ErrorBox(QWidget* Owner, const QString& Text) override;
  std::unique_ptr<TvxProgressView> StartProgress(QWidget* Owner, const QString& Title) override;
  void ShellOpen(const QString& Verb, const QString& Path) override;
  int32_t CurrentYear() override;
};

// The primary screen's logical resolution, for the engine's unit conversions
// and text measurement (install it before anything converts a unit).
class TvxQtScreen : public TvxScreenService {
 public:
  int32_t LogicalPixelsPerInch() const override;
};

}  // namespace vx::app
