// The settings command of the main window.

#include "settings/ui/dialog_setting.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdSetting_Click() {
  if (data.DataNum >= 1 &&
      !AskYesNo(QStringLiteral("設定を変更するとデータが消去されます。よろしいですか？"))) {
    return;
  }
  const Boolean kindBefore = data.MeasKind;
  Boolean settingOK = kFalse;
  {
    DialogSetting dialog(data, this);
    dialog.SettingOK = kFalse;
    dialog.exec();
    settingOK = dialog.SettingOK;
  }
  if (!IsTrue(settingOK)) return;
  if (data.DataNum > 0) {
    UnloadDatalist();
    data.ClearData();
    journal_.Forget();
    setWindowModified(false);
    ClearReadouts();
    cmdDisp->setEnabled(false);  // there are no data any more
  }
  RefreshGraph(data.MeasKind != kindBefore);
}

}  // namespace larimo
