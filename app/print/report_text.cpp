#include "print/report_text.h"

namespace larimo {

QString ReportTitle() { return QStringLiteral("----- Pt100温度測定ユニット -----"); }

QString ReportSubTitle() { return QStringLiteral("＜取込設定＞"); }

QString ReportDateText(const QDateTime& when) {
  return when.toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

QString ReportIntervalText(Boolean timerType, Long intervalTM) {
  // The store reads the mode the same way when it works out the averaging:
  // only True (-1) means seconds.
  if (IsTrue(timerType)) {
    // Shortest exact decimal: 2500 -> "2.5", 1000 -> "1", 500 -> "0.5".
    return QString::number(intervalTM / 1000.0, 'g', 15) + QStringLiteral(" (sec)");
  }
  return QString::number(intervalTM) + QStringLiteral(" (msec)");
}

QString ReportKindText(Boolean measKind) {
  // Any non-zero kind is resistance, as for the measuring range.
  return IsSet(measKind) ? QStringLiteral("抵抗値") : QStringLiteral("Pt100");
}

QString ReportAverageText(Boolean dataAverage) {
  // Averaging happens only for True (-1); the report says what was done.
  return IsTrue(dataAverage) ? QStringLiteral("有り") : QStringLiteral("無し");
}

std::vector<ReportLine> ReportLines(const ModuleData& data) {
  return {
      {QStringLiteral("測定日"), data.StartTime},
      {QStringLiteral("測定間隔"), ReportIntervalText(data.TimerType, data.IntervalTM)},
      {QStringLiteral("種類"), ReportKindText(data.MeasKind)},
      {QStringLiteral("平均化"), ReportAverageText(data.DataAverage)},
  };
}

}  // namespace larimo
