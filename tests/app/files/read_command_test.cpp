#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "datalist/ui/dialog_datalist.h"
#include "device/device_control.h"
#include "file_test_util.h"
#include "files/measurement_file.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

using test::RecordingUi;

const QString kQuestion =
    QStringLiteral("ファイルを読込むとデータが消去されます。よろしいですか？");
const QString kOldVersion = QStringLiteral("これは旧バージョンで保存されたデータファイルです。");
const QString kNoData = QStringLiteral("データがありません。");

// The replay as the acquisition cycle shows the samples one by one: the
// sample step and the chart feed once per sample. The command's one-pass replay must end
// in exactly the state this leaves.
void ReplayOneByOne(FormMain& w) {
  ModuleData& d = w.data;
  const Long n = d.DataNum;
  w.ClearReadouts();
  w.Chart2D1->SetIsBatched(true);
  w.InitGraphParam(true);
  w.Chart2D1->Reset();
  if (w.SetGraphParam()) w.Chart2D1->SetHeaderText(QStringLiteral("開始時刻  ") + d.StartTime);
  d.DataNum = 0;
  d.Measuring = kTrue;
  for (Long i = 1; i <= n; ++i) {
    d.DataNum = i;
    const StepChanges c = StepSample(d, w.view, i);
    if (c.axisY) w.Feed().ShowAxisY();
    if (c.axisX) w.Feed().ShowViewX();
    w.Feed().DrawSample(i);
  }
  w.Chart2D1->SetIsBatched(false);
  d.Measuring = kFalse;
  d.DataNum = n;
}

void ExpectSameChart(const FormMain& a, const FormMain& b) {
  using Axis = Chart2D::Axis;
  for (Axis axis : {Axis::X, Axis::Y}) {
    EXPECT_DOUBLE_EQ(a.Chart2D1->AxisMin(axis), b.Chart2D1->AxisMin(axis));
    EXPECT_DOUBLE_EQ(a.Chart2D1->AxisMax(axis), b.Chart2D1->AxisMax(axis));
    EXPECT_EQ(a.Chart2D1->AxisTitle(axis), b.Chart2D1->AxisTitle(axis));
  }
  EXPECT_EQ(a.Chart2D1->HeaderText(), b.Chart2D1->HeaderText());
  EXPECT_EQ(a.Chart2D1->SeriesLabels(), b.Chart2D1->SeriesLabels());
  const SeriesStore& pa = a.Chart2D1->Points();
  const SeriesStore& pb = b.Chart2D1->Points();
  ASSERT_EQ(pa.SeriesCount(), pb.SeriesCount());
  for (int s = 1; s <= pa.SeriesCount(); ++s) {
    ASSERT_EQ(pa.PointCount(s), pb.PointCount(s)) << s;
    for (long p = 1; p <= pa.PointCount(s); ++p) {
      ASSERT_EQ(pa.HasY(s, p), pb.HasY(s, p)) << s << ":" << p;
      if (pa.HasY(s, p)) {
        ASSERT_EQ(pa.Y(s, p), pb.Y(s, p)) << s << ":" << p;
      }
      ASSERT_EQ(pa.X(p), pb.X(p)) << p;
    }
  }
  EXPECT_EQ(a.view.AxisXStart, b.view.AxisXStart);
  EXPECT_EQ(a.view.AxisXEnd, b.view.AxisXEnd);
  EXPECT_EQ(a.view.AxisXWidth, b.view.AxisXWidth);
  EXPECT_EQ(a.data.AxisYMax, b.data.AxisYMax);
  EXPECT_EQ(a.data.AxisYMin, b.data.AxisYMin);
  EXPECT_EQ(a.data.DataMax, b.data.DataMax);
  EXPECT_EQ(a.data.DataMin, b.data.DataMin);
  for (size_t u = 0; u < a.data.Units.size(); ++u) {
    EXPECT_EQ(a.data.Units[u].MaxValue, b.data.Units[u].MaxValue) << u;
    EXPECT_EQ(a.data.Units[u].MinValue, b.data.Units[u].MinValue) << u;
  }
}

