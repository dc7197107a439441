#include "cli/record_options.h"

#include <algorithm>
#include <utility>

#include <QRegularExpression>

#include "settings/setting_checks.h"

namespace larimo {

namespace {

const QString kNoUnitChecked = QStringLiteral("使用ユニットにチェックが付いていません。");
const QString kBadTime = QStringLiteral("時間の入力に誤りがあります。");

// "--name VALUE" and "--name=VALUE".
class ArgReader {
 public:
  explicit ArgReader(const QStringList& args) : args_(args) {}
  bool Next() {
    if (i_ >= args_.size()) return false;
    const QString a = args_[i_++];
    const qsizetype eq = a.indexOf(QLatin1Char('='));
    if (a.startsWith(QLatin1String("--")) && eq > 0) {
      name_ = a.left(eq);
      inline_ = a.mid(eq + 1);
    } else {
      name_ = a;
      inline_.reset();
    }
    return true;
  }
  const QString& Name() const { return name_; }
  bool HasInlineValue() const { return inline_.has_value(); }
  std::optional<QString> Value() {
    if (inline_) return std::exchange(inline_, std::nullopt);
    if (i_ >= args_.size()) return std::nullopt;
    return args_[i_++];
  }

 private:
  const QStringList& args_;
  qsizetype i_ = 0;
  QString name_;
  std::optional<QString> inline_;
};

std::optional<std::vector<int>> NumberList(const QString& text) {
  std::vector<int> out;
  for (const QString& part : text.split(QLatin1Char(','))) {
    bool ok = false;
    const int v = part.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    out.push_back(v);
  }
  return out;
}

// "1s", "250ms": the mode and the interval in milliseconds.
std::optional<std::pair<bool, qint64>> ParseInterval(const QString& text) {
  static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,9})\\s*(s|ms)\\s*$"));
  const auto m = re.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const qint64 n = m.captured(1).toLongLong();
  const bool seconds = m.captured(2) == QLatin1String("s");
  return std::make_pair(seconds, seconds ? n * 1000 : n);
}

std::optional<double> ParseDuration(const QString& text) {
  static const QRegularExpression re(
      QStringLiteral("^\\s*(\\d{1,9}(?:\\.\\d+)?)\\s*(ms|s|m|h)?\\s*$"));
  const auto m = re.match(text);
  if (!m.hasMatch()) return std::nullopt;
  const QString unit = m.captured(2);
  const double scale = unit == QLatin1String("ms")  ? 1.0
                       : unit == QLatin1String("m") ? 60000.0
                       : unit == QLatin1String("h") ? 3600000.0
                                                    : 1000.0;
  return m.captured(1).toDouble() * scale;
}

QString IntervalLimits() {
  return QStringLiteral(
      "milliseconds: 10 to 100000 in steps of 10; seconds: 1 to 65535, with --average at "
      "least 10");
}

// Applies the options over the stored settings already in d. Returns an
// empty string, or the message of the refusal.
}  // namespace

