#include "store/module_data.h"

#include <cfloat>
#include <cmath>

#include <gtest/gtest.h>

namespace larimo {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { d.InitDataBuffers(); }
  ModuleData d;
};

TEST_F(StoreTest, ClearDataPt100StartsExtremesAtOppositeEnds) {
  d.MeasKind = kFalse;
  d.Measuring = kTrue;
  d.DataNum = 5;
  d.Units[2].Count = 9;
  d.ClearData();
  EXPECT_EQ(d.DataMax, -200.0f);
  EXPECT_EQ(d.DataMin, 850.0f);
  for (const UnitData& u : d.Units) {
    EXPECT_EQ(u.MaxValue, 850.0f);
    EXPECT_EQ(u.MinValue, -200.0f);
    EXPECT_EQ(u.Count, 0);
    ASSERT_EQ(u.Values.size(), 88000u);
    EXPECT_EQ(u.Values.front(), -999.0f);
    EXPECT_EQ(u.Values.back(), -999.0f);
  }
  EXPECT_EQ(d.StartTime, QString(19, ' '));
  EXPECT_EQ(d.DataNum, 0);
  EXPECT_EQ(d.Measuring, kFalse);
}

TEST_F(StoreTest, ClearDataResistance) {
  d.MeasKind = kTrue;
  d.AvgWork[1] = {3, 2.5};
  d.ClearData();
  EXPECT_EQ(d.DataMax, 0.0f);
  EXPECT_EQ(d.DataMin, 400.0f);
  EXPECT_EQ(d.Units[0].MaxValue, 400.0f);
  EXPECT_EQ(d.Units[0].MinValue, 0.0f);
  EXPECT_EQ(d.AvgWork[1].Num, 0);
  EXPECT_EQ(d.AvgWork[1].Sum, 0.0);
}

TEST_F(StoreTest, UpdateMinMaxTakesFirstReadingEvenIfMissing) {
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  d.Units[0].Values[0] = -999;
  d.Units[0].Values[1] = 10;
  d.UpdateMinMax(1);
  EXPECT_EQ(d.Units[0].MaxValue, -999.0f);
  EXPECT_EQ(d.Units[0].MinValue, -999.0f);
  d.UpdateMinMax(2);
  EXPECT_EQ(d.Units[0].MaxValue, 10.0f);
  EXPECT_EQ(d.Units[0].MinValue, -999.0f);
  d.Units[0].Values[2] = -999;
  d.UpdateMinMax(3);
  EXPECT_EQ(d.Units[0].MaxValue, 10.0f);
  // A unit not in use keeps its extremes.
  EXPECT_EQ(d.Units[1].MaxValue, 850.0f);
}

TEST_F(StoreTest, CalcDataRangeRestartsOnlyAtFirstSample) {
  d.ClearData();
  d.Units[1].Mflag = kTrue;
  d.Units[3].Mflag = kTrue;
  d.Units[1].MaxValue = 20;
  d.Units[1].MinValue = 10;
  d.Units[3].MaxValue = 30;
  d.Units[3].MinValue = 15;
  d.Units[1].Count = 1;
  d.Units[3].Count = 1;
  d.Units[0].MaxValue = 500;  // not in use
  d.Units[0].Count = 1;
  d.Units[2].Mflag = kTrue;  // in use, no reading yet: takes no part
  d.Units[2].MaxValue = 850;
  d.Units[2].MinValue = -200;
  d.DataNum = 1;
  d.DataMax = 1000;
  d.DataMin = -1000;
  d.CalcDataRange();
  EXPECT_EQ(d.DataMax, 30.0f);
  EXPECT_EQ(d.DataMin, 10.0f);
  d.DataNum = 2;
  d.DataMax = 25;
  d.DataMin = 12;
  d.CalcDataRange();
  EXPECT_EQ(d.DataMax, 30.0f);
  EXPECT_EQ(d.DataMin, 10.0f);
}

TEST_F(StoreTest, FitAxisYIsStrictAndRoundsToHundreds) {
  d.AxisYMax = 100;
  d.AxisYMin = 0;
  d.DataMax = 100;
  d.DataMin = 0;
  EXPECT_EQ(d.FitAxisY(), 0);
  d.DataMax = 100.1f;
  EXPECT_EQ(d.FitAxisY(), 1);
  EXPECT_EQ(d.AxisYMax, 200.0f);
  d.DataMin = -50;
  EXPECT_EQ(d.FitAxisY(), 2);
  EXPECT_EQ(d.AxisYMin, -100.0f);
  d.DataMax = 250;
  d.DataMin = -200;
  EXPECT_EQ(d.FitAxisY(), 3);
  EXPECT_EQ(d.AxisYMax, 300.0f);
  EXPECT_EQ(d.AxisYMin, -200.0f);
  EXPECT_EQ(UpperHundred(123.4f), 200.0f);
  EXPECT_EQ(UpperHundred(200.0f), 300.0f);
  EXPECT_EQ(LowerHundred(-200.0f), -200.0f);
  EXPECT_EQ(UpperHundred(-50.0f), 0.0f);
  EXPECT_EQ(LowerHundred(23.4f), 0.0f);
  EXPECT_TRUE(std::isfinite(UpperHundred(3.4e38f)));
}