class ReadCommandTest : public ::testing::Test {
 protected:
  // Saves a run of n samples (ID0 and ID2 in use, see FillRun) with gaps in
  // ID2 and a few late readings of ID1, which the first row marks unused.
  QString SaveRun(const char* name, Long n, Boolean kind = kFalse) {
    ModuleData run;
    test::FillRun(run, n);
    for (Long k = 7; k < n; k += 50) run.Units[2].Values[static_cast<size_t>(k)] = kNoReading;
    if (n > 3) run.Units[1].Values[3] = 1234.5f;
    run.Units[0].Connect = 2;
    run.Units[1].Connect = 0;
    run.Units[2].Connect = 1;
    run.TimerType = kFalse;
    run.IntervalTM = 250;
    run.DataAverage = kTrue;
    run.MeasKind = kind;
    run.StartTime = "2025/1/2 3:04:05";
    run.Memo[1] = "読込み試験";
    const QString path = dir.filePath(QString::fromUtf8(name));
    EXPECT_TRUE(SaveDataFile(run, path));
    return path;
  }
  // A finished run of n samples on ID3 in memory.
  void FakeRun(Long n) {
    d.Units[3].Mflag = kTrue;
    for (Long i = 0; i < n; ++i) d.Units[3].Values[static_cast<size_t>(i)] = 5.0f;
    d.Units[3].Count = n;
    d.DataNum = n;
    w.SetButtons();
  }
  void Read(const QString& path) {
    ui.files.push_back(path);
    w.cmdRead_Click();
  }

  RecordingUi ui;
  QTemporaryDir dir;
  ModuleData d;
  FormMain w{d};
};

TEST_F(ReadCommandTest, CancelChangesNothing) {
  FakeRun(4);
  ui.files.push_back(std::nullopt);
  w.cmdRead_Click();
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].mode, FileRequest::Mode::Open);
  EXPECT_EQ(ui.fileRequests[0].filter, "専用ファイル  (*.rk0)|*.rk0|");
  EXPECT_EQ(d.DataNum, 4);
  EXPECT_EQ(d.Units[3].Values[0], 5.0f);
}

TEST_F(ReadCommandTest, FiveHundredSamplesEndAsARunOfThatLength) {
  const QString path = SaveRun("500.rk0", 500);
  w.Label1[0]->setText("1.000");
  w.setWindowModified(true);
  Read(path);
  EXPECT_FALSE(w.isWindowModified());
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(d.DataNum, 500);
  EXPECT_EQ(d.Measuring, kFalse);
  EXPECT_TRUE(w.cmdDisp->isEnabled());
  EXPECT_EQ(w.Label1[0]->text(), "");  // readouts cleared, not replayed
  EXPECT_EQ(w.Chart2D1->HeaderText(), "開始時刻  2025/1/2 3:04:05");
  EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 500);
  EXPECT_FALSE(w.Chart2D1->IsBatched());
  EXPECT_EQ(d.Memo[1], "読込み試験");

  ModuleData d2;
  FormMain reference(d2);
  ASSERT_EQ(ReadDataFile(d2, path).status, ReadResult::Status::Ok);
  ReplayOneByOne(reference);
  ExpectSameChart(w, reference);
  // Units not in use by the first row are not drawn, although they read.
  EXPECT_EQ(d.Units[1].Mflag, kFalse);
  EXPECT_FALSE(w.Chart2D1->Points().HasY(2, 4));
}

TEST_F(ReadCommandTest, ReplaysAfterAnEarlierReadWithoutItsPoints) {
  Read(SaveRun("long.rk0", 900));
  ui.answers.push_back(MsgAnswer::Yes);
  const QString path = SaveRun("short.rk0", 120);
  Read(path);
  ModuleData d2;
  FormMain reference(d2);
  ASSERT_EQ(ReadDataFile(d2, path).status, ReadResult::Status::Ok);
  ReplayOneByOne(reference);
  ExpectSameChart(w, reference);
  EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 120);
}

TEST_F(ReadCommandTest, SettingsComeFromTheFile) {
  d.TimerType = kTrue;
  d.IntervalTM = 5000;
  d.DataAverage = kFalse;
  d.Units[3].Mflag = kTrue;
  d.Units[3].Connect = 1;
  Read(SaveRun("ohm.rk0", 20, kTrue));
  EXPECT_EQ(d.TimerType, kFalse);
  EXPECT_EQ(d.IntervalTM, 250);
  EXPECT_EQ(d.DataAverage, kTrue);
  // The readings per sample follow the file's interval and averaging (250 ms
  // averaged: 25 readings of 10 ms), not the settings before the read.
  EXPECT_EQ(d.AverageNum, 25);
  EXPECT_EQ(d.MeasKind, kTrue);
  EXPECT_EQ(d.Units[0].Mflag, kTrue);
  EXPECT_EQ(d.Units[2].Mflag, kTrue);
  EXPECT_EQ(d.Units[3].Mflag, kFalse);
  EXPECT_EQ(d.Units[0].Connect, 2);
  EXPECT_EQ(d.Units[2].Connect, 1);
  // The labels follow the file's wiring.
  const QStringList labels = w.Chart2D1->SeriesLabels();
  ASSERT_EQ(labels.size(), 4);
  EXPECT_EQ(labels[0], "ID0 " + ConnectName(2));
  EXPECT_EQ(labels[2], "ID2 " + ConnectName(1));
}

