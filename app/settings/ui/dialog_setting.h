#pragma once
// The measurement-settings dialog "取込設定" (modal): units in use and their
// wiring, kind of reading, interval in steps of 10 ms or in seconds, and
// averaging. It works on its controls, a copy of the settings: OK stores
// them into the data store only when both checks pass, and sets SettingOK;
// "ｷｬﾝｾﾙ" leaves the data store exactly as it was, averaging flag included.

#include <array>

#include <QDialog>

#include "store/module_data.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace larimo {

class DialogSetting final : public QDialog {
  Q_OBJECT
 public:
  explicit DialogSetting(ModuleData& d, QWidget* parent = nullptr);

  // True (-1) once OK has accepted and stored the settings.
  Boolean SettingOK = kFalse;

  // Adds "２線式", "３線式", "４線式" to each wiring list.
  void InitConnectList();
  // CheckUnits, and only when it passes CheckInterval.
  bool CheckSettings();
  // At least one unit ticked; otherwise shows why.
  bool CheckUnits();
  // The selected mode's interval entry within its limits; otherwise shows why.
  bool CheckInterval();
  // Writes the controls back into the settings (after the checks passed).
  void StoreSettings();

  std::array<QCheckBox*, kUnitCount> chkID{};
  std::array<QComboBox*, kUnitCount> Combo1{};
  std::array<QRadioButton*, 2> optType{};
  std::array<QRadioButton*, 2> optTimer{};
  std::array<QLineEdit*, 2> txtTime{};
  QCheckBox* chkAverage = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  void BuildForm();
  void FormLoad();
  void OKButton_Click();
  bool SecondsSelected() const;

  ModuleData& d_;
};

}  // namespace larimo
