// The window tests' main: a QApplication on the offscreen platform (no display is
// ever needed), then every GoogleTest test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

// The font library keeps 288 bytes it never frees once Qt has set fonts up; that
// one report is not ours. Everything else still fails the tests.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
