#include "files/ui/read_replay.h"

#include <algorithm>
#include <array>

namespace larimo {

namespace {

// The Y fit of a cycle in automatic mode: the first sample puts both ends on
// the whole hundreds around the value range, later ones only widen.
void FitY(ModuleData& d, const ChartView& view, Long i, ReplayChanges& changes) {
  if (view.ScaleYMode != kScaleAuto) return;
  if (d.FitAxisYToSample(i == 1) >= 1) changes.axisY = true;
}

}  // namespace

ReplayChanges ReplaySamples(ModuleData& d, ChartView& view, Long n) {
  ReplayChanges changes;
  n = std::clamp<Long>(n, 0, kBufferSize);
  if (n < 1) return changes;

  // Sample 1 restarts every extreme.
  d.DataNum = 1;
  d.UpdateMinMax(1);
  d.CalcDataRange();
  FitY(d, view, 1, changes);
  if (view.UpdateViewX(1)) changes.axisX = true;

  // From sample 2 on, UpdateMinMax and CalcDataRange only widen: a unit's
  // extremes by each reading that is not -999, the overall range by the
  // units' extremes. The overall range after sample i is therefore the range
  // after sample i-1 widened by sample i's own readings, which this loop
  // folds in directly; the units' extremes are folded alongside and the
  // Y fit sees exactly the range it would see sample by sample.
  std::array<const Single*, kUnitCount> values{};
  std::array<UnitData*, kUnitCount> inUse{};
  int units = 0;
  for (UnitData& u : d.Units) {
    if (!IsTrue(u.Mflag) || u.Values.size() < static_cast<size_t>(n)) continue;
    inUse[static_cast<size_t>(units)] = &u;
    values[static_cast<size_t>(units)] = u.Values.data();
    ++units;
  }
  for (Long i = 2; i <= n; ++i) {
    const size_t k = static_cast<size_t>(i - 1);
    bool widened = false;
    for (int j = 0; j < units; ++j) {
      const Single v = values[static_cast<size_t>(j)][k];
      if (v == kNoReading) continue;
      UnitData& u = *inUse[static_cast<size_t>(j)];
      if (v > u.MaxValue) u.MaxValue = v;
      if (v < u.MinValue) u.MinValue = v;
      if (d.DataMax < u.MaxValue) {
        d.DataMax = u.MaxValue;
        widened = true;
      }
      if (d.DataMin > u.MinValue) {
        d.DataMin = u.MinValue;
        widened = true;
      }
    }
    // FitAxisY can only move when the range did.
    if (widened) {
      d.DataNum = i;
      FitY(d, view, i, changes);
    }
    if (view.UpdateViewX(i)) changes.axisX = true;
  }
  d.DataNum = n;
  return changes;
}

}  // namespace larimo
