// main() of every application test program. Runs headless unless a platform
// is given, and points QSettings at a private folder so that no test reads or
// writes the user's settings.
#include <cstdlib>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#if defined(__SANITIZE_THREAD__)
// Qt is not instrumented. Its thread pool (used by Qt itself, e.g. by file
// dialogs and image work) hands each task to a pooled thread through Qt's
// own locks, which ThreadSanitizer cannot see, so it reports the task's
// delete there as racing with its new on the main thread. The program's own
// code runs on the main thread only; the device library's threads are
// checked by its own test programs, without this.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so.6\n"
         "race:libQt6Gui.so.6\n"
         "race:libQt6Widgets.so.6\n";
}
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("XDG_STATE_HOME", QFile::encodeName(config.path()));  // run journals
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
