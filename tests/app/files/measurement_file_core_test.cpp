#include "files/measurement_file.h"

#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "recording_ui.h"
#include "run/chart_feed.h"

namespace larimo {
namespace {

using test::Put;
using test::PutRow;
using test::PutText;

class MeasurementFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    d.InitDataBuffers();
    d.ClearData();
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  test::RecordingUi ui;
  ModuleData d;
};

TEST_F(MeasurementFileTest, WorkedExampleHeaderByteForByte) {
  test::FillRun(d, 3);
  d.StartTime = QStringLiteral("2024/1/2 3:04:05");  // 16 characters
  d.TimerType = kTrue;
  d.IntervalTM = 1000;
  d.DataAverage = kFalse;
  d.MeasKind = kFalse;
  ASSERT_TRUE(SaveDataFile(d, Path("a.rk0")));
  const QByteArray bytes = test::ReadAll(Path("a.rk0"));
  ASSERT_EQ(bytes.size(), 60 + 3 * 16);
  const QByteArray header = QByteArray::fromHex(
      "0800"
      "5054525630313330"  // "PTRV0130"
      "1000"
      "323032342f312f3220333a30343a3035"  // start time
      "0000000000000000"
      "0000"  // five empty memos
      "ffff"
      "e8030000"
      "0000"
      "0000"              // seconds, 1000 ms, no averaging, Pt100
      "0000000000000000"  // wiring
      "03000000");        // rows
  EXPECT_EQ(bytes.left(60).toHex(), header.toHex());
  // Row 1: ID0 20.25, ID1 -999, ID2 -1, ID3 -999.
  EXPECT_EQ(bytes.mid(76, 16).toHex(), QByteArray("0000a241"
                                                  "00c079c4"
                                                  "000080bf"
                                                  "00c079c4"));
}

TEST_F(MeasurementFileTest, RoundTripKeepsSettingsTextsAndReadings) {
  test::FillRun(d, 500);
  d.Units[2].Values[10] = kNoReading;  // a gap
  d.StartTime = QStringLiteral("2025/12/31 23:59:59");
  d.Memo = {QStringLiteral("測定値"), QStringLiteral("memo 2"), QString(), QStringLiteral("①～"),
            QStringLiteral("5")};
  d.TimerType = kFalse;
  d.IntervalTM = 250;
  d.DataAverage = kTrue;
  d.MeasKind = kTrue;
  d.Units[0].Connect = 2;
  d.Units[1].Connect = 1;
  d.Units[3].Connect = 7;
  ASSERT_TRUE(SaveDataFile(d, Path("r.rk0")));

  ModuleData r;
  r.InitDataBuffers();
  r.ClearData();
  r.Units[3].Mflag = kTrue;
  const ReadResult result = ReadDataFile(r, Path("r.rk0"));
  EXPECT_EQ(result.status, ReadResult::Status::Ok);
  EXPECT_FALSE(result.oldVersion);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(r.DataNum, 500);
  EXPECT_EQ(result.rowsRead, 500);
  EXPECT_EQ(r.StartTime, d.StartTime);
  EXPECT_EQ(r.Memo, d.Memo);
  EXPECT_EQ(r.TimerType, kFalse);
  EXPECT_EQ(r.IntervalTM, 250);
  EXPECT_EQ(r.DataAverage, kTrue);
  EXPECT_EQ(r.MeasKind, kTrue);
  for (int u = 0; u < kUnitCount; ++u) {
    EXPECT_EQ(r.Units[u].Connect, d.Units[u].Connect);
    EXPECT_EQ(r.Units[u].Mflag, d.Units[u].Mflag) << u;
    EXPECT_TRUE(std::equal(r.Units[u].Values.begin(), r.Units[u].Values.begin() + 500,
                           d.Units[u].Values.begin()));
  }
  EXPECT_EQ(r.Units[0].Count, 500);
  EXPECT_EQ(r.Units[2].Count, 499);  // readings other than -999
  EXPECT_EQ(r.Units[3].Count, 0);
  EXPECT_EQ(r.Units[0].Values[500], kNoReading);  // cleared beyond the rows
}

TEST_F(MeasurementFileTest, TextsAreCountedInShiftJisBytes) {
  d.Memo[0] = QStringLiteral("測定値");
  d.Memo[1] = QStringLiteral("a€b");  // no euro sign in code page 932
  d.StartTime = QString();
  ASSERT_TRUE(SaveDataFile(d, Path("t.rk0")));
  const QByteArray bytes = test::ReadAll(Path("t.rk0"));
  // identifier (10 bytes), empty start time (2), then memo 1.
  EXPECT_EQ(bytes.mid(12, 8).toHex(), QByteArray("0600"
                                                 "91aa92e8926c"));
  EXPECT_EQ(bytes.mid(20, 5), QByteArray::fromHex("0300613f62"));
  EXPECT_EQ(bytes.size(), 44 + 6 + 3);
}

TEST_F(MeasurementFileTest, EmptyRunIsTheHeaderAlone) {
  d.DataNum = 0;
  ASSERT_TRUE(SaveDataFile(d, Path("e.rk0")));
  EXPECT_EQ(test::ReadAll(Path("e.rk0")).size(), 44 + 19);
  ModuleData r;
  r.InitDataBuffers();
  EXPECT_EQ(ReadDataFile(r, Path("e.rk0")).status, ReadResult::Status::Ok);
  EXPECT_EQ(r.DataNum, 0);
}

TEST_F(MeasurementFileTest, OldVersionReadsAsSuchAndKeepsAveraging) {
  QByteArray old;
  PutText(old, "2020/5/6 7:8:9");
  for (int i = 0; i < 5; ++i) PutText(old, i == 2 ? QByteArray("\x82\xa0", 2) : QByteArray());
  Put<qint16>(old, 0);    // milliseconds
  Put<qint32>(old, 100);  // interval
  Put<qint16>(old, 1);    // kind: any non-zero is resistance
  for (qint16 c : {1, 0, 2, 0}) Put<qint16>(old, c);
  Put<qint32>(old, 2);
  PutRow(old, 100.5f, -999.0f, 101.0f, -999.0f);
  PutRow(old, 100.75f, 5.0f, -999.0f, -999.0f);
  ASSERT_TRUE(test::WriteAll(Path("old.rk0"), old));

  d.DataAverage = kTrue;
  const ReadResult result = ReadDataFile(d, Path("old.rk0"));
  EXPECT_TRUE(result.oldVersion);
  EXPECT_EQ(result.status, ReadResult::Status::Ok);
  EXPECT_TRUE(ui.shown.empty());  // the reader tells the caller, not the user
  EXPECT_EQ(d.DataAverage, kTrue);
  EXPECT_EQ(d.MeasKind, kTrue);
  EXPECT_EQ(d.TimerType, kFalse);
  EXPECT_EQ(d.IntervalTM, 100);
  EXPECT_EQ(d.StartTime, "2020/5/6 7:8:9");
  EXPECT_EQ(d.Memo[2], "あ");
  EXPECT_EQ(d.Units[0].Connect, 1);
  EXPECT_EQ(d.Units[2].Connect, 2);
  EXPECT_EQ(d.DataNum, 2);
  // Units in use come from the first row; later rows still count.
  EXPECT_EQ(d.Units[0].Mflag, kTrue);
  EXPECT_EQ(d.Units[1].Mflag, kFalse);
  EXPECT_EQ(d.Units[2].Mflag, kTrue);
  EXPECT_EQ(d.Units[3].Mflag, kFalse);
  EXPECT_EQ(d.Units[1].Count, 1);
  EXPECT_EQ(d.Units[1].Values[1], 5.0f);
  EXPECT_EQ(d.Units[2].Count, 1);
}

TEST_F(MeasurementFileTest, IdentifierMustMatchExactly) {
  QByteArray bytes;
  PutText(bytes, "ptrv0130");
  ASSERT_TRUE(test::WriteAll(Path("c.rk0"), bytes));
  EXPECT_FALSE(CheckFileID(Path("c.rk0")));
  bytes.clear();
  PutText(bytes, "PTRV0130");
  ASSERT_TRUE(test::WriteAll(Path("c.rk0"), bytes));
  EXPECT_TRUE(CheckFileID(Path("c.rk0")));
  EXPECT_FALSE(CheckFileID(Path("missing.rk0")));
}

// A cut-off copy once read as a complete, shorter run: the header's row
// count tells it apart.
TEST_F(MeasurementFileTest, ACutOffFileYieldsItsWholeRowsAndSaysHowManyOfHowMany) {
  test::FillRun(d, 4);
  ASSERT_TRUE(SaveDataFile(d, Path("p.rk0")));
  const QByteArray full = test::ReadAll(Path("p.rk0"));
  ASSERT_TRUE(test::WriteAll(Path("p.rk0"), full.chopped(5)));
  ModuleData r;
  r.InitDataBuffers();
  const ReadResult result = ReadDataFile(r, Path("p.rk0"));
  EXPECT_EQ(result.status, ReadResult::Status::EndsEarly);
  EXPECT_EQ(result.rowsRead, 3);
  EXPECT_EQ(result.rowsInHeader, 4);
  EXPECT_EQ(r.DataNum, 3);
  EXPECT_EQ(r.Units[0].Values[2], 20.5f);
  EXPECT_EQ(r.Units[0].Values[3], kNoReading);

  // More rows than the count: all of them, as a whole file.
  QByteArray more = full;
  more[44 + 19 - 4] = 2;  // the row count, the header's last field
  ASSERT_TRUE(test::WriteAll(Path("p.rk0"), more));
  EXPECT_EQ(ReadDataFile(r, Path("p.rk0")).status, ReadResult::Status::Ok);
  EXPECT_EQ(r.DataNum, 4);
}

TEST_F(MeasurementFileTest, SavingOverALongerFileLeavesNoTrace) {
  test::FillRun(d, 100);
  ASSERT_TRUE(SaveDataFile(d, Path("o.rk0")));
  test::FillRun(d, 2);
  ASSERT_TRUE(SaveDataFile(d, Path("o.rk0")));
  EXPECT_EQ(test::ReadAll(Path("o.rk0")).size(), 44 + 19 + 2 * 16);
  ModuleData r;
  r.InitDataBuffers();
  ReadDataFile(r, Path("o.rk0"));
  EXPECT_EQ(r.DataNum, 2);
  // Nothing but the new file is left in the folder.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"o.rk0"});
}

// A write that fails part-way (here: the file-size limit) leaves the
// previous file whole and reports the failure.
TEST_F(MeasurementFileTest, AFailedSaveKeepsThePreviousFile) {
  test::FillRun(d, 3);
  ASSERT_TRUE(SaveDataFile(d, Path("keep.rk0")));
  const QByteArray before = test::ReadAll(Path("keep.rk0"));

  test::FillRun(d, 88000);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  QString error;
  const bool saved = SaveDataFile(d, Path("keep.rk0"), &error);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(saved);
  EXPECT_TRUE(error.contains(Path("keep.rk0"))) << error.toStdString();
  EXPECT_EQ(test::ReadAll(Path("keep.rk0")), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.rk0"});
}

TEST_F(MeasurementFileTest, SavingOverAFolderFailsAndTheFolderStays) {
  ASSERT_TRUE(QDir().mkpath(Path("taken")));
  QString error;
  EXPECT_FALSE(SaveDataFile(d, Path("taken"), &error));
  EXPECT_TRUE(error.contains(Path("taken"))) << error.toStdString();
  EXPECT_TRUE(QFileInfo(Path("taken")).isDir());
}

TEST_F(MeasurementFileTest, RowsBeyondTheCapacityAreNotRead) {
  test::FillRun(d, 88000);
  ASSERT_TRUE(SaveDataFile(d, Path("big.rk0")));
  QByteArray bytes = test::ReadAll(Path("big.rk0"));
  PutRow(bytes, 1, 2, 3, 4);
  PutRow(bytes, 1, 2, 3, 4);
  ASSERT_TRUE(test::WriteAll(Path("big.rk0"), bytes));
  ModuleData r;
  r.InitDataBuffers();
  const ReadResult result = ReadDataFile(r, Path("big.rk0"));
  EXPECT_EQ(result.status, ReadResult::Status::Truncated);
  EXPECT_FALSE(result.message.isEmpty());
  EXPECT_EQ(r.DataNum, 88000);
  EXPECT_EQ(r.Units[0].Values[87999], d.Units[0].Values[87999]);
  EXPECT_EQ(r.Units[0].Count, 88000);

  // Exactly 88,000 rows is a whole file.
  ASSERT_TRUE(SaveDataFile(d, Path("full.rk0")));
  EXPECT_EQ(ReadDataFile(r, Path("full.rk0")).status, ReadResult::Status::Ok);
}

TEST_F(MeasurementFileTest, AShortHeaderLeavesTheSettingsAlone) {
  test::FillRun(d, 3);
  d.TimerType = kFalse;
  d.IntervalTM = 330;
  d.MeasKind = kTrue;
  ASSERT_TRUE(SaveDataFile(d, Path("s.rk0")));
  const QByteArray full = test::ReadAll(Path("s.rk0"));

  ModuleData r;
  r.InitDataBuffers();
  r.TimerType = kTrue;
  r.IntervalTM = 1000;
  r.MeasKind = kFalse;
  r.Units[1].Connect = 2;
  r.Memo[0] = QStringLiteral("kept");
  // Cut inside the texts, inside the flags, and just before the row count.
  for (qsizetype cut : {qsizetype(5), qsizetype(25), qsizetype(33), full.size() - 48 - 1}) {
    ASSERT_TRUE(test::WriteAll(Path("s.rk0"), full.left(cut)));
    const ReadResult result = ReadDataFile(r, Path("s.rk0"));
    EXPECT_FALSE(result.headerComplete) << cut;
    EXPECT_EQ(r.DataNum, 0);
    EXPECT_EQ(r.TimerType, kTrue);
    EXPECT_EQ(r.IntervalTM, 1000);
    EXPECT_EQ(r.MeasKind, kFalse);
    EXPECT_EQ(r.Units[1].Connect, 2);
    EXPECT_EQ(r.Memo[0], "kept");
    EXPECT_EQ(r.StartTime, QString(19, ' '));
  }
}

TEST_F(MeasurementFileTest, ReadingsThatAreNoNumbersAreNoReadings) {
  QByteArray bytes;
  PutText(bytes, "PTRV0130");
  for (int i = 0; i < 6; ++i) PutText(bytes, {});
  Put<qint16>(bytes, 0);                              // milliseconds
  Put<qint32>(bytes, 1000);                           // interval
  for (int i = 0; i < 6; ++i) Put<qint16>(bytes, 0);  // averaging, kind, wiring
  Put<qint32>(bytes, 3);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  PutRow(bytes, nan, 1.0f, 2.0f, 3.0f);
  PutRow(bytes, 5.0f, inf, -inf, 3.4e38f);
  PutRow(bytes, 6.0f, nan, 2.5f, -3.4e38f);
  ASSERT_TRUE(test::WriteAll(Path("n.rk0"), bytes));
  ReadDataFile(d, Path("n.rk0"));
  ASSERT_EQ(d.DataNum, 3);
  EXPECT_EQ(d.Units[0].Mflag, kFalse);  // NaN in the first row: not in use
  EXPECT_EQ(d.Units[0].Values[0], kNoReading);
  EXPECT_EQ(d.Units[1].Values[1], kNoReading);
  EXPECT_EQ(d.Units[2].Values[1], kNoReading);
  EXPECT_EQ(d.Units[1].Count, 1);
  EXPECT_EQ(d.Units[0].Count, 2);

  // Replaying the rows as the program shows a read keeps every end finite
  // and enclosing.
  ChartView view;
  NoChartSink chart;
  ChartFeed(d, view, chart).Replay();
  EXPECT_TRUE(std::isfinite(d.AxisYMax));
  EXPECT_TRUE(std::isfinite(d.AxisYMin));
  EXPECT_GE(d.AxisYMax, d.DataMax);
  EXPECT_LE(d.AxisYMin, d.DataMin);
  EXPECT_EQ(d.FitAxisY(), 0);
}

TEST_F(MeasurementFileTest, LongTextsAreCutAtACharacterToFitTheCount) {
  d.Memo[0] = QString(40000, QChar(0x6E2C));  // 測, two bytes each: 80,000 bytes
  d.Memo[1] = QString(70000, QLatin1Char('x'));
  ASSERT_TRUE(SaveDataFile(d, Path("l.rk0")));
  const QByteArray bytes = test::ReadAll(Path("l.rk0"));
  // After the identifier and the 19-blank start time: memo 1's count.
  EXPECT_EQ(bytes.mid(31, 2), QByteArray::fromHex("feff"));  // 65,534: no half character
  ModuleData r;
  r.InitDataBuffers();
  const ReadResult result = ReadDataFile(r, Path("l.rk0"));
  EXPECT_TRUE(result.headerComplete);
  EXPECT_EQ(r.Memo[0], QString(32767, QChar(0x6E2C)));
  EXPECT_EQ(r.Memo[1], QString(65535, QLatin1Char('x')));  // a count above 32,767 is unsigned
  EXPECT_EQ(r.Memo[2], QString());
}

// A name that could not be opened once read as an old-version file without
// rows; the user was told of an old version and of no data, not why.
TEST_F(MeasurementFileTest, ANameThatCannotBeOpenedFailsWithItsNameAndTheReason) {
  d.DataNum = 5;
  const ReadResult result = ReadDataFile(d, Path("nothing.rk0"));
  EXPECT_EQ(result.status, ReadResult::Status::Failed);
  EXPECT_TRUE(result.message.contains(Path("nothing.rk0")));
  EXPECT_TRUE(result.message.contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
      << result.message.toStdString();
  EXPECT_FALSE(result.oldVersion);
  EXPECT_EQ(d.DataNum, 0);
  EXPECT_FALSE(QFile::exists(Path("nothing.rk0")));
  EXPECT_TRUE(ui.shown.empty());
}

}  // namespace
}  // namespace larimo
