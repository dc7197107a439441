#include "files/atomic_write.h"

#include <QSaveFile>

namespace larimo {

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
    return true;
  }
  if (error) {
    *error =
        QStringLiteral("ファイル %1 を保存できませんでした。\n%2").arg(path, file.errorString());
  }
  file.cancelWriting();
  return false;
}

}  // namespace larimo
