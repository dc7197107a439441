// The step of a newly stored sample. Most samples take the quiet path, which
// is written out here so a replay of 88,000 samples runs as one tight loop;
// the others go through the store's own extremes, range and Y fit routines.
#include "run/sample_step.h"

namespace larimo {

namespace {

// Folds sample n > 1 into the units' extremes. True when that is all the
// step has to do: no reading lies outside the value range (which encloses
// every unit's extremes), so the range stays; the Y axis encloses the range,
// so the fit stays; and the X window needs no move for sample n. Most samples
// of a run are such, and a replay of 88,000 samples then costs little more
// than one pass over the readings.
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
  if (!inside) return false;
  if (view.ScaleYMode == kScaleAuto && !(d.AxisYMax >= d.DataMax && d.AxisYMin <= d.DataMin)) {
    return false;
  }
  switch (view.ScrollMode) {
    case kShowAll:
      return view.AxisXStart == 1 && n <= view.AxisXEnd;
    case kAutoScroll:
      return n <= view.AxisXEnd;
    default:
      return true;
  }
}

}  // namespace

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
