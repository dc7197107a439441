// main() of the window-free test program: a QCoreApplication (no display,
// no Qt Gui), with QSettings pointed at a private folder so that no test
// reads or writes the user's settings.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("XDG_STATE_HOME", QFile::encodeName(config.path()));  // run journals
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