TEST_F(StoreTest, FitAxisYSettlesOnTheLargestReadings) {
  // Once the ends enclose the extremes, they stop moving, however large.
  d.AxisYMax = 100;
  d.AxisYMin = 0;
  d.DataMax = FLT_MAX;
  d.DataMin = -FLT_MAX;
  EXPECT_EQ(d.FitAxisY(), 3);
  EXPECT_GE(d.AxisYMax, d.DataMax);
  EXPECT_LE(d.AxisYMin, d.DataMin);
  EXPECT_EQ(d.FitAxisY(), 0);
  EXPECT_TRUE(std::isfinite(d.AxisYMax));
  EXPECT_TRUE(std::isfinite(d.AxisYMin));
}

TEST_F(StoreTest, FirstSampleFitSetsBothEndsLaterOnlyWidens) {
  d.AxisYMax = 1000;
  d.AxisYMin = -1000;
  d.DataMax = 23.4f;
  d.DataMin = 23.4f;
  EXPECT_EQ(d.FitAxisYToSample(true), 3);  // narrows to the hundreds around
  EXPECT_EQ(d.AxisYMax, 100.0f);
  EXPECT_EQ(d.AxisYMin, 0.0f);
  d.DataMax = 50;
  EXPECT_EQ(d.FitAxisYToSample(false), 0);
  d.DataMax = 150;
  EXPECT_EQ(d.FitAxisYToSample(false), 1);
  EXPECT_EQ(d.AxisYMax, 200.0f);
}

TEST_F(StoreTest, CopyAllButReadingsCarriesEverythingElseAndTouchesNoBuffer) {
  d.TimerType = kTrue;
  d.IntervalTM = 3000;
  d.Units[1].Mflag = kTrue;
  d.Units[1].Connect = 2;
  d.Units[1].MaxValue = 12.5f;
  d.Units[1].Count = 2;
  d.Units[1].Values[1] = 7.0f;
  d.DataNum = 2;
  d.StartTime = "2026/12/8 9:00:00";
  d.Memo[4] = "memo";
  d.AvgWork[3].Num = 6;

  ModuleData to;
  to.InitDataBuffers();
  to.Units[1].Values[1] = -3.0f;
  const float* theirs = to.Units[1].Values.data();
  const float* mine = d.Units[1].Values.data();
  d.CopyAllButReadingsTo(to);

  EXPECT_EQ(to.TimerType, kTrue);
  EXPECT_EQ(to.IntervalTM, 3000);
  EXPECT_EQ(to.Units[1].Mflag, kTrue);
  EXPECT_EQ(to.Units[1].Connect, 2);
  EXPECT_EQ(to.Units[1].MaxValue, 12.5f);
  EXPECT_EQ(to.Units[1].Count, 2);
  EXPECT_EQ(to.DataNum, 2);
  EXPECT_EQ(to.StartTime, "2026/12/8 9:00:00");
  EXPECT_EQ(to.Memo[4], "memo");
  EXPECT_EQ(to.AvgWork[3].Num, 6);
  // Each side keeps its own buffers and readings.
  EXPECT_EQ(to.Units[1].Values.data(), theirs);
  EXPECT_EQ(to.Units[1].Values[1], -3.0f);
  EXPECT_EQ(d.Units[1].Values.data(), mine);
  EXPECT_EQ(d.Units[1].Values[1], 7.0f);
  EXPECT_EQ(d.Units[1].Values.size(), 88000u);
  EXPECT_EQ(d.IntervalTM, 3000);
}

TEST(FormatValue, RightAlignsInTenCharacters) {
  EXPECT_EQ(FormatValue(25.5f), "    25.500");
  EXPECT_EQ(FormatValue(-123.4567f), "  -123.457");
  EXPECT_EQ(FormatValue(0.0f), "     0.000");
  EXPECT_EQ(FormatValue(12345.6f), " 12345.600");
  EXPECT_EQ(FormatValue(-12345.6f), "-12345.600");
  // A Single formats from its shortest decimal form, not its binary value.
  EXPECT_EQ(FormatValue(123456.7f), "123456.700");
}

TEST(AverageNum, FollowsModeAndNeverDropsBelowOne) {
  ModuleData d;
  d.DataAverage = kFalse;
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 1);
  d.DataAverage = kTrue;
  d.TimerType = kTrue;
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 100);
  d.TimerType = kFalse;
  d.IntervalTM = 50;
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 5);
  d.IntervalTM = 25;  // 2.5 rounds to even
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 2);
  d.IntervalTM = 4;  // 0.4 rounds to 0, kept at 1
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 1);
  d.DataAverage = 1;  // set but not True
  d.CalcAverageNum();
  EXPECT_EQ(d.AverageNum, 1);
}

}  // namespace
}  // namespace larimo
