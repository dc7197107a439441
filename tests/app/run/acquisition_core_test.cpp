// The run controller with in-process fake units and a display that records
// what it is told: Start and its refusals, both kinds of cycle, the stop
// rules and the order of stop and message.
#include "run/acquisition.h"

#include <array>

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "fake_units.h"
#include "recording_ui.h"
#include "run/journal.h"

namespace larimo {
namespace {

using test::RecordingUi;

struct RecordingDisplay final : RunDisplay {
  bool acceptRange = true;
  int clearing = 0;
  int cleared = 0;
  int stored = 0;
  bool measuring = false;
  QString header;
  Single yMin = 0, yMax = 0;
  int yChanges = 0;
  Long xFirst = 0, xLast = 0;
  bool RangeAccepted() override { return acceptRange; }
  void RunClearing() override { ++clearing; }
  void RunCleared() override { ++cleared; }
  void HeaderChanged(const QString& t) override { header = t; }
  void MeasuringChanged(bool m) override { measuring = m; }
  void AxisYChanged(Single lo, Single hi) override {
    yMin = lo;
    yMax = hi;
    ++yChanges;
  }
  void AxisXChanged(Long a, Long b) override {
    xFirst = a;
    xLast = b;
  }
  void SamplesStored(bool) override { ++stored; }
  void RunEnded(const RunEnd& e) override {
    end = e;
    ShowRunEnd(e);  // as the window does
  }
  RunEnd end;
};

class AcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data.InitDataBuffers();
    data.ClearData();
    for (UnitData& u : data.Units) u.Mflag = kFalse;
  }
  void Block(std::initializer_list<int> units, Long intervalTM, bool average) {
    for (int u : units) data.Units[static_cast<std::size_t>(u)].Mflag = kTrue;
    data.TimerType = kFalse;
    data.IntervalTM = intervalTM;
    data.DataAverage = ToBoolean(average);
  }
  void Sampled(std::initializer_list<int> units, Long intervalTM, bool average) {
    Block(units, intervalTM, average);
    data.TimerType = kTrue;
  }
  static std::vector<double> Readings(int n, double first, double step = 1.0) {
    std::vector<double> r;
    for (int i = 0; i < n; ++i) r.push_back(first + i * step);
    return r;
  }
  // Stored data the user has not saved.
  void OldRun() {
    data.Units[0].Values[0] = 12.5f;
    data.Units[0].Count = 1;
    data.DataNum = 1;
    data.Memo[0] = QStringLiteral("old");
  }
  bool OldRunKept() const {
    return data.DataNum == 1 && data.Units[0].Values[0] == 12.5f && data.Memo[0] == "old" &&
           display.clearing == 0 && !IsTrue(data.Measuring);
  }

  RecordingUi ui;
  test::FakeUnits fake;
  ModuleData data;
  ChartView view;
  RecordingDisplay display;
  Acquisition run{data, view, fake.Table(), display};
};

TEST_F(AcquisitionTest, RefusalsBeforeAnythingIsCleared) {
  OldRun();
  // Asked and answered No.
  Block({0}, 100, false);
  ui.answers = {MsgAnswer::No};
  EXPECT_EQ(run.Start().kind, Pacing::Kind::None);
  EXPECT_EQ(ui.shown.back().text,
            QStringLiteral("測定を開始するとデータが消去されます。よろしいですか？"));
  EXPECT_TRUE(OldRunKept());
  // Intervals the settings dialog would refuse: a rate past 16 bits, a
  // seconds-mode interval that is no whole number of seconds, below 1 s.
  for (auto [seconds, interval] :
       {std::pair{false, Long{655370}}, std::pair{true, Long{1500}}, std::pair{true, Long{500}}}) {
    data.TimerType = ToBoolean(seconds);
    data.IntervalTM = interval;
    EXPECT_EQ(run.Start().kind, Pacing::Kind::None) << interval;
    EXPECT_EQ(ui.shown.back().text, kBadConditions);
    EXPECT_TRUE(OldRunKept()) << interval;
  }
  EXPECT_EQ(fake.log, "");
  // The display refuses the Y range.
  data.TimerType = kFalse;
  data.IntervalTM = 100;
  display.acceptRange = false;
  EXPECT_EQ(run.Start().kind, Pacing::Kind::None);
  EXPECT_TRUE(OldRunKept());
  // A unit that cannot be opened.
  display.acceptRange = true;
  fake.units[0].openResult = 6;
  EXPECT_EQ(run.Start().kind, Pacing::Kind::None);
  EXPECT_TRUE(OldRunKept());
  EXPECT_EQ(ui.shown.back().text, QStringLiteral("指定のデバイスが見つからない\nID0"));
  EXPECT_EQ(display.end.why, RunEnd::Why::StartRefused);
}

