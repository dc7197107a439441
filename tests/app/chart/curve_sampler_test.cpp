// Which points a curve hands to the painter, and what the picture keeps.
#include "chart/curve_sampler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <QImage>

#include "chart/ui/chart2d.h"
#include "chart/ui/qcp.h"
#include "chart/ui/store_curve.h"

namespace larimo {
namespace {

using Point = SeriesStore::Point;

// One series of n points at X = p, Y from f (NaN: no Y).
SeriesStore Series(long n, double (*f)(long)) {
  SeriesStore s;
  s.SetSeriesCount(1);
  s.SetPointCount(1, n);
  for (long p = 1; p <= n; ++p) {
    s.SetX(p, static_cast<double>(p));
    const double y = f(p);
    if (!std::isnan(y)) s.SetY(1, p, y);
  }
  return s;
}

TEST(SampleCurve, SparseViewGivesEveryPointAndTheNeighboursOutside) {
  // Points 1..100, Y missing on every tenth.
  const SeriesStore s = Series(
      100, [](long p) { return p % 10 == 0 ? std::numeric_limits<double>::quiet_NaN() : p * 2.0; });
  std::vector<Point> out;
  SampleCurve(s, 1, 20.5, 40.5, 800, out);
  // Left of 20.5 the nearest drawable point is 19 (20 has no Y), right of
  // 40.5 it is 41; within, 21..40 without 30 and 40.
  ASSERT_EQ(out.size(), 2u + 18u);
  EXPECT_EQ(out.front(), (Point{19, 38}));
  EXPECT_EQ(out[1], (Point{21, 42}));
  EXPECT_EQ(out.back(), (Point{41, 82}));
  EXPECT_TRUE(std::is_sorted(out.begin(), out.end(),
                             [](const Point& a, const Point& b) { return a.x < b.x; }));

  // A view between two points still draws the line across it.
  SampleCurve(s, 1, 50.2, 50.8, 800, out);
  EXPECT_EQ(out, (std::vector<Point>{{49, 98}, {51, 102}}));
  // A view past the end: only the last point, from which no line runs.
  SampleCurve(s, 1, 500, 600, 800, out);
  EXPECT_EQ(out, (std::vector<Point>{{99, 198}}));
  // Ends given the wrong way round are the same view.
  std::vector<Point> swapped;
  SampleCurve(s, 1, 40.5, 20.5, 800, swapped);
  SampleCurve(s, 1, 20.5, 40.5, 800, out);
  EXPECT_EQ(out, swapped);
  // No such series, no points.
  SampleCurve(s, 2, 0, 100, 800, out);
  EXPECT_TRUE(out.empty());
}

TEST(SampleCurve, DenseViewKeepsEachColumnsExtremesWithinFourPoints) {
  const long n = 88000;
  const SeriesStore s = Series(n, [](long p) {
    if (p == 43210) return 5000.0;  // one spike, one dip
    if (p == 70001) return -5000.0;
    return 20.0 + 10.0 * std::sin(p / 300.0);
  });
  const int columns = 700;
  std::vector<Point> out;
  SampleCurve(s, 1, 1, static_cast<double>(n), columns, out);
  EXPECT_LE(out.size(), 4u * columns + 2);
  EXPECT_GE(out.size(), static_cast<size_t>(columns));
  auto has = [&](Point p) { return std::find(out.begin(), out.end(), p) != out.end(); };
  EXPECT_TRUE(has({43210, 5000.0}));
  EXPECT_TRUE(has({70001, -5000.0}));
  EXPECT_EQ(out.front().x, 1);
  EXPECT_EQ(out.back().x, static_cast<double>(n));
  // In point order, so the line never runs backwards.
  EXPECT_TRUE(std::is_sorted(out.begin(), out.end(),
                             [](const Point& a, const Point& b) { return a.x < b.x; }));
  // Every point given is a stored one.
  for (const Point& p : out) EXPECT_EQ(s.Y(1, static_cast<long>(p.x)), p.y);
}

// The thinning by its definition: every drawable point in view goes to the
// column floor((x - lo) * columns / (hi - lo)) (the last column takes X = hi),
// and each column gives its first, lowest, highest and last point (the
// first of equal ones), each once, in point order.
std::vector<Point> ThinnedByDefinition(const SeriesStore& s, double lo, double hi, int columns) {
  std::vector<std::vector<long>> byColumn(static_cast<size_t>(columns));
  for (long p = 1; p <= s.PointCount(1); ++p) {
    const double x = s.X(p);
    if (!s.HasY(1, p) || x < lo || x > hi) continue;
    const long c = std::min<long>(static_cast<long>((x - lo) * (columns / (hi - lo))), columns - 1);
    byColumn[static_cast<size_t>(c)].push_back(p);
  }
  std::vector<Point> out;
  for (const std::vector<long>& ps : byColumn) {
    if (ps.empty()) continue;
    long low = ps.front();
    long high = ps.front();
    for (long p : ps) {
      if (s.Y(1, p) < s.Y(1, low)) low = p;
      if (s.Y(1, p) > s.Y(1, high)) high = p;
    }
    std::vector<long> picks = {ps.front(), std::min(low, high), std::max(low, high), ps.back()};
    picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
    for (long p : picks) out.push_back({s.X(p), s.Y(1, p)});
  }
  return out;
}

TEST(SampleCurve, DenseThinningMatchesItsDefinitionForUnevenXAndGaps) {
  // X rising unevenly (crowded at the start, sparse at the end), Y with
  // plateaus (equal extremes), runs of missing Y longer than a column, and
  // a few lone points.
  SeriesStore s;
  s.SetSeriesCount(1);
  const long n = 20000;
  s.SetPointCount(1, n);
  for (long p = 1; p <= n; ++p) {
    s.SetX(p, std::pow(static_cast<double>(p), 1.5));
    const bool gap = (p > 3000 && p < 4200) || (p > 15000 && p < 19990 && p % 97 != 0);
    if (!gap) s.SetY(1, p, std::round(40.0 * std::sin(p / 50.0)) + (p % 7 == 0 ? 0.5 : 0.0));
  }
  const double end = s.X(n);
  struct View {
    double lo, hi;
    int columns;
  };
  for (const View v : {View{1, end, 700}, View{1, end, 1}, View{1, end, 3}, View{5000, 2e6, 613},
                       View{s.X(100), s.X(9000), 1024}, View{0, end * 2, 97}, View{1, end, 9999}}) {
    std::vector<Point> out;
    SampleCurve(s, 1, v.lo, v.hi, v.columns, out);
    std::vector<Point> expected = ThinnedByDefinition(s, v.lo, v.hi, v.columns);
    // The nearest drawable points outside the view come first and last.
    std::vector<Point> inner = out;
    if (!inner.empty() && inner.front().x < v.lo) inner.erase(inner.begin());
    if (!inner.empty() && inner.back().x > v.hi) inner.pop_back();
    EXPECT_EQ(inner, expected) << v.lo << ".." << v.hi << " in " << v.columns;
  }
}

TEST(SampleCurve, UnorderedXGivesEveryPointInPointOrder) {
  SeriesStore s;
  s.SetSeriesCount(1);
  s.SetPointCount(1, 4);
  const double xs[] = {3, 1, 2, 9};
  for (long p = 1; p <= 4; ++p) {
    s.SetX(p, xs[p - 1]);
    s.SetY(1, p, p * 10.0);
  }
  s.UnsetY(1, 3);
  std::vector<Point> out;
  SampleCurve(s, 1, 0, 2, 800, out);
  EXPECT_EQ(out, (std::vector<Point>{{3, 10}, {1, 20}, {9, 40}}));
}

// The picture of a dense curve still shows a single spike: the column
// holding it is drawn up to the spike's height.
TEST(StoreCurve, DensePictureShowsASingleSpike) {
  Chart2D chart;
  chart.resize(800, 500);
  chart.SetSeriesCount(1);
  chart.SetIsBatched(true);
  const long n = 88000;
  std::vector<float> v(static_cast<size_t>(n), 10.0f);
  v[44000] = 90.0f;
  chart.ReplaceAllPoints(n, 1.0, {v.data()}, -999.0f);
  chart.SetAxisRange(Chart2D::Axis::X, 1, static_cast<double>(n));
  chart.SetAxisRange(Chart2D::Axis::Y, 0, 100);
  chart.SetIsBatched(false);
  chart.RedrawNow();
  EXPECT_EQ(chart.DrawnPointCount(1), n);
  EXPECT_FALSE(chart.MarkersShown());
  EXPECT_LE(chart.Curve(1)->LastDrawn().size(), 4u * 800);
  // The ranges the plot asks of a curve when it fits its axes to the data.
  bool found = false;
  const QCPRange keys = chart.Curve(1)->getKeyRange(found);
  EXPECT_TRUE(found);
  EXPECT_EQ(keys, QCPRange(1, static_cast<double>(n)));
  EXPECT_EQ(chart.Curve(1)->getValueRange(found), QCPRange(10, 90));
  EXPECT_EQ(chart.Curve(1)->getValueRange(found, QCP::sdBoth, QCPRange(1, 40000)),
            QCPRange(10, 10));
  chart.Curve(1)->getValueRange(found, QCP::sdNegative);
  EXPECT_FALSE(found);

  const QImage picture = chart.Plot()->toPixmap(800, 500).toImage();
  QCPAxis* x = chart.Plot()->xAxis;
  QCPAxis* y = chart.Plot()->yAxis;
  const int column = static_cast<int>(std::lround(x->coordToPixel(44001)));
  const int top = static_cast<int>(std::lround(y->coordToPixel(90)));
  const int base = static_cast<int>(std::lround(y->coordToPixel(10)));
  // The curve's red, possibly blended with the white behind it.
  ASSERT_EQ(chart.SeriesColor(1), QColor(220, 0, 0));
  auto coloured = [&](int px, int py) {
    for (int dx = -1; dx <= 1; ++dx) {
      for (int dy = -1; dy <= 1; ++dy) {
        const QColor c = picture.pixelColor(px + dx, py + dy);
        if (c.red() > 150 && c.green() < 120 && c.blue() < 120) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(coloured(column, top + 1));
  EXPECT_TRUE(coloured(column, (top + base) / 2));
  // Away from the spike nothing is drawn at its height.
  EXPECT_FALSE(coloured(column - 100, (top + base) / 2));
  EXPECT_TRUE(coloured(column - 100, base));
}

}  // namespace
}  // namespace larimo
