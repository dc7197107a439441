#include "device/library_path.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace larimo {
namespace {

// An installed program (<prefix>/bin) finds the library in the private
// <prefix>/lib/larimo wherever the prefix lies; a copy beside the program, as
// in a build tree, comes first.
TEST(LibraryPath, BesideTheProgramFirstThenThePrivateLibFolder) {
  QTemporaryDir prefix;
  const QString bin = prefix.filePath(QStringLiteral("bin"));
  const QString installed = prefix.filePath(QStringLiteral("lib/larimo/libBriskoSim.so"));
  const QString beside = bin + QStringLiteral("/libBriskoSim.so");
  ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(prefix.filePath(QStringLiteral("lib/larimo"))));
  EXPECT_EQ(FindDeviceLibrary(bin, QStringLiteral("libBriskoSim.so")), QString());
  ASSERT_TRUE(QFile(installed).open(QIODevice::WriteOnly));
  EXPECT_EQ(FindDeviceLibrary(bin, QStringLiteral("libBriskoSim.so")), installed);
  ASSERT_TRUE(QFile(beside).open(QIODevice::WriteOnly));
  EXPECT_EQ(FindDeviceLibrary(bin, QStringLiteral("libBriskoSim.so")), beside);
}

}  // namespace
}  // namespace larimo
