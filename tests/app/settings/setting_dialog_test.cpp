#include "settings/ui/dialog_setting.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "recording_ui.h"
#include "settings/setting_checks.h"

namespace larimo {
namespace {

using test::RecordingUi;

const QString kUnitsMessage = QStringLiteral("使用ユニットにチェックが付いていません。");
const QString kTimeMessage = QStringLiteral("時間の入力に誤りがあります。");

TEST(SettingChecks, MillisecondStepsFromOneToTenThousand) {
  EXPECT_EQ(IntervalFromEntry(false, "1", false), 10);
  EXPECT_EQ(IntervalFromEntry(false, "0", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(false, "10000", false), 100000);
  EXPECT_EQ(IntervalFromEntry(false, "10001", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(false, "-1", false), std::nullopt);
  // Averaging has no minimum of its own in milliseconds mode.
  EXPECT_EQ(IntervalFromEntry(false, "1", true), 10);
}

TEST(SettingChecks, SecondsFromOneOrTenTo65535) {
  EXPECT_EQ(IntervalFromEntry(true, "1", false), 1000);
  EXPECT_EQ(IntervalFromEntry(true, "0", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(true, "65535", false), 65535000);
  EXPECT_EQ(IntervalFromEntry(true, "65536", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(true, "9", true), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(true, "10", true), 10000);
  EXPECT_EQ(IntervalFromEntry(true, "65535", true), 65535000);
}

TEST(SettingChecks, OverflowEmptyAndTextAreInvalid) {
  // 3,000,000 s is 3e9 ms: beyond a signed 32-bit integer.
  EXPECT_EQ(IntervalFromEntry(true, "3000000", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(false, "300000000", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(true, "99999999999", false), std::nullopt);
  for (const char* bad : {"", "   ", "abc", "1x", "x1", "1.2.3", "inf", "nan"}) {
    EXPECT_EQ(IntervalFromEntry(true, bad, false), std::nullopt) << bad;
    EXPECT_EQ(IntervalFromEntry(false, bad, false), std::nullopt) << bad;
  }
}

TEST(SettingChecks, FractionsRoundHalfToEven) {
  EXPECT_EQ(EntryToWhole(" 12 "), 12);
  EXPECT_EQ(EntryToWhole("2.5"), 2);
  EXPECT_EQ(EntryToWhole("3.5"), 4);
  EXPECT_EQ(EntryToWhole("0.4"), 0);
  EXPECT_EQ(IntervalFromEntry(false, "2.5", false), 20);
  // 0.5 rounds to 0 seconds: invalid, although the text is not zero.
  EXPECT_EQ(IntervalFromEntry(true, "0.5", false), std::nullopt);
  EXPECT_EQ(IntervalFromEntry(true, "1.5", false), 2000);
}

TEST(SettingChecks, EntryTextsAndWiringIndex) {
  EXPECT_EQ(IntervalEntryText(true, 1000), "1");
  EXPECT_EQ(IntervalEntryText(false, 250), "25");
  EXPECT_EQ(IntervalEntryText(true, 1500), "1.5");
  EXPECT_EQ(ConnectListIndex(0), 0);
  EXPECT_EQ(ConnectListIndex(1), 1);
  EXPECT_EQ(ConnectListIndex(2), 2);
  EXPECT_EQ(ConnectListIndex(3), 2);
  EXPECT_EQ(ConnectListIndex(-1), 2);
}

class SettingDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.Units[0].Mflag = kTrue;
    d.TimerType = kTrue;
    d.IntervalTM = 1000;
    d.MeasKind = kFalse;
    d.DataAverage = kFalse;
    d.CalcAverageNum();
    d.ClearData();
  }
  // Clicks OK and reports whether the dialog accepted.
  static bool ClickOk(DialogSetting& dlg) {
    dlg.OKButton->click();
    return dlg.result() == QDialog::Accepted && IsTrue(dlg.SettingOK);
  }
  ModuleData d;
  RecordingUi ui;
};

TEST_F(SettingDialogTest, LoadsSecondsModeAndUnits) {
  d.Units[2].Mflag = kTrue;
  d.Units[1].Mflag = 1;  // only -1 is True for the boxes
  d.Units[0].Connect = 1;
  d.Units[2].Connect = 2;
  DialogSetting dlg(d);
  EXPECT_EQ(dlg.windowTitle(), "取込設定");
  EXPECT_TRUE(dlg.chkID[0]->isChecked());
  EXPECT_FALSE(dlg.chkID[1]->isChecked());
  EXPECT_TRUE(dlg.chkID[2]->isChecked());
  EXPECT_FALSE(dlg.chkID[3]->isChecked());
  EXPECT_EQ(dlg.Combo1[0]->currentIndex(), 1);
  EXPECT_EQ(dlg.Combo1[2]->currentIndex(), 2);
  EXPECT_EQ(dlg.Combo1[3]->currentIndex(), 0);
  for (QComboBox* c : dlg.Combo1) {
    ASSERT_EQ(c->count(), 3);
    EXPECT_EQ(c->itemText(0), "２線式");
    EXPECT_EQ(c->itemText(1), "３線式");
    EXPECT_EQ(c->itemText(2), "４線式");
    EXPECT_FALSE(c->isEditable());
  }
  EXPECT_FALSE(dlg.optTimer[0]->isChecked());
  EXPECT_TRUE(dlg.optTimer[1]->isChecked());
  EXPECT_EQ(dlg.txtTime[0]->text(), "");
  EXPECT_EQ(dlg.txtTime[1]->text(), "1");
  EXPECT_TRUE(dlg.optType[0]->isChecked());
  EXPECT_FALSE(dlg.optType[1]->isChecked());
  EXPECT_FALSE(dlg.chkAverage->isChecked());
}

TEST_F(SettingDialogTest, LoadsMillisecondModeResistanceAndAveraging) {
  d.TimerType = kFalse;
  d.IntervalTM = 250;
  d.MeasKind = 1;     // non-zero is resistance
  d.DataAverage = 5;  // non-zero ticks the box
  DialogSetting dlg(d);
  EXPECT_TRUE(dlg.optTimer[0]->isChecked());
  EXPECT_FALSE(dlg.optTimer[1]->isChecked());
  EXPECT_EQ(dlg.txtTime[0]->text(), "25");
  EXPECT_EQ(dlg.txtTime[1]->text(), "");
  EXPECT_FALSE(dlg.optType[0]->isChecked());
  EXPECT_TRUE(dlg.optType[1]->isChecked());
  EXPECT_TRUE(dlg.chkAverage->isChecked());
  // Loading the box does not count as a click: the setting keeps its value.
  EXPECT_EQ(d.DataAverage, 5);
}

TEST_F(SettingDialogTest, WiringOutsideTheListShowsAsFourWire) {
  d.Units[1].Connect = 7;
  d.Units[3].Connect = -2;
  DialogSetting dlg(d);
  EXPECT_EQ(dlg.Combo1[1]->currentText(), "４線式");
  EXPECT_EQ(dlg.Combo1[3]->currentText(), "４線式");
}

TEST_F(SettingDialogTest, NoUnitReportsOnlyTheUnitsEvenWithABadInterval) {
  DialogSetting dlg(d);
  for (QCheckBox* c : dlg.chkID) c->setChecked(false);
  dlg.txtTime[1]->setText("abc");
  EXPECT_FALSE(ClickOk(dlg));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, kUnitsMessage);
  EXPECT_EQ(ui.shown[0].title, "エラーメッセージ");
  EXPECT_EQ(ui.shown[0].icon, MsgIcon::Critical);
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::Ok);
  // The entries stay for correction; nothing was stored.
  EXPECT_EQ(dlg.txtTime[1]->text(), "abc");
  EXPECT_TRUE(IsTrue(d.Units[0].Mflag));
}

TEST_F(SettingDialogTest, IntervalEdgesThroughOk) {
  struct Case {
    bool seconds;
    bool average;
    const char* entry;
    bool valid;
  };
  const Case cases[] = {
      {false, false, "1", true},       {false, false, "0", false}, {false, false, "10000", true},
      {false, false, "10001", false},  {true, false, "1", true},   {true, false, "65535", true},
      {true, false, "65536", false},   {true, true, "9", false},   {true, true, "10", true},
      {true, false, "3000000", false}, {true, false, "", false},   {false, false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    ui.shown.clear();
    DialogSetting dlg(d);
    dlg.optTimer[c.seconds ? 1 : 0]->setChecked(true);
    if (c.average != dlg.chkAverage->isChecked()) dlg.chkAverage->click();
    dlg.txtTime[c.seconds ? 1 : 0]->setText(c.entry);
    EXPECT_EQ(ClickOk(dlg), c.valid);
    if (c.valid) {
      EXPECT_TRUE(ui.shown.empty());
    } else {
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].text, kTimeMessage);
      EXPECT_EQ(ui.shown[0].icon, MsgIcon::Critical);
      EXPECT_EQ(ui.shown[0].title, "エラーメッセージ");
      // The box that was read has the focus again, its entry selected.
      QLineEdit* box = dlg.txtTime[c.seconds ? 1 : 0];
      EXPECT_EQ(dlg.focusWidget(), box);
      EXPECT_EQ(box->selectedText(), QString::fromUtf8(c.entry));
    }
  }
}

TEST_F(SettingDialogTest, OnlyTheSelectedModesBoxIsRead) {
  {
    DialogSetting dlg(d);
    dlg.optTimer[0]->setChecked(true);
    dlg.txtTime[0]->setText("30");
    dlg.txtTime[1]->setText("abc");
    EXPECT_TRUE(ClickOk(dlg));
    EXPECT_EQ(d.TimerType, kFalse);
    EXPECT_EQ(d.IntervalTM, 300);
  }
  {
    DialogSetting dlg(d);
    dlg.optTimer[1]->setChecked(true);
    dlg.txtTime[0]->setText("99999999");
    dlg.txtTime[1]->setText("7");
    EXPECT_TRUE(ClickOk(dlg));
    EXPECT_EQ(d.TimerType, kTrue);
    EXPECT_EQ(d.IntervalTM, 7000);
  }
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(SettingDialogTest, StoresEverythingWithAveragingInMilliseconds) {
  DialogSetting dlg(d);
  dlg.chkID[0]->setChecked(false);
  dlg.chkID[1]->setChecked(true);
  dlg.chkID[3]->setChecked(true);
  dlg.Combo1[1]->setCurrentIndex(2);
  dlg.Combo1[3]->setCurrentIndex(1);
  dlg.optType[1]->setChecked(true);
  dlg.optTimer[0]->setChecked(true);
  dlg.txtTime[0]->setText("50");
  dlg.chkAverage->click();
  ASSERT_TRUE(ClickOk(dlg));
  EXPECT_EQ(d.Units[0].Mflag, kFalse);
  EXPECT_EQ(d.Units[1].Mflag, kTrue);
  EXPECT_EQ(d.Units[2].Mflag, kFalse);
  EXPECT_EQ(d.Units[3].Mflag, kTrue);
  EXPECT_EQ(d.Units[1].Connect, 2);
  EXPECT_EQ(d.Units[3].Connect, 1);
  EXPECT_EQ(d.MeasKind, kTrue);
  EXPECT_EQ(d.TimerType, kFalse);
  EXPECT_EQ(d.IntervalTM, 500);
  EXPECT_EQ(d.DataAverage, kTrue);
  EXPECT_EQ(d.AverageNum, 50);
}

TEST_F(SettingDialogTest, AveragingInSecondsTakesAHundredAndOffTakesOne) {
  {
    DialogSetting dlg(d);
    dlg.txtTime[1]->setText("20");
    dlg.chkAverage->click();
    ASSERT_TRUE(ClickOk(dlg));
    EXPECT_EQ(d.AverageNum, 100);
    EXPECT_EQ(d.IntervalTM, 20000);
  }
  {
    DialogSetting dlg(d);
    ASSERT_TRUE(dlg.chkAverage->isChecked());
    dlg.chkAverage->click();
    ASSERT_TRUE(ClickOk(dlg));
    EXPECT_EQ(d.DataAverage, kFalse);
    EXPECT_EQ(d.AverageNum, 1);
  }
}

TEST_F(SettingDialogTest, FractionStoredAsItWasChecked) {
  DialogSetting dlg(d);
  dlg.optTimer[0]->setChecked(true);
  dlg.txtTime[0]->setText("2.5");
  ASSERT_TRUE(ClickOk(dlg));
  EXPECT_EQ(d.IntervalTM, 20);
}

// Ticking averaging and leaving with "ｷｬﾝｾﾙ" once left the flag changed
// under a stale AverageNum, so the next run stored readings under the wrong
// time base.
TEST_F(SettingDialogTest, CancelLeavesEverySettingAsItWas) {
  const Long avgBefore = d.AverageNum;
  DialogSetting dlg(d);
  dlg.chkAverage->click();
  EXPECT_EQ(d.DataAverage, kFalse);  // not before OK
  dlg.txtTime[1]->setText("5");
  dlg.Combo1[0]->setCurrentIndex(2);
  dlg.CancelButton->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_FALSE(IsTrue(dlg.SettingOK));
  EXPECT_EQ(d.DataAverage, kFalse);
  EXPECT_EQ(d.AverageNum, avgBefore);
  EXPECT_EQ(d.IntervalTM, 1000);
  EXPECT_EQ(d.Units[0].Connect, 0);
}

TEST_F(SettingDialogTest, AveragingMinimumFollowsTheBoxAtOk) {
  DialogSetting dlg(d);
  dlg.txtTime[1]->setText("9");
  dlg.chkAverage->click();  // on: 9 s is now too short
  EXPECT_FALSE(ClickOk(dlg));
  dlg.chkAverage->click();  // off again
  EXPECT_TRUE(ClickOk(dlg));
  EXPECT_EQ(d.IntervalTM, 9000);
}

TEST_F(SettingDialogTest, ClosingByTheFrameActsAsCancel) {
  DialogSetting dlg(d);
  dlg.show();
  dlg.txtTime[1]->setText("30");
  dlg.close();
  EXPECT_FALSE(IsTrue(dlg.SettingOK));
  EXPECT_EQ(d.IntervalTM, 1000);
}

}  // namespace
}  // namespace larimo
