// The one-pass replay of data read from a file against the acquisition
// cycle's steps taken sample by sample, over runs of different shapes.
#include "files/read_replay.h"

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

namespace larimo {
namespace {

struct Outcome {
  ChartView view;
  ModuleData data;
  bool axisY = false;
  bool axisX = false;
};

// What the cycle leaves after n samples, one step after the other.
Outcome Literal(ModuleData d, ChartView view, Long n) {
  Outcome o;
  for (Long i = 1; i <= n; ++i) {
    d.DataNum = i;
    d.UpdateMinMax(i);
    d.CalcDataRange();
    if (view.ScaleYMode == kScaleAuto && d.FitAxisYToSample(i == 1) >= 1) o.axisY = true;
    if (view.UpdateViewX(i)) o.axisX = true;
  }
  o.view = view;
  o.data = std::move(d);
  return o;
}

void ExpectSame(const Outcome& a, const ModuleData& d, const ChartView& v,
                const ReplayChanges& c) {
  EXPECT_EQ(a.data.AxisYMax, d.AxisYMax);
  EXPECT_EQ(a.data.AxisYMin, d.AxisYMin);
  EXPECT_EQ(a.data.DataMax, d.DataMax);
  EXPECT_EQ(a.data.DataMin, d.DataMin);
  for (size_t u = 0; u < d.Units.size(); ++u) {
    EXPECT_EQ(a.data.Units[u].MaxValue, d.Units[u].MaxValue) << u;
    EXPECT_EQ(a.data.Units[u].MinValue, d.Units[u].MinValue) << u;
  }
  EXPECT_EQ(a.view.AxisXStart, v.AxisXStart);
  EXPECT_EQ(a.view.AxisXEnd, v.AxisXEnd);
  EXPECT_EQ(a.view.AxisXWidth, v.AxisXWidth);
  EXPECT_EQ(a.axisY, c.axisY);
  EXPECT_EQ(a.axisX, c.axisX);
}

using Shape = std::function<Single(int unit, Long k)>;

void Check(const char* name, Long n, const Shape& shape, const ChartView& view,
           std::initializer_list<int> units = {0, 1, 2, 3}) {
  SCOPED_TRACE(name);
  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  for (int u : units) {
    d.Units[static_cast<size_t>(u)].Mflag = kTrue;
    for (Long k = 0; k < n; ++k) d.Units[static_cast<size_t>(u)].Values[static_cast<size_t>(k)] = shape(u, k);
  }
  d.DataNum = n;
  const Outcome expected = Literal(d, view, n);
  ChartView v = view;
  const ReplayChanges c = ReplaySamples(d, v, n);
  EXPECT_EQ(d.DataNum, n);
  ExpectSame(expected, d, v, c);
}

TEST(ReplaySamples, EndsAsTheCycleDoesOverRunsOfEveryShape) {
  ChartView all;  // everything in view, Y fitted automatically
  Check("heating run: widens at nearly every sample", 20000,
        [](int u, Long k) { return static_cast<Single>(20 + u + k * 0.01); }, all);
  Check("cooling run", 9000, [](int u, Long k) { return static_cast<Single>(300 - u - k * 0.03); },
        all);
  Check("slow wave with noise", kBufferSize,
        [](int u, Long k) {
          return static_cast<Single>(50 * u + 40 * std::sin(k / 700.0) + ((k * 7919) % 13) * 0.1);
        },
        all);
  Check("settled after the first block", 5000,
        [](int, Long k) { return k < 10 ? static_cast<Single>(k * 10) : 45.0f; }, all);
  // Readings that land exactly on a whole hundred: the fit must see the
  // range at the very sample it reached it.
  Check("exact hundreds", 3000,
        [](int u, Long k) { return static_cast<Single>(((k / 400) % 3) * 100 - u * 100); }, all);
  Check("-999 gaps and a first sample without a reading", 4000,
        [](int u, Long k) {
          if (k == 0 && u == 1) return kNoReading;
          if (k % (5 + u) == 0) return kNoReading;
          return static_cast<Single>(k % 997) - 300.0f * u;
        },
        all, {1, 2});
  Check("a unit with nothing but -999", 2000,
        [](int u, Long k) { return u == 3 ? kNoReading : static_cast<Single>(k % 300); }, all);
  Check("a late spike and a late dip", kBufferSize,
        [](int u, Long k) {
          if (u == 2 && k == 87999) return 900.0f;
          if (u == 0 && k == 61234) return -180.0f;
          return 25.0f;
        },
        all);
  Check("one sample", 1, [](int, Long) { return 12.5f; }, all);

  ChartView fixed;
  fixed.ScaleYMode = kScaleFixed;
  Check("fixed Y range", 3000, [](int u, Long k) { return static_cast<Single>(k * (u + 1)); }, fixed);

  for (Long width : {1L, 2L, 3L, 100L, 1000L, 86400L}) {
    ChartView scroll;
    scroll.SelectScrollMode(kAutoScroll, true, 0, width);
    Check("auto scroll", 25000, [](int u, Long k) { return static_cast<Single>(u + k % 500); },
          scroll);
  }
  ChartView manual;
  manual.SelectScrollMode(kManualScroll, true, 0, 100);
  Check("manual scroll", 500, [](int, Long k) { return static_cast<Single>(k); }, manual);
}

}  // namespace
}  // namespace larimo
