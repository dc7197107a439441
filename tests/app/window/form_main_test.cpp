// The main window driven as a user would: its state after start-up, its
// buttons, closing, how it shows a run, and runs on the simulated units with
// a driven clock. Runs that need exact deliveries use in-process fake units.
#include "window/form_main.h"

#include <cstdlib>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QWindow>

#include "chart/ui/qcp.h"
#include "device/quenzel.h"
#include "fake_units.h"
#include "print/ui/app_fonts.h"
#include "recording_ui.h"
#include "settings/persisted_settings.h"

namespace larimo {
namespace {

using test::RecordingUi;

const QString kNoRoom = QStringLiteral("メモリー不足です。測定値が保存できません");

class FormMainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallFontSubstitutions();
    quenzel::SelectLibrary(QStringLiteral("BriskoSim"));
  }
  void SetUp() override {
    setenv("BRISKO_SIM_ATTACH_MS", "0", 1);
    setenv("BRISKO_SIM_CLOCK", "step:300", 1);
    unsetenv("BRISKO_SIM_FAULT");
    unsetenv("BRISKO_SIM");
    window = std::make_unique<FormMain>(data);
  }
  void TearDown() override {
    if (IsTrue(data.Measuring)) window->StopMeasure();
  }

  // Block mode with the given units in use, the fetch scripted.
  void UseScriptedBlocks(std::initializer_list<int> units, Long intervalTM, bool average) {
    window = std::make_unique<FormMain>(data, fake.Table());
    for (UnitData& u : data.Units) u.Mflag = kFalse;
    for (int u : units) data.Units[static_cast<std::size_t>(u)].Mflag = kTrue;
    data.TimerType = kFalse;
    data.IntervalTM = intervalTM;
    data.DataAverage = ToBoolean(average);
  }
  static std::vector<double> Readings(int n, double first, double step = 1.0) {
    std::vector<double> r;
    for (int i = 0; i < n; ++i) r.push_back(first + i * step);
    return r;
  }
  bool ButtonsAre(bool start, bool stop, bool others, bool disp) const {
    bool ok = window->cmdStart->isEnabled() == start && window->cmdStop->isEnabled() == stop &&
              window->cmdDisp->isEnabled() == disp && window->cmdMeasInfo->isEnabled();
    for (QPushButton* b :
         {window->cmdSetting, window->cmdPrint, window->cmdRead, window->cmdSave, window->cmdEnd}) {
      ok = ok && b->isEnabled() == others;
    }
    return ok;
  }

  RecordingUi ui;
  ModuleData data;
  std::unique_ptr<FormMain> window;
  test::FakeUnits fake;
};

TEST_F(FormMainTest, StartUpState) {
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("PT100温度測定ユニット")));
  EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("シミュレーション")));
  EXPECT_TRUE(ButtonsAre(true, false, true, false));
  EXPECT_EQ(window->cmdMeasInfo->text(), QStringLiteral("測定条件保存"));
  EXPECT_EQ(window->Frame1->title(), QStringLiteral("現在値"));
  EXPECT_EQ(window->Frame4->title(), QStringLiteral("表示範囲"));
  EXPECT_EQ(window->optWid[1]->text(), QStringLiteral("自動ｽｸﾛｰﾙ"));
  EXPECT_EQ(window->cmdMove[3]->toolTip(), QStringLiteral("移動ツールの表示"));
  EXPECT_EQ(window->Chart2D1->HeaderText(),
            QStringLiteral("開始時刻 [ ") + QString(19, QLatin1Char(' ')) + QStringLiteral(" ]"));
  EXPECT_EQ(window->Chart2D1->AxisTitle(Chart2D::Axis::X),
            QStringLiteral("開始からの経過時間（秒）"));
  EXPECT_EQ(window->Chart2D1->AxisTitle(Chart2D::Axis::Y), QStringLiteral("℃"));
  EXPECT_EQ(window->Combo1->count(), 36);
  EXPECT_EQ(window->Combo1->currentText(), QStringLiteral("100"));
  EXPECT_FALSE(window->Combo1->isEnabled());
  EXPECT_FALSE(window->cmdLeft->isEnabled());
  EXPECT_TRUE(window->optHei[0]->isChecked());
  EXPECT_TRUE(window->optWid[0]->isChecked());
  EXPECT_FALSE(window->txtVhi->isEnabled());
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMin(Chart2D::Axis::Y), -200);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 850);
  EXPECT_EQ(window->Chart2D1->SeriesLabels(),
            QStringList({"ID0 2線式", "ID1 2線式", "ID2 2線式", "ID3 2線式"}));
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(window->Chart2D1->DrawnPointCount(s), 0);
  EXPECT_TRUE(ui.shown.empty());
  // A second set-up still holds 36 widths.
  window->InitGraphParam(true);
  EXPECT_EQ(window->Combo1->count(), 36);
}

