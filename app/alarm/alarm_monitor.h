#pragma once
// The evaluation of limit alarms during a run: an observer of the run
// controller that sees every stored sample once, in order, and turns it into
// events. It reads the store and never changes it.
//
// Per unit in use, a sample's condition is a sensor fault (no reading, or a
// value pinned at the conversion's ends), above the high limit, below the
// low limit, or none. A condition other than none that lasts for the delay
// (elapsed run time, from its first sample) raises its event; a unit in a
// limit alarm clears once a value is back inside its limit by the
// hysteresis, a unit in sensor alarm with the first good reading. A cleared
// unit's sample is then evaluated afresh. Each unit is followed by its own
// count, so a unit that delivers later than the others is evaluated at its
// own samples' times. Everything runs on the thread that drives the run.

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>

#include "alarm/alarm_limits.h"
#include "run/acquisition.h"
#include "store/module_data.h"

namespace larimo {

enum class AlarmKind { None, High, Low, Sensor, Clear };

// "high", "low", "sensor", "clear" (empty for None).
QString AlarmKindName(AlarmKind k);
AlarmKind AlarmKindFromName(const QString& name);

struct AlarmEvent {
  double elapsed = 0;  // seconds after the start: sample k is k * interval
  QDateTime time;      // wall clock when the sample was evaluated
  int unit = 0;
  AlarmKind kind = AlarmKind::None;
  Single value = 0;
  std::optional<double> limit;  // the limit crossed (none for a sensor fault)
  bool operator==(const AlarmEvent&) const = default;
};

// Told of the events a cycle raised, after they were added to the run's list.
class AlarmListener {
 public:
  virtual ~AlarmListener() = default;
  // events[from..] are new.
  virtual void AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) = 0;
  // A new run began: the list is empty again.
  virtual void AlarmRunStarted() {}
};

class AlarmMonitor final : public RunObserver {
 public:
  using Now = std::function<QDateTime()>;
  explicit AlarmMonitor(AlarmSettings settings = {}, Now now = {});

  // The limits from now on: a running run evaluates its next samples with
  // those of its kind.
  void SetSettings(const AlarmSettings& s) {
    settings_ = s;
    run_ = s.For(ohms_);
  }
  const AlarmSettings& Settings() const { return settings_; }
  // Listeners are told in the order they were added; each must outlive the
  // monitor or be removed first.
  void AddListener(AlarmListener* l) { listeners_.push_back(l); }
  void RemoveListener(AlarmListener* l);

  void RunStarted(const ModuleData& d) override;
  void SamplesStored(const ModuleData& d) override;
  void RunStopped(const ModuleData& d, const RunEnd& end) override;
  // A split run's next part: the run goes on, with its events, the units'
  // states and its elapsed time.
  void PartStarted(const ModuleData& d, Long firstRow) override;

  // The alarm a unit is in (None, High, Low or Sensor).
  AlarmKind State(int unit) const { return units_[unit].state; }
  bool AnyActive() const;
  // The events of the run in memory, in order.
  const std::vector<AlarmEvent>& Events() const { return events_; }
  // A run read from a file or restored brings its events; no unit is in
  // alarm afterwards.
  void ReplaceEvents(std::vector<AlarmEvent> events);
  // The limits of the kind of the last run started.
  const AlarmLimits& RunLimits() const { return run_; }

 private:
  struct Unit {
    bool watched = false;
    Long seen = 0;  // samples evaluated
    AlarmKind state = AlarmKind::None;
    AlarmKind pending = AlarmKind::None;
    double pendingSince = 0;
  };
  void Evaluate(int u, Single v, double elapsed, const QDateTime& now);
  void Raise(int u, AlarmKind kind, Single v, double elapsed, const QDateTime& now);

  AlarmSettings settings_;
  Now now_;
  AlarmLimits run_;
  bool ohms_ = false;
  std::array<Unit, kUnitCount> units_{};
  Long firstRow_ = 0;  // samples of the run before the store's first
  std::vector<AlarmEvent> events_;
  std::vector<AlarmListener*> listeners_;
};

}  // namespace larimo