QString ApplyRecordOptions(const QStringList& args, ModuleData& d, RecordOptions& o) {
  std::optional<std::pair<bool, qint64>> interval;
  QString intervalText;
  ArgReader r(args);
  while (r.Next()) {
    const QString name = r.Name();
    const auto flag = [&](bool* target) {
      if (r.HasInlineValue()) return false;
      *target = true;
      return true;
    };
    if (name == QLatin1String("--simulate")) {
      if (!flag(&o.simulate)) return name + QStringLiteral(" takes no value");
      continue;
    }
    if (name == QLatin1String("--stdout")) {
      if (!flag(&o.toStdout)) return name + QStringLiteral(" takes no value");
      continue;
    }
    if (name == QLatin1String("--average") || name == QLatin1String("--no-average")) {
      if (r.HasInlineValue()) return name + QStringLiteral(" takes no value");
      d.DataAverage = ToBoolean(name == QLatin1String("--average"));
      continue;
    }
    if (!name.startsWith(QLatin1String("--")))
      return QStringLiteral("unexpected argument '%1'").arg(name);
    const std::optional<QString> v = r.Value();
    if (!v) return name + QStringLiteral(" needs a value");
    if (name == QLatin1String("--out")) {
      o.out = *v;
    } else if (name == QLatin1String("--csv")) {
      o.csv = *v;
    } else if (name == QLatin1String("--memo")) {
      if (o.memos.size() == 5) return QStringLiteral("at most five --memo lines");
      o.memos.push_back(*v);
    } else if (name == QLatin1String("--units")) {
      const auto ids = NumberList(*v);
      if (!ids || std::any_of(ids->begin(), ids->end(), [](int id) { return id < 0 || id > 3; }))
        return QStringLiteral("--units %1: unit IDs are 0 to 3, comma-separated").arg(*v);
      for (int u = 0; u < kUnitCount; ++u) {
        d.Units[u].Mflag = ToBoolean(std::find(ids->begin(), ids->end(), u) != ids->end());
      }
    } else if (name == QLatin1String("--wiring")) {
      const auto w = NumberList(*v);
      if (!w || w->size() > kUnitCount ||
          std::any_of(w->begin(), w->end(), [](int x) { return x < 2 || x > 4; }))
        return QStringLiteral("--wiring %1: 2, 3 or 4 for ID0 to ID3, comma-separated").arg(*v);
      for (std::size_t u = 0; u < w->size(); ++u) {
        d.Units[u].Connect = static_cast<Integer>((*w)[u] - 2);
      }
    } else if (name == QLatin1String("--kind")) {
      if (*v == QLatin1String("pt100")) {
        d.MeasKind = kFalse;
      } else if (*v == QLatin1String("ohm")) {
        d.MeasKind = kTrue;
      } else {
        return QStringLiteral("--kind %1: pt100 or ohm").arg(*v);
      }
    } else if (name == QLatin1String("--interval")) {
      interval = ParseInterval(*v);
      intervalText = *v;
      if (!interval)
        return QStringLiteral("--interval %1: %2 (%3)").arg(*v, kBadTime, IntervalLimits());
    } else if (name == QLatin1String("--duration")) {
      o.durationMs = ParseDuration(*v);
      if (!o.durationMs)
        return QStringLiteral("--duration %1: a time such as 90s, 10m, 2h or 500ms").arg(*v);
    } else if (name == QLatin1String("--samples")) {
      bool ok = false;
      const int n = v->toInt(&ok);
      if (!ok || n < 1 || n > kBufferSize)
        return QStringLiteral("--samples %1: 1 to %2").arg(*v).arg(kBufferSize);
      o.samples = n;
    } else {
      return QStringLiteral("unknown option '%1'").arg(name);
    }
  }
  if (o.out.isEmpty()) return QStringLiteral("--out FILE.rk0 is required");
  if (o.samples && o.durationMs) return QStringLiteral("give --duration or --samples, not both");

  // The settings dialog's checks, on what the run would use.
  if (std::none_of(d.Units.begin(), d.Units.end(),
                   [](const UnitData& u) { return IsTrue(u.Mflag); })) {
    return kNoUnitChecked + QStringLiteral(" (--units)");
  }
  if (interval) {
    if (interval->second > kMaxIntervalSec ||
        !IntervalIsValid(interval->first, static_cast<Long>(interval->second),
                         IsSet(d.DataAverage))) {
      return QStringLiteral("--interval %1: %2 (%3)").arg(intervalText, kBadTime, IntervalLimits());
    }
    d.TimerType = ToBoolean(interval->first);
    d.IntervalTM = static_cast<Long>(interval->second);
  } else if (!IntervalIsValid(IsTrue(d.TimerType), d.IntervalTM, IsSet(d.DataAverage))) {
    return QStringLiteral("the stored interval (%1 ms, %2%3): %4 Give --interval (%5)")
        .arg(d.IntervalTM)
        .arg(IsTrue(d.TimerType) ? QStringLiteral("seconds") : QStringLiteral("milliseconds"))
        .arg(IsSet(d.DataAverage) ? QStringLiteral(", averaging") : QString())
        .arg(kBadTime, IntervalLimits());
  }
  d.CalcAverageNum();
  if (o.durationMs) {
    const double n = *o.durationMs / static_cast<double>(d.IntervalTM);
    if (n < 1) return QStringLiteral("--duration is shorter than one interval");
    o.samples = static_cast<Long>(std::min<double>(n, kBufferSize + 1.0));
  }
  return {};
}

}  // namespace larimo