TEST_F(AcquisitionTest, AveragingCountFollowsTheSettingsAtStart) {
  // A stale count (left by a dialog or a read) does not regroup the readings.
  Block({0}, 1000, false);
  data.AverageNum = 100;
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  EXPECT_EQ(data.AverageNum, 1);
  EXPECT_EQ(fake.log, "open 0;start 0 r100;");
  fake.units[0].blocks = {Readings(3, 20.0)};
  run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 3);
}

TEST_F(AcquisitionTest, FailedStartsEndTheRun) {
  Block({0, 1}, 100, false);
  fake.units[1].startResult = 9;
  EXPECT_EQ(run.Start().kind, Pacing::Kind::None);
  EXPECT_EQ(ui.texts(), (std::vector<QString>{QStringLiteral("USB通信エラー\nID1"),
                                              QStringLiteral("エラーのため測定開始できません。")}));
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_FALSE(display.measuring);
  EXPECT_EQ(display.cleared, 1);  // the old run is gone from the display too
  EXPECT_FALSE(fake.units[0].open);
}

TEST_F(AcquisitionTest, TheNotProtectedNoticeNeverHoldsTheRunAndAFailedStartLeavesNoJournal) {
  QTemporaryDir tmp;
  Journal unwritable(tmp.filePath("file/larimo"));  // a file where its folder would be
  ASSERT_TRUE(QFile(tmp.filePath("file")).open(QIODevice::WriteOnly));
  run.AddObserver(&unwritable);
  ui.whileShown = [](const test::ShownMessage& m) {
    ADD_FAILURE() << "held by " << m.text.toStdString();
  };
  Block({0}, 10, false);
  fake.units[0].blocks = {Readings(5, 20.0), Readings(5, 20.0)};
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  run.BlockTick();
  run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 10);
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_TRUE(ui.notices[0].text.startsWith(kNotProtected));
  run.RemoveObserver(&unwritable);
  run.Stop();
  ui.whileShown = nullptr;
  Journal journal(tmp.filePath("state"));
  run.AddObserver(&journal);
  fake.units[0].startResult = 9;
  EXPECT_EQ(run.Start().kind, Pacing::Kind::None);
  EXPECT_TRUE(QDir(tmp.filePath("state")).entryList(QDir::Files).isEmpty());
  run.RemoveObserver(&journal);
}

