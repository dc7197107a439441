// larimo-cli record, run as a program on simulated units.
#include <csignal>

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "run/journal.h"

namespace larimo {
namespace {

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    env.insert("XDG_CONFIG_HOME", dir.path());  // the stored settings of this test only
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
  ModuleData Saved() {
    ModuleData r;
    r.InitDataBuffers();
    EXPECT_EQ(ReadDataFile(r, Path("run.rk0")).status, ReadResult::Status::Ok);
    return r;
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

TEST_F(RecordTest, BadValuesAreRefusedAndStoredSettingsAreTheDefaults) {
  for (const QStringList& bad : {QStringList{"--interval", "5ms"},
                                 {"--interval", "5s", "--average"},
                                 {"--units", "4"},
                                 {"--units", "0", "--wiring", "1"},
                                 {"--kind", "K"},
                                 {"--samples", "0"}}) {
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

}  // namespace
}  // namespace larimo
