// The progress of a long job in a window-modal dialog with a Cancel button.
#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <memory>

#include "app/vxAppPlatform.h"

namespace vx::app {

class TvxProgressDialog final : public TvxProgressView {
 public:
  // Shown once the job has taken DelayMs; a quick job never flashes it.
  TvxProgressDialog(QWidget* Owner, const QString& Title, qint64 DelayMs = 500);
  bool Show(const QString& Text, int64_t Done, int64_t Total) override;
  QProgressDialog& Dialog() { return *FDialog; }

 private:
  // Redrawing and looking for a click more often only slows the job.
  static constexpr qint64 StepMs = 50;
  std::unique_ptr<QProgressDialog> FDialog;
  QElapsedTimer FClock;
  qint64 FDelayMs;
  qint64 FLastShown = -1;
};

}  // namespace vx::app