TEST_F(AcquisitionTest, SingleSampleRunWithAveraging) {
  Sampled({2}, 70000, true);
  fake.units[2].sampleValue = 21.5;
  const Pacing p = run.Start();
  ASSERT_EQ(p.kind, Pacing::Kind::SampleTimer);
  EXPECT_EQ(p.intervalMs, 7000);
  EXPECT_TRUE(display.measuring);
  EXPECT_TRUE(display.header.startsWith(QStringLiteral("20")));
  for (int t = 0; t < 9; ++t) run.SampleTimerTick();
  EXPECT_EQ(data.DataNum, 0);  // every 10th firing takes a sample
  run.SampleTimerTick();
  ASSERT_EQ(data.DataNum, 1);
  EXPECT_EQ(fake.Calls("sample 2"), 100);
  EXPECT_EQ(data.Units[2].Values[0], 21.5f);
  EXPECT_EQ(display.stored, 1);
  // The first sample fits the Y axis to the hundreds around it.
  EXPECT_EQ(display.yMin, 0.0f);
  EXPECT_EQ(display.yMax, 100.0f);
  run.Stop();
  EXPECT_FALSE(display.measuring);
  EXPECT_FALSE(fake.units[2].open);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(AcquisitionTest, SingleSampleStopRules) {
  // Any failing unit ends the run, message first.
  Sampled({0, 1}, 1000, false);
  fake.units[0].sampleResult = 9;
  ASSERT_EQ(run.Start().kind, Pacing::Kind::SampleTimer);
  bool measuringWhileShown = false;
  ui.whileShown = [&](const test::ShownMessage&) {
    measuringWhileShown = IsTrue(data.Measuring);
    run.SampleTimerTick();  // the timer keeps firing under a modal box
  };
  run.SampleTimerTick();
  EXPECT_EQ(ui.texts(), std::vector<QString>{QStringLiteral("USB通信エラー\nID0")});
  EXPECT_EQ(display.end.failures, (std::vector<UnitFailure>{{0, 9}}));
  EXPECT_FALSE(measuringWhileShown) << "stop, then message";
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_EQ(fake.Calls("sample 0"), 1);
  // A full store: message, then stop.
  fake.units[0].sampleResult = 0;
  ui.shown.clear();
  ASSERT_EQ(run.Start().kind, Pacing::Kind::SampleTimer);
  data.DataNum = kBufferSize;
  run.SampleTimerTick();
  EXPECT_EQ(ui.texts(), std::vector<QString>{kNoRoom});
  EXPECT_EQ(display.end.why, RunEnd::Why::NoRoom);
  EXPECT_FALSE(IsTrue(data.Measuring));
}

TEST_F(AcquisitionTest, BlockRunWithoutAveraging) {
  Block({0, 1}, 50, false);
  const Pacing p = run.Start();
  ASSERT_EQ(p.kind, Pacing::Kind::BlockTimer);
  EXPECT_EQ(p.intervalMs, 300);
  fake.units[0].blocks = {Readings(7, 20.0), Readings(30, 40.0)};
  fake.units[1].blocks = {Readings(30, 120.0), Readings(3, 10.0)};
  run.BlockTick();
  // Every unit is asked for a full block, even after one delivered less.
  EXPECT_TRUE(fake.log.ends_with("getdatas 0 n128 w0 t1;getdatas 1 n128 w0 t1;"));
  EXPECT_EQ(data.Units[0].Count, 7);
  EXPECT_EQ(data.Units[1].Count, 30);
  EXPECT_EQ(data.DataNum, 30);
  EXPECT_EQ(display.stored, 1);
  EXPECT_EQ(display.yChanges, 0);  // no fit on the first cycle
  run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 37);
  EXPECT_EQ(data.DataNum, 37);
  EXPECT_FLOAT_EQ(data.DataMax, 149.0f);
  EXPECT_FLOAT_EQ(data.DataMin, 10.0f);
  EXPECT_EQ(display.yMin, 0.0f);
  EXPECT_EQ(display.yMax, 200.0f);
  EXPECT_EQ(data.Units[0].Values[7], 40.0f);
  EXPECT_EQ(data.TickCount, 2);
}

TEST_F(AcquisitionTest, BlockAveragingCarriesReadingsOver) {
  Block({0}, 50, true);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  EXPECT_EQ(data.AverageNum, 5);
  EXPECT_EQ(fake.log, "open 0;start 0 r1;");
  fake.units[0].blocks = {Readings(12, 1.0), Readings(3, 13.0)};
  run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 2);
  EXPECT_FLOAT_EQ(data.Units[0].Values[0], 3.0f);
  EXPECT_FLOAT_EQ(data.Units[0].Values[1], 8.0f);
  EXPECT_EQ(data.AvgWork[0].Num, 2);
  run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 3);
  EXPECT_FLOAT_EQ(data.Units[0].Values[2], 13.0f);  // mean of 11 .. 15
  EXPECT_EQ(data.AvgWork[0].Num, 0);
}

