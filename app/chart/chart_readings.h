#pragma once
// Values read off the chart's point store: the sample nearest to a time
// (for the cursor that follows the mouse), the statistics of the points in
// a span of time, and the rows of a span as CSV. Plain functions over the
// store, so they hold for a run in progress, a finished one and a read file
// alike.

#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "chart/series_store.h"

namespace larimo {

// The sample whose X lies nearest to a time, and each series' value there.
struct SampleReading {
  long point = 0;  // from 1; 0 when the store holds no point with an X
  double x = 0;
  // One per series (series 1 first); empty where the sample has no reading.
  std::vector<std::optional<double>> values;
};

// The point whose X is nearest to x (of two equally near, the earlier).
// A bisection while the X values rise (as they always do in a run); a pass
// over the points otherwise.
SampleReading NearestSample(const SeriesStore& store, double x);

// The readings of one series within a span of time.
struct SpanStatistics {
  long count = 0;  // readings within the span; the rest is meaningless at 0
  double min = 0;
  double minX = 0;  // time of the first reading at the minimum
  double max = 0;
  double maxX = 0;  // time of the first reading at the maximum
  double mean = 0;
  double stdDev = 0;  // of the readings themselves (divided by count)
};

// Per series (series 1 first), over the points whose X lies within [lo, hi].
std::vector<SpanStatistics> StatisticsOfSpan(const SeriesStore& store, double lo, double hi);

// The statistics as a tab-separated table to read or paste: the span, then
// one line per series that holds any reading (labels[s-1] names series s),
// values in `unit`.
QString StatisticsText(const SeriesStore& store, double lo, double hi, const QStringList& labels,
                       const QString& unit);

// The rows whose X lies within [lo, hi] as CSV in the export's form (code
// page 932, CR LF, quoted texts): a title line of the elapsed time and the
// labels, then per row its time and each series' reading, -999 where there
// is none.
QByteArray SpanCsv(const SeriesStore& store, double lo, double hi, const QStringList& labels);

}  // namespace larimo
