#include "cli/record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include "run/chart_view.h"
#include "run/acquisition.h"
#include "store/module_data.h"
#include "store/user_interface.h"
#include "device/quenzel.h"
#include "files/csv_file.h"
#include "run/journal.h"
#include "files/measurement_file.h"
#include "settings/persisted_settings.h"
#include "settings/setting_checks.h"

namespace larimo {

const char kRecordHelp[] =
    "  record --out FILE.rk0 [OPTIONS]\n"
    "                            measure as the application does, without a window,\n"
    "                            and save the run when it ends. Options not given\n"
    "                            come from the settings the application stores.\n"
    "    --simulate              use the simulated units (libBriskoSim.so, set up by\n"
    "                            the BRISKO_SIM* variables) instead of libBrisko.so\n"
    "    --units 0,1,2,3         the IDs of the units in use\n"
    "    --wiring 2,3,4,2        2-, 3- or 4-wire, for ID0, ID1, ... in this order\n"
    "    --kind pt100|ohm        temperature in degC or resistance in ohm\n"
    "    --interval 1s|250ms     seconds (single samples, 1 to 65535 s) or\n"
    "                            milliseconds (the units' timed sampling, 10 to\n"
    "                            100000 ms in steps of 10)\n"
    "    --average, --no-average averaging on or off (on: at least 10 s)\n"
    "    --memo TEXT             a memo line of the file; up to five, in order\n"
    "    --duration TIME         stop after this much measured time: 90s, 10m, 2h,\n"
    "                            500ms (a number alone counts seconds)\n"
    "    --samples N             stop after N samples (1 to 88000)\n"
    "    --csv FILE.csv          also write the application's CSV export\n"
    "    --stdout                print each stored sample as one line: elapsed\n"
    "                            seconds, then the reading of each unit in use,\n"
    "                            comma-separated, flushed every cycle\n"
    "                            Without --duration and --samples the run goes on\n"
    "                            until the buffer is full (88000 samples) or it is\n"
    "                            interrupted (Ctrl-C, SIGTERM). On a terminal a\n"
    "                            progress line is shown on stderr. With --simulate\n"
    "                            and a stepped BRISKO_SIM_CLOCK the poll timer\n"
    "                            does not wait: the units' time moves only by the\n"
    "                            reads.\n"
    "  exit status of record (all but 1 and 2 after saving what was stored):\n"
    "    0    --duration or --samples reached\n"
    "    1    the run did not start (nothing recorded), or a file was not written\n"
    "    2    wrong usage, or a setting the settings dialog would refuse\n"
    "    5    a unit failed (its ID, the library's code and text are on stderr)\n"
    "    6    the buffer is full (88000 samples)\n"
    "    130  interrupted (SIGINT), 143 terminated (SIGTERM)\n"
    "    141  standard output was closed (--stdout)\n";

namespace {

const QString kNoUnitChecked = QStringLiteral("使用ユニットにチェックが付いていません。");
const QString kBadTime = QStringLiteral("時間の入力に誤りがあります。");
const QString kBufferFullText =
    QStringLiteral("データ入力バッファがいっぱいのため測定を中止します。");

// Standard error, shared by messages and the progress line: a message first
// clears a progress line that is showing.
class Console {
 public:
  Console() : tty_(isatty(STDERR_FILENO) == 1) {}
  bool Tty() const { return tty_; }
  void Line(const QString& text) {
    ClearProgress();
    std::fputs(("larimo-cli: " + text + "\n").toUtf8().constData(), stderr);
    std::fflush(stderr);
  }
  void Progress(const QString& text) {
    if (!tty_) return;
    std::fputs(("\r\033[K" + text).toUtf8().constData(), stderr);
    std::fflush(stderr);
    shown_ = true;
  }
  // Leaves the last progress line standing.
  void EndProgress() {
    if (!shown_) return;
    std::fputs("\n", stderr);
    shown_ = false;
  }

