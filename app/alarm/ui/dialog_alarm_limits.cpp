#include "alarm/ui/dialog_alarm_limits.h"

#include <cmath>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "store/user_interface.h"

namespace larimo {

namespace {

QString FieldText(const std::optional<double>& v) {
  return v ? QString::number(*v, 'g', 10) : QString();
}

}  // namespace

DialogAlarmLimits::DialogAlarmLimits(const ModuleData& d, const AlarmSettings& s, QWidget* parent)
    : QDialog(parent), d_(d), result_(s) {
  setWindowTitle(QStringLiteral("警報設定"));
  const bool ohms = IsSet(d.MeasKind);
  const AlarmLimits& l = s.For(ohms);
  const QString unit = ohms ? QStringLiteral("Ω") : QStringLiteral("℃");
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("下限 [%1]").arg(unit), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("上限 [%1]").arg(unit), this), 0, 2);
  for (int u = 0; u < kUnitCount; ++u) {
    const bool inUse = IsTrue(d.Units[u].Mflag);
    grid->addWidget(new QLabel(QStringLiteral("ID%1").arg(u), this), u + 1, 0);
    txtLow[u] = new QLineEdit(FieldText(l.unit[u].low), this);
    txtHigh[u] = new QLineEdit(FieldText(l.unit[u].high), this);
    for (QLineEdit* e : {txtLow[u], txtHigh[u]}) {
      e->setEnabled(inUse);  // limits are set for the units in use
      e->setPlaceholderText(inUse ? QStringLiteral("なし") : QString());
    }
    grid->addWidget(txtLow[u], u + 1, 1);
    grid->addWidget(txtHigh[u], u + 1, 2);
  }
  txtHysteresis = new QLineEdit(QString::number(l.hysteresis, 'g', 10), this);
  txtDelay = new QLineEdit(QString::number(l.delaySeconds, 'g', 10), this);
  grid->addWidget(new QLabel(QStringLiteral("ヒステリシス [%1]").arg(unit), this), 5, 0, 1, 2);
  grid->addWidget(txtHysteresis, 5, 2);
  grid->addWidget(new QLabel(QStringLiteral("遅延時間 [秒]"), this), 6, 0, 1, 2);
  grid->addWidget(txtDelay, 6, 2);
  chkSound = new QCheckBox(QStringLiteral("警報音を確認まで繰り返す"), this);
  chkSound->setChecked(s.sound);
  grid->addWidget(chkSound, 7, 0, 1, 3);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &DialogAlarmLimits::OKButton_Click);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

bool DialogAlarmLimits::ReadField(QLineEdit* field, std::optional<double>* out) {
  const QString text = field->text().trimmed();
  out->reset();
  if (text.isEmpty()) return true;
  bool ok = false;
  const double v = text.toDouble(&ok);
  if (ok && std::isfinite(v)) {
    *out = v;
    return true;
  }
  ShowMessage(QStringLiteral("数値を入力して下さい。"), kErrorTitle, MsgIcon::Critical);
  field->setFocus();
  field->selectAll();
  return false;
}

void DialogAlarmLimits::OKButton_Click() {
  AlarmSettings s = result_;
  AlarmLimits& l = s.For(IsSet(d_.MeasKind));
  for (int u = 0; u < kUnitCount; ++u) {
    if (!txtLow[u]->isEnabled()) continue;  // a unit not in use keeps its stored limits
    if (!ReadField(txtLow[u], &l.unit[u].low) || !ReadField(txtHigh[u], &l.unit[u].high)) return;
  }
  std::optional<double> hysteresis;
  std::optional<double> delay;
  if (!ReadField(txtHysteresis, &hysteresis) || !ReadField(txtDelay, &delay)) return;
  l.hysteresis = hysteresis.value_or(0);
  l.delaySeconds = delay.value_or(0);
  s.sound = chkSound->isChecked();
  if (const LimitsProblem p = CheckLimits(l, d_, false)) {
    ShowMessage(p.message, kErrorTitle, MsgIcon::Critical);
    using F = LimitsProblem::Field;
    QLineEdit* field = p.field == F::Hysteresis ? txtHysteresis
                       : p.field == F::Delay    ? txtDelay
                       : p.field == F::High     ? txtHigh[p.unit]
                                                : txtLow[p.unit];
    field->setFocus();
    field->selectAll();
    return;
  }
  result_ = s;
  accept();
}

}  // namespace larimo
