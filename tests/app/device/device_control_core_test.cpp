#include "device/device_control.h"

#include <gtest/gtest.h>

#include "device/quenzel.h"
#include "fake_units.h"
#include "recording_ui.h"

namespace larimo {
namespace {

class DeviceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.ClearData();
    for (UnitData& u : d.Units) u.Mflag = kFalse;
  }
  void Use(std::initializer_list<int> ids) {
    for (int id : ids) d.Units[id].Mflag = kTrue;
  }
  test::RecordingUi ui;
  test::FakeUnits fake;
  ModuleData d;
};

TEST_F(DeviceControlTest, OpenUnitsRollsBackUnitsOpenedBeforeAFailure) {
  Use({0, 1, 2, 3});
  fake.units[2].openResult = 6;
  EXPECT_EQ(OpenUnits(fake.Table(), d), (UnitFailure{2, 6}));
  EXPECT_EQ(fake.log, "open 0;open 1;open 2;close 0;close 1;");
  EXPECT_FALSE(fake.units[0].open);
  EXPECT_FALSE(fake.units[1].open);
  EXPECT_TRUE(ui.shown.empty());
  ShowUnitFailure({2, 6});
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "指定のデバイスが見つからない\nID2");
  EXPECT_EQ(ui.shown[0].title, "QuenzelApp");
  EXPECT_EQ(ui.shown[0].icon, MsgIcon::None);
}

TEST_F(DeviceControlTest, OpenUnitsOpensOnlyUnitsInUse) {
  Use({3});
  EXPECT_EQ(OpenUnits(fake.Table(), d), std::nullopt);
  EXPECT_EQ(fake.log, "open 3;");
  EXPECT_TRUE(fake.units[3].open);
  EXPECT_TRUE(ui.shown.empty());
  CloseUnits(fake.Table(), d);
  EXPECT_FALSE(fake.units[3].open);
}

TEST_F(DeviceControlTest, NoUnitInUse) {
  EXPECT_EQ(OpenUnits(fake.Table(), d), (UnitFailure{-1, kNoUnitInUse}));
  EXPECT_EQ(StartUnits(fake.Table(), d, 5), (UnitFailure{-1, kNoUnitInUse}));
  EXPECT_FALSE(SampleUnits(fake.Table(), d).stored);
  ShowUnitFailure({-1, kNoUnitInUse});
  EXPECT_EQ(ui.shown.at(0).text, "使用ユニットの指定がありません。");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(fake.log, "");
}

TEST_F(DeviceControlTest, StartUnitsStopsAtTheFirstFailureWithoutStoppingOthers) {
  Use({0, 1, 3});
  fake.units[1].startResult = 9;
  EXPECT_EQ(StartUnits(fake.Table(), d, 25), (UnitFailure{1, 9}));
  EXPECT_EQ(fake.log, "start 0 r25;start 1 r25;");
}

TEST_F(DeviceControlTest, SampleUnitsStoresTheMeanWithWiringAndKind) {
  Use({0, 2});
  d.Units[2].Connect = 2;
  d.AverageNum = 4;
  d.DataNum = 7;
  for (double v : {1.0, 2.0, 3.0, 6.0}) fake.units[0].samples.emplace_back(0, v);
  fake.units[2].sampleResult = 0;
  fake.units[2].sampleValue = 100.25;
  EXPECT_TRUE(SampleUnits(fake.Table(), d).stored);
  EXPECT_EQ(d.Units[0].Values[7], 3.0f);
  EXPECT_EQ(d.Units[2].Values[7], 100.25f);
  EXPECT_EQ(d.Units[0].Count, 1);
  EXPECT_EQ(d.Units[2].Count, 1);
  EXPECT_EQ(d.Units[1].Count, 0);
  EXPECT_TRUE(
      fake.log.starts_with("sample 0 w0 t1;sample 0 w0 t1;sample 0 w0 t1;sample 0 w0 t1;"
                           "sample 2 w2 t1;"));
  d.MeasKind = kTrue;  // resistance: the library's temperature flag is 0
  d.AverageNum = 1;
  SampleUnits(fake.Table(), d);
  EXPECT_TRUE(fake.log.ends_with("sample 0 w0 t0;sample 2 w2 t0;"));
}

