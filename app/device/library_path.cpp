#include "device/library_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace larimo {

QStringList DeviceLibraryDirs(const QString& programDir) {
  const QDir dir(programDir);
  return {QDir::cleanPath(dir.absolutePath()),
          QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("../lib/larimo")))};
}

QString FindDeviceLibrary(const QString& programDir, const QString& fileName) {
  for (const QString& dir : DeviceLibraryDirs(programDir)) {
    const QString path = QDir(dir).filePath(fileName);
    if (QFileInfo(path).isFile()) return path;
  }
  return {};
}

QString FindDeviceLibrary(const QString& fileName) {
  if (!QCoreApplication::instance()) return {};
  return FindDeviceLibrary(QCoreApplication::applicationDirPath(), fileName);
}

}  // namespace larimo