TEST_F(AcquisitionTest, BlockStopRules) {
  // A full buffer: stop, then the message.
  Block({0, 3}, 10, false);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  const int cycles = static_cast<int>(kBufferSize / 128) + 1;
  for (int c = 0; c < cycles + 1; ++c) {
    fake.units[0].blocks.push_back(Readings(128, 20.0, 0.001));
    fake.units[3].blocks.push_back(Readings(100, 30.0, 0.001));
  }
  bool measuringWhileShown = true;
  ui.whileShown = [&](const test::ShownMessage&) { measuringWhileShown = IsTrue(data.Measuring); };
  int ran = 0;
  while (IsTrue(data.Measuring) && ran < cycles + 5) {
    run.BlockTick();
    ++ran;
  }
  EXPECT_EQ(ran, cycles);
  EXPECT_EQ(data.Units[0].Count, kBufferSize);
  EXPECT_EQ(data.DataNum, kBufferSize);
  EXPECT_LT(data.Units[3].Count, kBufferSize);
  EXPECT_EQ(ui.texts(), std::vector<QString>{kBufferFull});
  EXPECT_FALSE(measuringWhileShown) << "stop, then message";

  // No room in any unit in use: message, then stop, nothing read.
  data.Units[3].Mflag = kFalse;
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  data.Units[0].Count = kBufferSize;
  fake.log.clear();
  ui.shown.clear();
  run.BlockTick();
  EXPECT_EQ(ui.texts(), std::vector<QString>{kNoRoom});
  EXPECT_EQ(display.end.why, RunEnd::Why::NoRoom);
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_EQ(fake.log, "close 0;");
}

TEST_F(AcquisitionTest, LibraryErrorEndsTheBlockRunAndNoCycleRunsWhileItsMessageWaits) {
  Block({0, 1}, 10, false);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  fake.units[0].blocks = {Readings(5, 20.0)};
  fake.units[1].getDatasResult = 9;
  int reads = 0;
  bool measuringWhileShown = false;
  ui.whileShown = [&](const test::ShownMessage&) {
    measuringWhileShown = IsTrue(data.Measuring);
    EXPECT_TRUE(run.InCycle());
    const int before = fake.Calls("getdatas");
    run.BlockTick();
    run.SampleTimerTick();
    reads += fake.Calls("getdatas") - before;
  };
  run.BlockTick();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, QStringLiteral("USB通信エラー\nID1"));
  EXPECT_EQ(ui.shown[0].title, QStringLiteral("QuenzelApp"));
  EXPECT_FALSE(measuringWhileShown) << "stop, then message";
  EXPECT_EQ(reads, 0);
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_EQ(data.Units[0].Count, 5);  // what was stored stays
  EXPECT_FALSE(run.InCycle());
}

TEST_F(AcquisitionTest, AutomaticRangeOfTheBlockRun) {
  Block({0, 1}, 10, false);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  run.BlockTick();
  run.BlockTick();  // second cycle, still no sample: no fit
  EXPECT_EQ(display.yChanges, 0);
  EXPECT_LT(data.AxisYMin, data.AxisYMax);
  // ID1 has no reading yet when the range is first merged: it takes no
  // part, and the fit does not lock at the range ends.
  fake.units[0].blocks = {Readings(10, 23.4)};
  run.BlockTick();
  EXPECT_EQ(display.yMin, 0.0f);
  EXPECT_EQ(display.yMax, 100.0f);
  fake.units[1].blocks = {Readings(10, 150.0)};
  run.BlockTick();
  EXPECT_EQ(display.yMin, 0.0f);
  EXPECT_EQ(display.yMax, 200.0f);
  // A fixed range is never moved by the data.
  run.Stop();
  view.ScaleYMode = kScaleFixed;
  data.AxisYMin = 10;
  data.AxisYMax = 50;
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  const int changes = display.yChanges;
  fake.units[0].blocks = {Readings(20, 120.0), Readings(20, -150.0)};
  for (int c = 0; c < 3; ++c) run.BlockTick();
  EXPECT_EQ(data.Units[0].Count, 40);
  EXPECT_EQ(display.yChanges, changes);
}

TEST_F(AcquisitionTest, AutomaticScrollKeepsTheNewestSampleInView) {
  Block({0}, 10, false);
  view.ScrollMode = kAutoScroll;
  view.ResetForRun(10);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  fake.units[0].blocks = {Readings(128, 20.0), Readings(30, 20.0)};
  run.BlockTick();
  EXPECT_GE(display.xLast, 128);
  EXPECT_LE(display.xFirst, 128);
  run.BlockTick();
  EXPECT_GE(display.xLast, 158);
  EXPECT_LE(display.xFirst, 158);
}