TEST_F(FormMainTest, LabelsFollowTheWiring) {
  const Integer wiring[] = {0, 1, 2, 7};
  for (int i = 0; i < 4; ++i) data.Units[static_cast<std::size_t>(i)].Connect = wiring[i];
  window->RefreshGraph(false);
  EXPECT_EQ(window->Chart2D1->SeriesLabels(),
            QStringList({"ID0 2線式", "ID1 3線式", "ID2 4線式", "ID3 4線式"}));
}

TEST_F(FormMainTest, ClosingAsksOrRefuses) {
  window->show();
  ui.answers = {MsgAnswer::No};
  EXPECT_FALSE(window->close());
  EXPECT_EQ(ui.shown.back().text, QStringLiteral("終了しますか？"));
  EXPECT_EQ(ui.shown.back().icon, MsgIcon::Question);
  EXPECT_EQ(ui.shown.back().buttons, MsgButtons::YesNo);

  data.DataNum = 5;
  ui.answers = {MsgAnswer::No};
  window->cmdEnd->click();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(ui.shown.back().text,
            QStringLiteral("データが消去されます。終了してもよろしいですか？"));
  EXPECT_EQ(data.DataNum, 5);

  data.Measuring = kTrue;
  window->SetButtons();
  EXPECT_TRUE(ButtonsAre(false, true, false, false));
  EXPECT_FALSE(window->close());
  EXPECT_EQ(ui.shown.back().text, QStringLiteral("測定中です。中止してから終了して下さい。"));
  EXPECT_EQ(ui.shown.back().title, QStringLiteral("エラーメッセージ"));
  EXPECT_EQ(ui.shown.back().icon, MsgIcon::Critical);
  data.Measuring = kFalse;
  window->SetButtons();
  EXPECT_TRUE(ButtonsAre(true, false, true, true));

  // With the data list open, closing closes it first.
  QPointer<QWidget> list = new QWidget;
  list->show();
  window->datalist = list;
  window->cmdDisp->setEnabled(false);
  ui.answers = {MsgAnswer::Yes};
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(list.isNull() || !list->isVisible());
  delete list;
}

TEST_F(FormMainTest, StartWithoutUnitsKeepsTheData) {
  for (UnitData& u : data.Units) u.Mflag = kFalse;
  data.DataNum = 3;
  window->SetButtons();
  window->cmdStart_Click();
  EXPECT_EQ(ui.shown.back().text, QStringLiteral("使用ユニットの指定がありません。"));
  EXPECT_EQ(data.DataNum, 3);
  EXPECT_TRUE(ButtonsAre(true, false, true, true));
}

TEST_F(FormMainTest, BlockRunIsShownOnTheChartAndReadouts) {
  UseScriptedBlocks({0, 1}, 50, false);
  window->winId();  // the title as the desktop shows it
  window->cmdStart_Click();
  ASSERT_TRUE(ui.shown.empty());
  EXPECT_TRUE(window->Timer2->isActive());
  EXPECT_EQ(window->Timer2->interval(), 300);
  EXPECT_TRUE(ButtonsAre(false, true, false, false));
  fake.units[0].blocks = {Readings(7, 20.0), Readings(30, 40.0)};
  fake.units[1].blocks = {Readings(30, 120.0), Readings(3, 10.0)};
  EXPECT_EQ(window->windowHandle()->title(),
            QStringLiteral("PT100温度測定ユニット  [シミュレーション]"));
  window->Timer2_Timer();
  EXPECT_EQ(window->windowHandle()->title(),
            QStringLiteral("PT100温度測定ユニット*  [シミュレーション]"));
  EXPECT_EQ(window->Label1[0]->text(), QStringLiteral("26.000"));
  EXPECT_EQ(window->Label1[1]->text(), QStringLiteral("149.000"));
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(1), 7);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(2), 30);
  EXPECT_DOUBLE_EQ(window->Chart2D1->Points().X(30), 1.5);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 850);
  window->Timer2_Timer();
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMin(Chart2D::Axis::Y), 0);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 200);
  // The chart holds every stored reading, the late ones of ID0 included.
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(1), 37);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(2), 33);
  EXPECT_DOUBLE_EQ(window->Chart2D1->Points().Y(1, 8), 40.0);
  window->cmdStop_Click();
  EXPECT_FALSE(window->Timer2->isActive());
  EXPECT_TRUE(ButtonsAre(true, false, true, true));
}

