#pragma once
// The points of the chart's series as the program hands them over: a point
// count per series, X values shared by all series, and a Y per point that is
// either set or not (a point whose Y was never set is not drawn).
//
// The store remembers, per series, the lowest point changed since the chart
// last took its changes, so the chart copies only what is new instead of
// the whole run on every cycle.

#include <cstddef>
#include <limits>
#include <vector>

namespace larimo {

class SeriesStore {
 public:
  struct Point {
    double x;
    double y;
  };

  // Number of series; existing series keep their points.
  void SetSeriesCount(int n);
  int SeriesCount() const { return static_cast<int>(series_.size()); }

  // Point counts and indices count from 1, as the program numbers samples.
  // Lowering a count drops the points beyond it; raising it adds points
  // without a Y.
  void SetPointCount(int series, long n);
  long PointCount(int series) const;
  void SetX(long point, double x);
  double X(long point) const;
  void SetY(int series, long point, double y);
  void UnsetY(int series, long point);
  bool HasY(int series, long point) const;
  double Y(int series, long point) const;
  // Forgets every point of every series.
  void Clear();
  // Replaces every series at once with n points: point k (from 1) at
  // X = xPerPoint * k, series s (from 1) with Y = ys[s-1][k-1], except where
  // that is `missing` or ys[s-1] is null (no Y). The same as setting each
  // point one by one, in one pass.
  void ReplaceAll(long n, double xPerPoint, const std::vector<const float*>& ys, float missing);

  // Lowest 0-based point index of the series changed since TakeChanges, or
  // npos when nothing changed.
  static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();
  std::size_t ChangedFrom(int series) const;
  // The drawable points (Y set) of the series from 0-based index `from` on,
  // in point order, and marks the series as taken.
  std::vector<Point> TakeChanges(int series, std::size_t from);
  // True while the X values rise strictly; a chart that keeps its copy
  // sorted by X can then append and cut by X.
  bool XStrictlyRising() const { return xRising_; }
  // Number of points whose X lies within [lo, hi].
  long PointsWithin(double lo, double hi) const;

 private:
  struct Series {
    std::vector<double> y;  // NaN: no Y
    std::size_t changedFrom = npos;
  };
  bool ValidSeries(int s) const { return s >= 1 && s <= SeriesCount(); }
  void MarkChanged(Series& s, std::size_t index);
  void EnsureX(std::size_t size);
  // Drops X values beyond every series' point count.
  void TrimX();
  // Recomputes the order facts of the X values (after rare edits).
  void Recheck();

  std::vector<Series> series_;
  std::vector<double> x_;  // shared X values, NaN where never set
  std::size_t lastSet_ = npos;  // highest index with an X
  bool xRising_ = true;         // the set X values rise strictly
  bool xHoles_ = false;         // some index below lastSet_ has no X
};

}  // namespace larimo
