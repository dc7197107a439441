// The X window's rules, with the numbers a user sees on the axis.
#include "run/chart_view.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

ChartView Window(Integer mode, Long start, Long end, Long width) {
  ChartView v;
  v.ScrollMode = mode;
  v.AxisXStart = start;
  v.AxisXEnd = end;
  v.AxisXWidth = width;
  return v;
}

TEST(ChartView, WidthListHoldsThirtySixEntriesInOrder) {
  EXPECT_EQ(WidthEntry(0), 10);
  EXPECT_EQ(WidthEntry(8), 90);
  EXPECT_EQ(WidthEntry(9), 100);
  EXPECT_EQ(WidthEntry(18), 1000);
  EXPECT_EQ(WidthEntry(35), 90000);
  EXPECT_EQ(WidthEntry(36), 0);
  for (int i = 1; i < kWidthEntries; ++i) EXPECT_LT(WidthEntry(i - 1), WidthEntry(i));
}

TEST(ChartView, ShowAllGrowsByStepsUntilTheNewestSampleIsInView) {
  ChartView v = Window(kShowAll, 1, 100, 100);
  EXPECT_FALSE(v.UpdateViewX(100));
  EXPECT_TRUE(v.UpdateViewX(101));
  EXPECT_EQ(v.AxisXEnd, 200);
  EXPECT_TRUE(v.UpdateViewX(201));
  EXPECT_EQ(v.AxisXEnd, 300);
  v = Window(kShowAll, 1, 1000, 1000);
  v.UpdateViewX(1001);
  EXPECT_EQ(v.AxisXEnd, 2000);
  v = Window(kShowAll, 1, 10000, 10000);
  v.UpdateViewX(10001);
  EXPECT_EQ(v.AxisXEnd, 20000);
  // However far the data have passed the end, the newest sample is in view.
  v = Window(kShowAll, 1, 100, 100);
  v.UpdateViewX(950);
  EXPECT_EQ(v.AxisXEnd, 1000);
  EXPECT_EQ(v.AxisXStart, 1);
}

TEST(ChartView, AutoScrollJumpsByHalfItsWidth) {
  ChartView v = Window(kAutoScroll, 1, 100, 100);
  EXPECT_TRUE(v.UpdateViewX(101));
  EXPECT_EQ(v.AxisXStart, 51);
  EXPECT_EQ(v.AxisXEnd, 150);
  EXPECT_FALSE(v.UpdateViewX(150));
  EXPECT_TRUE(v.UpdateViewX(151));
  EXPECT_EQ(v.AxisXStart, 101);
  EXPECT_EQ(v.AxisXEnd, 200);
  // A block cycle that brings more than half a width jumps on until the
  // newest sample is in view.
  v = Window(kAutoScroll, 1, 10, 10);
  EXPECT_TRUE(v.UpdateViewX(128));
  EXPECT_EQ(v.AxisXStart, 121);
  EXPECT_EQ(v.AxisXEnd, 130);
}

TEST(ChartView, ManualScrollStaysWhereTheUserPutIt) {
  ChartView v = Window(kManualScroll, 30, 129, 100);
  EXPECT_FALSE(v.UpdateViewX(5000));
  EXPECT_EQ(v.AxisXStart, 30);
  EXPECT_EQ(v.AxisXEnd, 129);
}

