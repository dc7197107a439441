#include "alarm/alarm_limits.h"

#include <algorithm>
#include <cmath>

#include <QSettings>

namespace larimo {

namespace {

// The ends of the library's conversion: resistances are held to 0..391 ohms,
// temperatures are those of the two ends (and 900 when the equation does
// not converge, above the upper one).
constexpr Single kPinnedOhmsLow = 0.0f;
constexpr Single kPinnedOhmsHigh = 391.0f;
constexpr Single kPinnedCelsiusLow = -242.02f;
constexpr Single kPinnedCelsiusHigh = 851.77f;

QString LimitText(const std::optional<double>& v) {
  return v ? QString::number(*v, 'g', 15) : QString();
}

std::optional<double> StoredNumber(const QSettings& s, const QString& key) {
  bool ok = false;
  const double v = s.value(key).toString().trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

void LoadSet(QSettings& s, const QString& group, AlarmLimits& l) {
  s.beginGroup(group);
  for (int u = 0; u < kUnitCount; ++u) {
    l.unit[u].low = StoredNumber(s, QStringLiteral("LowID%1").arg(u));
    l.unit[u].high = StoredNumber(s, QStringLiteral("HighID%1").arg(u));
  }
  l.hysteresis = std::max(0.0, StoredNumber(s, QStringLiteral("Hysteresis")).value_or(0));
  l.delaySeconds = std::max(0.0, StoredNumber(s, QStringLiteral("Delay")).value_or(0));
  s.endGroup();
}

void SaveSet(QSettings& s, const QString& group, const AlarmLimits& l) {
  s.beginGroup(group);
  for (int u = 0; u < kUnitCount; ++u) {
    s.setValue(QStringLiteral("LowID%1").arg(u), LimitText(l.unit[u].low));
    s.setValue(QStringLiteral("HighID%1").arg(u), LimitText(l.unit[u].high));
  }
  s.setValue(QStringLiteral("Hysteresis"), QString::number(l.hysteresis, 'g', 15));
  s.setValue(QStringLiteral("Delay"), QString::number(l.delaySeconds, 'g', 15));
  s.endGroup();
}

QSettings OpenStore() { return QSettings(QStringLiteral("Dravel"), QStringLiteral("Larimo")); }

}  // namespace

LimitsProblem CheckLimits(const AlarmLimits& limits, const ModuleData& d, bool unitsInUseOnly) {
  using Field = LimitsProblem::Field;
  const auto finite = [](const std::optional<double>& v) { return !v || std::isfinite(*v); };
  double narrowest = INFINITY;
  for (int u = 0; u < kUnitCount; ++u) {
    const UnitLimits& l = limits.unit[u];
    const bool inUse = IsTrue(d.Units[u].Mflag);
    if (!l.Any() || (!inUse && !unitsInUseOnly)) continue;
    if (!inUse) {
      return {Field::Low, u, QStringLiteral("ID%1 は使用ユニットではありません。").arg(u)};
    }
    if (!finite(l.low))
      return {Field::Low, u, QStringLiteral("ID%1 の下限値に誤りがあります。").arg(u)};
    if (!finite(l.high)) {
      return {Field::High, u, QStringLiteral("ID%1 の上限値に誤りがあります。").arg(u)};
    }
    if (l.low && l.high) {
      if (*l.low > *l.high) {
        return {Field::Low, u, QStringLiteral("ID%1 の下限値が上限値を超えています。").arg(u)};
      }
      narrowest = std::min(narrowest, *l.high - *l.low);
    }
  }
  if (!std::isfinite(limits.hysteresis) || limits.hysteresis < 0) {
    return {Field::Hysteresis, -1, QStringLiteral("ヒステリシスは 0 以上で入力して下さい。")};
  }
  if (limits.hysteresis > narrowest) {
    return {Field::Hysteresis, -1,
            QStringLiteral("ヒステリシスが上限値と下限値の幅より大きくなっています。")};
  }
  if (!std::isfinite(limits.delaySeconds) || limits.delaySeconds < 0) {
    return {Field::Delay, -1, QStringLiteral("遅延時間は 0 以上で入力して下さい。")};
  }
  return {};
}

bool IsSensorFault(Single value, bool ohms) {
  if (value == kNoReading || !std::isfinite(value)) return true;
  if (ohms) return value <= kPinnedOhmsLow || value >= kPinnedOhmsHigh;
  return value <= kPinnedCelsiusLow || value >= kPinnedCelsiusHigh;
}

AlarmSettings LoadAlarmSettings() {
  QSettings s = OpenStore();
  AlarmSettings a;
  s.beginGroup(QStringLiteral("Alarm"));
  LoadSet(s, QStringLiteral("Pt100"), a.pt100);
  LoadSet(s, QStringLiteral("Ohm"), a.ohm);
  a.sound = s.value(QStringLiteral("Sound")).toString() == QLatin1String("True");
  s.endGroup();
  return a;
}

bool SaveAlarmSettings(const AlarmSettings& a) {
  QSettings s = OpenStore();
  s.beginGroup(QStringLiteral("Alarm"));
  SaveSet(s, QStringLiteral("Pt100"), a.pt100);
  SaveSet(s, QStringLiteral("Ohm"), a.ohm);
  s.setValue(QStringLiteral("Sound"), a.sound ? QStringLiteral("True") : QStringLiteral("False"));
  s.endGroup();
  s.sync();
  return s.status() == QSettings::NoError;
}

}  // namespace larimo
