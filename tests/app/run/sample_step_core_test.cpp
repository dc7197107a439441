#include "run/sample_step.h"

#include <cmath>

#include <gtest/gtest.h>

namespace larimo {
namespace {

// The step's quiet path (only the units' extremes move) ends exactly where
// the routines it stands for end, sample after sample, over a run with
// spikes, missing readings, a unit that never reads and one that dips
// without making a new overall low.
TEST(SampleStep, EndsWhereTheRoutinesItStandsForEnd) {
  for (Integer mode : {kShowAll, kAutoScroll, kManualScroll}) {
    ModuleData a;
    a.InitDataBuffers();
    a.ClearData();
    for (UnitData& u : a.Units) u.Mflag = kTrue;
    for (Long k = 0; k < 5000; ++k) {
      const auto i = static_cast<size_t>(k);
      a.Units[0].Values[i] = static_cast<Single>(20 + 10 * std::sin(k / 300.0));
      a.Units[1].Values[i] =
          k % 97 == 5 ? kNoReading : static_cast<Single>(k % 1000 == 999 ? 700 : 50);
      a.Units[3].Values[i] = static_cast<Single>(k % 700 == 350 ? 100 - k / 100 : 100);
    }
    a.Units[0].Count = a.Units[1].Count = a.Units[3].Count = 5000;  // ID2 in use, never read
    ModuleData b = a;
    ChartView va;
    va.ScrollMode = mode;
    va.ResetForRun(100);
    ChartView vb = va;
    for (Long n = 1; n <= 5000; ++n) {
      a.DataNum = b.DataNum = n;
      const StepChanges c = StepSample(a, va, n);
      b.UpdateMinMax(n);
      b.CalcDataRange();
      const bool y = b.FitAxisYToSample(n == 1) >= 1;
      const bool x = vb.UpdateViewX(n);
      ASSERT_EQ(c.axisY, y) << n;
      ASSERT_EQ(c.axisX, x) << n;
      ASSERT_EQ(a.DataMax, b.DataMax) << n;
      ASSERT_EQ(a.DataMin, b.DataMin) << n;
      ASSERT_EQ(a.AxisYMax, b.AxisYMax) << n;
      ASSERT_EQ(va.AxisXStart, vb.AxisXStart) << n;
      ASSERT_EQ(va.AxisXEnd, vb.AxisXEnd) << n;
    }
    for (size_t u = 0; u < 4; ++u) {
      EXPECT_EQ(a.Units[u].MaxValue, b.Units[u].MaxValue) << u;
      EXPECT_EQ(a.Units[u].MinValue, b.Units[u].MinValue) << u;
    }
  }
}

}  // namespace
}  // namespace larimo
