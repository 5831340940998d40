// Runs the window's tests on Qt's offscreen platform.
#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <clocale>

#include "app/vxQtPlatform.h"
#include "app_tests.h"
#include "platform/vxScreen.h"

namespace {

// Runs Test unless the command line names functions that Test lacks.
int Run(QObject& Test, int argc, char** argv) {
  for (int I = 1; I < argc; ++I) {
    QByteArray Arg(argv[I]);
    if (Arg.startsWith('-')) continue;  // options apply to every class
    if (qsizetype Colon = Arg.indexOf(':'); Colon >= 0) Arg.truncate(Colon);
    Arg += "()";
    if (Test.metaObject()->indexOfMethod(Arg.constData()) < 0) return 0;
  }
  return QTest::qExec(&Test, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QCoreApplication::setApplicationName(QStringLiteral("Vellumark"));
  // Settings the window remembers go to a test location, never the user's.
  QStandardPaths::setTestModeEnabled(true);
  // VX_TEST_SCREEN_DPI stands in for a screen of that resolution, which
  // the offscreen platform cannot be made to report.
  struct TFixedScreen : vx::TvxScreenService {
    int32_t Dpi = 0;
    int32_t LogicalPixelsPerInch() const override { return Dpi; }
  } Fixed;
  Fixed.Dpi = qEnvironmentVariableIntValue("VX_TEST_SCREEN_DPI");
  vx::app::TvxQtScreen Screen;
  vx::SetScreenService(Fixed.Dpi > 0 ? static_cast<vx::TvxScreenService*>(&Fixed) : &Screen);

  int Failed = 0;
  {
    TestSettings Settings;
    Failed += Run(Settings, argc, argv);
  }
  {
    TestWindow Window;
    Failed += Run(Window, argc, argv);
  }
  {
    TestJob Job;
    Failed += Run(Job, argc, argv);
  }
  vx::SetScreenService(nullptr);
  return Failed == 0 ? 0 : 1;
}
