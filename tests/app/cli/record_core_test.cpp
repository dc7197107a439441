// larimo-cli record, run as a program on simulated units.
#include <array>
#include <csignal>

#include <gtest/gtest.h>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "file_test_util.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "recording_ui.h"
#include "run/journal.h"

namespace larimo {
namespace {

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    env.insert("XDG_CONFIG_HOME", dir.path());  // the stored settings of this test only
    env.insert("XDG_STATE_HOME", dir.path());   // and its journals
    env.insert("BRISKO_SIM_ATTACH_MS", "0");
    env.insert("BRISKO_SIM_CLOCK", "step:300");
    p.setProcessEnvironment(env);
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  void Start(QStringList args) {
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LARIMO_CLI_PATH),
            QStringList{"record", "--out", Path("run.rk0")} + args);
  }
  int Finish() {
    if (!p.waitForFinished(60000)) return -1;
    err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  }
  int Record(const QStringList& args) {
    Start(args);
    return Finish();
  }
  ModuleData Saved(const char* name = "run.rk0") {
    ModuleData r;
    r.InitDataBuffers();
    EXPECT_EQ(ReadDataFile(r, Path(name)).status, ReadResult::Status::Ok) << name;
    return r;
  }
  // A stream line of --stdout: elapsed seconds, then units 0 and 1.
  static QString Line(const ModuleData& r, Long run, Long k) {
    return QStringLiteral("%1,%2,%3")
        .arg(CsvDouble(SampleSeconds(r.IntervalTM, run + k + 1)), CsvSingle(r.Units[0].Values[k]),
             CsvSingle(r.Units[1].Values[k]));
  }
  static QDateTime Start(const ModuleData& r) {
    return QDateTime::fromString(r.StartTime, QStringLiteral("yyyy/M/d H:m:s"));
  }
  QTemporaryDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QProcess p;
  QString err;
};

TEST_F(RecordTest, AFullRunEndsAtTheBufferAndIsSavedAsTheWindowSavesIt) {
  ASSERT_EQ(Record({"--simulate", "--units", "0,1,2,3", "--interval", "10ms", "--memo", "rig 1",
                    "--csv", Path("run.csv")}),
            6)
      << err.toStdString();
  const ModuleData r = Saved();
  EXPECT_EQ(r.DataNum, kBufferSize);
  EXPECT_EQ(r.IntervalTM, 10);
  EXPECT_EQ(r.Memo[0], "rig 1");
  for (const UnitData& u : r.Units) EXPECT_GT(u.Count, kBufferSize - 200);
  // What the window's save and export write for these samples.
  ASSERT_TRUE(SaveDataFile(r, Path("again.rk0")));
  EXPECT_EQ(test::ReadAll(Path("run.rk0")), test::ReadAll(Path("again.rk0")));
  EXPECT_EQ(test::ReadAll(Path("run.csv")), CsvBytes(r));
}

TEST_F(RecordTest, AnUnpluggedUnitEndsTheRunAndWhatWasStoredIsSaved) {
  env.insert("BRISKO_SIM_FAULT", "1:unplug:20");
  ASSERT_EQ(Record({"--simulate", "--units", "0,1", "--interval", "10ms"}), 5);
  EXPECT_TRUE(err.contains("ID1: USB通信エラー (result code 9)")) << err.toStdString();
  const ModuleData r = Saved();
  EXPECT_GT(r.DataNum, 0);
  EXPECT_LT(r.DataNum, kBufferSize);
}

TEST_F(RecordTest, StdoutStreamsTheSamplesTheFileHolds) {
  env.insert("BRISKO_SIM", "0:cal:138.5055,2:cal:100");
  ASSERT_EQ(Record({"--simulate", "--units", "0,2", "--kind", "ohm", "--interval", "10ms",
                    "--samples", "50", "--stdout"}),
            0)
      << err.toStdString();
  const QStringList lines = QString::fromLatin1(p.readAllStandardOutput()).split('\n');
  ASSERT_EQ(lines.size(), 51);  // and an empty rest after the last newline
  const ModuleData r = Saved();
  ASSERT_EQ(r.DataNum, 50);
  for (int k = 0; k < 50; ++k) {
    EXPECT_EQ(lines[k], QStringLiteral("%1,%2,%3")
                            .arg(CsvDouble((k + 1) / 100.0), CsvSingle(r.Units[0].Values[k]),
                                 CsvSingle(r.Units[2].Values[k])));
  }
  EXPECT_NEAR(r.Units[0].Values[0], 138.5055f, 0.001f);
  EXPECT_EQ(lines[49].section(',', 0, 0), "0.5");
}

