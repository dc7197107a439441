#include "run/read_replay.h"

#include <algorithm>

namespace larimo {

StepChanges ReplaySamples(ModuleData& d, ChartView& view, Long n) {
  n = std::clamp<Long>(n, 0, kBufferSize);
  StepChanges changes;
  for (Long i = 1; i <= n; ++i) {
    d.DataNum = i;
    changes |= StepSample(d, view, i);
  }
  d.DataNum = n;
  return changes;
}

}  // namespace larimo
