#include "publish/mqtt_payloads.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace larimo {

namespace {

constexpr Single kMissing = std::numeric_limits<Single>::quiet_NaN();

// The shortest text that reads back as the same float or double.
template <typename T>
void AppendNumber(QByteArray& out, T v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<qsizetype>(r.ptr - buf));
}

double IntervalSeconds(const PublishedRun& run) {
  return static_cast<double>(run.intervalMs) / 1000.0;
}

}  // namespace

PublishedRun PublishedRun::From(const ModuleData& d) {
  PublishedRun r;
  r.start = QDateTime::fromString(d.StartTime, QStringLiteral("yyyy/M/d H:m:s"));
  if (!r.start.isValid()) r.start = QDateTime::currentDateTime();
  // Held at its fixed offset from UTC: its times are then formatted on the
  // publisher's thread without the C library's local-time state, which the
  // run's thread uses at the same time.
  r.start = r.start.toOffsetFromUtc(r.start.offsetFromUtc());
  r.intervalMs = d.IntervalTM;
  r.ohm = IsSet(d.MeasKind);
  for (int u = 0; u < kUnitCount; ++u) {
    r.inUse[u] = IsTrue(d.Units[u].Mflag);
    r.wiring[u] = d.Units[u].Connect;
  }
  r.memos = d.Memo;
  return r;
}

PublishedRow RowOf(const ModuleData& d, Long k) {
  PublishedRow row;
  for (int u = 0; u < kUnitCount; ++u) {
    const UnitData& unit = d.Units[u];
    const bool has = IsTrue(unit.Mflag) && k < unit.Count;
    const Single v = has ? unit.Values[static_cast<std::size_t>(k)] : kMissing;
    row[u] = v == kNoReading || !std::isfinite(v) ? kMissing : v;
  }
  return row;
}

QString IsoTime(const QDateTime& t) {
  const int offset = t.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return t.toString(t.time().msec() != 0 ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                         : QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray RunPayload(const PublishedRun& run, bool measuring) {
  QJsonArray units;
  for (int u = 0; u < kUnitCount; ++u) {
    if (!run.inUse[u]) continue;
    units.append(
        QJsonObject{{QStringLiteral("unit"), QStringLiteral("ID%1").arg(u)},
                    {QStringLiteral("wiring"),
                     QStringLiteral("%1-wire").arg(std::clamp<int>(run.wiring[u], 0, 2) + 2)}});
  }
  QJsonArray memos;
  for (const QString& m : run.memos) memos.append(m);
  const QJsonObject o{
      {QStringLiteral("start"), IsoTime(run.start)},
      {QStringLiteral("interval_s"), IntervalSeconds(run)},
      {QStringLiteral("kind"), run.ohm ? QStringLiteral("ohm") : QStringLiteral("degC")},
      {QStringLiteral("units"), units},
      {QStringLiteral("memos"), memos},
      {QStringLiteral("state"),
       measuring ? QStringLiteral("measuring") : QStringLiteral("stopped")},
  };
  return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray SamplesPayload(const PublishedRun& run, Long first, const PublishedRow* rows,
                          std::size_t count) {
  QByteArray out;
  out.reserve(static_cast<qsizetype>(96 + count * 12 * kUnitCount));
  // Sample k (from 0) belongs to (k + 1) intervals after the start.
  const QDateTime firstTime =
      run.start.addMSecs(static_cast<qint64>(first + 1) * static_cast<qint64>(run.intervalMs));
  out += "{\"run\":\"";
  out += IsoTime(run.start).toLatin1();
  out += "\",\"first\":";
  out += QByteArray::number(static_cast<qint64>(first));
  out += ",\"interval_s\":";
  AppendNumber(out, IntervalSeconds(run));
  out += ",\"time\":\"";
  out += IsoTime(firstTime).toLatin1();
  out += '"';
  for (int u = 0; u < kUnitCount; ++u) {
    if (!run.inUse[u]) continue;
    out += ",\"ID";
    out += static_cast<char>('0' + u);
    out += "\":[";
    for (std::size_t k = 0; k < count; ++k) {
      if (k > 0) out += ',';
      AppendNumber(out, rows[k][u]);
    }
    out += ']';
  }
  out += '}';
  return out;
}

QByteArray ValuePayload(Single v) {
  QByteArray out;
  AppendNumber(out, v);
  return out;
}

}  // namespace larimo
