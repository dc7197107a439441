// The step of a newly stored sample, with the extremes, range and Y fit
// routines of the store it is made of: one translation unit, so the step of
// a replay of 88,000 samples runs as one tight loop.
#include "core/sample_step.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace larimo {

void ModuleData::UpdateMinMax(Long n) {
  if (n > kBufferSize) return;  // no such reading
  const size_t index = n >= 1 ? static_cast<size_t>(n - 1) : 0;
  for (UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Values.size() <= index) continue;
    const Single v = u.Values[index];
    if (n <= 1) {
      u.MaxValue = v;
      u.MinValue = v;
    } else if (v != kNoReading) {
      if (v > u.MaxValue) u.MaxValue = v;
      if (v < u.MinValue) u.MinValue = v;
    }
  }
}

// A unit in use that has no reading yet still holds the range ends that
// ClearData gave it; it takes no part in the data range.
void ModuleData::CalcDataRange() {
  bool taken = false;
  for (const UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Count < 1) continue;
    if (DataNum == 1 && !taken) {
      DataMax = u.MaxValue;
      DataMin = u.MinValue;
      taken = true;
      continue;
    }
    if (DataMax < u.MaxValue) DataMax = u.MaxValue;
    if (DataMin > u.MinValue) DataMin = u.MinValue;
  }
}

void ModuleData::MergeDataRange() {
  for (const UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Count < 1) continue;
    if (DataMax < u.MaxValue) DataMax = u.MaxValue;
    if (DataMin > u.MinValue) DataMin = u.MinValue;
  }
}

namespace {
// The rounding is done in double on a finite input and the result is kept
// within the float range, so even the largest reading gives an end that
// encloses it: FitAxisY then settles instead of "moving" on every call.
double ClampFinite(double v) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(v, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX));
}
Single ToSingle(double v) { return static_cast<Single>(ClampFinite(v)); }
}  // namespace

Single UpperHundred(Single v) {
  return ToSingle((std::floor(ClampFinite(v) / 100.0) + 1.0) * 100.0);
}

Single LowerHundred(Single v) { return ToSingle(std::floor(ClampFinite(v) / 100.0) * 100.0); }

Integer ModuleData::FitAxisY() {
  Integer r = 0;
  if (AxisYMax < DataMax) {
    AxisYMax = UpperHundred(DataMax);
    r = 1;
  }
  if (AxisYMin > DataMin) {
    AxisYMin = LowerHundred(DataMin);
    r = static_cast<Integer>(r + 2);
  }
  return r;
}

Integer ModuleData::FitAxisYToSample(bool first) {
  if (!first) return FitAxisY();
  AxisYMax = UpperHundred(DataMax);
  AxisYMin = LowerHundred(DataMin);
  return 3;
}

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
