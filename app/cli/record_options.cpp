#include "cli/record_options.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include <QFile>
#include <QFileInfo>
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

QString IntervalLimits() {
  return QStringLiteral(
      "milliseconds: 10 to 100000 in steps of 10; seconds: 1 to 65535, with --average at "
      "least 10");
}

// The options that take a value.
bool TakesValue(const QString& name) {
  static const QStringList names = {"--out",  "--csv",      "--memo",     "--units",  "--wiring",
                                    "--kind", "--interval", "--duration", "--samples"};
  // --mqtt URL, --mqtt-topic PREFIX, ... (SetMqttOption)
  return names.contains(name) || name.startsWith(QLatin1String("--mqtt"));
}

// The two paths name one file (compared as absolute paths, or as real ones
// when both exist).
bool SameFile(const QString& a, const QString& b) {
  const QFileInfo fa(a);
  const QFileInfo fb(b);
  if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
  return fa.absoluteFilePath() == fb.absoluteFilePath();
}

}  // namespace

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

QString ApplyRecordOptions(const QStringList& args, ModuleData& d, RecordOptions& o) {
  std::optional<std::pair<bool, qint64>> interval;
  QString intervalText;
  std::optional<std::vector<int>> wiring;
  QString wiringText;
  std::vector<int> unitOrder;  // --units as given
  ArgReader r(args);
  while (r.Next()) {
    const QString name = r.Name();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
      o.help = true;
      return {};
    }
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
    if (!TakesValue(name)) return QStringLiteral("unknown option '%1'").arg(name);
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
      unitOrder.clear();
      for (int id : *ids) {
        if (std::find(unitOrder.begin(), unitOrder.end(), id) == unitOrder.end())
          unitOrder.push_back(id);
      }
    } else if (name == QLatin1String("--wiring")) {
      wiring = NumberList(*v);
      wiringText = *v;
      if (!wiring ||
          std::any_of(wiring->begin(), wiring->end(), [](int x) { return x < 2 || x > 4; }))
        return QStringLiteral("--wiring %1: 2, 3 or 4 per unit, comma-separated").arg(*v);
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
      if (!ok || n < 1 || n > o.maxSamples)
        return QStringLiteral("--samples %1: 1 to %2").arg(*v).arg(o.maxSamples);
      o.samples = n;
    } else if (!SetMqttOption(name, *v, o.mqtt)) {
      return QStringLiteral("unknown option '%1'").arg(name);
    }
  }
  if (const QString refusal = CheckMqttSettings(o.mqtt); !refusal.isEmpty()) return refusal;
  if (o.out.isEmpty()) return QStringLiteral("--out FILE.rk0 is required");
  if (!o.csv.isEmpty() && SameFile(o.out, o.csv))
    return QStringLiteral("--out and --csv name the same file");
  if (o.samples && o.durationMs) return QStringLiteral("give --duration or --samples, not both");

  // The settings dialog's checks, on what the run would use.
  if (std::none_of(d.Units.begin(), d.Units.end(),
                   [](const UnitData& u) { return IsTrue(u.Mflag); })) {
    return kNoUnitChecked + QStringLiteral(" (--units)");
  }
  if (wiring) {
    // Four values are ID0 to ID3; as many as the units in use follow the
    // order of --units (else the IDs' order).
    if (unitOrder.empty()) {
      for (int u = 0; u < kUnitCount; ++u) {
        if (IsTrue(d.Units[u].Mflag)) unitOrder.push_back(u);
      }
    }
    std::vector<int> ids = {0, 1, 2, 3};
    if (wiring->size() != ids.size()) ids = unitOrder;
    if (wiring->size() != ids.size()) {
      return QStringLiteral("--wiring %1: give 4 values (ID0 to ID3) or one per unit in use (%2)")
          .arg(wiringText)
          .arg(unitOrder.size());
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
      d.Units[ids[i]].Connect = static_cast<Integer>((*wiring)[i] - 2);
    }
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
    o.samples = static_cast<Long>(std::min<double>(n, o.maxSamples + 1.0));
  }
  return {};
}

QString CheckOutputs(const RecordOptions& o) {
  for (const QString& path : {o.out, o.csv}) {
    if (path.isEmpty()) continue;
    const QFileInfo file(path);
    if (file.isDir()) return QStringLiteral("%1: is a folder").arg(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
      return QStringLiteral("%1: the folder %2 does not exist").arg(path, folder.filePath());
    if (::access(QFile::encodeName(folder.filePath()).constData(), W_OK) != 0)
      return QStringLiteral("%1: the folder %2 cannot be written").arg(path, folder.filePath());
  }
  return {};
}

}  // namespace larimo
