// The save and read commands of the main window.

#include <utility>

#include "files/file_filters.h"
#include "files/measurement_file.h"
#include "files/ui/dialog_memo.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdSave_Click() {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("測定データがありません。"), kMsgTitle);
    return;
  }
  DialogMemo dialog(
      data, [this] { journal_.Forget(); }, this);
  dialog.exec();
}

void FormMain::cmdRead_Click() {
  // Reading replaces the data in memory: ask first, as Start does.
  if (data.DataNum >= 1 &&
      !AskYesNo(QStringLiteral("ファイルを読込むとデータが消去されます。よろしいですか？"))) {
    return;
  }
  FileRequest request;
  request.mode = FileRequest::Mode::Open;
  request.filter = kMeasurementFilter;
  const std::optional<QString> name = Ui().ChooseFile(request);
  if (!name) return;

  // The file is read into a second store that carries the current
  // settings. Only a read that got to the end with at least one row
  // replaces the data, the settings and the chart; any other read leaves
  // them as they were.
  ModuleData& read = readStore_;
  data.CopyAllButReadingsTo(read);
  const ReadResult result = ReadDataFile(read, *name);
  if (result.status == ReadResult::Status::Failed) {
    ShowMessage(
        FileFailureText(result.message, *name, QStringLiteral("ファイルを読み込めませんでした。")),
        kMsgTitle, MsgIcon::Exclamation);
    return;
  }
  // What the read found, in the order the file gives it: its version, then
  // whether it holds all of its rows.
  if (result.oldVersion) {
    ShowMessage(QStringLiteral("これは旧バージョンで保存されたデータファイルです。"), kMsgTitle);
  }
  if (result.status == ReadResult::Status::Truncated) {
    ShowMessage(result.message, kMsgTitle, MsgIcon::Exclamation);
  } else if (result.status == ReadResult::Status::EndsEarly) {
    ShowMessage(QStringLiteral("ファイルが途中で終わっています。%1 行中 %2 行を読み込みました。")
                    .arg(result.rowsInHeader)
                    .arg(result.rowsRead),
                kMsgTitle, MsgIcon::Exclamation);
  }
  if (result.rowsRead < 1) {
    ShowMessage(QStringLiteral("データがありません。"), kMsgTitle);
    return;
  }
  // The stores trade places; the one that held the old run is the next
  // read's store.
  std::swap(data, read);
  journal_.Forget();  // the run it replaced was let go
  // The file brought its own interval and averaging: the count of readings
  // per sample follows them.
  data.CalcAverageNum();

  ClearReadouts();
  // An open data list stays open (cmdDisp disabled) and is refilled below
  // with the data read; otherwise the list can now be opened.
  const bool listOpen = !datalist.isNull();
  if (!listOpen) cmdDisp->setEnabled(true);
  const Long n = data.DataNum;
  ShowReadData();
  data.DataNum = n;
  RefillList();
}

}  // namespace larimo