// A read that found nothing once replaced the data with the empty store
// while the chart still showed the old run, and announced an old version for
// any file too short for a header, or one that could not even be opened.
TEST_F(ReadCommandTest, AReadWithoutRowsOrAFailedOneLeavesDataSettingsChartAndList) {
  ModuleData empty;
  empty.InitDataBuffers();
  empty.ClearData();
  ASSERT_TRUE(SaveDataFile(empty, dir.filePath("header-only.rk0")));
  ASSERT_TRUE(test::WriteAll(dir.filePath("zero.rk0"), {}));
  ASSERT_TRUE(test::WriteAll(dir.filePath("short.rk0"), QByteArray::fromHex("07a1ff3c")));
  ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.rk0")));
  Read(SaveRun("good.rk0", 300));
  w.cmdDisp_Click();
  ASSERT_FALSE(w.datalist.isNull());
  const QString header = w.Chart2D1->HeaderText();
  const double xMax = w.Chart2D1->AxisMax(Chart2D::Axis::X);
  for (const char* name : {"header-only.rk0", "zero.rk0", "short.rk0", "folder.rk0", "none.rk0"}) {
    const QString path = dir.filePath(name);
    const bool opens = QFile::exists(path) && !QFileInfo(path).isDir();
    ui.shown.clear();
    ui.answers.push_back(MsgAnswer::Yes);
    Read(path);
    ASSERT_EQ(ui.shown.size(), 2u) << name;
    EXPECT_EQ(ui.shown[0].text, kQuestion);
    if (opens) {
      EXPECT_EQ(ui.shown[1].text, kNoData);
    } else {
      EXPECT_TRUE(ui.shown[1].text.contains(path)) << ui.shown[1].text.toStdString();
    }
    EXPECT_EQ(ui.shown[1].title, "Message");
    EXPECT_EQ(ui.shown[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(d.DataNum, 300);
    EXPECT_EQ(d.IntervalTM, 250);
    EXPECT_EQ(d.Units[0].Values[299], 20.0f + 299 / 4.0f);
    EXPECT_EQ(w.Chart2D1->HeaderText(), header);
    EXPECT_EQ(w.Chart2D1->AxisMax(Chart2D::Axis::X), xMax);
    EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 300);
    EXPECT_FALSE(w.Chart2D1->IsBatched());
    EXPECT_FALSE(QFile::exists(dir.filePath("none.rk0")));
    EXPECT_FALSE(w.datalist.isNull());
    EXPECT_FALSE(w.cmdDisp->isEnabled());
  }
}

TEST_F(ReadCommandTest, ACutOffFileIsReadAndTheShortfallTold) {
  QByteArray bytes = test::ReadAll(SaveRun("whole.rk0", 6));
  bytes.chop(2 * 16 + 7);
  const QString path = dir.filePath("cut.rk0");
  ASSERT_TRUE(test::WriteAll(path, bytes));
  Read(path);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "ファイルが途中で終わっています。6 行中 3 行を読み込みました。");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(d.DataNum, 3);
  EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 3);
}

TEST_F(ReadCommandTest, OldVersionFileIsAnnouncedThenRead) {
  QByteArray bytes;
  test::PutText(bytes, "2020/2/3 4:05:06");
  for (int i = 0; i < 5; ++i) test::PutText(bytes, i == 0 ? QByteArray("old") : QByteArray());
  test::Put<qint16>(bytes, -1);    // seconds
  test::Put<qint32>(bytes, 2000);  // interval
  test::Put<qint16>(bytes, 0);     // Pt100
  for (int u = 0; u < 4; ++u) test::Put<qint16>(bytes, 0);
  test::Put<qint32>(bytes, 3);
  test::PutRow(bytes, 1.0f, -999.0f, -999.0f, -999.0f);
  test::PutRow(bytes, 2.0f, -999.0f, -999.0f, -999.0f);
  test::PutRow(bytes, 3.0f, -999.0f, -999.0f, -999.0f);
  const QString path = dir.filePath("old.rk0");
  ASSERT_TRUE(test::WriteAll(path, bytes));
  d.DataAverage = kTrue;
  Read(path);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, kOldVersion);
  EXPECT_EQ(d.DataNum, 3);
  EXPECT_EQ(d.IntervalTM, 2000);
  EXPECT_EQ(d.DataAverage, kTrue);  // the old layout has no averaging flag
  EXPECT_EQ(d.Memo[0], "old");
  EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 3);
  EXPECT_EQ(w.Chart2D1->HeaderText(), "開始時刻  2020/2/3 4:05:06");
}

