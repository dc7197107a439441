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
#include <QSocketNotifier>
#include <QTimer>

#include "cli/record_options.h"
#include "device/device_control.h"
#include "device/quenzel.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "run/acquisition.h"
#include "run/chart_view.h"
#include "run/journal.h"
#include "settings/persisted_settings.h"
#include "store/module_data.h"
#include "store/user_interface.h"

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

// Message boxes as lines on standard error. The one question of a run
// (erase the data?) cannot arise in a fresh process; a question is answered
// yes, since the run was asked for.
class StderrUi final : public UserInterface {
 public:
  explicit StderrUi(Console& console) : console_(console) {}
  MsgAnswer Message(const QString& text, const QString&, MsgIcon, MsgButtons buttons) override {
    QString line = QString(text).replace(QStringLiteral("\n\n"), QStringLiteral(": "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
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
};

// The end of the run as the controller reports it: told on standard error
// and kept for the exit status.
class EndReport final : public NoRunDisplay {
 public:
  explicit EndReport(Console& console) : console_(console) {}
  void RunEnded(const RunEnd& end) override {
    end_ = end;
    for (const UnitFailure& f : end.failures) {
      // A library that could not be bound was told when it happened.
      if (f.code == kLibraryNotBound || f.unit < 0) continue;
      const QString text = DeviceErrorText(f.code);
      console_.Line(QStringLiteral("ID%1: %2 (result code %3)")
                        .arg(f.unit)
                        .arg(text.isEmpty() ? QStringLiteral("unknown result") : text)
                        .arg(f.code));
    }
    if (end.why == RunEnd::Why::BufferFull || end.why == RunEnd::Why::NoRoom) {
      console_.Line(QStringLiteral("the buffer is full: ") +
                    (end.why == RunEnd::Why::BufferFull ? kBufferFull : kNoRoom));
    }
  }
  const std::optional<RunEnd>& End() const { return end_; }

 private:
  Console& console_;
  std::optional<RunEnd> end_;
};

// The samples that every unit in use holds (in block mode the units' counts
// may differ by what one read brought).
Long CompleteRows(const ModuleData& d) {
  Long complete = d.DataNum;
  for (const UnitData& u : d.Units) {
    if (IsTrue(u.Mflag)) complete = std::min(complete, u.Count);
  }
  return complete;
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
  void RunStopped(const ModuleData& d, const RunEnd&) override {
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

// The exit status of a run that ended so.
int ExitStatus(const RunEnd& end, int stopSignal) {
  switch (end.why) {
    case RunEnd::Why::SamplesReached:
      return kRecordDone;
    case RunEnd::Why::BufferFull:
    case RunEnd::Why::NoRoom:
      return kRecordBufferFull;
    case RunEnd::Why::UnitFailed:
      return kRecordUnitFailed;
    case RunEnd::Why::StartRefused:
      return kRecordFailed;
    case RunEnd::Why::Stopped:
      break;
  }
  return stopSignal;
}

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
  RecordOptions o;
  if (const QString refusal = ApplyRecordOptions(args, d, o); !refusal.isEmpty()) {
    console.Line(refusal);
    std::fputs("Try 'larimo-cli --help'.\n", stderr);
    return kRecordUsage;
  }

  quenzel::SelectLibrary(o.simulate ? QStringLiteral("BriskoSim") : QStringLiteral("Brisko"));
  StderrUi ui(console);
  UserInterface* previousUi = SetUi(&ui);
  StopSignals signals;
  ChartView view;
  EndReport display(console);  // the run is shown by the stream and the progress line
  // The crash-safe journal of the run (the window offers to restore it
  // after a crash); it outlives the controller that reports to it.
  Journal journal;
  Acquisition run(d, view, quenzel::Library(), display);
  if (o.samples) run.SetSampleLimit(*o.samples);
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

  QEventLoop loop;
  QTimer timer;
  int stopStatus = kRecordTerminated;
  const auto stop = [&](int status) {
    stopStatus = status;
    if (run.Measuring()) run.Stop();
  };
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (pacing.kind == Pacing::Kind::SampleTimer) {
      run.SampleTimerTick();
    } else {
      run.BlockTick();
    }
    if (run.Measuring() && recorder.OutputClosed()) {
      console.Line(QStringLiteral("standard output was closed"));
      stop(kRecordOutputClosed);
    }
    if (!run.Measuring()) loop.quit();
  });
  std::optional<QSocketNotifier> notifier;
  if (signals.ReadFd() >= 0) {
    notifier.emplace(signals.ReadFd(), QSocketNotifier::Read);
    QObject::connect(&*notifier, &QSocketNotifier::activated, [&] {
      const int sig = signals.Take();
      if (sig == SIGINT) stop(kRecordInterrupted);
      if (sig == SIGTERM) stop(kRecordTerminated);
      if (!run.Measuring()) loop.quit();
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
  timer.stop();

  QString error;
  int rc = display.End() ? ExitStatus(*display.End(), stopStatus) : stopStatus;
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
