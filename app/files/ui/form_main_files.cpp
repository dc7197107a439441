// The save and read commands of the main window and the replay of data read
// from a measurement file.

#include <utility>
#include <vector>

#include "core/ui/form_main.h"
#include "core/user_interface.h"
#include "files/file_filters.h"
#include "files/measurement_file.h"
#include "files/read_replay.h"
#include "files/ui/dialog_memo.h"

namespace larimo {

void FormMain::cmdSave_Click() {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("測定データがありません。"), kMsgTitle);
    return;
  }
  DialogMemo dialog(data, this);
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
  // settings. A read that fails part-way leaves the data, the settings and
  // the chart as they were; only a read that got to the end replaces them.
  ModuleData& read = readStore_;
  data.CopyAllButReadingsTo(read);
  const ReadResult result = ReadDataFile(read, *name);
  if (result.status == ReadResult::Status::Failed) {
    ShowMessage(
        FileFailureText(result.message, *name, QStringLiteral("ファイルを読み込めませんでした。")),
        kMsgTitle, MsgIcon::Exclamation);
    return;
  }
  // The stores trade places; the one that held the old run is the next
  // read's store.
  std::swap(data, read);
  if (result.status == ReadResult::Status::Truncated) {
    ShowMessage(result.message, kMsgTitle, MsgIcon::Exclamation);
  }

  if (data.DataNum < 1) {
    // The data in memory are gone: an open list would show lines of nothing.
    UnloadDatalist();
    cmdDisp->setEnabled(false);
    ShowMessage(QStringLiteral("データがありません。"), kMsgTitle);
    return;
  }
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

void FormMain::ShowReadData() {
  Chart2D1->SetIsBatched(true);
  InitGraphParam(true);
  Chart2D1->Reset();
  if (SetGraphParam()) {
    Chart2D1->SetHeaderText(QStringLiteral("開始時刻  ") + data.StartTime);
  }
  const Long n = data.DataNum;
  data.DataNum = 0;
  data.Measuring = kTrue;
  Chart2D1->SetIsBatched(true);

  // Each sample goes through the steps a run takes for a new sample; the
  // chart gets the end state of its axes and all points in one pass.
  const ReplayChanges changes = ReplaySamples(data, view, n);
  if (changes.axisY) SetAxesY(data.AxisYMin, data.AxisYMax);
  if (changes.axisX) SetAxesX(view.AxisXStart, view.AxisXEnd);
  // All points at once, as plotting sample after sample leaves them: a unit
  // not in use and a missing reading draw nothing. The chart then holds no
  // earlier run's points, and the plotting of the next run starts afresh.
  std::vector<const float*> readings;
  for (const UnitData& u : data.Units) {
    const bool drawn = IsTrue(u.Mflag) && u.Values.size() >= static_cast<size_t>(data.DataNum);
    readings.push_back(drawn ? u.Values.data() : nullptr);
  }
  Chart2D1->SetSeriesCount(kUnitCount);
  Chart2D1->ReplaceAllPoints(data.DataNum, SampleSeconds(data.IntervalTM, 1), readings, kNoReading);
  ForgetPlotted();

  Chart2D1->SetIsBatched(false);
  data.DataNum = 0;
  data.Measuring = kFalse;
}

}  // namespace larimo
