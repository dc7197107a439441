#include "run/read_replay.h"

#include <algorithm>

namespace larimo {

StepChanges ReplaySamples(ModuleData& d, ChartView& view, Long n) {
  n = std::clamp<Long>(n, 0, kBufferSize);
  StepChanges changes;
  const auto step = [&](Long i) {
    d.DataNum = i;
    changes |= StepSample(d, view, i);
  };
  // Runs of samples that change nothing are skipped together; a run ends
  // where the X window has to move, and where a reading leaves its unit's
  // extremes, the block's samples take their steps one by one.
  constexpr Long kBlock = 512;
  Long i = 1;
  while (i <= n) {
    const Long viewEnd = ViewStaysThrough(d, view);
    if (i == 1 || i > viewEnd) {
      step(i++);
      continue;
    }
    const Long end = std::min({n, i + kBlock - 1, viewEnd});
    if (ReadingsStay(d, i, end)) {
      i = end + 1;
      continue;
    }
    while (i <= end) step(i++);
  }
  d.DataNum = n;
  return changes;
}

}  // namespace larimo
