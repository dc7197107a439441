#include "alarm/alarm_monitor.h"

#include <algorithm>

#include "run/chart_view.h"

namespace larimo {

QString AlarmKindName(AlarmKind k) {
  switch (k) {
    case AlarmKind::High:
      return QStringLiteral("high");
    case AlarmKind::Low:
      return QStringLiteral("low");
    case AlarmKind::Sensor:
      return QStringLiteral("sensor");
    case AlarmKind::Clear:
      return QStringLiteral("clear");
    case AlarmKind::None:
      break;
  }
  return {};
}

AlarmKind AlarmKindFromName(const QString& name) {
  for (AlarmKind k : {AlarmKind::High, AlarmKind::Low, AlarmKind::Sensor, AlarmKind::Clear}) {
    if (name == AlarmKindName(k)) return k;
  }
  return AlarmKind::None;
}

AlarmMonitor::AlarmMonitor(AlarmSettings settings, Now now)
    : settings_(std::move(settings)), now_(std::move(now)) {
  if (!now_) now_ = [] { return QDateTime::currentDateTime(); };
}

void AlarmMonitor::RemoveListener(AlarmListener* l) { std::erase(listeners_, l); }

bool AlarmMonitor::AnyActive() const {
  return std::any_of(units_.begin(), units_.end(),
                     [](const Unit& u) { return u.state != AlarmKind::None; });
}

void AlarmMonitor::ReplaceEvents(std::vector<AlarmEvent> events) {
  events_ = std::move(events);
  for (Unit& u : units_) u = Unit{};
}

void AlarmMonitor::RunStarted(const ModuleData& d) {
  ohms_ = IsSet(d.MeasKind);
  run_ = settings_.For(ohms_);
  events_.clear();
  firstRow_ = 0;
  for (int u = 0; u < kUnitCount; ++u) {
    units_[u] = Unit{};
    units_[u].watched = IsTrue(d.Units[u].Mflag);
  }
  for (AlarmListener* l : listeners_) l->AlarmRunStarted();
}

void AlarmMonitor::SamplesStored(const ModuleData& d) {
  const std::size_t before = events_.size();
  QDateTime now;  // read once per cycle that brought samples
  for (int u = 0; u < kUnitCount; ++u) {
    Unit& unit = units_[u];
    const UnitData& data = d.Units[u];
    if (!unit.watched) continue;
    const Long count = std::min<Long>(data.Count, static_cast<Long>(data.Values.size()));
    if (count > unit.seen && now.isNull()) now = now_();
    for (Long k = unit.seen; k < count; ++k) {
      Evaluate(u, data.Values[static_cast<std::size_t>(k)],
               SampleSeconds(d.IntervalTM, firstRow_ + k + 1), now);
    }
    unit.seen = std::max(unit.seen, count);
  }
  if (events_.size() == before) return;
  for (AlarmListener* l : listeners_) l->AlarmEventsAdded(events_, before);
}

void AlarmMonitor::RunStopped(const ModuleData&, const RunEnd&) {}

void AlarmMonitor::PartStarted(const ModuleData& d, Long firstRow) {
  firstRow_ = firstRow;
  for (Unit& u : units_) u.seen = 0;  // the store counts from its first row again
  SamplesStored(d);                   // the samples carried over into the part
}

void AlarmMonitor::Raise(int u, AlarmKind kind, Single v, double elapsed, const QDateTime& now) {
  const UnitLimits& l = run_.unit[u];
  AlarmKind crossed = kind == AlarmKind::Clear ? units_[u].state : kind;
  std::optional<double> limit;
  if (crossed == AlarmKind::High) limit = l.high;
  if (crossed == AlarmKind::Low) limit = l.low;
  events_.push_back({elapsed, now, u, kind, v, limit});
  units_[u].state = kind == AlarmKind::Clear ? AlarmKind::None : kind;
  units_[u].pending = AlarmKind::None;
}

void AlarmMonitor::Evaluate(int u, Single v, double elapsed, const QDateTime& now) {
  Unit& unit = units_[u];
  const UnitLimits& l = run_.unit[u];
  const bool fault = IsSensorFault(v, ohms_);
  const double x = static_cast<double>(v);
  // Clearing needs no delay.
  const bool back = (unit.state == AlarmKind::Sensor && !fault) ||
                    (unit.state == AlarmKind::High && !fault && x <= *l.high - run_.hysteresis) ||
                    (unit.state == AlarmKind::Low && !fault && x >= *l.low + run_.hysteresis);
  if (back) Raise(u, AlarmKind::Clear, v, elapsed, now);

  AlarmKind condition = AlarmKind::None;
  if (fault) {
    condition = AlarmKind::Sensor;
  } else if (l.high && x > *l.high) {
    condition = AlarmKind::High;
  } else if (l.low && x < *l.low) {
    condition = AlarmKind::Low;
  }
  // A limit alarm stays up while its value lies inside the hysteresis (the
  // condition is then none, and nothing is pending).
  if (condition == AlarmKind::None || condition == unit.state) {
    unit.pending = AlarmKind::None;
    return;
  }
  if (unit.pending != condition) {
    unit.pending = condition;
    unit.pendingSince = elapsed;
  }
  if (elapsed - unit.pendingSince + 1e-9 >= run_.delaySeconds) {
    Raise(u, condition, v, elapsed, now);
  }
}

}  // namespace larimo