TEST_F(RecordTest, StopSignalsStopTheRunAndSaveIt) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  for (auto [sig, status] : {std::pair{SIGINT, 130}, std::pair{SIGHUP, 129}}) {
    Start({"--simulate", "--interval", "10ms", "--units", "0", "--stdout"});
    ASSERT_TRUE(p.waitForReadyRead(10000));
    ::kill(static_cast<pid_t>(p.processId()), sig);
    ASSERT_EQ(Finish(), status) << err.toStdString();
    const ModuleData r = Saved();
    EXPECT_GE(r.DataNum, 1);
    EXPECT_EQ(p.readAllStandardOutput().count('\n'), r.DataNum);
  }
}

TEST_F(RecordTest, SamplesAreExactInSingleSampleMode) {
  ASSERT_EQ(Record({"--simulate", "--units", "0,1", "--interval", "1s", "--samples", "3"}), 0)
      << err.toStdString();
  EXPECT_EQ(Saved().DataNum, 3);
}

TEST_F(RecordTest, ARunLeftBehindIsListedAndRecovered) {
  env.insert("XDG_STATE_HOME", dir.path());
  {
    ModuleData d;  // a run whose program died: its journal stays
    d.InitDataBuffers();
    d.StartTime = "2026/1/2 3:04:05";
    Journal journal(dir.filePath("larimo"));
    journal.RunStarted(d);
    d.Units[0].Mflag = kTrue;
    d.Units[0].Values[0] = d.Units[0].Values[1] = 21.5f;
    d.Units[0].Count = d.DataNum = 2;
    journal.SamplesStored(d);
  }
  Start({"--simulate", "--samples", "1", "--units", "0", "--interval", "10ms"});
  ASSERT_EQ(Finish(), 0);
  EXPECT_TRUE(err.contains("1 run(s) left behind")) << err.toStdString();
  p.start(QStringLiteral(LARIMO_CLI_PATH), {"recover", "--list"});
  ASSERT_EQ(Finish(), 0);
  EXPECT_TRUE(p.readAllStandardOutput().startsWith("2026/1/2 3:04:05  2 rows"));
  p.start(QStringLiteral(LARIMO_CLI_PATH), {"recover", Path("back.rk0")});
  ASSERT_EQ(Finish(), 0) << err.toStdString();
  ModuleData r;
  r.InitDataBuffers();
  ASSERT_EQ(ReadDataFile(r, Path("back.rk0")).status, ReadResult::Status::Ok);
  EXPECT_EQ(r.DataNum, 2);
  EXPECT_TRUE(QDir(dir.filePath("larimo")).entryList({"*.rk0"}).isEmpty());
}

