#include "alarm/alarm_events_file.h"

#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "files/atomic_write.h"
#include "files/csv_file.h"

namespace larimo {

QString EventTimeText(const QDateTime& t) {
  if (!t.isValid()) return {};
  const int offset = t.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

namespace {

std::optional<AlarmEvent> ParseLine(const QByteArray& line) {
  const QList<QByteArray> f = line.trimmed().split(',');
  if (f.size() != 6) return std::nullopt;
  AlarmEvent e;
  bool ok = false;
  e.elapsed = f[0].toDouble(&ok);
  if (!ok || !std::isfinite(e.elapsed)) return std::nullopt;
  e.time = QDateTime::fromString(QString::fromLatin1(f[1]), Qt::ISODate);
  if (!f[2].startsWith("ID")) return std::nullopt;
  e.unit = f[2].mid(2).toInt(&ok);
  if (!ok || e.unit < 0 || e.unit >= kUnitCount) return std::nullopt;
  e.kind = AlarmKindFromName(QString::fromLatin1(f[3]));
  if (e.kind == AlarmKind::None) return std::nullopt;
  e.value = f[4].toFloat(&ok);
  if (!ok) return std::nullopt;
  if (!f[5].isEmpty()) {
    const double limit = f[5].toDouble(&ok);
    if (!ok) return std::nullopt;
    e.limit = limit;
  }
  return e;
}

}  // namespace

QString EventsPathFor(const QString& dataFile) {
  const QFileInfo info(dataFile);
  return info.dir().filePath(info.completeBaseName() + QStringLiteral(".events.csv"));
}

QByteArray EventLine(const AlarmEvent& e) {
  QString line = CsvDouble(e.elapsed) + QLatin1Char(',') + EventTimeText(e.time) +
                 QStringLiteral(",ID%1,").arg(e.unit) + AlarmKindName(e.kind) + QLatin1Char(',') +
                 CsvSingle(e.value) + QLatin1Char(',');
  if (e.limit) line += CsvDouble(*e.limit);
  line += QLatin1Char('\n');
  return line.toLatin1();
}

QByteArray EventsBytes(const std::vector<AlarmEvent>& events) {
  QByteArray out(kEventsHeader);
  for (const AlarmEvent& e : events) out += EventLine(e);
  return out;
}

bool SaveEventsFile(const QString& path, const std::vector<AlarmEvent>& events, QString* error) {
  return WriteFileAtomically(path, EventsBytes(events), error);
}

bool SaveEventsBeside(const QString& dataFile, const std::vector<AlarmEvent>& events,
                      QString* error) {
  const QString path = EventsPathFor(dataFile);
  if (!events.empty()) return SaveEventsFile(path, events, error);
  if (!QFile::exists(path) || QFile::remove(path)) return true;
  if (error) *error = QStringLiteral("ファイル %1 を削除できません。").arg(path);
  return false;
}

EventsRead ReadEventsFile(const QString& path) {
  EventsRead r;
  QFile file(path);
  if (!file.exists()) return r;
  r.found = true;
  if (!file.open(QIODevice::ReadOnly)) {
    r.error = QStringLiteral("ファイル %1 を読み込めません。\n%2").arg(path, file.errorString());
    return r;
  }
  const QByteArray all = file.readAll();
  const QList<QByteArray> lines = all.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    if (line.trimmed().isEmpty() || (i == 0 && line.startsWith("elapsed_s"))) continue;
    if (const auto e = ParseLine(line)) {
      r.events.push_back(*e);
    } else if (i + 1 < lines.size()) {  // the last line, without its end, may be torn
      ++r.skipped;
    }
  }
  return r;
}

}  // namespace larimo