TEST_F(FormMainTest, BlockRunOnSimulatedUnits) {
  for (UnitData& u : data.Units) u.Mflag = kTrue;
  data.TimerType = kFalse;
  data.IntervalTM = 100;
  data.DataAverage = kFalse;
  data.CalcAverageNum();
  window->cmdStart_Click();
  ASSERT_TRUE(ui.shown.empty()) << ui.shown.front().text.toStdString();
  for (int c = 0; c < 20; ++c) window->Timer2_Timer();
  ASSERT_TRUE(ui.shown.empty()) << ui.shown.front().text.toStdString();
  EXPECT_GT(data.DataNum, 20);
  for (int s = 1; s <= 4; ++s) {
    EXPECT_EQ(window->Chart2D1->DrawnPointCount(s),
              data.Units[static_cast<std::size_t>(s - 1)].Count);
    EXPECT_FALSE(window->Label1[static_cast<std::size_t>(s - 1)]->text().isEmpty());
  }
  if (const QString shots = qEnvironmentVariable("LARIMO_SHOTS"); !shots.isEmpty()) {
    window->show();
    QApplication::processEvents();
    QDir().mkpath(shots);
    EXPECT_TRUE(window->grab().save(QDir(shots).filePath(QStringLiteral("form_main_run.png"))));
  }
  window->cmdStop_Click();
  EXPECT_FALSE(window->Timer2->isActive());
}

TEST_F(FormMainTest, ScrollModesAndWidthsSetTheAxisInSeconds) {
  data.IntervalTM = 500;
  data.Measuring = kTrue;
  data.DataNum = 130;
  window->Combo1->setCurrentText(QStringLiteral("100"));
  window->optWid[1]->click();
  EXPECT_TRUE(window->Combo1->isEnabled());
  EXPECT_FALSE(window->cmdLeft->isEnabled());
  EXPECT_EQ(window->view.AxisXStart, 100);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMin(Chart2D::Axis::X), 50.0);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::X), 100.0);
  data.DataNum = 450;
  window->Combo1->setCurrentText(QStringLiteral("200"));
  EXPECT_EQ(window->view.AxisXStart, 400);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::X), 299.5);
  window->optWid[2]->click();
  EXPECT_TRUE(window->cmdLeft->isEnabled());
  window->cmdLeft->click();
  EXPECT_EQ(window->view.AxisXStart, 300);
  window->optWid[0]->click();
  EXPECT_FALSE(window->Combo1->isEnabled());
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMin(Chart2D::Axis::X), 0.5);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::X), 250.0);  // 1 .. 500
  data.Measuring = kFalse;
}

TEST_F(FormMainTest, YRangeAutomaticAndFixed) {
  window->optHei[1]->click();
  EXPECT_TRUE(window->txtVhi->isEnabled());
  EXPECT_EQ(window->txtVhi->text(), QStringLiteral("850"));
  EXPECT_EQ(window->txtVlow->text(), QStringLiteral("-200"));
  window->txtVhi->setText(QStringLiteral("12.5"));
  window->txtVlow->setText(QStringLiteral("-3"));
  window->cmdSetScaleY->click();
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 12.5);
  window->txtVhi->setText(QStringLiteral("100"));
  window->txtVlow->setText(QStringLiteral("100"));
  window->cmdSetScaleY->click();
  EXPECT_EQ(ui.texts(), std::vector<QString>{QStringLiteral("設定値に誤りがあります。")});
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 12.5);
  window->txtVhi->setText(QStringLiteral("abc"));
  window->cmdSetScaleY->click();
  EXPECT_EQ(ui.shown.size(), 1u);  // not a number: ignored without a message

  // At Start, text that is no number is refused like wrong ends, no crash.
  window->view.AxisXEnd = 777;
  EXPECT_FALSE(window->SetGraphParam());
  EXPECT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown.back().text, QStringLiteral("設定値に誤りがあります。"));
  EXPECT_EQ(window->view.AxisXEnd, 777);  // X window unchanged
  window->txtVhi->setText(QStringLiteral("100"));
  EXPECT_FALSE(window->SetGraphParam());

  // Back to automatic: resistance without data gives 0 .. 400.
  data.MeasKind = kTrue;
  window->optHei[0]->click();
  EXPECT_FALSE(window->txtVhi->isEnabled());
  EXPECT_TRUE(window->txtVhi->text().isEmpty());
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 400);
  data.Units[0].Mflag = kTrue;
  data.DataNum = 1;
  data.Units[0].MaxValue = 100.0f;
  data.Units[0].MinValue = -12.5f;
  data.Units[0].Count = 1;
  window->optHei[1]->click();
  window->optHei[0]->click();
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMin(Chart2D::Axis::Y), -100);
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 200);
  // A change of kind makes the range automatic again with the new title.
  window->optHei[1]->click();
  data.DataNum = 0;
  window->RefreshGraph(true);
  EXPECT_TRUE(window->optHei[0]->isChecked());
  EXPECT_EQ(window->Chart2D1->AxisTitle(Chart2D::Axis::Y), QStringLiteral("Ω"));
  EXPECT_DOUBLE_EQ(window->Chart2D1->AxisMax(Chart2D::Axis::Y), 400);
}