TEST_F(RecordTest, AlarmEventsGoToTheEventsFileAndTheCommand) {
  env.insert("BRISKO_SIM", "0:cal:138.5055,1:cal:500");  // 100 degC; 500 ohms pins the conversion
  const QString hook = Path("hook.txt");
  ASSERT_EQ(Record({"--simulate", "--units", "0,1", "--interval", "100ms", "--samples", "10",
                    "--alarm", "0::90", "--events", Path("events.csv"), "--on-alarm",
                    "echo \"$LARIMO_UNIT $LARIMO_EVENT $LARIMO_VALUE $LARIMO_LIMIT "
                    "$LARIMO_ELAPSED ${LARIMO_TIME%T*}\" >> " +
                        hook}),
            0)
      << err.toStdString();
  const QByteArray events = test::ReadAll(Path("events.csv"));
  const QList<QByteArray> rows = events.split('\n');
  ASSERT_EQ(rows.size(), 4) << events.toStdString();
  EXPECT_EQ(rows[0], "elapsed_s,time,unit,event,value,limit");
  EXPECT_TRUE(rows[1].startsWith("0.1,") && rows[1].endsWith(",ID0,high,100,90"))
      << rows[1].toStdString();
  EXPECT_TRUE(rows[2].endsWith(",ID1,sensor,851.7736,")) << rows[2].toStdString();
  EXPECT_EQ(test::ReadAll(Path("run.events.csv")), events);  // saved with the run
  EXPECT_EQ(err.count("alarm: ID"), 2) << err.toStdString();
  // The commands run detached; each appends its line.
  QByteArray lines;
  for (int i = 0; i < 200 && lines.count('\n') < 2; ++i) {
    QThread::msleep(20);
    lines = test::ReadAll(hook);
  }
  const QByteArray day = QDate::currentDate().toString(Qt::ISODate).toLatin1();
  EXPECT_TRUE(lines.contains("ID0 high 100 90 0.1 " + day)) << lines.toStdString();
  EXPECT_TRUE(lines.contains("ID1 sensor 851.7736  0.1 " + day)) << lines.toStdString();
}

TEST_F(RecordTest, BadValuesAreRefusedAndStoredSettingsAreTheDefaults) {
  for (const QStringList& bad : {QStringList{"--interval", "5ms"},
                                 {"--interval", "5s", "--average"},
                                 {"--units", "4"},
                                 {"--units", "0", "--wiring", "1"},
                                 {"--kind", "K"},
                                 {"--samples", "0"},
                                 {"--samples", "88001"},
                                 {"--split-every", "0"},
                                 {"--split-every", "2s", "--interval", "1s", "--split=yes"},
                                 {"--alarm", "0:80:10"},
                                 {"--alarm", "1::80"},
                                 {"--alarm", "0:10:20", "--alarm-hysteresis", "11"},
                                 {"--mqtt", "http://broker"},
                                 {"--mqtt", "mqtt://broker", "--mqtt-topic", "lab/#"}}) {
    EXPECT_EQ(Record(QStringList{"--simulate"} + bad), 2) << bad.join(' ').toStdString();
    EXPECT_FALSE(err.isEmpty());
  }
  ASSERT_TRUE(QDir(dir.path()).mkpath("Dravel"));
  ASSERT_TRUE(test::WriteAll(dir.filePath("Dravel/Larimo.conf"),
                             "[MeasInfo]\nMflagID0=False\nMflagID3=True\nConnectID3=2\n"
                             "TimerType=True\nIntervalTM=1500\n"));
  EXPECT_EQ(Record({"--simulate"}), 2);
  EXPECT_TRUE(err.contains("時間の入力に誤りがあります。")) << err.toStdString();
  ASSERT_TRUE(test::WriteAll(dir.filePath("Dravel/Larimo.conf"),
                             "[MeasInfo]\nMflagID0=False\nMflagID3=True\nConnectID3=2\n"
                             "TimerType=False\nIntervalTM=20\nMeasKind=True\n"));
  ASSERT_EQ(Record({"--simulate", "--samples", "5"}), 0) << err.toStdString();
  const ModuleData r = Saved();
  EXPECT_EQ(r.DataNum, 5);
  EXPECT_EQ(r.IntervalTM, 20);
  EXPECT_TRUE(IsSet(r.MeasKind));
  EXPECT_TRUE(IsTrue(r.Units[3].Mflag) && !IsTrue(r.Units[0].Mflag));
  EXPECT_EQ(r.Units[3].Connect, 2);
}

