#pragma once
// The filters of the file choosers, in the "description|pattern|" form, and
// the wording of file failures shown to the user.

#include <QString>

namespace larimo {

inline const QString kCsvFilter = QStringLiteral("CSVファイル  (*.csv)|*.csv|");
inline const QString kMeasurementFilter = QStringLiteral("専用ファイル  (*.rk0)|*.rk0|");

// A failure message that names the file: reason as the file routines gave
// it, preceded by the file name unless the reason already names it; fallback
// when there is no reason at all.
inline QString FileFailureText(const QString& reason, const QString& fileName,
                               const QString& fallback) {
  if (reason.isEmpty()) return fallback + QLatin1Char('\n') + fileName;
  if (reason.contains(fileName)) return reason;
  return fileName + QLatin1Char('\n') + reason;
}

}  // namespace larimo
