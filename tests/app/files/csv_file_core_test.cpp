#include "files/csv_file.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "files/cp932.h"
#include "files/measurement_file.h"
#include "recording_ui.h"

namespace larimo {
namespace {

QStringList Lines(const ModuleData& d) {
  const QByteArray bytes = CsvBytes(d);
  EXPECT_TRUE(bytes.endsWith("\r\n"));
  QStringList lines = DecodeCp932(bytes).split(QStringLiteral("\r\n"));
  lines.removeLast();  // after the last CR LF
  return lines;
}

class CsvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.ClearData();
  }
  ModuleData d;
};

TEST_F(CsvTest, DescriptiveLinesAndDataLines) {
  test::FillRun(d, 2);
  d.StartTime = QStringLiteral("2024/3/4 5:06:07");
  d.Memo = {QStringLiteral("一"), QString(), QStringLiteral("three"), QString(),
            QStringLiteral("5")};
  d.TimerType = kTrue;
  d.IntervalTM = 60000;
  d.DataAverage = kTrue;
  d.MeasKind = kFalse;
  d.Units[1].Connect = 1;
  d.Units[2].Connect = 2;
  d.Units[3].Connect = 9;
  const QStringList expected = {
      "\"Pt100温度測定ユニット\"",
      "\"測定日\",\"2024/3/4 5:06:07\"",
      "\"メモ１\",\"一\"",
      "\"メモ２\",\"\"",
      "\"メモ３\",\"three\"",
      "\"メモ４\",\"\"",
      "\"メモ５\",\"5\"",
      "\"測定間隔(sec)\",60",
      "\"データ平均化処理\",\"有り\"",
      "\"種類\",\"Pt100\"",
      "\"接続方式\"",
      "\"2線式\",\"3線式\",\"4線式\",\"4線式\"",
      "\"測定データ\"",
      "\"データ数\",2",
      "\"ID0\",\"ID1\",\"ID2\",\"ID3\"",
      "20,\"\",0,\"\"",
      "20.25,\"\",-1,\"\"",
  };
  EXPECT_EQ(Lines(d), expected);
  // The texts are code page 932: the title's first full-width bytes.
  EXPECT_TRUE(CsvBytes(d).startsWith(QByteArray::fromHex("22507431303089b7")));
}

TEST_F(CsvTest, MillisecondsResistanceNoAveragingAndClearedStartTime) {
  d.TimerType = kFalse;
  d.IntervalTM = 250;
  d.MeasKind = kTrue;
  d.DataAverage = kFalse;
  const QStringList lines = Lines(d);
  ASSERT_EQ(lines.size(), 15);  // no data lines
  EXPECT_EQ(lines[1], "\"測定日\",\"" + QString(19, ' ') + "\"");
  EXPECT_EQ(lines[7], "\"測定間隔(msec)\",250");
  EXPECT_EQ(lines[8], "\"データ平均化処理\",\"無し\"");
  EXPECT_EQ(lines[9], "\"種類\",\"抵抗値\"");
  EXPECT_EQ(lines[13], "\"データ数\",0");
  d.TimerType = kTrue;
  d.IntervalTM = 1500;
  EXPECT_EQ(Lines(d)[7], "\"測定間隔(sec)\",1.5");
}

TEST_F(CsvTest, NumberForms) {
  EXPECT_EQ(CsvSingle(23.5f), "23.5");
  EXPECT_EQ(CsvSingle(100.0f), "100");
  EXPECT_EQ(CsvSingle(-12.25f), "-12.25");
  EXPECT_EQ(CsvSingle(0.5f), "0.5");
  EXPECT_EQ(CsvSingle(-0.25f), "-0.25");
  EXPECT_EQ(CsvSingle(-0.0f), "0");
  EXPECT_EQ(CsvSingle(138.5055f), "138.5055");
  EXPECT_EQ(CsvSingle(0.1f), "0.1");
  EXPECT_EQ(CsvSingle(123.456789f), "123.4568");  // seven significant digits
  EXPECT_EQ(CsvSingle(-999.0f), "-999");
  EXPECT_EQ(CsvSingle(1.5e-5f), "1.5E-05");
  EXPECT_EQ(CsvSingle(12345678.0f), "1.234568E+07");
  EXPECT_EQ(CsvDouble(60.0), "60");
  EXPECT_EQ(CsvDouble(0.001), "0.001");
}

TEST_F(CsvTest, AQuoteInsideATextIsDoubled) {
  d.Memo[0] = QStringLiteral("say \"hi\"");
  d.Memo[1] = QStringLiteral("\"");
  d.Memo[2] = QStringLiteral("a€b");  // code page 932 has no euro sign
  const QStringList lines = Lines(d);
  EXPECT_EQ(lines[2], "\"メモ１\",\"say \"\"hi\"\"\"");
  EXPECT_EQ(lines[3], "\"メモ２\",\"\"\"\"");
  EXPECT_EQ(lines[4], "\"メモ３\",\"a?b\"");
}

TEST_F(CsvTest, UnitsNotInUseAndReadingsBeyondCountAreEmpty) {
  test::FillRun(d, 4);
  d.Units[2].Count = 2;  // a live run whose unit lags
  d.Units[2].Values[2] = kNoReading;
  d.Units[2].Values[3] = kNoReading;
  d.Units[1].Values[0] = 5;  // not in use: never written
  const QStringList lines = Lines(d);
  ASSERT_EQ(lines.size(), 19);
  EXPECT_EQ(lines[15], "20,\"\",0,\"\"");
  EXPECT_EQ(lines[16], "20.25,\"\",-1,\"\"");
  EXPECT_EQ(lines[17], "20.5,\"\",\"\",\"\"");
  EXPECT_EQ(lines[18], "20.75,\"\",\"\",\"\"");
  // A failed reading inside Count is written as the no-reading mark.
  d.Units[0].Values[1] = kNoReading;
  EXPECT_EQ(Lines(d)[16], "-999,\"\",-1,\"\"");
}

TEST_F(CsvTest, AFileWithAGapKeepsEveryReadingOfAUnitInUse) {
  QTemporaryDir dir;
  test::RecordingUi ui;
  test::FillRun(d, 5);
  d.Units[0].Values[1] = kNoReading;  // a gap
  const QString path = dir.filePath("gap.rk0");
  ASSERT_TRUE(SaveDataFile(d, path));
  ModuleData r;
  r.InitDataBuffers();
  ReadDataFile(r, path);
  ASSERT_EQ(r.Units[0].Count, 4);  // the read counts the readings only
  const QStringList lines = Lines(r);
  ASSERT_EQ(lines.size(), 20);
  EXPECT_EQ(lines[16], "-999,\"\",-1,\"\"");
  EXPECT_EQ(lines[19], "21,\"\",-4,\"\"");  // the last reading is not dropped
}

TEST_F(CsvTest, SaveWritesTheBytesAndAFailureKeepsTheOldFile) {
  QTemporaryDir dir;
  test::FillRun(d, 3);
  const QString path = dir.filePath("x.csv");
  ASSERT_TRUE(SaveCsvFile(d, path));
  EXPECT_EQ(test::ReadAll(path), CsvBytes(d));
  QString error;
  EXPECT_FALSE(SaveCsvFile(d, dir.filePath("none/x.csv"), &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"x.csv"});
}

}  // namespace
}  // namespace larimo
