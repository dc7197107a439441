// larimo-cli, run as a program.
#include <gtest/gtest.h>
#include <QProcess>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "files/cp932.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "recording_ui.h"

namespace larimo {
namespace {

struct CliRun {
  int status = -1;
  QString out;
  QString err;
};

CliRun Cli(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(LARIMO_CLI_PATH), args);
  CliRun r;
  if (!p.waitForFinished(30000)) return r;
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    test::FillRun(d, 6);
    d.StartTime = QStringLiteral("2024/7/8 9:10:11");
    d.Memo[1] = QStringLiteral("試験");
    d.TimerType = kFalse;
    d.IntervalTM = 500;
    d.Units[2].Connect = 1;
    ASSERT_TRUE(SaveDataFile(d, Path("run.rk0")));
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  QTemporaryDir dir;
  test::RecordingUi ui;
  ModuleData d;
};

TEST_F(CliTest, InfoPrintsTheHeaderAndRows) {
  const CliRun r = Cli({"info", Path("run.rk0")});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("version: PTRV0130\n"));
  EXPECT_TRUE(r.out.contains("start time: 2024/7/8 9:10:11\n"));
  EXPECT_TRUE(r.out.contains("memo 2: 試験\n"));
  EXPECT_TRUE(r.out.contains("interval unit: milliseconds\ninterval ms: 500\n"));
  EXPECT_TRUE(r.out.contains("ID2: wiring 1 (3線式), in use, 6 readings\n"));
  EXPECT_TRUE(r.out.contains("ID1: wiring 0 (2線式), not in use, 0 readings\n"));
  EXPECT_TRUE(r.out.endsWith("rows: 6\nrows in header: 6\n"));
}

TEST_F(CliTest, CsvIsTheApplicationsExport) {
  ASSERT_EQ(Cli({"csv", Path("run.rk0"), Path("run.csv")}).status, 0);
  ModuleData r;
  r.InitDataBuffers();
  ReadDataFile(r, Path("run.rk0"));
  EXPECT_EQ(test::ReadAll(Path("run.csv")), CsvBytes(r));
}

TEST_F(CliTest, UpgradeWritesTheCurrentVersion) {
  // An old-version file: the current one without identifier and averaging.
  const QByteArray current = test::ReadAll(Path("run.rk0"));
  QByteArray old = current.mid(10);  // no identifier
  // Start time (2 + 16 bytes), memos (5 counts + 4 bytes of "試験"), interval
  // unit and interval: then comes the averaging flag, which is left out.
  old.remove(18 + 14 + 2 + 4, 2);
  ASSERT_TRUE(test::WriteAll(Path("old.rk0"), old));
  const CliRun info = Cli({"info", Path("old.rk0")});
  EXPECT_TRUE(info.out.contains("version: old\n"));
  EXPECT_TRUE(info.out.contains("rows: 6\n"));

  ASSERT_EQ(Cli({"upgrade", Path("old.rk0"), Path("new.rk0")}).status, 0);
  EXPECT_EQ(test::ReadAll(Path("new.rk0")), current);
}

TEST_F(CliTest, ErrorsGoToStderrWithAStatus) {
  CliRun r = Cli({"info", Path("missing.rk0")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.contains("missing.rk0"));
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_EQ(Cli({"csv", Path("run.rk0"), Path("no/folder.csv")}).status, 1);
  EXPECT_EQ(Cli({"bogus"}).status, 2);
  EXPECT_EQ(Cli({"csv", Path("run.rk0")}).status, 2);
  r = Cli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.contains("upgrade OLD.rk0 NEW.rk0"));
}

TEST_F(CliTest, AFileThatEndsEarlyIsReportedWithItsOwnStatus) {
  QByteArray bytes = test::ReadAll(Path("run.rk0"));
  bytes.chop(16 + 3);  // the last row and a bit of the one before
  ASSERT_TRUE(test::WriteAll(Path("cut.rk0"), bytes));
  const CliRun r = Cli({"info", Path("cut.rk0")});
  EXPECT_EQ(r.status, 4);
  EXPECT_TRUE(r.out.contains("rows: 4\nrows in header: 6\nfile ends early: 4 of 6 rows read\n"))
      << r.out.toStdString();
  EXPECT_TRUE(r.err.contains("4 of 6"));
  EXPECT_TRUE(Cli({"--help"}).out.contains("  4  the file ends before"));
}

TEST_F(CliTest, MoreRowsThanTheStoreHoldsIsReported) {
  test::FillRun(d, 88000);
  ASSERT_TRUE(SaveDataFile(d, Path("big.rk0")));
  QByteArray bytes = test::ReadAll(Path("big.rk0"));
  test::PutRow(bytes, 1, 2, 3, 4);
  ASSERT_TRUE(test::WriteAll(Path("big.rk0"), bytes));
  const CliRun r = Cli({"csv", Path("big.rk0"), Path("big.csv")});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.err.contains("88000"));
  EXPECT_TRUE(test::ReadAll(Path("big.csv"))
                  .contains(EncodeCp932(QStringLiteral("\"データ数\",88000\r\n"))));
}

}  // namespace
}  // namespace larimo
