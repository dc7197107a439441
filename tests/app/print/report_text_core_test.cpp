#include "print/report_text.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

TEST(ReportText, IntervalInSecondsAsAPlainNumber) {
  EXPECT_EQ(ReportIntervalText(kTrue, 2500), "2.5 (sec)");
  EXPECT_EQ(ReportIntervalText(kTrue, 1000), "1 (sec)");
  EXPECT_EQ(ReportIntervalText(kTrue, 500), "0.5 (sec)");
  EXPECT_EQ(ReportIntervalText(kTrue, 65535000), "65535 (sec)");
  EXPECT_EQ(ReportIntervalText(kTrue, 1234), "1.234 (sec)");
}

TEST(ReportText, IntervalInMillisecondsAsAWholeNumber) {
  EXPECT_EQ(ReportIntervalText(kFalse, 200), "200 (msec)");
  EXPECT_EQ(ReportIntervalText(kFalse, 2500), "2500 (msec)");
  // Only True (-1) is the seconds mode, as for the run itself.
  EXPECT_EQ(ReportIntervalText(1, 20), "20 (msec)");
}

TEST(ReportText, KindAndAveraging) {
  EXPECT_EQ(ReportKindText(kFalse), "Pt100");
  EXPECT_EQ(ReportKindText(kTrue), "抵抗値");
  EXPECT_EQ(ReportKindText(1), "抵抗値");
  EXPECT_EQ(ReportAverageText(kFalse), "無し");
  EXPECT_EQ(ReportAverageText(kTrue), "有り");
  EXPECT_EQ(ReportAverageText(1), "無し");
}

TEST(ReportText, DateInTheGeneralFormat) {
  EXPECT_EQ(ReportDateText(QDateTime(QDate(2026, 12, 8), QTime(1, 2, 3))), "2026/12/08 1:02:03");
  EXPECT_EQ(ReportDateText(QDateTime(QDate(2027, 1, 31), QTime(23, 59, 0))), "2027/01/31 23:59:00");
}

TEST(ReportText, LinesInPrintOrder) {
  ModuleData d;
  d.StartTime = "2026/12/8 9:5:7";
  d.TimerType = kFalse;
  d.IntervalTM = 200;
  d.MeasKind = kFalse;
  d.DataAverage = kTrue;
  const std::vector<ReportLine> lines = ReportLines(d);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].label, "測定日");
  EXPECT_EQ(lines[0].value, "2026/12/8 9:5:7");
  EXPECT_EQ(lines[1].label, "測定間隔");
  EXPECT_EQ(lines[1].value, "200 (msec)");
  EXPECT_EQ(lines[2].label, "種類");
  EXPECT_EQ(lines[2].value, "Pt100");
  EXPECT_EQ(lines[3].label, "平均化");
  EXPECT_EQ(lines[3].value, "有り");
  EXPECT_EQ(ReportTitle(), "----- Pt100温度測定ユニット -----");
  EXPECT_EQ(ReportSubTitle(), "＜取込設定＞");
}

}  // namespace
}  // namespace larimo
