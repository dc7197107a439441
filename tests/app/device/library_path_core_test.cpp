#include "device/library_path.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace larimo {
namespace {

void Touch(const QString& path) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// An installed program (<prefix>/bin) finds the library in the private
// <prefix>/lib/larimo wherever the prefix lies; a copy beside the program, as
// in a build tree, comes first.
TEST(LibraryPath, BesideTheProgramFirstThenThePrivateLibFolder) {
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  const QString bin = prefix.filePath(QStringLiteral("bin"));
  const QString name = QStringLiteral("libBriskoSim.so");
  ASSERT_TRUE(QDir().mkpath(bin));
  EXPECT_EQ(FindDeviceLibrary(bin, name), QString());

  const QString installed = prefix.filePath(QStringLiteral("lib/larimo/") + name);
  Touch(installed);
  EXPECT_EQ(FindDeviceLibrary(bin, name), installed);

  const QString beside = bin + QLatin1Char('/') + name;
  Touch(beside);
  EXPECT_EQ(FindDeviceLibrary(bin, name), beside);
}

}  // namespace
}  // namespace larimo