TEST_F(AcquisitionTest, ObserversFollowEveryStoredSample) {
  struct Log final : RunObserver {
    std::vector<Long> events;  // -1 start, -2 stop, else unit 0's count
    void RunStarted(const ModuleData&) override { events.push_back(-1); }
    void SamplesStored(const ModuleData& d) override { events.push_back(d.Units[0].Count); }
    void RunStopped(const ModuleData&, const RunEnd& e) override {
      events.push_back(-2 - int(e.why));
    }
  } log;
  run.AddObserver(&log);
  Block({0, 1}, 10, false);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  fake.units[0].blocks = {Readings(4, 20.0), Readings(3, 20.0)};
  run.BlockTick();
  fake.units[1].getDatasResult = 9;  // ID0's readings of this cycle still count
  run.BlockTick();
  EXPECT_EQ(log.events, (std::vector<Long>{-1, 4, 7, -2 - int(RunEnd::Why::UnitFailed)}));
  run.RemoveObserver(&log);
}

TEST_F(AcquisitionTest, SplitRunGoesOnIntoTheNextPartWithEveryReadingOnce) {
  // ID1 delivers one reading less per cycle: ID0's readings past its full
  // buffer wait for the next part, which begins once ID1 is full too.
  Block({0, 1}, 10, false);
  std::array<std::vector<Single>, 2> kept;
  run.SplitEvery(kBufferSize, [&](const ModuleData& part) {
    EXPECT_EQ(part.DataNum, kBufferSize);
    for (std::size_t u : {0u, 1u}) {
      const auto& v = part.Units[u].Values;
      kept[u].insert(kept[u].end(), v.begin(), v.begin() + part.Units[u].Count);
    }
    return true;
  });
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  const QDateTime start = QDateTime::fromString(data.StartTime, "yyyy/M/d H:m:s");
  std::array<int, 2> delivered{};
  for (int c = 0; c < 800; ++c) {
    for (std::size_t u : {0u, 1u}) {
      const int n = 128 - static_cast<int>(u);
      fake.units[u].blocks.push_back(Readings(n, delivered[u]));
      delivered[u] += n;
    }
    run.BlockTick();
  }
  ASSERT_TRUE(IsTrue(data.Measuring));
  EXPECT_EQ(run.Part(), 2);
  EXPECT_EQ(run.PartFirstRow(), kBufferSize);
  EXPECT_EQ(data.StartTime, start.addSecs(880).toString("yyyy/M/d H:m:s"));
  EXPECT_EQ(display.header, data.StartTime);
  for (std::size_t u : {0u, 1u}) {
    const auto& v = data.Units[u].Values;
    kept[u].insert(kept[u].end(), v.begin(), v.begin() + data.Units[u].Count);
    ASSERT_EQ(kept[u].size(), static_cast<std::size_t>(delivered[u])) << "ID" << u;
    for (int i = 0; i < delivered[u]; ++i) ASSERT_EQ(kept[u][i], static_cast<Single>(i));
  }
  EXPECT_EQ(data.Units[0].MinValue, static_cast<Single>(kBufferSize));
}

TEST_F(AcquisitionTest, SplitRunCarriesTheAverageOverAndEndsWhenAPartIsNotSaved) {
  Block({0}, 50, true);
  bool saves = true;
  run.SplitEvery(2, [&](const ModuleData&) { return saves; });
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  fake.units[0].blocks = {Readings(12, 1.0), Readings(3, 13.0), Readings(10, 0.0)};
  run.BlockTick();
  run.BlockTick();  // the part of two means is saved; 11 .. 15 make the next one
  EXPECT_EQ(run.Part(), 2);
  EXPECT_EQ(data.Units[0].Count, 1);
  EXPECT_FLOAT_EQ(data.Units[0].Values[0], 13.0f);
  EXPECT_EQ(data.Units[0].Values[1], kNoReading);
  saves = false;
  run.BlockTick();
  run.BlockTick();  // not saved: the run ends with the part as it was
  EXPECT_FALSE(IsTrue(data.Measuring));
  EXPECT_EQ(run.Part(), 2);
  EXPECT_EQ(data.Units[0].Count, 3);
  EXPECT_EQ(data.DataNum, 3);
}

}  // namespace
}  // namespace larimo
