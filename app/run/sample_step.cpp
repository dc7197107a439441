// The step of a newly stored sample. Most samples take the quiet path, which
// is written out here so a replay of 88,000 samples runs as tight loops; the
// others go through the store's own extremes, range and Y fit routines.
#include "run/sample_step.h"

namespace larimo {

namespace {

// Folds sample n > 1 into the units' extremes. True when that is all the
// step has to do: no reading lies outside the value range (which encloses
// every unit's extremes), so the range stays, and the view stays. Most
// samples of a run are such.
bool FoldQuietly(ModuleData& d, const ChartView& view, Long n) {
  const auto index = static_cast<size_t>(n - 1);
  bool inside = true;
  for (UnitData& u : d.Units) {
    if (!IsTrue(u.Mflag) || u.Values.size() <= index) continue;
    const Single v = u.Values[index];
    if (v == kNoReading) continue;
    if (v > u.MaxValue) u.MaxValue = v;
    if (v < u.MinValue) u.MinValue = v;
    if (u.Count >= 1 && (v > d.DataMax || v < d.DataMin)) inside = false;
  }
  return inside && n <= ViewStaysThrough(d, view);
}

// True when some reading of v[0..count) lies outside [lo, hi], a missing
// one aside. Whole chunks of a fixed length with no early exit, so the
// compiler turns them into vector compares; a reading that is not a number
// compares false both ways, as it does in the step.
bool Leaves(const Single* v, Long count, Single lo, Single hi) {
  constexpr Long kChunk = 64;
  const auto out = [lo, hi](Single x) {
    return static_cast<int>(x > hi) |
           (static_cast<int>(x < lo) & static_cast<int>(x != kNoReading));
  };
  Long k = 0;
  for (; k + kChunk <= count; k += kChunk) {
    int any = 0;
    for (Long j = 0; j < kChunk; ++j) any |= out(v[k + j]);
    if (any != 0) return true;
  }
  int any = 0;
  for (; k < count; ++k) any |= out(v[k]);
  return any != 0;
}

}  // namespace

Long ViewStaysThrough(const ModuleData& d, const ChartView& view) {
  if (view.ScaleYMode == kScaleAuto && !(d.AxisYMax >= d.DataMax && d.AxisYMin <= d.DataMin)) {
    return 0;
  }
  switch (view.ScrollMode) {
    case kShowAll:
      return view.AxisXStart == 1 ? view.AxisXEnd : 0;
    case kAutoScroll:
      return view.AxisXEnd;
    default:
      return kBufferSize;
  }
}

bool ReadingsStay(const ModuleData& d, Long first, Long last) {
  if (first <= 1 || last > kBufferSize || last < first) return false;
  for (const UnitData& u : d.Units) {
    if (!IsTrue(u.Mflag)) continue;
    // A unit's extremes lie within the value range once it holds a reading;
    // where they do not (a first reading that is not a number), the samples
    // take their steps one by one.
    if (u.Count >= 1 && !(u.MaxValue <= d.DataMax && u.MinValue >= d.DataMin)) return false;
    if (u.Values.size() < static_cast<size_t>(last)) return false;
    if (Leaves(u.Values.data() + (first - 1), last - first + 1, u.MinValue, u.MaxValue)) {
      return false;
    }
  }
  return true;
}

StepChanges StepSample(ModuleData& d, ChartView& view, Long n) {
  if (n > 1 && n <= kBufferSize && FoldQuietly(d, view, n)) return {};
  StepChanges c;
  d.UpdateMinMax(n);
  d.CalcDataRange();
  if (view.ScaleYMode == kScaleAuto && d.FitAxisYToSample(n == 1) >= 1) c.axisY = true;
  c.axisX = view.UpdateViewX(n);
  return c;
}

}  // namespace larimo
