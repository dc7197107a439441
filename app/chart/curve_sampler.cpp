#include "chart/curve_sampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace larimo {

namespace {

using Point = SeriesStore::Point;

// The drawable points of a column collapse to its first, lowest, highest and
// last point, each given once, in point order.
class ColumnReducer {
 public:
  ColumnReducer(const double* x, const double* y, std::vector<Point>& out) : x_(x), y_(y), out_(out) {}

  void Add(std::size_t i, long column) {
    if (column != column_) {
      Flush();
      column_ = column;
      first_ = last_ = low_ = high_ = i;
      return;
    }
    last_ = i;
    if (y_[i] < y_[low_]) low_ = i;
    if (y_[i] > y_[high_]) high_ = i;
  }

  void Flush() {
    if (column_ == kNone) return;
    std::size_t picks[4] = {first_, std::min(low_, high_), std::max(low_, high_), last_};
    std::size_t previous = static_cast<std::size_t>(-1);
    for (std::size_t i : picks) {
      if (i == previous) continue;
      out_.push_back({x_[i], y_[i]});
      previous = i;
    }
    column_ = kNone;
  }

 private:
  static constexpr long kNone = -1;
  const double* x_;
  const double* y_;
  std::vector<Point>& out_;
  long column_ = kNone;
  std::size_t first_ = 0, last_ = 0, low_ = 0, high_ = 0;
};

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
  const std::size_t last = static_cast<std::size_t>(std::upper_bound(x + first, x + ordered, hi) - x);

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
    ColumnReducer reducer(x, y, out);
    for (std::size_t i = first; i < last; ++i) {
      if (std::isnan(y[i])) continue;
      const long column = std::min(static_cast<long>((x[i] - lo) * perUnit), lastColumn);
      reducer.Add(i, column);
    }
    reducer.Flush();
  }

  std::size_t right = last;
  while (right < ordered && !drawable(right)) ++right;
  if (right < ordered) out.push_back({x[right], y[right]});
}

}  // namespace larimo
