#include "app/vxPreviewWindow.h"

#include <poppler-qt6.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/watermark/vxPageRange.h"

namespace vx::app {

QImage RenderPreviewPage(const TvxPreviewRequest& Request, int Page, double Dpi, int& Pages,
                         QString& Error, QSize Fit) {
  Pages = 0;
  if (!Request.Problem.isEmpty()) {
    Error = Request.Problem;
    return {};
  }
  if (Request.Path.isEmpty()) {
    Error = QStringLiteral("Open a PDF file to see the watermark on it.");
    return {};
  }
  std::string Bytes;
  try {
    TvxPDFDocument Doc;
    Doc.RepairDamaged = true;
    Doc.OnPassword = [&](TvxCustomPDFDocument&, std::string& Password, bool& Continue,
                         int32_t Tries) {
      Continue = Tries < 1;
      Password = Tries == 0 ? Request.Password : std::string();
    };
    if (!Doc.LoadFromFile(Request.Path.toLocal8Bit().toStdString())) {
      Error = QStringLiteral("The file cannot be opened.");
      return {};
    }
    Pages = Doc.PageCount();
    if (Pages <= 0) {
      Error = QStringLiteral("The file has no pages.");
      return {};
    }
    Page = std::clamp(Page, 1, Pages);
    // Only the page shown is stamped; the job's own range decides whether
    // it gets a watermark at all.
    TvxWatermarkJob Job = Request.Job;
    Job.Encryption.reset();
    Job.OpenAfterSave = false;
    const bool InRange = Job.Pages.empty() || [&] {
      try {
        for (int32_t P : ParsePageRange(Job.Pages, Pages))
          if (P == Page) return true;
      } catch (const Exception&) {
      }
      return false;
    }();
    if (InRange) {
      Job.Pages = std::to_string(Page);
      RunWatermarkJob(Doc, Job);
    }
    TvxMemoryStream Out;
    Doc.WriteDocument(Out);
    Bytes = Out.DataString();
  } catch (const Exception& E) {
    Error = QString::fromUtf8(E.what());
    return {};
  } catch (const std::exception& E) {
    Error = QString::fromUtf8(E.what());
    return {};
  }
  const QByteArray Password = QByteArray::fromStdString(Request.Password);
  std::unique_ptr<Poppler::Document> Drawn =
      Poppler::Document::loadFromData(QByteArray::fromStdString(Bytes), Password, Password);
  if (!Drawn || Drawn->isLocked()) {
    Error = QStringLiteral("The stamped page cannot be drawn.");
    return {};
  }
  Drawn->setRenderHint(Poppler::Document::Antialiasing);
  Drawn->setRenderHint(Poppler::Document::TextAntialiasing);
  std::unique_ptr<Poppler::Page> Shown = Drawn->page(Page - 1);
  if (!Shown) {
    Error = QStringLiteral("The stamped page cannot be drawn.");
    return {};
  }
  // The whole page in view: no scrolling to find the watermark.
  const QSizeF Points = Shown->pageSizeF();
  if (Fit.isValid() && Points.width() > 0 && Points.height() > 0)
    Dpi =
        std::min({Dpi, 72.0 * Fit.width() / Points.width(), 72.0 * Fit.height() / Points.height()});
  return Shown->renderToImage(std::max(Dpi, 8.0), std::max(Dpi, 8.0));
}

TvxPreviewWindow::TvxPreviewWindow(TvxSource Source, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FSource(std::move(Source)) {
  setObjectName(QStringLiteral("PreviewWindow"));
  setWindowTitle(QStringLiteral("Preview"));
  FPool.setMaxThreadCount(1);
  auto* Outer = new QVBoxLayout(this);
  Scroll = new QScrollArea(this);
  Picture = new QLabel(Scroll);
  Picture->setAlignment(Qt::AlignCenter);
  Scroll->setWidget(Picture);
  Scroll->setWidgetResizable(true);
  // A white page shows against a darker ground.
  Scroll->setBackgroundRole(QPalette::Mid);
  Outer->addWidget(Scroll, 1);
  auto* Bar = new QHBoxLayout;
  PreviousPage = new QPushButton(QStringLiteral("\u25C0"), this);
  PreviousPage->setToolTip(QStringLiteral("Previous page"));
  NextPage = new QPushButton(QStringLiteral("\u25B6"), this);
  NextPage->setToolTip(QStringLiteral("Next page"));
  PageLabel = new QLabel(this);
  Status = new QLabel(this);
  Status->setWordWrap(true);
  Bar->addWidget(PreviousPage);
  Bar->addWidget(PageLabel);
  Bar->addWidget(NextPage);
  Bar->addWidget(Status, 1);
  Outer->addLayout(Bar);
  connect(PreviousPage, &QPushButton::clicked, this, [this] { GoTo(FPage - 1); });
  connect(NextPage, &QPushButton::clicked, this, [this] { GoTo(FPage + 1); });
  FDebounce.setSingleShot(true);
  FDebounce.setInterval(DebounceMs);
  connect(&FDebounce, &QTimer::timeout, this, &TvxPreviewWindow::Render);
  // The size the user gave it last time.
  const QSize Size = QSettings().value(QStringLiteral("Preview/Size"), QSize(520, 680)).toSize();
  resize(Size.isValid() ? Size : QSize(520, 680));
}

TvxPreviewWindow::~TvxPreviewWindow() {
  QSettings().setValue(QStringLiteral("Preview/Size"), size());
  // A render still running finishes before what it reports to is gone.
  FPool.waitForDone();
}

void TvxPreviewWindow::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  // Drawn again to the new size once the user stops dragging.
  if (FRenders > 0) Refresh();
}

void TvxPreviewWindow::Refresh() {
  FDebounce.start();
}

void TvxPreviewWindow::GoTo(int Page) {
  if (Page < 1 || (FPageCount > 0 && Page > FPageCount) || Page == FPage) return;
  FPage = Page;
  Render();
}

void TvxPreviewWindow::Render() {
  FDebounce.stop();
  const quint64 Generation = ++FGeneration;
  TvxPreviewRequest Request = FSource();
  const int Page = FPage;
  const double Ratio = std::max(1.0, devicePixelRatioF());
  const double Dpi = 144.0 * Ratio;
  // Room inside the scroll area, less a margin for its frame.
  const QSize Room = Scroll->viewport()->size() - QSize(4, 4);
  const QSize Fit(static_cast<int>(Room.width() * Ratio), static_cast<int>(Room.height() * Ratio));
  Status->setText(QStringLiteral("Drawing\u2026"));
  FPool.start([this, Generation, Request = std::move(Request), Page, Dpi, Fit] {
    int Pages = 0;
    QString Error;
    QImage Image = RenderPreviewPage(Request, Page, Dpi, Pages, Error, Fit);
    // A newer render makes this one's picture stale.
    if (Generation != FGeneration) return;
    QMetaObject::invokeMethod(
        this, [this, Generation, Image, Pages, Error] { Show(Generation, Image, Pages, Error); },
        Qt::QueuedConnection);
  });
}

void TvxPreviewWindow::Show(quint64 Generation, const QImage& Image, int Pages,
                            const QString& Error) {
  if (Generation != FGeneration) return;
  FPageCount = Pages;
  if (FPageCount > 0 && FPage > FPageCount) FPage = FPageCount;
  PageLabel->setText(FPageCount > 0 ? QStringLiteral("%1 / %2").arg(FPage).arg(FPageCount)
                                    : QString());
  PreviousPage->setEnabled(FPage > 1);
  NextPage->setEnabled(FPage < FPageCount);
  Status->setText(Error);
  FImage = Image;
  QPixmap Pixmap = Image.isNull() ? QPixmap() : QPixmap::fromImage(Image);
  Pixmap.setDevicePixelRatio(std::max(1.0, devicePixelRatioF()));
  Picture->setPixmap(Pixmap);
  ++FRenders;
  emit Rendered();
}

}  // namespace vx::app
