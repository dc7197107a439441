#pragma once
// The replay of data read from a file, without the chart: sample after
// sample, the store and the chart's view state go through exactly the
// steps the acquisition cycle takes for a newly stored sample (extremes,
// value range, the automatic Y fit, the X window). The chart is then
// brought to the end state in one pass instead of once per sample.

#include "chart/chart_view.h"
#include "core/module_data.h"

namespace larimo {

struct ReplayChanges {
  bool axisY = false;  // the Y range was fitted: set the Y axis
  bool axisX = false;  // the X window moved or grew: set the X axis
};

// Replays samples 1 to n (n limited to the buffer size). Leaves DataNum = n;
// the readings themselves are not touched.
ReplayChanges ReplaySamples(ModuleData& d, ChartView& view, Long n);

}  // namespace larimo
