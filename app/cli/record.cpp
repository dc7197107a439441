#include "cli/record.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "alarm/alarm_events_file.h"
#include "alarm/alarm_journal.h"
#include "alarm/alarm_monitor.h"
#include "cli/output_queue.h"
#include "cli/part_writer.h"
#include "cli/record_alarms.h"
#include "cli/record_options.h"
#include "cli/recover.h"
#include "cli/split_parts.h"
#include "device/device_control.h"
#include "device/quenzel.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "publish/mqtt_publisher.h"
#include "publish/mqtt_settings.h"
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
    "                            The outputs are checked before measuring.\n"
    "    --simulate              use the simulated units (libBriskoSim.so, set up by\n"
    "                            the BRISKO_SIM* variables) instead of libBrisko.so\n"
    "    --units 0,1,2,3         the IDs of the units in use\n"
    "    --wiring 2,3,4,2        2-, 3- or 4-wire: four values are ID0 to ID3; as\n"
    "                            many values as units in use follow the order of\n"
    "                            --units; any other count is refused\n"
    "    --kind pt100|ohm        temperature in degC or resistance in ohm\n"
    "    --interval 1s|250ms     seconds (single samples, 1 to 65535 s) or\n"
    "                            milliseconds (the units' timed sampling, 10 to\n"
    "                            100000 ms in steps of 10)\n"
    "    --average, --no-average averaging on or off (on: seconds intervals of at\n"
    "                            least 10 s; any milliseconds interval)\n"
    "    --memo TEXT             a memo line of the file; up to five, in order\n"
    "    --duration TIME         stop after this much measured time: 90s, 10m, 2h,\n"
    "                            500ms (a number alone counts seconds)\n"
    "    --samples N             stop after N samples (1 to 88000, more with --split)\n"
    "    --csv FILE.csv          also write the application's CSV export (not the\n"
    "                            file of --out)\n"
    "    --stdout                print each stored sample as one line: elapsed\n"
    "                            seconds, then the reading of each unit in use,\n"
    "                            comma-separated. A reader that falls behind by\n"
    "                            more than 1 MiB loses lines of the stream (told on\n"
    "                            stderr and counted at the end), never of the file.\n"
    "    --split                 when the buffer is full (88000 samples), go on\n"
    "                            into the next file without stopping the units:\n"
    "                            --out run.rk0 becomes run-0001.rk0, run-0002.rk0,\n"
    "                            ... (--csv likewise), numbered after the parts\n"
    "                            already there; without --duration and --samples\n"
    "                            the run goes on until it is interrupted\n"
    "    --split-every N|TIME    --split, with a new file every N samples or every\n"
    "                            TIME of measured time (1h, 10m, 90s, 500ms)\n"
    "    --alarm ID:LOW:HIGH     limit alarm of a unit in use, in the unit of the\n"
    "                            data; an empty end is off (--alarm 0::80).\n"
    "                            Repeatable; given, these are the only limits\n"
    "                            (else the limits the application stores apply)\n"
    "    --alarm-hysteresis X    a value must come back inside by X to clear\n"
    "    --alarm-delay TIME      a value must stay outside this long to raise an\n"
    "                            alarm (90s, 10m, 500ms; a number alone: seconds)\n"
    "                            A unit without a reading or with a value pinned\n"
    "                            at the conversion's ends raises a sensor alarm.\n"
    "                            Each event (high, low, sensor, clear) is a line\n"
    "                            on stderr and is saved beside --out as\n"
    "                            NAME.events.csv\n"
    "    --events FILE.csv       also write the events as they come (columns\n"
    "                            elapsed_s,time,unit,event,value,limit)\n"
    "    --on-alarm CMD          run CMD through /bin/sh -c for every event, not\n"
    "                            waited for, with LARIMO_UNIT, LARIMO_EVENT,\n"
    "                            LARIMO_VALUE, LARIMO_LIMIT, LARIMO_TIME and\n"
    "                            LARIMO_ELAPSED set\n"
    "    --stop-on-alarm         end the run at the first event (exit status 7)\n"
    "                            Without --duration and --samples the run goes on\n"
    "                            until the buffer is full (88000 samples) or it is\n"
    "                            interrupted (Ctrl-C, SIGTERM, SIGHUP). On a terminal\n"
    "                            a progress line is shown on stderr. Runs left\n"
    "                            behind by earlier runs are mentioned on stderr.\n"
    "                            With --simulate and a stepped BRISKO_SIM_CLOCK the\n"
    "                            poll timer does not wait: the units' time moves\n"
    "                            only by the reads.\n"
    "    --mqtt URL              also publish the run to an MQTT broker:\n"
    "                            mqtt://host[:port] or mqtts://host[:port] (TLS);\n"
    "                            \"\" publishes nothing. The --mqtt options\n"
    "                            override the settings the application stores.\n"
    "    --mqtt-topic PREFIX     the topics' prefix (default larimo/<host name>)\n"
    "    --mqtt-user NAME        the user name at the broker\n"
    "    --mqtt-password-file FILE  the password: the first line of FILE\n"
    "    --mqtt-cafile FILE      mqtts: the CA certificate of the broker's\n"
    "                            certificate (else the system's authorities)\n"
    "                            At the end the recorder waits up to 10 s for the\n"
    "                            broker to acknowledge every sample.\n"
    "  exit status of record (all but 1 and 2 after saving what was stored):\n"
    "    0    --duration or --samples reached\n"
    "    1    the run did not start or an output cannot be created (nothing\n"
    "         recorded), or a file was not written (the run stays in its journal:\n"
    "         see recover)\n"
    "    2    wrong usage, or a setting the settings dialog would refuse\n"
    "    5    a unit failed (its ID, the library's code and text are on stderr)\n"
    "    6    the buffer is full (88000 samples; not with --split)\n"
    "    7    an alarm event ended the run (--stop-on-alarm)\n"
    "    129  the terminal or session went away (SIGHUP)\n"
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
// yes, since the run was asked for, except one whose safe answer is No.
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
    if (buttons == MsgButtons::YesNoDefaultNo) {
      console_.Line(line + QStringLiteral(" -> no"));
      return MsgAnswer::No;
    }
    console_.Line(line);
    return MsgAnswer::Ok;
  }
  void Notify(const QString& text, const QString& title, MsgIcon icon) override {
    Message(text, title, icon, MsgButtons::Ok);
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
  // limit: the samples the run asked for (the stream stops there). stream:
  // the queue of standard output, null without --stdout.
  Recorder(Console& console, OutputQueue* stream, Long limit)
      : console_(console), stream_(stream), limit_(limit) {}
  bool OutputClosed() const { return stream_ && stream_->Closed(); }

  void RunStarted(const ModuleData&) override {
    streamed_ = 0;
    shown_ = 0;
    partFirstRow_ = 0;
    part_ = split_ ? 1 : 0;
    sinceProgress_.start();
  }
  // The stream and the progress line count the run's samples across parts;
  // the rows carried into the part were streamed already when complete.
  void PartStarted(const ModuleData& d, Long firstRow) override {
    partFirstRow_ = firstRow;
    ++part_;
    SamplesStored(d);
  }
  // The run goes on in parts of partRows samples: the progress line names them.
  void SplitRun(Long partRows) {
    split_ = true;
    partRows_ = partRows;
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
  // upTo: the rows of the current part to stream.
  void Stream(const ModuleData& d, Long upTo) {
    upTo = std::min(partFirstRow_ + upTo, limit_);
    if (!stream_ || stream_->Closed() || upTo <= streamed_) return;
    QByteArray text;
    for (Long k = streamed_; k < upTo; ++k) {
      text += CsvDouble(SampleSeconds(d.IntervalTM, k + 1)).toLatin1();
      const Long row = k - partFirstRow_;
      for (const UnitData& u : d.Units) {
        if (!IsTrue(u.Mflag)) continue;
        text += ',';
        if (row < u.Count) text += CsvSingle(u.Values[static_cast<std::size_t>(row)]).toLatin1();
      }
      text += '\n';
    }
    const Long lines = upTo - streamed_;
    streamed_ = upTo;
    if (!stream_->Push(text, lines) && !stream_->Closed() && !toldDrop_) {
      toldDrop_ = true;
      console_.Line(
          QStringLiteral("standard output is not read fast enough: lines of the stream are dropped "
                         "(the file keeps every sample)"));
    }
  }
  void ShowProgress(const ModuleData& d) {
    // The samples every unit holds, up to the limit: a count that never goes back.
    shown_ = std::max(shown_, std::min(partFirstRow_ + CompleteRows(d), limit_));
    QString line = part_ > 0 ? QStringLiteral("part %1  ").arg(part_) : QString();
    line += QStringLiteral("%1 samples  %2")
                .arg(shown_)
                .arg(Clock(static_cast<qint64>(shown_) * d.IntervalTM));
    for (int u = 0; u < kUnitCount; ++u) {
      const UnitData& unit = d.Units[u];
      if (!IsTrue(unit.Mflag)) continue;
      line += QStringLiteral("  ID%1 ").arg(u);
      line += unit.Count > 0
                  ? QString::number(unit.Values[static_cast<std::size_t>(unit.Count - 1)], 'f', 3)
                  : QStringLiteral("-");
    }
    line += (part_ > 0 ? QStringLiteral("  next part in %1") : QStringLiteral("  full in %1"))
                .arg(Clock(static_cast<qint64>(partRows_ + partFirstRow_ - shown_) * d.IntervalTM));
    console_.Progress(line);
  }

  Console& console_;
  OutputQueue* stream_;
  Long limit_;
  Long streamed_ = 0;  // rows of the run
  Long shown_ = 0;
  Long partRows_ = kBufferSize;
  bool split_ = false;
  Long partFirstRow_ = 0;
  int part_ = 0;  // 0: the run is not split
  bool toldDrop_ = false;
  QElapsedTimer sinceProgress_;
};

// SIGINT, SIGTERM and SIGHUP reach the event loop through a pipe: the
// handler only writes the signal's number to it.
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
    sigaction(SIGHUP, &sa, &oldHup_);
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
    sigaction(SIGHUP, &oldHup_, nullptr);
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
  }, oldTerm_{}, oldHup_{}, oldPipe_{};
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
  Console console;
  ModuleData d;
  d.InitDataBuffers();
  LoadSettings(d);
  RecordOptions o;
  QStringList rest = args;
  SplitRequest split;
  Long partRows = kBufferSize;
  AlarmOptions alarmOptions;
  AlarmSettings alarmSettings = LoadAlarmSettings();
  QStringList otherArgs;
  o.mqtt = LoadMqttSettings();
  QString refusal = TakeSplitOptions(rest, split);
  if (split.split) o.maxSamples = std::numeric_limits<Long>::max() - 1;
  if (refusal.isEmpty()) refusal = TakeAlarmOptions(rest, &otherArgs, &alarmOptions);
  if (refusal.isEmpty()) refusal = ApplyRecordOptions(otherArgs, d, o);
  if (refusal.isEmpty() && !o.help) refusal = ApplyAlarmOptions(alarmOptions, d, &alarmSettings);
  if (refusal.isEmpty() && split.split) refusal = PartRows(split, d.IntervalTM, &partRows);
  if (!refusal.isEmpty()) {
    console.Line(refusal);
    std::fputs("Try 'larimo-cli --help'.\n", stderr);
    return kRecordUsage;
  }
  if (o.help) {
    std::fputs(kRecordHelp, stdout);
    return kRecordDone;
  }
  // Hours of measuring must not end in a file that cannot be written.
  if (const QString refusal = CheckOutputs(o); !refusal.isEmpty()) {
    console.Line(refusal + QStringLiteral("; nothing was recorded"));
    return kRecordFailed;
  }
  MentionRunsLeftBehind([&](const QString& line) { console.Line(line); });

  quenzel::SelectLibrary(o.simulate ? QStringLiteral("BriskoSim") : QStringLiteral("Brisko"));
  StderrUi ui(console);
  UserInterface* previousUi = SetUi(&ui);
  StopSignals signals;
  ChartView view;
  EndReport display(console);  // the run is shown by the stream and the progress line
  // The crash-safe journal of the run (the window offers to restore it
  // after a crash); it outlives the controller that reports to it.
  Journal journal;
  // Publishes the run to the lab's broker, when one is set.
  std::optional<MqttPublisher> publisher;
  if (o.mqtt.Enabled()) publisher.emplace(o.mqtt);
  Acquisition run(d, view, quenzel::Library(), display);
  if (o.samples) run.SetSampleLimit(*o.samples);
  // Standard output never holds the run: what its reader does not take in
  // time is dropped from the stream (never from the file).
  constexpr qsizetype kStreamCapacity = 1 << 20;
  std::optional<OutputQueue> stream;
  if (o.toStdout) stream.emplace(STDOUT_FILENO, kStreamCapacity);
  Recorder recorder(
      console, stream ? &*stream : nullptr,
      o.samples.value_or(split.split ? std::numeric_limits<Long>::max() : kBufferSize));
  // The journal first: a sample the stream shows is already protected.
  run.AddObserver(&journal);
  run.AddObserver(&recorder);
  // A split run hands each filled part to the part writer and goes on; the
  // part's journal stays until its files are written.
  const PartFiles parts(o.out, o.csv);
  bool partNotSaved = false;
  std::optional<PartWriter> writer;
  if (split.split) {
    // A part's file image (1.4 MB) is mapped and given back once written,
    // not kept on the heap: the memory of a run of weeks stays that of one part.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    recorder.SplitRun(partRows);
    journal.HoldFilledParts();
    writer.emplace([&parts](const ModuleData& part, int number, QString* error) {
      return parts.Save(part, number, error);
    });
    run.SplitEvery(partRows, [&](const ModuleData& part) {
      writer->Submit(part, run.Part());
      return true;
    });
  }
  const auto tellParts = [&] {
    if (!writer) return;
    for (const PartWriter::Done& done : writer->TakeDone()) {
      if (!done.saved) {
        partNotSaved = true;
        console.Line(done.error);
        continue;
      }
      journal.FilledPartSaved();
      console.Line(QStringLiteral("part %1: %2 samples saved to %3")
                       .arg(done.part)
                       .arg(done.rows)
                       .arg(parts.Out(done.part)));
    }
  };
  AlarmMonitor alarms(alarmSettings);
  RecordAlarms alarmOutput(alarmOptions, [&console](const QString& line) { console.Line(line); });
  AlarmJournal alarmJournal(journal);
  alarms.AddListener(&alarmJournal);
  alarms.AddListener(&alarmOutput);
  run.AddObserver(&alarms);
  if (QString error; !alarmOutput.OpenEventsFile(&error)) {
    console.Line(error + QStringLiteral("; nothing was recorded"));
    SetUi(previousUi);
    return kRecordFailed;
  }
  if (publisher) {
    publisher->SetRowLimit(
        o.samples.value_or(split.split ? std::numeric_limits<Long>::max() : kBufferSize));
    run.AddObserver(&*publisher);
  }
  quint64 mqttTold = 0;
  const auto tellMqtt = [&] {
    if (!publisher) return;
    const MqttPublisher::Status s = publisher->CurrentStatus();
    if (s.changes == mqttTold) return;
    mqttTold = s.changes;
    console.Line(QStringLiteral("MQTT: ") + DescribeMqttStatus(s, publisher->Url()));
  };

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
  std::optional<QSocketNotifier> writable;
  if (stream) {
    writable.emplace(STDOUT_FILENO, QSocketNotifier::Write);
    writable->setEnabled(false);
    QObject::connect(&*writable, &QSocketNotifier::activated, [&] {
      stream->Flush();
      writable->setEnabled(stream->Pending() && !stream->Closed());
    });
  }
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (pacing.kind == Pacing::Kind::SampleTimer) {
      run.SampleTimerTick();
    } else {
      run.BlockTick();
    }
    tellParts();
    // A part that could not be written ends the run; its journal stays.
    if (run.Measuring() && partNotSaved) stop(kRecordFailed);
    if (run.Measuring() && alarmOutput.StopRequested()) stop(kRecordAlarm);
    tellMqtt();
    if (run.Measuring() && recorder.OutputClosed()) {
      console.Line(QStringLiteral("standard output was closed"));
      stop(kRecordOutputClosed);
    }
    if (writable) writable->setEnabled(stream->Pending() && !stream->Closed());
    if (!run.Measuring()) loop.quit();
  });
  std::optional<QSocketNotifier> notifier;
  if (signals.ReadFd() >= 0) {
    notifier.emplace(signals.ReadFd(), QSocketNotifier::Read);
    QObject::connect(&*notifier, &QSocketNotifier::activated, [&] {
      const int sig = signals.Take();
      if (sig == SIGINT) stop(kRecordInterrupted);
      if (sig == SIGTERM) stop(kRecordTerminated);
      if (sig == SIGHUP) stop(kRecordHangUp);
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
  if (writable) writable->setEnabled(false);
  if (writer) {
    writer->Wait();
    tellParts();
  }

  // The file first, whatever the reader of standard output does.
  QString error;
  int rc = display.End() ? ExitStatus(*display.End(), stopStatus) : stopStatus;
  // A split run's last part goes to its numbered files; one that began with
  // no sample leaves no empty file after the full ones.
  const QString out = split.split ? parts.Out(run.Part()) : o.out;
  const QString csv = split.split ? parts.Csv(run.Part()) : o.csv;
  const bool emptyPart = split.split && run.Part() > 1 && d.DataNum == 0;
  bool saved = emptyPart || SaveDataFile(d, out, &error);
  if (!saved) console.Line(out + QStringLiteral(": ") + error.section(QLatin1Char('\n'), -1));
  if (!emptyPart && !csv.isEmpty() && !SaveCsvFile(d, csv, &error)) {
    console.Line(csv + QStringLiteral(": ") + error.section(QLatin1Char('\n'), -1));
    saved = false;
  }
  // The events beside the file; should they fail, the journal keeps them.
  if (!SaveEventsBeside(o.out, alarms.Events(), &error)) {
    console.Line(error.section(QLatin1Char('\n'), -1));
    saved = false;
  }
  if (alarmOutput.EventsFileFailed()) {
    console.Line(alarmOptions.eventsFile + QStringLiteral(": not written"));
    rc = kRecordFailed;
  }
  if (saved && !partNotSaved) {
    // The run is saved: its journal is no longer needed.
    journal.Forget();
    if (!split.split) {
      console.Line(QStringLiteral("%1 samples saved to %2").arg(d.DataNum).arg(out));
    } else if (!emptyPart) {
      console.Line(QStringLiteral("part %1: %2 samples saved to %3 (%4 in the run)")
                       .arg(run.Part())
                       .arg(d.DataNum)
                       .arg(out)
                       .arg(run.PartFirstRow() + d.DataNum));
    }
  } else {
    rc = kRecordFailed;
    QStringList kept = journal.HeldParts();
    if (!journal.Path().isEmpty()) kept << journal.Path();
    for (const QString& path : kept) {
      console.Line(QStringLiteral("the run is kept in %1; save it with 'larimo-cli recover "
                                  "--journal %1 FILE.rk0'")
                       .arg(path));
    }
  }
  if (stream) {
    constexpr int kDrainMs = 2000;
    stream->Drain(kDrainMs);
    if (const qint64 lost = stream->LostLines(); lost > 0 && !stream->Closed()) {
      console.Line(QStringLiteral("%1 lines were not written to standard output").arg(lost));
    }
  }
  if (publisher) {
    const Long left = publisher->WaitAcknowledged(std::chrono::seconds(10));
    tellMqtt();
    if (left > 0) {
      console.Line(QStringLiteral("MQTT: %1 samples were not acknowledged by %2")
                       .arg(left)
                       .arg(publisher->Url()));
    }
  }
  SetUi(previousUi);
  return rc;
}

}  // namespace larimo
