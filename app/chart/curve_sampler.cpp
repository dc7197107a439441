#include "chart/curve_sampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "store/float_scan.h"

namespace larimo {

namespace {

using Point = SeriesStore::Point;

// The drawable points of x[begin..end) collapse to their first, lowest,
// highest and last point, each given once, in point order; the lowest and
// highest are the first of equal ones.
void ReduceColumn(const double* x, const double* y, std::size_t begin, std::size_t end,
                  std::vector<Point>& out) {
  std::size_t k = begin;
  while (k < end && std::isnan(y[k])) ++k;
  if (k == end) return;
  const std::size_t first = k;
  std::size_t last = end - 1;
  while (std::isnan(y[last])) --last;
  // The extremes in one vector pass, then the first point holding each;
  // a missing Y equals neither.
  const DoubleRange range = RangeOfNumbers(y + first, last + 1 - first);
  std::size_t low = first;
  while (!(y[low] == range.min)) ++low;
  std::size_t high = first;
  while (!(y[high] == range.max)) ++high;
  const std::size_t picks[4] = {first, std::min(low, high), std::max(low, high), last};
  std::size_t previous = static_cast<std::size_t>(-1);
  for (std::size_t i : picks) {
    if (i == previous) continue;
    out.push_back({x[i], y[i]});
    previous = i;
  }
}

}  // namespace

void SampleCurve(const SeriesStore& store, int series, double lo, double hi, int columns,
                 std::vector<Point>& out) {
  out.clear();
  const double* y = store.YData(series);
  const double* x = store.XData();
  const std::size_t n = std::min(static_cast<std::size_t>(store.PointCount(series)), store.XSize());
  if (!y || n == 0 || store.DrawableCount(series) == 0) return;
  auto drawable = [&](std::size_t i) { return !std::isnan(y[i]) && !std::isnan(x[i]); };

  if (!store.XOrdered() || std::isnan(lo) || std::isnan(hi)) {
    for (std::size_t i = 0; i < n; ++i) {
      if (drawable(i)) out.push_back({x[i], y[i]});
    }
    return;
  }
  if (hi < lo) std::swap(lo, hi);
  // With the X values ordered, the points beyond the last set X have none.
  const std::size_t ordered = std::min(n, store.XSetCount());
  const std::size_t first = static_cast<std::size_t>(std::lower_bound(x, x + ordered, lo) - x);
  const std::size_t last =
      static_cast<std::size_t>(std::upper_bound(x + first, x + ordered, hi) - x);

  std::size_t left = first;
  while (left > 0 && !drawable(left - 1)) --left;
  if (left > 0) out.push_back({x[left - 1], y[left - 1]});

  // A plot without width (not laid out yet) is drawn as one column.
  columns = std::max(columns, 1);
  const std::size_t inView = last - first;
  if (!(hi > lo) || inView <= 2 * static_cast<std::size_t>(columns)) {
    for (std::size_t i = first; i < last; ++i) {
      if (drawable(i)) out.push_back({x[i], y[i]});
    }
  } else {
    const double perUnit = columns / (hi - lo);
    const long lastColumn = columns - 1;
    // X rises, so the column numbers never fall: each column is one run of
    // points, whose end is found by galloping and then bisecting rather
    // than by taking every point's column.
    auto columnOf = [&](std::size_t i) {
      return std::min(static_cast<long>((x[i] - lo) * perUnit), lastColumn);
    };
    const std::size_t stride = std::max<std::size_t>(1, inView / static_cast<std::size_t>(columns));
    for (std::size_t begin = first; begin < last;) {
      const long column = columnOf(begin);
      std::size_t end = last;
      if (column < lastColumn) {
        // Widen [inside, beyond) until `beyond` lies in a later column.
        std::size_t inside = begin;
        std::size_t step = stride;
        std::size_t beyond = std::min(last, begin + step);
        while (beyond < last && columnOf(beyond) <= column) {
          inside = beyond;
          step *= 2;
          beyond = std::min(last, beyond + step);
        }
        // Bisect (inside, beyond) for the first point of a later column.
        std::size_t a = inside + 1;
        std::size_t b = beyond;
        while (a < b) {
          const std::size_t mid = a + (b - a) / 2;
          if (columnOf(mid) <= column) {
            a = mid + 1;
          } else {
            b = mid;
          }
        }
        end = a;
      }
      ReduceColumn(x, y, begin, end, out);
      begin = end;
    }
  }

  std::size_t right = last;
  while (right < ordered && !drawable(right)) ++right;
  if (right < ordered) out.push_back({x[right], y[right]});
}

}  // namespace larimo
