#include "settings/setting_checks.h"

#include <cmath>
#include <cstdint>

#include <QLocale>

#include "store/module_data.h"

namespace larimo {

std::optional<Long> EntryToWhole(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return std::nullopt;
  bool ok = false;
  const double v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  const double r = std::nearbyint(v);  // to nearest, halves to even
  if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
  return static_cast<Long>(r);
}

std::optional<Long> IntervalFromEntry(bool seconds, const QString& entry, bool averaging) {
  const std::optional<Long> n = EntryToWhole(entry);
  if (!n) return std::nullopt;
  const std::int64_t v = static_cast<std::int64_t>(*n) * (seconds ? 1000 : 10);
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  const Long lower =
      seconds ? (averaging ? kMinIntervalSecAveraged : kMinIntervalSec) : kMinIntervalMs;
  const Long upper = seconds ? kMaxIntervalSec : kMaxIntervalMs;
  if (v < lower || v > upper) return std::nullopt;
  return static_cast<Long>(v);
}

bool IntervalIsValid(bool seconds, Long intervalMs, bool averaging) {
  const std::optional<Long> back =
      IntervalFromEntry(seconds, IntervalEntryText(seconds, intervalMs), averaging);
  return back && *back == intervalMs;
}

QString IntervalEntryText(bool seconds, Long intervalMs) {
  const double v = static_cast<double>(intervalMs) / (seconds ? 1000.0 : 10.0);
  return QString::number(v, 'g', 15);
}

int ConnectListIndex(Integer connect) { return connect >= 0 && connect <= 2 ? connect : 2; }

}  // namespace larimo
