// Vellumark: the watermark window.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/vxMainForm.h"
#include "app/vxPreviewWindow.h"
#include "app/vxQtPlatform.h"

namespace {

// True when a local X server answers on Path (abstract or file socket).
bool ConnectsTo(const std::string& Path, bool Abstract) {
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  const size_t Offset = Abstract ? 1 : 0;
  if (Path.size() + Offset >= sizeof(Address.sun_path)) return false;
  std::memcpy(Address.sun_path + Offset, Path.data(), Path.size());
  const int Fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) return false;
  const socklen_t Length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + Offset + Path.size());
  const bool Ok = connect(Fd, reinterpret_cast<sockaddr*>(&Address), Length) == 0;
  close(Fd);
  return Ok;
}

// A local display (":N", "unix:N") whose server does not answer; anything
// else, a remote display among them, is left to Qt.
bool LocalXServerMissing(const std::string& Display) {
  std::string Rest = Display;
  if (Rest.rfind("unix:", 0) == 0) Rest = Rest.substr(4);
  if (Rest.empty() || Rest[0] != ':') return false;
  size_t End = 1;
  while (End < Rest.size() && Rest[End] >= '0' && Rest[End] <= '9') ++End;
  if (End == 1) return false;
  const std::string Socket = "/tmp/.X11-unix/X" + Rest.substr(1, End - 1);
  return !ConnectsTo(Socket, true) && !ConnectsTo(Socket, false);
}

// Qt would abort without a window system; say so in one line instead.
const char* MissingDisplay() {
  const char* Platform = std::getenv("QT_QPA_PLATFORM");
  if (Platform && *Platform) return nullptr;
  const char* Wayland = std::getenv("WAYLAND_DISPLAY");
  if (Wayland && *Wayland) return nullptr;
  const char* X = std::getenv("DISPLAY");
  if (!X || !*X) return "neither DISPLAY nor WAYLAND_DISPLAY is set";
  if (LocalXServerMissing(X)) return "no X server answers on DISPLAY";
  return nullptr;
}

// The window, and beside it the preview once it has drawn (or failed to).
QImage Picture(vx::app::TForm1& Form) {
  const QImage Window = Form.grab().toImage();
  vx::app::TvxPreviewWindow* Preview = Form.Preview;
  if (!Preview || !Preview->isVisible()) return Window;
  if (Preview->Renders() == 0) {
    QEventLoop Wait;
    QObject::connect(Preview, &vx::app::TvxPreviewWindow::Rendered, &Wait, &QEventLoop::quit);
    QTimer::singleShot(30000, &Wait, &QEventLoop::quit);
    Wait.exec();
  }
  QApplication::processEvents();
  const QImage Side = Preview->grab().toImage();
  constexpr int Gap = 16;
  QImage Both(Window.width() + Gap + Side.width(), std::max(Window.height(), Side.height()),
              QImage::Format_ARGB32);
  Both.fill(Qt::white);
  QPainter Painter(&Both);
  Painter.drawImage(0, 0, Window);
  Painter.drawImage(Window.width() + Gap, 0, Side);
  return Both;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* Reason = MissingDisplay()) {
    std::fprintf(stderr, "vellumark: no display (%s); the window cannot be shown here.\n", Reason);
    return 1;
  }
  QApplication App(argc, argv);
  // Qt takes the C locale from the environment; PDF numbers never follow it.
  std::setlocale(LC_NUMERIC, "C");
  QCoreApplication::setApplicationName(QStringLiteral("Vellumark"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VX_VERSION));

  QCommandLineParser Options;
  Options.setApplicationDescription(QStringLiteral("Stamps text watermarks onto PDF files."));
  const QCommandLineOption Help = Options.addHelpOption();
  const QCommandLineOption Version = Options.addVersionOption();
  QCommandLineOption Screenshot(QStringLiteral("screenshot"),
                                QStringLiteral("Save a picture of the window to FILE and exit."),
                                QStringLiteral("FILE"));
  Options.addOption(Screenshot);
  QCommandLineOption Open(QStringLiteral("open"), QStringLiteral("Open the PDF file FILE."),
                          QStringLiteral("FILE"));
  Options.addOption(Open);
  QCommandLineOption ShowPreview(QStringLiteral("preview"),
                                 QStringLiteral("Show the preview window as well."));
  Options.addOption(ShowPreview);
  // The window takes no arguments: anything it does not know is passed over.
  Options.parse(QCoreApplication::arguments());
  if (Options.isSet(Help)) Options.showHelp();
  if (Options.isSet(Version)) Options.showVersion();

  vx::app::TvxQtScreen Screen;
  vx::SetScreenService(&Screen);
  vx::app::TvxQtPlatform Platform;
  vx::app::TForm1::RememberSettings = true;
  int Result;
  {
    vx::app::TForm1 Form1(Platform);
    Form1.show();
    if (Options.isSet(Open)) Form1.OpenFile(Options.value(Open));
    if (Options.isSet(ShowPreview)) Form1.PreviewClick();
    if (Options.isSet(Screenshot)) {
      QApplication::processEvents();
      bool Saved = Picture(Form1).save(Options.value(Screenshot), "PNG");
      if (!Saved)
        std::fprintf(stderr, "vellumark: cannot write %s\n", qPrintable(Options.value(Screenshot)));
      Result = Saved ? 0 : 1;
    } else {
      Result = App.exec();
    }
  }
  vx::SetScreenService(nullptr);
  return Result;
}
