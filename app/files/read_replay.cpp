#include "files/read_replay.h"

#include <algorithm>
#include <array>

#include "core/float_scan.h"

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
  // units' extremes. As the overall range always encloses every unit's
  // extremes, it widens exactly where a reading lies outside it, and only
  // there can the Y fit move. So the samples are taken in blocks: the
  // extremes of a block are found in one tight pass per unit, and only a
  // block that reaches outside the range so far is walked sample by sample
  // to fit Y where it widens. The units' own extremes need no order.
  std::array<const Single*, kUnitCount> values{};
  std::array<UnitData*, kUnitCount> inUse{};
  int units = 0;
  for (UnitData& u : d.Units) {
    if (!IsTrue(u.Mflag) || u.Values.size() < static_cast<size_t>(n)) continue;
    inUse[static_cast<size_t>(units)] = &u;
    values[static_cast<size_t>(units)] = u.Values.data();
    ++units;
  }
  constexpr Long kBlock = 512;
  Single dataMax = d.DataMax;
  Single dataMin = d.DataMin;
  for (Long from = 2; from <= n; from += kBlock) {
    const Long to = std::min<Long>(from + kBlock - 1, n);
    const size_t begin = static_cast<size_t>(from - 1);
    const size_t end = static_cast<size_t>(to);
    bool outside = false;
    for (int j = 0; j < units; ++j) {
      const FloatRange r =
          RangeSkipping(values[static_cast<size_t>(j)] + begin, end - begin, kNoReading);
      if (!r.any()) continue;
      UnitData& u = *inUse[static_cast<size_t>(j)];
      if (r.max > u.MaxValue) u.MaxValue = r.max;
      if (r.min < u.MinValue) u.MinValue = r.min;
      if (r.max > dataMax || r.min < dataMin) outside = true;
    }
    if (!outside) continue;
    for (size_t k = begin; k < end; ++k) {
      bool widened = false;
      for (int j = 0; j < units; ++j) {
        const Single v = values[static_cast<size_t>(j)][k];
        if (v == kNoReading) continue;
        if (v > dataMax) {
          dataMax = v;
          widened = true;
        }
        if (v < dataMin) {
          dataMin = v;
          widened = true;
        }
      }
      if (widened) {
        d.DataNum = static_cast<Long>(k) + 1;
        d.DataMax = dataMax;
        d.DataMin = dataMin;
        FitY(d, view, d.DataNum, changes);
      }
    }
  }
  d.DataMax = dataMax;
  d.DataMin = dataMin;

  // The X window moves only at the samples that pass its end; in between
  // UpdateViewX would return at once.
  for (Long i = 2; i <= n; i = std::max<Long>(i + 1, view.AxisXEnd + 1)) {
    if (i > view.AxisXEnd && view.UpdateViewX(i)) changes.axisX = true;
  }
  d.DataNum = n;
  return changes;
}

}  // namespace larimo
