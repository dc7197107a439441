#include "run/sample_step.h"

#include "run/read_replay.h"

#include <cmath>
#include <tuple>

#include <gtest/gtest.h>

namespace larimo {
namespace {

// A run with spikes, missing readings, a unit that never reads and one that
// leaves its own extremes (down and up) without making a new overall one.
ModuleData SteppedRun(Long n) {
  ModuleData a;
  a.InitDataBuffers();
  a.ClearData();
  for (UnitData& u : a.Units) u.Mflag = kTrue;
  for (Long k = 0; k < n; ++k) {
    const auto i = static_cast<size_t>(k);
    a.Units[0].Values[i] = static_cast<Single>(20 + 10 * std::sin(k / 300.0));
    a.Units[1].Values[i] =
        k % 97 == 5 ? kNoReading : static_cast<Single>(k % 1000 == 999 ? 700 : 50);
    a.Units[3].Values[i] = static_cast<Single>(
        k % 700 == 350 ? 100 - k / 100 : (k % 1300 == 1000 ? 100 + k / 1000.0 : 100));
  }
  a.Units[0].Count = a.Units[1].Count = a.Units[3].Count = n;  // ID2 in use, never read
  return a;
}

// The step's quiet path (only the units' extremes move) ends exactly where
// the routines it stands for end, sample after sample; the replay, which
// skips runs of samples that change nothing, ends there too.
TEST(SampleStep, EndsWhereTheRoutinesItStandsForEnd) {
  for (Long width : {100, 1000}) {
    for (Integer mode : {kShowAll, kAutoScroll, kManualScroll}) {
      ModuleData a = SteppedRun(5000);
      ModuleData b = a;
      ModuleData r = a;
      ChartView va;
      va.ScrollMode = mode;
      va.ResetForRun(width);
      ChartView vb = va;
      ChartView vr = va;
      StepChanges any;
      for (Long n = 1; n <= 5000; ++n) {
        a.DataNum = b.DataNum = n;
        const StepChanges c = StepSample(a, va, n);
        b.UpdateMinMax(n);
        b.CalcDataRange();
        const bool y = b.FitAxisYToSample(n == 1) >= 1;
        const bool x = vb.UpdateViewX(n);
        any |= {y, x};
        ASSERT_EQ(c.axisY, y) << n;
        ASSERT_EQ(c.axisX, x) << n;
        ASSERT_EQ(std::tie(a.DataMax, a.DataMin, a.AxisYMax),
                  std::tie(b.DataMax, b.DataMin, b.AxisYMax))
            << n;
        ASSERT_EQ(std::tie(va.AxisXStart, va.AxisXEnd), std::tie(vb.AxisXStart, vb.AxisXEnd)) << n;
      }
      const StepChanges replayed = ReplaySamples(r, vr, 5000);
      EXPECT_EQ(std::tie(replayed.axisY, replayed.axisX), std::tie(any.axisY, any.axisX));
      EXPECT_EQ(std::tie(r.DataNum, r.DataMax, r.DataMin, r.AxisYMax, r.AxisYMin),
                std::tie(b.DataNum, b.DataMax, b.DataMin, b.AxisYMax, b.AxisYMin));
      EXPECT_EQ(std::tie(vr.AxisXStart, vr.AxisXEnd), std::tie(vb.AxisXStart, vb.AxisXEnd));
      for (size_t u = 0; u < 4; ++u) {
        EXPECT_EQ(std::tie(a.Units[u].MaxValue, a.Units[u].MinValue),
                  std::tie(b.Units[u].MaxValue, b.Units[u].MinValue))
            << u;
        EXPECT_EQ(std::tie(r.Units[u].MaxValue, r.Units[u].MinValue),
                  std::tie(b.Units[u].MaxValue, b.Units[u].MinValue))
            << u;
      }
    }
  }
}

}  // namespace
}  // namespace larimo
