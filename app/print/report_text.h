#pragma once
// The texts of the printed report: its title, the subtitle of the measurement
// conditions and the four label/value lines, worked out from the data store.
// Kept apart from the page layout so they can be checked without a printer.

#include <vector>

#include <QDateTime>
#include <QString>

#include "store/module_data.h"

namespace larimo {

struct ReportLine {
  QString label;
  QString value;
};

// "----- Pt100温度測定ユニット -----"
QString ReportTitle();
// "＜取込設定＞"
QString ReportSubTitle();

// The date and time of printing in the general date format, e.g.
// "2026/12/08 1:28:53".
QString ReportDateText(const QDateTime& when);

// "2.5 (sec)" in seconds mode (IntervalTM / 1000 as a plain number),
// "200 (msec)" in milliseconds mode.
QString ReportIntervalText(Boolean timerType, Long intervalTM);
// "Pt100" for temperatures, "抵抗値" for resistances.
QString ReportKindText(Boolean measKind);
// "無し" without averaging, "有り" with it.
QString ReportAverageText(Boolean dataAverage);

// The four lines under the subtitle, in print order: measurement date,
// interval, kind, averaging.
std::vector<ReportLine> ReportLines(const ModuleData& data);

}  // namespace larimo
