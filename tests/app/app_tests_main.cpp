// Runs the window's tests on Qt's offscreen platform.
#include <QApplication>
#include <QTest>
#include <clocale>

#include "app/vxQtPlatform.h"
#include "app_tests.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QCoreApplication::setApplicationName(QStringLiteral("Vellumark"));
  vx::app::TvxQtScreen Screen;
  vx::SetScreenService(&Screen);

  int Failed = 0;
  {
    TestSettings Settings;
    Failed += QTest::qExec(&Settings, argc, argv);
  }
  {
    TestWindow Window;
    Failed += QTest::qExec(&Window, argc, argv);
  }
  vx::SetScreenService(nullptr);
  return Failed == 0 ? 0 : 1;
}