TEST_F(RecordTest, SplitRunGoesOnPastSeveralBuffersWithEverySampleOnce) {
  ASSERT_EQ(Record({"--simulate", "--units", "0,1", "--interval", "10ms", "--split", "--samples",
                    "200000", "--memo", "rig 1", "--stdout", "--csv", Path("run.csv")}),
            0)
      << err.toStdString();
  const QStringList lines = QString::fromLatin1(p.readAllStandardOutput()).split('\n');
  ASSERT_EQ(lines.size(), 200001);
  const Long rows[] = {kBufferSize, kBufferSize, 24000};
  const char* names[] = {"run-0001.rk0", "run-0002.rk0", "run-0003.rk0"};
  const QDateTime first = Start(Saved(names[0]));
  Long before = 0;
  for (int part = 0; part < 3; ++part) {
    const ModuleData r = Saved(names[part]);
    ASSERT_EQ(r.DataNum, rows[part]) << names[part];
    EXPECT_EQ(r.Memo[0], "rig 1");
    // One time base: the part starts where the samples before it end.
    EXPECT_EQ(Start(r), first.addSecs(before / 100)) << names[part];
    for (Long k = 0; k < r.DataNum; ++k) ASSERT_EQ(lines[before + k], Line(r, before, k)) << k;
    EXPECT_EQ(test::ReadAll(Path(names[part]).replace(".rk0", ".csv")), CsvBytes(r));
    before += r.DataNum;
  }
  EXPECT_TRUE(QDir(dir.filePath("larimo")).isEmpty());  // every part saved: no journal left
  // Started again, the recorder numbers its parts after those already there.
  ASSERT_EQ(Record({"--simulate", "--units", "0,1", "--interval", "10ms", "--split-every", "1s",
                    "--samples", "250"}),
            0);
  EXPECT_EQ(Saved("run-0004.rk0").DataNum, 100);
  EXPECT_EQ(Saved("run-0006.rk0").DataNum, 50);
}

// A part whose file cannot be written ends the run with a failure; its
// journal stays, rows and all, and is named with the command that saves it.
TEST_F(RecordTest, APartThatCannotBeWrittenEndsTheRunAndKeepsItsJournal) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  const QString folder = dir.filePath("out");
  ASSERT_TRUE(QDir().mkpath(folder));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(LARIMO_CLI_PATH),
          {"record", "--out", folder + "/run.rk0", "--simulate", "--units", "0", "--interval", "1s",
           "--split-every", "2", "--stdout"});
  ASSERT_TRUE(p.waitForReadyRead(10000));  // the first sample: the outputs were checked
  ASSERT_TRUE(QDir(folder).removeRecursively());
  EXPECT_EQ(Finish(), 1) << err.toStdString();
  // The first part's journal, then the current part's (its file went too).
  ASSERT_EQ(err.count("the run is kept in "), 2) << err.toStdString();
  std::array<ModuleData, 2> kept;
  for (int i = 0; i < 2; ++i) {
    kept[i].InitDataBuffers();
    ReadDataFile(kept[i], err.section("the run is kept in ", i + 1, i + 1).section(';', 0, 0));
  }
  EXPECT_EQ(kept[0].DataNum, 2);
  EXPECT_EQ(Start(kept[1]), Start(kept[0]).addSecs(2));
}

TEST_F(RecordTest, CrashInTheSecondPartKeepsTheFirstAndRestoresTheSecond) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  Start({"--simulate", "--units", "0,1", "--interval", "1s", "--split-every", "2", "--stdout"});
  QByteArray out;
  while (out.count('\n') < 3 && p.waitForReadyRead(10000)) out += p.readAllStandardOutput();
  ASSERT_EQ(out.count('\n'), 3) << out.toStdString();  // the second part's first sample
  // The first part's files are written beside the run; the crash comes after.
  QByteArray told;
  p.setReadChannel(QProcess::StandardError);
  while (!told.contains("part 1: 2 samples saved") && p.waitForReadyRead(10000)) {
    told += p.readAllStandardError();
  }
  ASSERT_TRUE(told.contains("part 1: 2 samples saved")) << told.toStdString();
  p.kill();  // SIGKILL
  p.waitForFinished();
  const ModuleData first = Saved("run-0001.rk0");
  EXPECT_EQ(first.DataNum, 2);
  EXPECT_FALSE(QFile::exists(Path("run-0002.rk0")));
  test::RecordingUi ui;
  ModuleData second;
  second.InitDataBuffers();
  ASSERT_TRUE(Journal(dir.filePath("larimo")).Recover(second));
  ASSERT_GE(second.DataNum, 1);
  EXPECT_EQ(Start(second), Start(first).addSecs(2));
  EXPECT_EQ(QString::fromLatin1(out).split('\n')[2], Line(second, 2, 0));
}

}  // namespace
}  // namespace larimo
