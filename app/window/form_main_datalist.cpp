// The data-list commands of the main window. While the list window exists,
// cmdDisp is disabled; the window enables it again when it is unloaded.

#include <QScreen>

#include "datalist/list_placement.h"
#include "datalist/ui/dialog_datalist.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdDisp_Click() {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("データがありません"), kMsgTitle);
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
  // Beside the main window where the screen has room for it. The frame is
  // not known before the window is shown; a title bar's worth is allowed.
  if (const QScreen* screen = this->screen()) {
    const QSize withFrame = list->sizeHint() + QSize(8, 32);
    if (const auto at = PlaceBeside(frameGeometry(), withFrame, screen->availableGeometry())) {
      list->move(*at);
    }
  }
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
