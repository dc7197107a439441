#include "run/load_run.h"

#include <utility>

#include <QStringList>

#include "files/file_filters.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

// The loaded run replaces the data in memory; the store that held the old
// run is the next load's store.
void TakeLoaded(ModuleData& data, ModuleData& loaded, LoadedRun& run) {
  std::swap(data, loaded);
  // The run brought its own interval and averaging: the count of readings
  // per sample follows them.
  data.CalcAverageNum();
  for (int u = 0; u < kUnitCount; ++u) {
    Integer& wiring = data.Units[static_cast<size_t>(u)].Connect;
    if (wiring >= 0 && wiring <= 2) continue;
    wiring = kFallbackWiring;
    run.invalidWiring.push_back(u);
  }
  run.loaded = true;
}

}  // namespace

std::optional<QString> ChooseRunFile(const ModuleData& data) {
  // Reading replaces the data in memory: ask first, as Start does.
  if (data.DataNum >= 1 &&
      !AskYesNo(QStringLiteral("ファイルを読込むとデータが消去されます。よろしいですか？"))) {
    return std::nullopt;
  }
  FileRequest request;
  request.mode = FileRequest::Mode::Open;
  request.filter = kMeasurementFilter;
  return Ui().ChooseFile(request);
}

bool MayEnd(const ModuleData& data, bool measuring, Journal& journal) {
  if (measuring) {
    ShowMessage(QStringLiteral("測定中です。中止してから終了して下さい。"), kErrorTitle,
                MsgIcon::Critical);
    return false;
  }
  const QString question = data.DataNum < 1
                               ? QStringLiteral("終了しますか？")
                               : QStringLiteral("データが消去されます。終了してもよろしいですか？");
  if (!AskYesNo(question, kMsgTitle)) return false;
  journal.Forget();  // the user let the data go
  return true;
}

LoadedRun LoadRunFile(ModuleData& data, ModuleData& spare, Journal& journal, const QString& name) {
  LoadedRun run;
  data.CopyAllButReadingsTo(spare);
  run.read = ReadDataFile(spare, name);
  if (run.read.status == ReadResult::Status::Failed || run.read.rowsRead < 1) return run;
  TakeLoaded(data, spare, run);
  journal.Forget();  // the run it replaced was let go
  return run;
}

LoadedRun LoadRunJournal(ModuleData& data, ModuleData& spare, Journal& journal) {
  LoadedRun run;
  data.CopyAllButReadingsTo(spare);
  if (!journal.Recover(spare)) return run;
  run.read.rowsRead = spare.DataNum;
  TakeLoaded(data, spare, run);
  return run;
}

QString InvalidWiringText(const std::vector<int>& units) {
  QStringList ids;
  for (int u : units) ids << QStringLiteral("ID%1").arg(u);
  return QStringLiteral("%1 の結線方式の値が正しくありません。4線式として読み込みました。")
      .arg(ids.join(QStringLiteral(", ")));
}

void TellLoad(const LoadedRun& run, const QString& name) {
  const ReadResult& r = run.read;
  if (r.status == ReadResult::Status::Failed) {
    ShowMessage(
        FileFailureText(r.message, name, QStringLiteral("ファイルを読み込めませんでした。")),
        kMsgTitle, MsgIcon::Exclamation);
    return;
  }
  if (r.oldVersion) {
    ShowMessage(QStringLiteral("これは旧バージョンで保存されたデータファイルです。"), kMsgTitle);
  }
  if (r.status == ReadResult::Status::Truncated) {
    ShowMessage(r.message, kMsgTitle, MsgIcon::Exclamation);
  } else if (r.status == ReadResult::Status::EndsEarly) {
    ShowMessage(QStringLiteral("ファイルが途中で終わっています。%1 行中 %2 行を読み込みました。")
                    .arg(r.rowsInHeader)
                    .arg(r.rowsRead),
                kMsgTitle, MsgIcon::Exclamation);
  }
  if (r.rowsRead < 1) {
    ShowMessage(QStringLiteral("データがありません。"), kMsgTitle);
    return;
  }
  if (!run.invalidWiring.empty()) {
    ShowMessage(InvalidWiringText(run.invalidWiring), kMsgTitle, MsgIcon::Exclamation);
  }
}

}  // namespace larimo
