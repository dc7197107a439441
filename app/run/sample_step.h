#pragma once
// The step every newly stored sample goes through, in a run and in the
// replay of a file: the units' extremes, the value range, the automatic Y
// fit and the X window.

#include "run/chart_view.h"
#include "store/module_data.h"

namespace larimo {

// What a newly stored sample changed in the view: the axes to set again.
struct StepChanges {
  bool axisY = false;
  bool axisX = false;
  StepChanges& operator|=(const StepChanges& o) {
    axisY = axisY || o.axisY;
    axisX = axisX || o.axisX;
    return *this;
  }
};

// The step of a newly stored sample n (from 1) of single-sample mode and of
// the replay of a file: the units' extremes, the value range, the automatic
// Y fit (both ends at the first sample, widening later) and the X window.
StepChanges StepSample(ModuleData& d, ChartView& view, Long n);

// The last sample for which a new sample leaves the view as it is: the Y
// axis encloses the value range (so the automatic fit stays) and the X
// window needs no move. 0 when the next sample changes the view.
Long ViewStaysThrough(const ModuleData& d, const ChartView& view);

// True when every reading of samples first..last (first > 1) lies within
// its unit's extremes, which lie within the value range: their steps then
// change no extremes and no range, and with the view staying (see above)
// nothing at all, so they may be skipped together.
bool ReadingsStay(const ModuleData& d, Long first, Long last);

}  // namespace larimo
