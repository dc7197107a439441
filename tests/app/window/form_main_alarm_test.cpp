// The main window shows a unit in alarm in its readout and the limits on
// its chart.
#include <gtest/gtest.h>

#include "alarm/ui/alarm_panel.h"
#include "fake_units.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

TEST(AlarmPanelTest, AUnitInAlarmShowsItInItsReadout) {
  test::RecordingUi ui;
  test::FakeUnits fake;
  ModuleData data;
  FormMain window(data, fake.Table());
  for (UnitData& u : data.Units) u.Mflag = kFalse;
  data.Units[0].Mflag = data.Units[1].Mflag = kTrue;
  data.TimerType = kFalse;
  data.IntervalTM = 10;
  AlarmSettings s;
  s.pt100.unit[0] = {10, 50};
  s.pt100.unit[1].high = 50;
  window.Alarms().Monitor().SetSettings(s);
  window.Alarms().Refresh();
  EXPECT_EQ(window.Chart2D1->LimitLineCount(1), 2);
  EXPECT_EQ(window.Chart2D1->LimitLineCount(2), 1);

  window.cmdStart_Click();
  const QColor plain = window.Label1[1]->palette().color(QPalette::Window);
  fake.units[0].blocks = {{40.0, 60.0}};
  fake.units[1].blocks = {{40.0, 45.0}};
  window.Timer2_Timer();
  EXPECT_EQ(window.Alarms().Indicator(0)->text(), QStringLiteral("▲"));
  EXPECT_NE(window.Label1[0]->palette().color(QPalette::Window), plain);
  EXPECT_EQ(window.Alarms().Indicator(1)->text(), QString());
  EXPECT_EQ(window.Label1[1]->palette().color(QPalette::Window), plain);
  EXPECT_EQ(window.Label1[0]->text(), QStringLiteral("60.000"));  // the reading stays as it was
  fake.units[0].blocks = {{5.0}};
  window.Timer2_Timer();
  EXPECT_EQ(window.Alarms().Indicator(0)->text(), QStringLiteral("▼"));
  window.StopMeasure();
}

}  // namespace
}  // namespace larimo