 private:
  void ClearProgress() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
  }
  bool tty_;
  bool shown_ = false;
};

// The bound library's table with every failing call noted, so a message of
// the library's code can name the unit it came from.
class DeviceWatch {
 public:
  explicit DeviceWatch(const DeviceTable& inner) : inner_(inner) {
    table_.Open = [this](Integer id) { return Note(id, inner_.Open(id)); };
    table_.Close = [this](Integer id) { inner_.Close(id); };
    table_.SingleSample = [this](Integer id, double* v, Byte w, Byte t) {
      return Note(id, inner_.SingleSample(id, v, w, t));
    };
    table_.StartSample = [this](Integer id, Integer rate) {
      return Note(id, inner_.StartSample(id, rate));
    };
    table_.GetDatas = [this](Integer id, double* v, Byte* s, Byte* c, Byte w, Byte t) {
      return Note(id, inner_.GetDatas(id, v, s, c, w, t));
    };
  }
  const DeviceTable& Table() const { return table_; }
  int Failures() const { return failures_; }
  // The unit and code of the failure not yet told, if any; forgets it.
  std::optional<std::pair<Integer, Integer>> TakePending() {
    auto p = pending_;
    pending_.reset();
    return p;
  }

 private:
  Integer Note(Integer id, Integer rc) {
    if (rc != 0) {
      ++failures_;
      pending_ = std::make_pair(id, rc);
    }
    return rc;
  }
  DeviceTable inner_;
  DeviceTable table_;
  int failures_ = 0;
  std::optional<std::pair<Integer, Integer>> pending_;
};

// Message boxes as lines on standard error. A device error names its unit
// and code. The one question of a run (erase the data?) cannot arise in a
// fresh process; a question is answered yes, since the run was asked for.
class StderrUi final : public UserInterface {
 public:
  StderrUi(Console& console, DeviceWatch& watch) : console_(console), watch_(watch) {}
  MsgAnswer Message(const QString& text, const QString& title, MsgIcon,
                    MsgButtons buttons) override {
    QString line = QString(text).replace(QStringLiteral("\n\n"), QStringLiteral(": "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (title == QLatin1String("QuenzelApp")) {
      if (const auto p = watch_.TakePending()) {
        line = QStringLiteral("ID%1: %2 (result code %3)")
                   .arg(p->first)
                   .arg(line.isEmpty() ? QStringLiteral("unknown result") : line)
                   .arg(p->second);
      }
    }
    if (buttons == MsgButtons::YesNo) {
      console_.Line(line + QStringLiteral(" -> yes"));
      return MsgAnswer::Yes;
    }
    console_.Line(line);
    return MsgAnswer::Ok;
  }
  std::optional<QString> ChooseFile(const FileRequest&) override { return std::nullopt; }

 private:
  Console& console_;
  DeviceWatch& watch_;
};

struct Options {
  bool simulate = false;
  bool toStdout = false;
  QString out;
  QString csv;
  std::optional<Long> samples;       // from --samples
  std::optional<double> durationMs;  // from --duration
  std::vector<QString> memos;
};

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
QString ApplyOptions(const QStringList& args, ModuleData& d, Options& o) {
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

// The samples that every unit in use holds (in block mode the units' counts
// may differ by what one read brought).
Long CompleteRows(const ModuleData& d) {
  Long complete = d.DataNum;
  for (const UnitData& u : d.Units) {
    if (IsTrue(u.Mflag)) complete = std::min(complete, u.Count);
  }
  return complete;
}

// Keeps the first n samples of the run (block mode stores whole blocks, so a
// run that asked for n samples may hold a few more).
void KeepSamples(ModuleData& d, Long n) {
  for (UnitData& u : d.Units) {
    if (u.Count <= n) continue;
    u.Count = n;
    const auto first = u.Values.begin();
    u.MaxValue = *std::max_element(first, first + n);
    u.MinValue = *std::min_element(first, first + n);
  }
  if (d.DataNum > n) d.DataNum = n;
  d.CalcDataRange();
}

QString Clock(qint64 ms) {
  const qint64 s = ms / 1000;
  return QStringLiteral("%1:%2:%3")
      .arg(s / 3600)
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Follows the stored samples: the --stdout stream and the progress line.
class Recorder final : public RunObserver {
 public:
  // limit: the samples the run asked for (the stream stops there).
  Recorder(Console& console, bool toStdout, Long limit)
      : console_(console), toStdout_(toStdout), limit_(limit) {}
  bool OutputClosed() const { return outputClosed_; }

  void RunStarted(const ModuleData&) override {
    streamed_ = 0;
    sinceProgress_.start();
  }
  void SamplesStored(const ModuleData& d) override {
    // A row is streamed once every unit in use holds its reading.
    Stream(d, CompleteRows(d));
    if (console_.Tty() && sinceProgress_.elapsed() >= 200) {
      ShowProgress(d);
      sinceProgress_.restart();
    }
  }
  void RunStopped(const ModuleData& d) override {
    Stream(d, d.DataNum);
    if (console_.Tty()) {
      ShowProgress(d);
      console_.EndProgress();
    }
  }

 private:
  void Stream(const ModuleData& d, Long upTo) {
    upTo = std::min(upTo, limit_);
    if (!toStdout_ || outputClosed_ || upTo <= streamed_) return;
    QByteArray text;
    for (Long k = streamed_; k < upTo; ++k) {
      text += CsvDouble(SampleSeconds(d.IntervalTM, k + 1)).toLatin1();
      for (const UnitData& u : d.Units) {
        if (!IsTrue(u.Mflag)) continue;
        text += ',';
        if (k < u.Count) text += CsvSingle(u.Values[static_cast<std::size_t>(k)]).toLatin1();
      }
      text += '\n';
    }
    streamed_ = upTo;
    if (std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout) !=
            static_cast<std::size_t>(text.size()) ||
        std::fflush(stdout) != 0) {
      outputClosed_ = true;
    }
  }
  void ShowProgress(const ModuleData& d) {
    QString line = QStringLiteral("%1 samples  %2")
                       .arg(d.DataNum)
                       .arg(Clock(static_cast<qint64>(d.DataNum) * d.IntervalTM));
    for (int u = 0; u < kUnitCount; ++u) {
      const UnitData& unit = d.Units[u];
      if (!IsTrue(unit.Mflag)) continue;
      line += QStringLiteral("  ID%1 ").arg(u);
      line += unit.Count > 0
                  ? QString::number(unit.Values[static_cast<std::size_t>(unit.Count - 1)], 'f', 3)
                  : QStringLiteral("-");
    }
    line += QStringLiteral("  full in %1")
                .arg(Clock(static_cast<qint64>(kBufferSize - d.DataNum) * d.IntervalTM));
    console_.Progress(line);
  }

  Console& console_;
  bool toStdout_;
  Long limit_;
  bool outputClosed_ = false;
  Long streamed_ = 0;
  QElapsedTimer sinceProgress_;
};

// SIGINT and SIGTERM reach the event loop through a pipe: the handler only
// writes the signal's number to it.
int g_signalWrite = -1;

extern "C" void OnStopSignal(int sig) {
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(sig);
  [[maybe_unused]] const ssize_t n = write(g_signalWrite, &b, 1);
  errno = saved;
}

class StopSignals {
 public:
  StopSignals() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_signalWrite = fds_[1];
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
    // A closed standard output is seen by the write, not as a signal.
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, &oldPipe_);
    installed_ = true;
  }
  ~StopSignals() {
    if (!installed_) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGPIPE, &oldPipe_, nullptr);
    g_signalWrite = -1;
    close(fds_[0]);
    close(fds_[1]);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  int ReadFd() const { return installed_ ? fds_[0] : -1; }
  // The signal that arrived, 0 when none.
  int Take() const {
    unsigned char b = 0;
    return read(fds_[0], &b, 1) == 1 ? b : 0;
  }

 private:
  int fds_[2] = {-1, -1};
  bool installed_ = false;
  struct sigaction oldInt_ {
  }, oldTerm_{}, oldPipe_{};
};

}  // namespace

int RecordCommand(const QStringList& args) {
  if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
    std::fputs(kRecordHelp, stdout);
    return kRecordDone;
  }
  Console console;
  ModuleData d;
  d.InitDataBuffers();
  LoadSettings(d);
  Options o;
  if (const QString refusal = ApplyOptions(args, d, o); !refusal.isEmpty()) {
    console.Line(refusal);
    std::fputs("Try 'larimo-cli --help'.\n", stderr);
    return kRecordUsage;
  }

