#pragma once
// The events of a run kept through a crash: each cycle's events are
// appended, and put on the disk, to NAME.events.csv beside the run's journal
// NAME.rk0. The journal deletes that file with itself once the run is saved
// or discarded; restoring the journal restores the events from it.

#include <QString>

#include "alarm/alarm_monitor.h"
#include "run/journal.h"

namespace larimo {

class AlarmJournal final : public AlarmListener {
 public:
  explicit AlarmJournal(const Journal& journal) : journal_(journal) {}
  ~AlarmJournal() override;
  AlarmJournal(const AlarmJournal&) = delete;
  AlarmJournal& operator=(const AlarmJournal&) = delete;

  void AlarmRunStarted() override;
  void AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) override;

  // The events kept beside the journal now protecting the run in memory
  // (after Journal::Recover); appended to from here on.
  std::vector<AlarmEvent> Restore();

 private:
  bool Open();
  void Close();

  const Journal& journal_;
  QString path_;
  int fd_ = -1;
};

}  // namespace larimo
