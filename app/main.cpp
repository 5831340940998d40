// Vellumark: the watermark window.
#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPixmap>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/vxMainForm.h"
#include "app/vxQtPlatform.h"

namespace {

// Qt would abort without a window system; say so in one line instead.
bool HasDisplay() {
  const char* Platform = std::getenv("QT_QPA_PLATFORM");
  if (Platform && *Platform) return true;
  const char* X = std::getenv("DISPLAY");
  const char* Wayland = std::getenv("WAYLAND_DISPLAY");
  return (X && *X) || (Wayland && *Wayland);
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "vellumark: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the window "
                 "cannot be shown here.\n");
    return 1;
  }
  QApplication App(argc, argv);
  // Qt takes the C locale from the environment; PDF numbers never follow it.
  std::setlocale(LC_NUMERIC, "C");
  QCoreApplication::setApplicationName(QStringLiteral("Vellumark"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VX_VERSION));

  QCommandLineParser Options;
  Options.setApplicationDescription(QStringLiteral("Stamps text watermarks onto PDF files."));
  Options.addHelpOption();
  Options.addVersionOption();
  QCommandLineOption Screenshot(QStringLiteral("screenshot"),
                                QStringLiteral("Save a picture of the window to FILE and exit."),
                                QStringLiteral("FILE"));
  Options.addOption(Screenshot);
  Options.process(App);

  vx::app::TvxQtScreen Screen;
  vx::SetScreenService(&Screen);
  vx::app::TvxQtPlatform Platform;
  int Result;
  {
    vx::app::TForm1 Form1(Platform);
    if (Options.isSet(Screenshot)) {
      Form1.show();
      QApplication::processEvents();
      bool Saved = Form1.grab().save(Options.value(Screenshot), "PNG");
      if (!Saved)
        std::fprintf(stderr, "vellumark: cannot write %s\n", qPrintable(Options.value(Screenshot)));
      Result = Saved ? 0 : 1;
    } else {
      Form1.show();
      Result = App.exec();
    }
  }
  vx::SetScreenService(nullptr);
  return Result;
}
