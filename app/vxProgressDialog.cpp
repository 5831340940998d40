#include "app/vxProgressDialog.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

namespace vx::app {

TvxProgressDialog::TvxProgressDialog(QWidget* Owner, const QString& Title, qint64 DelayMs)
    : FDialog(std::make_unique<QProgressDialog>(Owner)), FDelayMs(DelayMs) {
  FDialog->setObjectName(QStringLiteral("ProgressDialog"));
  FDialog->setWindowTitle(Title);
  FDialog->setWindowModality(Qt::WindowModal);
  FDialog->setAutoClose(false);
  FDialog->setAutoReset(false);
  // Its own timer would show it while the job holds the event loop.
  FDialog->setMinimumDuration(std::numeric_limits<int>::max());
  FDialog->setRange(0, 1000);
  FDialog->hide();
  FClock.start();
}

bool TvxProgressDialog::Show(const QString& Text, int64_t Done, int64_t Total) {
  if (FDialog->wasCanceled()) return false;
  const qint64 Now = FClock.elapsed();
  if (Now < FDelayMs || (FLastShown >= 0 && Now - FLastShown < StepMs)) return true;
  FLastShown = Now;
  FDialog->setLabelText(Text);
  if (Total > 0) {
    FDialog->setRange(0, 1000);
    FDialog->setValue(static_cast<int>(std::clamp<int64_t>(Done, 0, Total) * 1000 / Total));
  } else {
    FDialog->setRange(0, 0);  // busy: the end is not known
  }
  if (!FDialog->isVisible()) FDialog->show();
  // The only moment the job lets the window draw and the user click.
  QCoreApplication::processEvents();
  return !FDialog->wasCanceled();
}

}  // namespace vx::app
