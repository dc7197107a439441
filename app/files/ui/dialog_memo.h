#pragma once
// The save dialog "データ保存" (modal): five memo lines and the file type
// (CSV export or the own measurement file); "次へ" asks for the file name
// and saves, "戻る" leaves without saving. The memo lines of the data store
// change only when a save succeeds.

#include <array>
#include <functional>

#include <QDialog>

#include "store/module_data.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace larimo {

class DialogMemo final : public QDialog {
  Q_OBJECT
 public:
  // saved is called once the run is safe in its file (the caller lets go of
  // the run's journal there).
  DialogMemo(ModuleData& d, std::function<void()> saved = {}, QWidget* parent = nullptr);

  std::array<QLineEdit*, 5> txtMemo{};
  std::array<QRadioButton*, 2> optFiletype{};  // "CSV", "専用"
  QPushButton* CancelButton = nullptr;         // "戻る"
  QPushButton* OKButton = nullptr;             // "次へ"

 private:
  void BuildForm();
  void FormLoad();
  void OKButton_Click();
  // True when every memo can be stored as it is, or the user, told which
  // characters cannot (or, for the measurement file, which memo is too
  // long), chooses to save anyway.
  bool MemosCanBeStored(bool ownFormat);

  ModuleData& d_;
  std::function<void()> saved_;
};

}  // namespace larimo
