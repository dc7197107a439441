#include "files/read_replay.h"

#include <algorithm>

#include "core/sample_step.h"

namespace larimo {

ReplayChanges ReplaySamples(ModuleData& d, ChartView& view, Long n) {
  ReplayChanges changes;
  n = std::clamp<Long>(n, 0, kBufferSize);
  StepChanges all;
  for (Long i = 1; i <= n; ++i) {
    d.DataNum = i;
    all |= StepSample(d, view, i);
  }
  changes.axisY = all.axisY;
  changes.axisX = all.axisX;
  d.DataNum = n;
  return changes;
}

}  // namespace larimo