  quenzel::SelectLibrary(o.simulate ? QStringLiteral("BriskoSim") : QStringLiteral("Brisko"));
  DeviceWatch watch(quenzel::Library());
  StderrUi ui(console, watch);
  UserInterface* previousUi = SetUi(&ui);
  StopSignals signals;
  ChartView view;
  NoRunDisplay display;  // the run is shown by the stream and the progress line
  // The crash-safe journal of the run (the window offers to restore it
  // after a crash); it outlives the controller that reports to it.
  Journal journal;
  Acquisition run(d, view, watch.Table(), display);
  Recorder recorder(console, o.toStdout, o.samples.value_or(kBufferSize));
  run.AddObserver(&recorder);
  run.AddObserver(&journal);

  const Pacing pacing = run.Start();
  if (pacing.kind == Pacing::Kind::None) {
    console.Line(QStringLiteral("the run did not start; nothing was recorded"));
    SetUi(previousUi);
    return kRecordFailed;
  }
  for (std::size_t i = 0; i < o.memos.size(); ++i) d.Memo[i] = o.memos[i];
  const int failuresAtStart = watch.Failures();

  QEventLoop loop;
  QTimer timer;
  int status = -1;
  const auto end = [&](int why) {
    if (status >= 0) return;
    status = why;
    if (run.Measuring()) run.Stop();
    timer.stop();
    loop.quit();
  };
  // After every cycle: has the run reached its end?
  const auto check = [&] {
    if (o.samples && CompleteRows(d) >= *o.samples) {
      KeepSamples(d, *o.samples);
      end(kRecordDone);
    } else if (watch.Failures() > failuresAtStart) {
      end(kRecordUnitFailed);
    } else if (d.DataNum >= kBufferSize || !run.CheckRoom()) {
      if (run.Measuring()) console.Line(kBufferFullText);
      end(kRecordBufferFull);
    } else if (!run.Measuring()) {
      end(kRecordUnitFailed);
    } else if (recorder.OutputClosed()) {
      console.Line(QStringLiteral("standard output was closed"));
      end(kRecordOutputClosed);
    }
  };
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (pacing.kind == Pacing::Kind::SampleTimer) {
      run.SampleTimerTick();
    } else {
      run.BlockTick();
    }
    check();
  });
  std::optional<QSocketNotifier> notifier;
  if (signals.ReadFd() >= 0) {
    notifier.emplace(signals.ReadFd(), QSocketNotifier::Read);
    QObject::connect(&*notifier, &QSocketNotifier::activated, [&] {
      const int sig = signals.Take();
      if (sig == SIGINT) end(kRecordInterrupted);
      if (sig == SIGTERM) end(kRecordTerminated);
    });
  }
  // With a stepped simulated clock the units' time moves only by the reads,
  // so waiting between them would only make the run slower.
  const bool steppedClock =
      o.simulate &&
      qEnvironmentVariable("BRISKO_SIM_CLOCK").trimmed().startsWith(QLatin1String("step"));
  timer.setInterval(steppedClock ? 0 : pacing.intervalMs);
  timer.start();
  loop.exec();

  QString error;
  int rc = status;
  if (!SaveDataFile(d, o.out, &error)) {
    console.Line(o.out + QStringLiteral(": ") + error.section(QLatin1Char('\n'), -1));
    rc = kRecordFailed;
  }
  if (!o.csv.isEmpty() && !SaveCsvFile(d, o.csv, &error)) {
    console.Line(o.csv + QStringLiteral(": ") + error.section(QLatin1Char('\n'), -1));
    rc = kRecordFailed;
  }
  if (rc != kRecordFailed) {
    // The run is saved: its journal is no longer needed.
    journal.Forget();
    console.Line(QStringLiteral("%1 samples saved to %2").arg(d.DataNum).arg(o.out));
  }
  SetUi(previousUi);
  return rc;
}

}  // namespace larimo
