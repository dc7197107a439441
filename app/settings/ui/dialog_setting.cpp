#include "settings/ui/dialog_setting.h"

#include <algorithm>
#include <cstdint>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/setting_checks.h"
#include "store/user_interface.h"

namespace larimo {

DialogSetting::DialogSetting(ModuleData& d, QWidget* parent) : QDialog(parent), d_(d) {
  setWindowTitle(QStringLiteral("取込設定"));
  setModal(true);
  BuildForm();
  FormLoad();
}

void DialogSetting::BuildForm() {
  // Units and wiring: one row per unit, ID0 at the top.
  auto* units = new QGroupBox(QStringLiteral("使用ユニットと接続方式"), this);
  auto* unitGrid = new QGridLayout(units);
  unitGrid->setHorizontalSpacing(16);
  for (int u = 0; u < kUnitCount; ++u) {
    const auto i = static_cast<size_t>(u);
    chkID[i] = new QCheckBox(QStringLiteral("ID%1").arg(u), units);
    Combo1[i] = new QComboBox(units);
    Combo1[i]->setEditable(false);
    unitGrid->addWidget(chkID[i], u, 0);
    unitGrid->addWidget(Combo1[i], u, 1);
  }

  auto* kind = new QGroupBox(QStringLiteral("種類"), this);
  auto* kindBox = new QVBoxLayout(kind);
  optType[0] = new QRadioButton(QStringLiteral("Pt100"), kind);
  optType[1] = new QRadioButton(QStringLiteral("抵抗値"), kind);
  kindBox->addWidget(optType[0]);
  kindBox->addWidget(optType[1]);
  kindBox->addStretch(1);

  auto* interval = new QGroupBox(QStringLiteral("測定間隔"), this);
  auto* timeGrid = new QGridLayout(interval);
  optTimer[0] = new QRadioButton(QStringLiteral("ミリ秒"), interval);
  optTimer[1] = new QRadioButton(QStringLiteral("秒"), interval);
  const QStringList unitLabels = {QStringLiteral("×10msec"), QStringLiteral("秒")};
  for (int m = 0; m < 2; ++m) {
    const auto i = static_cast<size_t>(m);
    txtTime[i] = new QLineEdit(interval);
    txtTime[i]->setAlignment(Qt::AlignRight);
    txtTime[i]->setFixedWidth(
        txtTime[i]->fontMetrics().horizontalAdvance(QStringLiteral("88888888")) + 12);
    timeGrid->addWidget(optTimer[i], m, 0);
    timeGrid->addWidget(txtTime[i], m, 1);
    timeGrid->addWidget(new QLabel(unitLabels[m], interval), m, 2);
  }
  chkAverage = new QCheckBox(QStringLiteral("データ値の平均化"), interval);
  timeGrid->addWidget(chkAverage, 2, 0, 1, 3);
  timeGrid->setColumnStretch(3, 1);

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  OKButton->setDefault(true);

  auto* right = new QVBoxLayout;
  right->addWidget(kind);
  right->addWidget(interval);

  auto* top = new QHBoxLayout;
  top->addWidget(units);
  top->addLayout(right);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void DialogSetting::InitConnectList() {
  for (QComboBox* combo : Combo1) {
    combo->addItem(QStringLiteral("２線式"));
    combo->addItem(QStringLiteral("３線式"));
    combo->addItem(QStringLiteral("４線式"));
  }
}

void DialogSetting::FormLoad() {
  InitConnectList();
  for (int u = 0; u < kUnitCount; ++u) {
    const auto i = static_cast<size_t>(u);
    chkID[i]->setChecked(IsTrue(d_.Units[i].Mflag));
    Combo1[i]->setCurrentIndex(ConnectListIndex(d_.Units[i].Connect));
  }
  const bool seconds = IsSet(d_.TimerType);
  optTimer[seconds ? 1 : 0]->setChecked(true);
  txtTime[0]->setText(seconds ? QString() : IntervalEntryText(false, d_.IntervalTM));
  txtTime[1]->setText(seconds ? IntervalEntryText(true, d_.IntervalTM) : QString());
  optType[IsSet(d_.MeasKind) ? 1 : 0]->setChecked(true);
  chkAverage->setChecked(IsSet(d_.DataAverage));
}

bool DialogSetting::SecondsSelected() const { return !optTimer[0]->isChecked(); }

bool DialogSetting::CheckUnits() {
  for (const QCheckBox* box : chkID) {
    if (box->isChecked()) return true;
  }
  ShowMessage(QStringLiteral("使用ユニットにチェックが付いていません。"), kErrorTitle,
              MsgIcon::Critical);
  return false;
}

bool DialogSetting::CheckInterval() {
  const bool seconds = SecondsSelected();
  // The averaging minimum of seconds mode follows the box as it stands at OK.
  if (IntervalFromEntry(seconds, txtTime[seconds ? 1 : 0]->text(), chkAverage->isChecked())) {
    return true;
  }
  ShowMessage(QStringLiteral("時間の入力に誤りがあります。"), kErrorTitle, MsgIcon::Critical);
  // Back to the box that was read, its entry selected for typing over.
  QLineEdit* box = txtTime[seconds ? 1 : 0];
  box->setFocus();
  box->selectAll();
  return false;
}

bool DialogSetting::CheckSettings() { return CheckUnits() && CheckInterval(); }

void DialogSetting::StoreSettings() {
  for (int u = 0; u < kUnitCount; ++u) {
    const auto i = static_cast<size_t>(u);
    d_.Units[i].Mflag = ToBoolean(chkID[i]->isChecked());
    d_.Units[i].Connect = static_cast<Integer>(Combo1[i]->currentIndex());
  }
  const bool seconds = SecondsSelected();
  // The same conversion as CheckInterval, so what was checked is stored.
  const Long n = EntryToWhole(txtTime[seconds ? 1 : 0]->text()).value_or(0);
  const std::int64_t ms = static_cast<std::int64_t>(n) * (seconds ? 1000 : 10);
  d_.TimerType = ToBoolean(seconds);
  d_.IntervalTM = static_cast<Long>(std::clamp<std::int64_t>(ms, 0, INT32_MAX));
  if (chkAverage->isChecked()) {
    d_.DataAverage = kTrue;
    d_.AverageNum = seconds ? 100 : std::max<Long>(1, n);
  } else {
    d_.DataAverage = kFalse;
    d_.AverageNum = 1;
  }
  d_.MeasKind = ToBoolean(!optType[0]->isChecked());
}

void DialogSetting::OKButton_Click() {
  if (!CheckSettings()) return;  // the failing check has told the user
  StoreSettings();
  SettingOK = kTrue;
  accept();
}

}  // namespace larimo
