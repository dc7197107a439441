#pragma once
// The dialog "警報設定" (modal): a low and a high limit per unit in use (an
// empty field is off), the hysteresis and the delay, in the unit of the
// current kind, and whether a sound repeats until acknowledged. OK checks
// the entries; a refused entry is named and keeps the focus.

#include <array>

#include <QDialog>

#include "alarm/alarm_limits.h"
#include "store/module_data.h"

class QCheckBox;
class QLineEdit;

namespace larimo {

class DialogAlarmLimits final : public QDialog {
  Q_OBJECT
 public:
  DialogAlarmLimits(const ModuleData& d, const AlarmSettings& s, QWidget* parent = nullptr);

  // The settings as accepted.
  const AlarmSettings& Result() const { return result_; }

  std::array<QLineEdit*, kUnitCount> txtLow{};
  std::array<QLineEdit*, kUnitCount> txtHigh{};
  QLineEdit* txtHysteresis = nullptr;
  QLineEdit* txtDelay = nullptr;
  QCheckBox* chkSound = nullptr;

  void OKButton_Click();

 private:
  // The number in a field, or off when it is empty; false (told, focus on
  // the field) when it is no number.
  bool ReadField(QLineEdit* field, std::optional<double>* out);

  const ModuleData& d_;
  AlarmSettings result_;
};

}  // namespace larimo
