#include "cli/record_alarms.h"

#include <cmath>
#include <cstdio>

#include <QFile>
#include <QProcess>

#include "alarm/alarm_events_file.h"
#include "cli/record_options.h"
#include "files/csv_file.h"

namespace larimo {

namespace {

std::optional<double> Number(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

QString OptionalNumber(const std::optional<double>& v) { return v ? CsvDouble(*v) : QString(); }

}  // namespace

QString TakeAlarmOptions(const QStringList& args, QStringList* rest, AlarmOptions* o) {
  static const QStringList withValue = {"--alarm", "--alarm-hysteresis", "--alarm-delay",
                                        "--events", "--on-alarm"};
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    const qsizetype eq = a.indexOf(QLatin1Char('='));
    const QString name = a.startsWith(QLatin1String("--")) && eq > 0 ? a.left(eq) : a;
    if (name == QLatin1String("--stop-on-alarm")) {
      if (name != a) return name + QStringLiteral(" takes no value");
      o->stopOnAlarm = true;
      continue;
    }
    if (!withValue.contains(name)) {
      rest->append(a);
      continue;
    }
    QString v;
    if (name != a) {
      v = a.mid(eq + 1);
    } else if (i + 1 < args.size()) {
      v = args[++i];
    } else {
      return name + QStringLiteral(" needs a value");
    }
    if (name == QLatin1String("--alarm")) {
      const QStringList parts = v.split(QLatin1Char(':'));
      bool idOk = false;
      const int id = parts.value(0).trimmed().toInt(&idOk);
      AlarmOptions::Limit l{id, {}};
      bool ok = parts.size() == 3 && idOk && id >= 0 && id < kUnitCount;
      for (int k = 1; ok && k < 3; ++k) {
        if (parts[k].trimmed().isEmpty()) continue;
        const auto x = Number(parts[k]);
        ok = x.has_value();
        (k == 1 ? l.limits.low : l.limits.high) = x;
      }
      if (!ok) {
        return QStringLiteral(
                   "--alarm %1: ID:LOW:HIGH with an ID from 0 to 3 and numbers "
                   "(an empty end is off, e.g. 0::80)")
            .arg(v);
      }
      o->limits.push_back(l);
    } else if (name == QLatin1String("--alarm-hysteresis")) {
      o->hysteresis = Number(v);
      if (!o->hysteresis) return QStringLiteral("--alarm-hysteresis %1: a number").arg(v);
    } else if (name == QLatin1String("--alarm-delay")) {
      const std::optional<double> ms = ParseDuration(v);
      if (ms) o->delaySeconds = *ms / 1000.0;
      if (!ms) {
        return QStringLiteral("--alarm-delay %1: a time such as 30s, 2m or 500ms").arg(v);
      }
    } else if (name == QLatin1String("--events")) {
      o->eventsFile = v;
    } else {
      o->onAlarm = v;
    }
  }
  return {};
}

QString ApplyAlarmOptions(const AlarmOptions& o, const ModuleData& d, AlarmSettings* s) {
  AlarmLimits& l = s->For(IsSet(d.MeasKind));
  const bool given = !o.limits.empty();
  if (given) {
    l.unit = {};
    for (const AlarmOptions::Limit& x : o.limits) l.unit[x.unit] = x.limits;
  }
  if (o.hysteresis) l.hysteresis = *o.hysteresis;
  if (o.delaySeconds) l.delaySeconds = *o.delaySeconds;
  const LimitsProblem p = CheckLimits(l, d, given);
  if (!p) return {};
  const QString which = given ? QStringLiteral("--alarm") : QStringLiteral("the stored limits");
  return QStringLiteral("%1: %2").arg(which, p.message);
}

RecordAlarms::~RecordAlarms() {
  if (events_) std::fclose(events_);
}

bool RecordAlarms::OpenEventsFile(QString* error) {
  if (o_.eventsFile.isEmpty()) return true;
  events_ = std::fopen(QFile::encodeName(o_.eventsFile).constData(), "we");
  if (!events_ || std::fputs(kEventsHeader, events_) < 0 || std::fflush(events_) != 0) {
    *error = QStringLiteral("%1: cannot be written").arg(o_.eventsFile);
    return false;
  }
  return true;
}

QString AlarmEventText(const AlarmEvent& e) {
  QString text = QStringLiteral("ID%1 %2 %3")
                     .arg(e.unit)
                     .arg(AlarmKindName(e.kind))
                     .arg(QString::number(static_cast<double>(e.value), 'f', 3));
  if (e.limit) text += QStringLiteral(" (limit %1)").arg(CsvDouble(*e.limit));
  return text + QStringLiteral(" at %1 s, %2").arg(CsvDouble(e.elapsed), EventTimeText(e.time));
}

void RecordAlarms::AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) {
  for (std::size_t i = from; i < events.size(); ++i) {
    const AlarmEvent& e = events[i];
    line_(QStringLiteral("alarm: ") + AlarmEventText(e));
    if (events_ && !eventsFailed_) {
      const QByteArray row = EventLine(e);
      eventsFailed_ = std::fwrite(row.constData(), 1, static_cast<std::size_t>(row.size()),
                                  events_) != static_cast<std::size_t>(row.size());
    }
    RunCommand(e);
  }
  if (events_ && std::fflush(events_) != 0) eventsFailed_ = true;
  if (o_.stopOnAlarm) stop_ = true;
}

void RecordAlarms::RunCommand(const AlarmEvent& e) {
  if (o_.onAlarm.isEmpty()) return;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LARIMO_UNIT"), QStringLiteral("ID%1").arg(e.unit));
  env.insert(QStringLiteral("LARIMO_EVENT"), AlarmKindName(e.kind));
  env.insert(QStringLiteral("LARIMO_VALUE"), CsvSingle(e.value));
  env.insert(QStringLiteral("LARIMO_LIMIT"), OptionalNumber(e.limit));
  env.insert(QStringLiteral("LARIMO_TIME"), EventTimeText(e.time));
  env.insert(QStringLiteral("LARIMO_ELAPSED"), CsvDouble(e.elapsed));
  // Detached: the command's own child is handed to init, which reaps it, and
  // the run never waits for it.
  QProcess p;
  p.setProgram(QStringLiteral("/bin/sh"));
  p.setArguments({QStringLiteral("-c"), o_.onAlarm});
  p.setProcessEnvironment(env);
  p.setStandardInputFile(QProcess::nullDevice());
  if (!p.startDetached()) line_(QStringLiteral("--on-alarm: the command could not be started"));
}

}  // namespace larimo
