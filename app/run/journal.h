#pragma once
// The run journal: every sample a run stores reaches a file in the user's
// state folder in the cycle that stored it, so a crash, a killed process or
// a power cut does not lose the run; at the next start the window offers to
// restore it.
//
// A journal is a measurement file (.rk0) being appended: the header with the
// run's conditions and start time is written once when the run starts, with
// the largest row count a file can hold (the rows actually there follow from
// the file's length, and a torn last row is ignored); each cycle then writes
// only the rows it touched. Restoring is a read of that file. The data reach
// the operating system every cycle and the disk (fdatasync) at least every
// 5 seconds. The journal is deleted once its run is saved or discarded,
// together with the files other parts keep beside it under its name
// ("<name>.<ending>" for the journal "<name>.rk0").
//
// A journal is locked (flock) by the process writing it for as long as that
// process lives, so a second instance never takes it; the lock ends with the
// process, however it ends. Everything runs on the thread that drives the run.

#include <array>
#include <chrono>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "run/acquisition.h"
#include "store/module_data.h"

namespace larimo {

// The folder of the journals: $XDG_STATE_HOME/larimo, else
// ~/.local/state/larimo.
QString JournalFolder();

// What the user is asked at start-up about the run `left` of a journal left
// behind (its start time, rows and interval tell two such runs apart), and
// asked once more, with No as the default, before it is deleted.
QString RestoreQuestion(const ModuleData& left);
inline const QString kDeleteQuestion =
    QStringLiteral("復元しない場合、前回の測定データは削除されます。削除してもよろしいですか？");
// Told once per run when its journal cannot be written; the run goes on.
inline const QString kNotProtected = QStringLiteral(
    "測定データの控えを書き込めません。この測定はプログラムの異常終了や停電から保護されません。");

// Opens a journal and takes its lock, as its writer does; -1 when it cannot
// be opened or a running program holds it (close the descriptor to let go).
int LockJournal(const QString& path);
// Deletes a journal and the files kept beside it under its name.
void RemoveJournalFiles(const QString& path);

class Journal final : public RunObserver {
 public:
  // The journal of the runs of one window or recorder, kept in `folder`.
  explicit Journal(QString folder = JournalFolder());
  // Closes the journal; the file stays (only a save or a discard ends it).
  ~Journal() override;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // A new run replaced the one in memory: the old journal is deleted and the
  // new one begins with the run's conditions.
  void RunStarted(const ModuleData& d) override;
  // Writes the rows this cycle stored or completed.
  void SamplesStored(const ModuleData& d) override;
  // Puts what was written on the disk; a run that never started leaves no
  // journal.
  void RunStopped(const ModuleData& d, const RunEnd& end) override;
  // The filled part of a split run is saved: the next part's journal begins
  // with the samples carried into it, and only then the filled one goes.
  // With HoldFilledParts, the filled one stays (locked) until
  // FilledPartSaved: its part is still being written elsewhere.
  void PartStarted(const ModuleData& d, Long firstRow) override;
  void HoldFilledParts() { holdFilled_ = true; }
  // The oldest held part is saved: its journal goes.
  void FilledPartSaved();
  // The journals of held parts, oldest first; they stay on the disk when the
  // journal is closed, for a recovery.
  QStringList HeldParts() const;

  // The run in memory was saved or its data discarded: its journal goes.
  void Forget();

  // At start-up: for each journal that no running program holds, asks
  // whether to restore it. Yes: the run is read into `into` (as a file read
  // fills it: ClearData, conditions, start time, rows), the journal now
  // protects it, and the result is true. No: asks once more, then deletes
  // the journal (or keeps it for the next start). A journal that cannot be
  // read is reported and renamed to "<name>.unreadable". Journals this
  // process wrote itself are never offered.
  bool Recover(ModuleData& into);

  // The journal being written or protecting the run in memory; empty when none.
  QString Path() const { return path_; }

 private:
  using Clock = std::chrono::steady_clock;
  // durable: the header reaches the disk now (else with the next sync, at
  // most 5 seconds later, as the rows do).
  bool Create(const ModuleData& d, QString* error, bool durable = true);
  // A new file of the run: no row written yet, and it may be written.
  void BeginRows();
  void Fail(const QString& reason);
  bool Sync();
  void Close();

  QString folder_;
  QString path_;
  int fd_ = -1;
  qint64 headerBytes_ = 0;
  Long rowsWritten_ = 0;
  std::array<Long, kUnitCount> unitWritten_{};  // readings of each unit in the file
  bool failed_ = false;                         // this run is not protected any more
  bool warned_ = false;                         // the user was told so
  bool dirty_ = false;                          // written since the last fdatasync
  bool folderDirty_ = false;                    // the journal's name is not on the disk yet
  Clock::time_point firstUnsynced_{};
  Clock::time_point lastCycle_{};
  QByteArray rows_;  // the rows of one write, kept between cycles
  bool holdFilled_ = false;
  struct Held {
    QString path;
    int fd;
  };
  std::vector<Held> held_;
};

}  // namespace larimo
