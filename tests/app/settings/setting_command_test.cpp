#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "modal.h"
#include "recording_ui.h"
#include "settings/ui/dialog_setting.h"
#include "window/form_main.h"

namespace larimo {
namespace {

using test::RecordingUi;
using test::WhenModal;

const QString kQuestion = QStringLiteral("設定を変更するとデータが消去されます。よろしいですか？");

class SettingCommandTest : public ::testing::Test {
 protected:
  // A finished run of n samples on ID0.
  void FakeRun(Long n) {
    d.Units[0].Mflag = kTrue;
    for (Long i = 0; i < n; ++i) d.Units[0].Values[static_cast<size_t>(i)] = 20.0f + i;
    d.Units[0].Count = n;
    d.DataNum = n;
    w.SetButtons();
    w.Label1[0]->setText("25.000");
  }
  RecordingUi ui;
  ModuleData d;
  FormMain w{d};
};

TEST_F(SettingCommandTest, WithoutDataNoQuestionAndTheChartIsSetUpAgain) {
  ASSERT_EQ(w.Chart2D1->AxisTitle(Chart2D::Axis::Y), "℃");
  auto modal = WhenModal<DialogSetting>([](DialogSetting* dlg) {
    dlg->optType[1]->setChecked(true);
    dlg->OKButton->click();
  });
  w.cmdSetting_Click();
  EXPECT_TRUE(modal.ran());
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(d.MeasKind, kTrue);
  // The kind changed: the Y axis title follows.
  EXPECT_EQ(w.Chart2D1->AxisTitle(Chart2D::Axis::Y), "Ω");
}

TEST_F(SettingCommandTest, AnsweringNoOpensNothingAndKeepsEverything) {
  FakeRun(10);
  ui.answers.push_back(MsgAnswer::No);
  auto modal = WhenModal<DialogSetting>([](DialogSetting* dlg) { dlg->OKButton->click(); }, 300);
  w.cmdSetting_Click();
  EXPECT_FALSE(modal.ran());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, kQuestion);
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(d.DataNum, 10);
  EXPECT_TRUE(w.cmdDisp->isEnabled());
}

TEST_F(SettingCommandTest, CancelKeepsTheDataAndTheSettings) {
  FakeRun(10);
  const Long avg = d.AverageNum;
  auto modal = WhenModal<DialogSetting>([](DialogSetting* dlg) {
    dlg->chkAverage->click();
    dlg->CancelButton->click();
  });
  w.cmdSetting_Click();
  EXPECT_TRUE(modal.ran());
  EXPECT_EQ(d.DataNum, 10);
  EXPECT_EQ(d.Units[0].Values[9], 29.0f);
  EXPECT_EQ(d.DataAverage, kFalse);
  EXPECT_EQ(d.AverageNum, avg);
  EXPECT_EQ(w.Label1[0]->text(), "25.000");
}

TEST_F(SettingCommandTest, AcceptedSettingsClearTheDataAndCloseTheList) {
  FakeRun(10);
  w.cmdDisp_Click();
  ASSERT_FALSE(w.datalist.isNull());
  ASSERT_FALSE(w.cmdDisp->isEnabled());
  auto modal = WhenModal<DialogSetting>([](DialogSetting* dlg) {
    dlg->chkID[1]->setChecked(true);
    dlg->OKButton->click();
  });
  w.cmdSetting_Click();
  EXPECT_TRUE(modal.ran());
  EXPECT_TRUE(w.datalist.isNull());
  EXPECT_EQ(d.DataNum, 0);
  EXPECT_EQ(d.Units[0].Values[0], kNoReading);
  EXPECT_EQ(d.Units[1].Mflag, kTrue);
  EXPECT_FALSE(w.cmdDisp->isEnabled());
  EXPECT_EQ(w.Label1[0]->text(), "");
  // The kind did not change: the title stays.
  EXPECT_EQ(w.Chart2D1->AxisTitle(Chart2D::Axis::Y), "℃");
  EXPECT_TRUE(w.Chart2D1->SeriesLabels().join(' ').contains("ID1"));
}

}  // namespace
}  // namespace larimo