TEST(ChartView, SwitchingModesDuringARun) {
  ChartView v = Window(kShowAll, 1, 200, 200);
  v.SelectScrollMode(kAutoScroll, true, 130, 100);
  EXPECT_EQ(v.AxisXStart, 100);
  EXPECT_EQ(v.AxisXEnd, 200);

  for (auto [dataNum, end] :
       {std::pair<Long, Long>{150, 200}, {200, 300}, {1500, 2000}, {100, 100}}) {
    v = Window(kAutoScroll, 51, 150, 100);
    v.SelectScrollMode(kShowAll, true, dataNum, 100);
    EXPECT_EQ(v.AxisXStart, 1) << dataNum;
    EXPECT_EQ(v.AxisXEnd, end) << dataNum;
  }
  // Outside a run show-all fits the data exactly, or 100 without data.
  v.SelectScrollMode(kShowAll, false, 150, 100);
  EXPECT_EQ(v.AxisXEnd, 150);
  v.SelectScrollMode(kShowAll, false, 0, 100);
  EXPECT_EQ(v.AxisXEnd, 100);
  // Automatic scroll with no more data than its width keeps the start.
  v = Window(kShowAll, 1, 100, 100);
  v.SelectScrollMode(kAutoScroll, true, 60, 100);
  EXPECT_EQ(v.AxisXStart, 1);
  EXPECT_EQ(v.AxisXEnd, 100);
  // Outside a run neither end moves.
  v = Window(kShowAll, 1, 150, 150);
  v.SelectScrollMode(kAutoScroll, false, 150, 100);
  EXPECT_EQ(v.AxisXEnd, 150);
  EXPECT_EQ(v.AxisXWidth, 100);
}

TEST(ChartView, ManualModeFromShowAllStartsAtTheFirstSample) {
  ChartView v = Window(kShowAll, 1, 300, 300);
  v.AxisXStart = 40;  // whatever show-all left
  v.SelectScrollMode(kManualScroll, true, 300, 200);
  EXPECT_EQ(v.AxisXStart, 1);
  EXPECT_EQ(v.AxisXEnd, 200);
  v = Window(kAutoScroll, 51, 150, 100);
  v.SelectScrollMode(kManualScroll, true, 300, 100);
  EXPECT_EQ(v.AxisXStart, 51);
  EXPECT_EQ(v.AxisXEnd, 150);
}

TEST(ChartView, ArrowsMoveByHalfAWindow) {
  ChartView v = Window(kManualScroll, 30, 129, 100);
  EXPECT_TRUE(v.ScrollLeft(100));
  EXPECT_EQ(v.AxisXStart, 1);
  EXPECT_EQ(v.AxisXEnd, 100);
  EXPECT_FALSE(v.ScrollRight(100, 40));  // 1 > 40 - 50: beyond the data
  EXPECT_EQ(v.AxisXStart, 1);
  EXPECT_TRUE(v.ScrollRight(100, 80));
  EXPECT_EQ(v.AxisXStart, 51);
  EXPECT_EQ(v.AxisXEnd, 150);
  // Only in manual mode.
  v = Window(kAutoScroll, 51, 150, 100);
  EXPECT_FALSE(v.ScrollLeft(100));
  EXPECT_FALSE(v.ScrollRight(100, 1000));
  EXPECT_EQ(v.AxisXStart, 51);
}

TEST(ChartView, WidthChanges) {
  ChartView v = Window(kAutoScroll, 51, 150, 100);
  EXPECT_TRUE(v.SelectWidth(200, true, 450));
  EXPECT_EQ(v.AxisXStart, 400);
  EXPECT_EQ(v.AxisXEnd, 599);
  EXPECT_FALSE(v.SelectWidth(200, true, 450));  // same width: nothing
  v = Window(kAutoScroll, 1, 100, 100);
  v.SelectWidth(500, true, 90);
  EXPECT_EQ(v.AxisXStart, 1);
  EXPECT_EQ(v.AxisXEnd, 500);
  v = Window(kManualScroll, 30, 129, 100);
  v.SelectWidth(20, true, 450);
  EXPECT_EQ(v.AxisXStart, 30);
  EXPECT_EQ(v.AxisXEnd, 49);
}

TEST(ChartView, SampleSecondsUseTheInterval) {
  EXPECT_DOUBLE_EQ(SampleSeconds(500, 1), 0.5);
  EXPECT_DOUBLE_EQ(SampleSeconds(500, 200), 100.0);
  EXPECT_DOUBLE_EQ(SampleSeconds(100, 15), 1.5);
  EXPECT_DOUBLE_EQ(SampleSeconds(2000, 3), 6.0);
}

}  // namespace
}  // namespace larimo
