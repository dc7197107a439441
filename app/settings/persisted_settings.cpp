#include "settings/persisted_settings.h"

#include <cmath>
#include <limits>
#include <optional>

#include <QSettings>

namespace larimo {

namespace {

QSettings OpenStore() { return QSettings(QStringLiteral("Dravel"), QStringLiteral("Larimo")); }

// A stored number as the nearest integer (halves to even); nullopt when the
// text is no number or the value does not fit the type.
template <typename T>
std::optional<T> ToInteger(const QString& text) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  const double r = std::nearbyint(v);
  if (r < std::numeric_limits<T>::min() || r > std::numeric_limits<T>::max()) return std::nullopt;
  return static_cast<T>(r);
}

// "True"/"False" (in any case), or a number: non-zero is true.
std::optional<Boolean> ToFlag(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return kTrue;
  if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return kFalse;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok || std::isnan(v)) return std::nullopt;
  return ToBoolean(v != 0);
}

// The text of a key, or nullopt when the key is missing.
std::optional<QString> Stored(const QSettings& s, const QString& key) {
  const QVariant v = s.value(key);
  if (!v.isValid()) return std::nullopt;
  return v.toString();
}

Boolean Flag(const QSettings& s, const QString& key, Boolean def) {
  const auto text = Stored(s, key);
  if (!text) return def;
  return ToFlag(*text).value_or(def);
}

template <typename T>
T Number(const QSettings& s, const QString& key, T def) {
  const auto text = Stored(s, key);
  if (!text) return def;
  return ToInteger<T>(*text).value_or(def);
}

QString FlagText(Boolean b) { return IsSet(b) ? QStringLiteral("True") : QStringLiteral("False"); }

}  // namespace

void LoadSettings(ModuleData& d) {
  QSettings s = OpenStore();
  s.beginGroup(QStringLiteral("MeasInfo"));
  for (int u = 0; u < kUnitCount; ++u) {
    d.Units[u].Mflag = Flag(s, QStringLiteral("MflagID%1").arg(u), u == 0 ? kTrue : kFalse);
  }
  for (int u = 0; u < kUnitCount; ++u) {
    d.Units[u].Connect = Number<Integer>(s, QStringLiteral("ConnectID%1").arg(u), 0);
  }
  d.TimerType = Flag(s, QStringLiteral("TimerType"), kTrue);
  d.IntervalTM = Number<Long>(s, QStringLiteral("IntervalTM"), 1000);
  d.MeasKind = Flag(s, QStringLiteral("MeasKind"), kFalse);
  d.DataAverage = Flag(s, QStringLiteral("DataAverage"), kFalse);
  s.endGroup();
  d.CalcAverageNum();
}

bool SaveSettings(const ModuleData& d) {
  QSettings s = OpenStore();
  s.beginGroup(QStringLiteral("MeasInfo"));
  for (int u = 0; u < kUnitCount; ++u) {
    s.setValue(QStringLiteral("MflagID%1").arg(u), FlagText(d.Units[u].Mflag));
  }
  for (int u = 0; u < kUnitCount; ++u) {
    s.setValue(QStringLiteral("ConnectID%1").arg(u), QString::number(d.Units[u].Connect));
  }
  s.setValue(QStringLiteral("TimerType"), FlagText(d.TimerType));
  s.setValue(QStringLiteral("IntervalTM"), QString::number(d.IntervalTM));
  s.setValue(QStringLiteral("MeasKind"), FlagText(d.MeasKind));
  s.setValue(QStringLiteral("DataAverage"), FlagText(d.DataAverage));
  s.endGroup();
  s.sync();
  return s.status() == QSettings::NoError;
}

}  // namespace larimo
