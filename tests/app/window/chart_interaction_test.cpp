// The mouse on the main window's chart during a run: a view of the user's
// stops the following; a double-click or a scroll mode choice resumes it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include "chart/ui/qcp.h"
#include "fake_units.h"
#include "print/ui/app_fonts.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

TEST(ChartInteraction, ZoomDuringARunStopsFollowingUntilDoubleClickOrScrollMode) {
  InstallFontSubstitutions();
  test::RecordingUi ui;
  test::FakeUnits fake;
  ModuleData data;
  FormMain window(data, fake.Table());
  for (UnitData& u : data.Units) u.Mflag = kFalse;
  data.Units[0].Mflag = kTrue;
  data.TimerType = kFalse;
  data.IntervalTM = 10;
  data.DataAverage = kFalse;
  window.show();
  Chart2D& chart = *window.Chart2D1;
  const QLabel* notice = chart.findChild<QLabel*>(QStringLiteral("followNotice"));
  ASSERT_NE(notice, nullptr);
  auto cycles = [&](int n) {
    for (int c = 0; c < n; ++c) {
      fake.units[0].blocks.push_back(std::vector<double>(30, 21.5));
      window.Timer2_Timer();
    }
    QApplication::processEvents();
  };
  auto followsView = [&] {
    return chart.AxisMin(Chart2D::Axis::X) == SampleSeconds(10, window.view.AxisXStart) &&
           chart.AxisMax(Chart2D::Axis::X) == SampleSeconds(10, window.view.AxisXEnd);
  };
  window.cmdStart_Click();
  cycles(2);
  ASSERT_TRUE(followsView());
  ASSERT_TRUE(notice->isHidden());

  QCustomPlot* plot = chart.Plot();
  const QPointF inside = plot->axisRect()->rect().center();
  QWheelEvent wheel(inside, plot->mapToGlobal(inside), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(plot, &wheel);
  const double zoomedMin = chart.AxisMin(Chart2D::Axis::X);
  const double zoomedMax = chart.AxisMax(Chart2D::Axis::X);
  EXPECT_LT(zoomedMax - zoomedMin, SampleSeconds(10, window.view.AxisXEnd - 1));
  cycles(10);  // 360 samples: the program's window has grown past them
  EXPECT_EQ(chart.AxisMin(Chart2D::Axis::X), zoomedMin);
  EXPECT_EQ(chart.AxisMax(Chart2D::Axis::X), zoomedMax);
  EXPECT_FALSE(notice->isHidden());

  QMouseEvent twice(QEvent::MouseButtonDblClick, inside, plot->mapToGlobal(inside), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(plot, &twice);
  EXPECT_TRUE(followsView());
  EXPECT_TRUE(notice->isHidden());

  QApplication::sendEvent(plot, &wheel);
  cycles(1);
  EXPECT_FALSE(followsView());
  window.optWid[0]->click();  // the scroll mode in force, chosen again
  EXPECT_TRUE(followsView());
  window.StopMeasure();
}

}  // namespace
}  // namespace larimo