TEST_F(FormMainTest, ReadoutsAndMissingReadings) {
  for (int i = 0; i < 4; ++i) data.Units[static_cast<std::size_t>(i)].Mflag = ToBoolean(i != 1);
  const Single values[] = {25.5f, 99.0f, -12.25f, 1234.5678f};
  for (int i = 0; i < 4; ++i) data.Units[static_cast<std::size_t>(i)].Values[0] = values[i];
  window->Label1[1]->setText(QStringLiteral("keep"));
  data.DataNum = 1;
  window->ShowReadouts();
  EXPECT_EQ(window->Label1[0]->text(), QStringLiteral("25.500"));
  EXPECT_EQ(window->Label1[1]->text(), QStringLiteral("keep"));
  EXPECT_EQ(window->Label1[2]->text(), QStringLiteral("-12.250"));
  EXPECT_EQ(window->Label1[3]->text(), QStringLiteral("1234.568"));
  data.Units[0].Values[1] = kNoReading;
  data.DataNum = 2;
  window->ShowReadouts();
  EXPECT_EQ(window->Label1[0]->text(), QStringLiteral("-999.000"));
  window->ClearReadouts();
  for (QLabel* l : window->Label1) EXPECT_TRUE(l->text().isEmpty());
  // A missing reading draws no point; the neighbours are drawn.
  window->Feed().DrawSample(1);
  window->Feed().DrawSample(2);
  data.Units[0].Values[2] = 30.0f;
  window->Feed().DrawSample(3);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(1), 2);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(2), 0);
  EXPECT_EQ(window->Chart2D1->PointCount(2), 3);
  // Cut back to one point after the data were cleared: nothing is drawn.
  data.ClearData();
  window->Feed().DrawSample(1);
  for (int s = 1; s <= 4; ++s) {
    EXPECT_EQ(window->Chart2D1->PointCount(s), 1);
    EXPECT_EQ(window->Chart2D1->DrawnPointCount(s), 0);
  }
}

TEST_F(FormMainTest, RefusedOrFailedStartLeavesNoWrongChart) {
  // A run on the chart, then a fixed range that is no range: Start refuses
  // before anything is cleared.
  UseScriptedBlocks({0}, 10, false);
  window->cmdStart_Click();
  fake.units[0].blocks = {Readings(20, 30.0)};
  window->Timer2_Timer();
  window->cmdStop_Click();
  window->optHei[1]->click();
  window->txtVhi->setText(QStringLiteral("100"));
  window->txtVlow->setText(QStringLiteral("100"));
  window->cmdStart_Click();
  EXPECT_EQ(ui.texts().back(), QStringLiteral("設定値に誤りがあります。"));
  EXPECT_EQ(data.DataNum, 20);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(1), 20);
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_TRUE(ButtonsAre(true, false, true, true));
  // A start that fails after the store was cleared leaves no earlier point.
  window->txtVlow->setText(QStringLiteral("0"));
  fake.units[0].startResult = 9;
  window->cmdStart_Click();
  EXPECT_EQ(ui.texts().back(), QStringLiteral("エラーのため測定開始できません。"));
  EXPECT_EQ(data.DataNum, 0);
  EXPECT_EQ(window->Chart2D1->DrawnPointCount(1), 0);
  EXPECT_TRUE(window->Label1[0]->text().isEmpty());
  EXPECT_FALSE(window->Chart2D1->IsBatched());
}

TEST_F(FormMainTest, AxisTitleFollowsTheKindOfTheDataShown) {
  // Resistance data shown while the window was set for Pt100.
  ASSERT_EQ(window->Chart2D1->AxisTitle(Chart2D::Axis::Y), QStringLiteral("℃"));
  data.MeasKind = kTrue;
  data.Units[0].Mflag = kTrue;
  for (Long k = 0; k < 5; ++k) data.Units[0].Values[static_cast<std::size_t>(k)] = 100.0f + k;
  data.Units[0].Count = 5;
  data.DataNum = 5;
  window->ShowReadData();
  EXPECT_EQ(window->Chart2D1->AxisTitle(Chart2D::Axis::Y), QStringLiteral("Ω"));
}

TEST_F(FormMainTest, MeasInfoStoresTheSettings) {
  data.IntervalTM = 4000;
  data.Units[3].Mflag = kTrue;
  window->cmdMeasInfo->click();
  EXPECT_TRUE(ui.shown.empty());
  ModuleData loaded;
  LoadSettings(loaded);
  EXPECT_EQ(loaded.IntervalTM, 4000);
  EXPECT_TRUE(IsTrue(loaded.Units[3].Mflag));
}

}  // namespace
}  // namespace larimo
