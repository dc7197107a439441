#pragma once
// The data list window "データ表示": every stored sample as one text line,
// one column per unit. It is shown modeless and without an owner beside the
// main window; while it exists the main window's cmdDisp stays disabled, and
// unloading it (by "閉じる", the close box, Esc, or another command) enables
// cmdDisp again.

#include <array>

#include <QDialog>
#include <QPointer>

#include "datalist/data_lines.h"
#include "store/module_data.h"

class QLabel;
class QListView;
class QPushButton;

namespace larimo {

class DialogDatalist final : public QDialog {
  Q_OBJECT
 public:
  // dispButton: the main window's cmdDisp, enabled again when the list is
  // unloaded (may be null). Fills the list from d (Form_Load).
  DialogDatalist(const ModuleData& d, QWidget* dispButton);
  ~DialogDatalist() override;

  // Lists the samples of the store again with the refill filler and selects
  // the last line (RefillList's work on an open list).
  void Refill();

  // Number of lines listed.
  Long LineCount() const { return model_->Count(); }
  // Text of line i (0-based) as the list shows it.
  QString LineText(int i) const;
  // Row selected in List1, -1 for none.
  int SelectedRow() const;

  QListView* List1 = nullptr;
  std::array<QLabel*, kUnitCount> Label2{};
  QLabel* Label1 = nullptr;
  QLabel* lblDataNum = nullptr;
  QPushButton* OKButton = nullptr;

 private:
  void FormLoad();
  void FormUnload();
  // Places the headings over their columns, as far as the list is scrolled.
  void PlaceHeadings();
  // Makes every line as wide as the widest, so that none is cut off.
  void FitLines();

  const ModuleData& d_;
  DataListModel* model_ = nullptr;
  QPointer<QWidget> dispButton_;
  bool unloaded_ = false;
};

// The font of the list: "ＭＳ ゴシック" 9 pt (shown through its IPA substitute).
QFont DataListFont();

}  // namespace larimo
