// The data-list commands of the main window. While the list window exists,
// cmdDisp is disabled; the window enables it again when it is unloaded.

#include "core/ui/form_main.h"
#include "core/user_interface.h"
#include "datalist/ui/dialog_datalist.h"

namespace larimo {

void FormMain::cmdDisp_Click() {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("データがありません"), QStringLiteral("Message"));
    return;
  }
  if (datalist) {  // one list window at most
    datalist->raise();
    datalist->activateWindow();
    return;
  }
  // Modeless and without an owner: it stays beside the main window.
  auto* list = new DialogDatalist(data, cmdDisp);
  datalist = list;
  list->show();
  cmdDisp->setEnabled(false);
}

void FormMain::RefillList() {
  if (auto* list = qobject_cast<DialogDatalist*>(datalist.data())) list->Refill();
}

void FormMain::UnloadDatalist() {
  QWidget* list = datalist.data();
  if (!list) return;
  datalist.clear();
  list->close();
  delete list;  // enables cmdDisp
}

}  // namespace larimo
