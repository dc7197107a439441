// The save and read commands of the main window.

#include "files/file_filters.h"
#include "files/ui/dialog_memo.h"
#include "run/load_run.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdSave_Click() {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("測定データがありません。"), kMsgTitle);
    return;
  }
  DialogMemo dialog(
      data,
      [this] {
        journal_.Forget();
        setWindowModified(false);
      },
      this);
  dialog.exec();
}

void FormMain::cmdRead_Click() {
  const std::optional<QString> name = ChooseRunFile(data);
  if (!name) return;
  const LoadedRun run = LoadRunFile(data, readStore_, journal_, *name);
  TellLoad(run, *name);
  if (run.loaded) ShowLoadedRun(false);
}

void FormMain::ShowLoadedRun(bool unsaved) {
  ClearReadouts();
  // An open data list stays open (cmdDisp disabled) and is refilled below
  // with the data loaded; otherwise the list can now be opened.
  if (datalist.isNull()) cmdDisp->setEnabled(true);
  ShowReadData();
  RefillList();
  setWindowModified(unsaved);
}

}  // namespace larimo
