#pragma once
// Which points of a series the chart draws for the X range in view.
//
// A line through every stored point would cost in proportion to the whole
// run on every drawing. Where more points fall into one pixel column than
// can be seen, the column is drawn from its first, lowest, highest and last
// point: the same picture at one pixel, at a cost of one pass over the
// points in view and a few points per column handed to the painter.

#include <vector>

#include "chart/series_store.h"

namespace larimo {

// Fills `out` with the points of `series` to draw for the X range [lo, hi]
// on a plot `columns` pixels wide, in drawing order: the nearest drawable
// point left of the range, the points within it (thinned per column where
// they are dense), and the nearest drawable point right of it, so the line
// runs on to the plot's edges. When the X values do not rise strictly,
// every drawable point is given in point order.
void SampleCurve(const SeriesStore& store, int series, double lo, double hi, int columns,
                 std::vector<SeriesStore::Point>& out);

}  // namespace larimo