TEST_F(DeviceControlTest, AFailedReadDiscardsThePartialSumButCountsTheCycle) {
  Use({0});
  d.AverageNum = 4;
  fake.units[0].samples.emplace_back(0, 10);
  fake.units[0].samples.emplace_back(0, 10);
  fake.units[0].samples.emplace_back(9, 0);
  EXPECT_EQ(SampleUnits(fake.Table(), d).failures, (std::vector<UnitFailure>{{0, 9}}));
  EXPECT_EQ(d.Units[0].Values[0], kNoReading);
  EXPECT_EQ(d.Units[0].Count, 1);
  EXPECT_EQ(fake.Calls("sample"), 3);  // no fourth read after the failure
}

TEST_F(DeviceControlTest, AFailureOnAnEarlierUnitFailsTheCycle) {
  Use({0, 1});
  fake.units[0].sampleResult = 9;
  fake.units[0].sampleValue = 0;
  fake.units[1].sampleResult = 0;
  fake.units[1].sampleValue = 20.5;
  const CycleResult r = SampleUnits(fake.Table(), d);
  EXPECT_FALSE(r.stored);
  EXPECT_EQ(r.failures, (std::vector<UnitFailure>{{0, 9}}));
  // The later unit is still read and stored.
  EXPECT_EQ(d.Units[1].Values[0], 20.5f);
  EXPECT_EQ(d.Units[0].Count, 1);
  EXPECT_EQ(d.Units[1].Count, 1);
}

TEST_F(DeviceControlTest, AnAveragingCountBelowOneStillReadsOnce) {
  Use({0});
  d.AverageNum = 0;
  fake.units[0].sampleResult = 0;
  fake.units[0].sampleValue = 42;
  EXPECT_TRUE(SampleUnits(fake.Table(), d).stored);
  EXPECT_EQ(d.Units[0].Values[0], 42.0f);
  EXPECT_EQ(fake.log, "sample 0 w0 t1;");
}

TEST_F(DeviceControlTest, SampleUnitsNeverWritesPastTheBuffers) {
  Use({0});
  d.DataNum = kBufferSize;
  EXPECT_FALSE(SampleUnits(fake.Table(), d).stored);
  EXPECT_EQ(fake.log, "");
  EXPECT_EQ(d.Units[0].Count, 0);
}

TEST(DeviceTexts, ResultCodesAndWiring) {
  test::RecordingUi ui;
  EXPECT_EQ(DeviceErrorText(0), "正常終了");
  EXPECT_EQ(DeviceErrorText(3), "このデバイスは既にオープンされている");
  EXPECT_EQ(DeviceErrorText(7), "指定のデバイスはオープンされてない");
  ShowUnitFailure({3, 11});
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "\nID3");
  ShowUnitFailure({0, kLibraryNotBound});  // already reported where it happened
  EXPECT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ConnectName(0), "2線式");
  EXPECT_EQ(ConnectName(1), "3線式");
  EXPECT_EQ(ConnectName(2), "4線式");
  EXPECT_EQ(ConnectName(5), "4線式");
  EXPECT_EQ(ConnectName(-1), "4線式");
}

TEST(CalcTimer1, Bands) {
  struct Case {
    Long interval;
    bool ok;
    Long timerInterval;
    Long ticks;
  };
  const Case cases[] = {
      {1500, true, 2000, 1},       {2500, true, 2000, 1},         {500, false, 0, 0},
      {65000, true, 65000, 1},     {66000, true, 6600, 10},       {70000, true, 7000, 10},
      {655000, true, 65500, 10},   {656000, true, 6560, 100},     {6553000, true, 65530, 100},
      {6554000, true, 6554, 1000}, {10000000, true, 10000, 1000}, {0, false, 0, 0},
  };
  for (const Case& c : cases) {
    ModuleData d;
    d.IntervalTM = c.interval;
    d.Timer1Interval = 123;
    d.Timer1Ticks = 456;
    EXPECT_EQ(CalcTimer1(d), c.ok) << c.interval;
    EXPECT_EQ(d.Timer1Interval, c.timerInterval) << c.interval;
    EXPECT_EQ(d.Timer1Ticks, c.ticks) << c.interval;
  }
}

}  // namespace
}  // namespace larimo
