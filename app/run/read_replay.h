#pragma once
// The replay of data read from a file, without the chart: the store and the
// chart's view state end exactly where sample after sample through the steps
// the acquisition cycle takes for a newly stored sample would leave them
// (extremes, value range, the automatic Y fit, the X window); runs of
// samples whose steps change nothing are passed over together. The chart is
// then brought to the end state in one pass instead of once per sample.

#include "run/chart_view.h"
#include "run/sample_step.h"
#include "store/module_data.h"

namespace larimo {

// Replays samples 1 to n (n limited to the buffer size). Leaves DataNum = n;
// the readings themselves are not touched.
StepChanges ReplaySamples(ModuleData& d, ChartView& view, Long n);

}  // namespace larimo
