// The chart's context menu: the rows in view saved as CSV, and a save that
// fails told to the user.
#include <gtest/gtest.h>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include "chart/ui/chart2d.h"
#include "recording_ui.h"
#include "store/module_data.h"

namespace larimo {
namespace {

void Choose(Chart2D& chart, const QString& text) {
  QMenu menu;
  chart.FillMenu(menu);
  for (QAction* a : menu.actions()) {
    if (a->text() == text) return a->trigger();
  }
  ADD_FAILURE() << "no entry " << text.toStdString();
}

TEST(ChartMenu, SavesTheRowsInViewAsCsvAndReportsAFailedSave) {
  test::RecordingUi ui;
  Chart2D chart;
  chart.SetSeriesCount(2);
  const std::vector<float> id0{10, 20, 30, 40};
  chart.ReplaceAllPoints(4, 1.0, {id0.data(), nullptr}, kNoReading);
  chart.SetAxisRange(Chart2D::Axis::X, 1, 4);
  chart.SetUserRange(Chart2D::Axis::X, 1.5, 3.5);  // samples 2 and 3 in view
  QTemporaryDir dir;
  ui.files.push_back(dir.filePath(QStringLiteral("view")));  // the suffix is added
  ui.files.push_back(dir.filePath(QStringLiteral("missing/view.csv")));
  const QString entry = QStringLiteral("表示範囲のデータをCSVで保存...");
  Choose(chart, entry);
  QFile f(dir.filePath(QStringLiteral("view.csv")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().endsWith("\r\n2,20,-999\r\n3,30,-999\r\n"));
  EXPECT_TRUE(ui.shown.empty());
  Choose(chart, entry);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.contains(QStringLiteral("view.csv")));
}

}  // namespace
}  // namespace larimo
