#pragma once
// The limit alarms of larimo-cli record: the options --alarm ID:LOW:HIGH
// (repeatable), --alarm-hysteresis X, --alarm-delay TIME, --events FILE.csv,
// --on-alarm CMD and --stop-on-alarm, and what the recorder does with each
// event: a line on standard error, a row of the events file, the user's
// command (through /bin/sh -c, detached, never waited for), and the end of
// the run when asked.

#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "alarm/alarm_limits.h"
#include "alarm/alarm_monitor.h"
#include "store/module_data.h"

namespace larimo {

struct AlarmOptions {
  struct Limit {
    int unit = 0;
    UnitLimits limits;
  };
  std::vector<Limit> limits;  // --alarm, in order
  std::optional<double> hysteresis;
  std::optional<double> delaySeconds;
  QString eventsFile;
  QString onAlarm;
  bool stopOnAlarm = false;
};

// Takes the alarm options out of args (the rest is left in *rest, in
// order). Returns the refusal of a malformed option, or an empty string.
QString TakeAlarmOptions(const QStringList& args, QStringList* rest, AlarmOptions* o);

// The limits of a run of d: the stored ones, or, when --alarm is given, the
// --alarm limits alone (for the kind of d); the hysteresis and the delay
// replaced when given. Returns the refusal of limits that cannot be used
// (low above high, a hysteresis below 0 or wider than a band, a limit on a
// unit not in use), or an empty string.
QString ApplyAlarmOptions(const AlarmOptions& o, const ModuleData& d, AlarmSettings* s);

// The recorder's side of the events.
class RecordAlarms final : public AlarmListener {
 public:
  using Line = std::function<void(const QString&)>;
  RecordAlarms(const AlarmOptions& o, Line line) : o_(o), line_(std::move(line)) {}
  ~RecordAlarms() override;
  RecordAlarms(const RecordAlarms&) = delete;
  RecordAlarms& operator=(const RecordAlarms&) = delete;

  // Creates the --events file with its header; false (with *error) when it
  // cannot be written.
  bool OpenEventsFile(QString* error);
  void AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) override;
  // --stop-on-alarm was given and an event came.
  bool StopRequested() const { return stop_; }
  // The --events file could not be written to.
  bool EventsFileFailed() const { return eventsFailed_; }

 private:
  void RunCommand(const AlarmEvent& e);

  const AlarmOptions& o_;
  Line line_;
  std::FILE* events_ = nullptr;
  bool stop_ = false;
  bool eventsFailed_ = false;
};

// A line of the event on standard error: "ID0 high 81.234 (limit 80) at 12.5 s, TIME".
QString AlarmEventText(const AlarmEvent& e);

}  // namespace larimo
