// The limits dialog refuses what cannot work, names it and leaves the focus
// on the field; what it accepts is what the evaluation gets.
#include "alarm/ui/dialog_alarm_limits.h"

#include <gtest/gtest.h>
#include <QLineEdit>

#include "recording_ui.h"

namespace larimo {
namespace {

TEST(DialogAlarmLimitsTest, ARefusedEntryKeepsTheFocus) {
  ModuleData d;
  d.Units[0].Mflag = kTrue;
  struct Case {
    const char *low, *high, *hysteresis;
    int field;  // 0 low, 1 high, 2 hysteresis, -1 accepted
  };
  for (const Case& c :
       {Case{"80", "10", "0", 0}, Case{"10", "x", "0", 1}, Case{"10", "20", "11", 2},
        Case{"", "20", "-1", 2}, Case{"", "20.5", "1", -1}}) {
    test::RecordingUi ui;
    DialogAlarmLimits dialog(d, {});
    EXPECT_FALSE(dialog.txtLow[1]->isEnabled());  // ID1 is not in use
    dialog.txtLow[0]->setText(QString::fromLatin1(c.low));
    dialog.txtHigh[0]->setText(QString::fromLatin1(c.high));
    dialog.txtHysteresis->setText(QString::fromLatin1(c.hysteresis));
    dialog.OKButton_Click();
    QWidget* const fields[] = {dialog.txtLow[0], dialog.txtHigh[0], dialog.txtHysteresis};
    if (c.field < 0) {
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.Result().pt100.unit[0].high, 20.5);
      EXPECT_FALSE(dialog.Result().pt100.unit[0].low.has_value());
    } else {
      EXPECT_EQ(dialog.focusWidget(), fields[c.field]) << c.low << ' ' << c.high;
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].title, QStringLiteral("エラーメッセージ"));
    }
  }
}

}  // namespace
}  // namespace larimo
