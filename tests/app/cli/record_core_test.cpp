// larimo-cli record, run as a program on simulated units.
#include <csignal>

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"

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

TEST_F(RecordTest, SigintStopsTheRunAndSavesIt) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  Start({"--simulate", "--interval", "10ms", "--units", "0", "--stdout"});
  ASSERT_TRUE(p.waitForReadyRead(10000));
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_EQ(Finish(), 130) << err.toStdString();
  const ModuleData r = Saved();
  EXPECT_GE(r.DataNum, 1);
  EXPECT_EQ(p.readAllStandardOutput().count('\n'), r.DataNum);
}

TEST_F(RecordTest, BadValuesAreRefusedAndStoredSettingsAreTheDefaults) {
  for (const QStringList& bad : {QStringList{"--interval", "5ms"},
                                 {"--interval", "5s", "--average"},
                                 {"--units", "4"},
                                 {"--units", "0", "--wiring", "1"},
                                 {"--kind", "K"},
                                 {"--samples", "0"},
                                 {"--bogus"}}) {
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
