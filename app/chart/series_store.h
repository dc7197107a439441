#pragma once
// The points of the chart's series as the program hands them over: a point
// count per series, X values shared by all series, and a Y per point that is
// either set or not. A point is drawable when both its X and its Y are set;
// the chart draws straight from this store, so it holds the only copy of
// the points.

#include <cstddef>
#include <limits>
#include <vector>

namespace larimo {

class SeriesStore {
 public:
  struct Point {
    double x;
    double y;
    bool operator==(const Point&) const = default;
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
  // A Y that is not a finite number leaves the point without a Y.
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

  // Number of drawable points of the series, kept up to date by every edit.
  long DrawableCount(int series) const;
  // The drawable points of the series in point order.
  std::vector<Point> DrawablePoints(int series) const;
  // True while the set X values rise strictly with no unset X among them:
  // X then orders the points and a range of X can be found by bisection.
  bool XOrdered() const { return xRising_ && !xHoles_; }
  // Number of points up to the last one with an X set (with XOrdered(),
  // exactly the leading points that have one).
  std::size_t XSetCount() const { return lastSet_ == npos ? 0 : lastSet_ + 1; }
  // Number of points whose X lies within [lo, hi].
  long PointsWithin(double lo, double hi) const;

  // Raw views for drawing: the shared X values (NaN where unset), of which
  // the first XSize() are stored, and a series' Y values (NaN where unset),
  // PointCount(series) of them.
  const double* XData() const { return x_.data(); }
  std::size_t XSize() const { return x_.size(); }
  const double* YData(int series) const;

 private:
  static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();
  struct Series {
    std::vector<double> y;  // NaN: no Y
    long drawable = 0;
  };
  bool ValidSeries(int s) const { return s >= 1 && s <= SeriesCount(); }
  bool HasX(std::size_t i) const;
  void EnsureX(std::size_t size);
  // Drops X values beyond every series' point count.
  void TrimX();
  // Recomputes the order facts of the X values (after rare edits).
  void Recheck();

  std::vector<Series> series_;
  std::vector<double> x_;       // shared X values, NaN where never set
  std::size_t lastSet_ = npos;  // highest index with an X
  bool xRising_ = true;         // the set X values rise strictly
  bool xHoles_ = false;         // some index below lastSet_ has no X
};

}  // namespace larimo
