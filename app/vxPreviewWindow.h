// The watermark as it will be saved, before saving: a copy of the loaded
// file stamped in memory on the page shown and drawn by Poppler, away from
// the window's thread, again shortly after every change.
#pragma once

#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <string>

#include "pdf/watermark/vxWatermarkJob.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace vx::app {

// What the preview draws: the loaded file, the password that opened it and
// the job; Problem instead when the job cannot be made (a bad angle).
struct TvxPreviewRequest {
  QString Path;
  std::string Password;
  TvxWatermarkJob Job;
  QString Problem;
};

class TvxPreviewWindow : public QWidget {
  Q_OBJECT

 public:
  using TvxSource = std::function<TvxPreviewRequest()>;
  // How long after a change the preview draws again.
  static constexpr int DebounceMs = 200;

  explicit TvxPreviewWindow(TvxSource Source, QWidget* Parent = nullptr);
  ~TvxPreviewWindow() override;

  // Draws again once changes stop for DebounceMs.
  void Refresh();
  // The page shown, from 1, and the pages of the last file drawn.
  int Page() const { return FPage; }
  int PageCount() const { return FPageCount; }
  // The last picture drawn, and how many have been drawn.
  const QImage& Image() const { return FImage; }
  int Renders() const { return FRenders; }

  QLabel* Picture;
  QScrollArea* Scroll;
  QPushButton* PreviousPage;
  QPushButton* NextPage;
  QLabel* PageLabel;
  QLabel* Status;

 signals:
  void Rendered();

 private:
  void Render();
  void resizeEvent(QResizeEvent* Event) override;
  void Show(quint64 Generation, const QImage& Image, int Pages, const QString& Error);
  void GoTo(int Page);

  TvxSource FSource;
  QTimer FDebounce;
  QThreadPool FPool;
  // Each render is numbered: only the latest one's picture is shown.
  std::atomic<quint64> FGeneration{0};
  int FPage = 1;
  int FPageCount = 0;
  int FRenders = 0;
  QImage FImage;
};

// Stamps the request's job on one page of a copy of the file and draws that
// page at Dpi, or smaller so that it fits in Fit when Fit is valid; Error
// gets what went wrong instead. Safe on any thread.
QImage RenderPreviewPage(const TvxPreviewRequest& Request, int Page, double Dpi, int& Pages,
                         QString& Error, QSize Fit = {});

}  // namespace vx::app