TEST_F(ReadCommandTest, UnsavedDataAskFirstAndNoKeepsThem) {
  FakeRun(8);
  ui.answers.push_back(MsgAnswer::No);
  ui.files.push_back(SaveRun("x.rk0", 10));
  w.cmdRead_Click();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, kQuestion);
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_TRUE(ui.fileRequests.empty());
  EXPECT_EQ(d.DataNum, 8);
  EXPECT_EQ(d.Units[3].Values[7], 5.0f);
}

TEST_F(ReadCommandTest, ReadAfterReadLeavesNothingOfTheEarlierRunsAndAFailureKeepsTheLast) {
  // Three reads in a row, each shorter than the one before, then one that
  // fails: every read starts from cleared buffers, whichever run they held.
  Read(SaveRun("a.rk0", 900));
  for (const Long n : {Long{120}, Long{50}}) {
    ui.answers.push_back(MsgAnswer::Yes);
    Read(SaveRun(n == 120 ? "b.rk0" : "c.rk0", n));
    ASSERT_EQ(d.DataNum, n);
    EXPECT_EQ(d.Units[0].Count, n);
    EXPECT_EQ(d.Units[0].Values[static_cast<size_t>(n - 1)], 20.0f + (n - 1) / 4.0f);
    EXPECT_EQ(d.Units[0].Values[static_cast<size_t>(n)], kNoReading);
    EXPECT_EQ(d.Units[0].Values[600], kNoReading);
    EXPECT_EQ(w.Chart2D1->Points().PointCount(1), n);
  }
  const QString broken = dir.filePath("broken.rk0");
  ASSERT_TRUE(QDir().mkpath(broken));
  ui.answers.push_back(MsgAnswer::Yes);
  Read(broken);
  EXPECT_EQ(d.DataNum, 50);
  EXPECT_EQ(d.Units[0].Values[49], 20.0f + 49 / 4.0f);
  EXPECT_EQ(d.Units[2].Values[49], -49.0f);
  EXPECT_EQ(d.Units[0].Values[50], kNoReading);
  EXPECT_EQ(d.Memo[1], "読込み試験");
  EXPECT_EQ(w.Chart2D1->Points().PointCount(1), 50);
}

TEST_F(ReadCommandTest, AnOpenListShowsTheDataReadAndStaysMarkedOpen) {
  FakeRun(5);
  w.cmdDisp_Click();
  auto* list = qobject_cast<DialogDatalist*>(w.datalist.data());
  ASSERT_NE(list, nullptr);
  Read(SaveRun("list.rk0", 40));
  ASSERT_EQ(w.datalist.data(), list);
  EXPECT_FALSE(w.cmdDisp->isEnabled());
  EXPECT_EQ(list->LineCount(), 40);
  EXPECT_EQ(list->lblDataNum->text(), "40");
  EXPECT_EQ(list->LineText(7), DataLine(d, 7, MissingFiller::OnRefill));
  EXPECT_EQ(list->LineText(0).left(10), FormatValue(20.0f));
  EXPECT_EQ(list->SelectedRow(), 39);
  w.UnloadDatalist();
  EXPECT_TRUE(w.datalist.isNull());
  EXPECT_TRUE(w.cmdDisp->isEnabled());
}

TEST_F(ReadCommandTest, MoreRowsThanTheBuffersHoldAreReportedAndTheFirstShown) {
  QByteArray bytes = test::ReadAll(SaveRun("base.rk0", 1));
  ASSERT_FALSE(bytes.isEmpty());
  for (Long k = 1; k < kBufferSize + 5; ++k) test::PutRow(bytes, 1.0f, -999.0f, 2.0f, -999.0f);
  const QString path = dir.filePath("big.rk0");
  ASSERT_TRUE(test::WriteAll(path, bytes));
  Read(path);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(d.DataNum, kBufferSize);
  EXPECT_EQ(w.Chart2D1->Points().PointCount(3), kBufferSize);
}

}  // namespace
}  // namespace larimo
