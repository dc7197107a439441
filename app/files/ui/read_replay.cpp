#include "files/ui/read_replay.h"

#include <algorithm>

namespace larimo {

ReplayChanges ReplaySamples(ModuleData& d, ChartView& view, Long n) {
  ReplayChanges changes;
  n = std::clamp<Long>(n, 0, kBufferSize);
  for (Long i = 1; i <= n; ++i) {
    d.DataNum = i;
    d.UpdateMinMax(i);
    d.CalcDataRange();
    if (view.ScaleYMode == kScaleAuto) {
      if (i == 1) {
        d.AxisYMax = UpperHundred(d.DataMax);
        d.AxisYMin = LowerHundred(d.DataMin);
        changes.axisY = true;
      } else if (d.FitAxisY() >= 1) {
        changes.axisY = true;
      }
    }
    if (view.UpdateViewX(i)) changes.axisX = true;
  }
  return changes;
}

}  // namespace larimo
