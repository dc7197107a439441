// The chart adapter: what it draws from the points it is given.
#include "chart/ui/chart2d.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "chart/curve_sampler.h"
#include "chart/marker_policy.h"
#include "chart/series_store.h"
#include "chart/ui/qcp.h"
#include "chart/ui/store_curve.h"

namespace larimo {
namespace {

// The points a series' curve would draw with every point in view.
std::vector<SeriesStore::Point> GraphPoints(const Chart2D& chart, int series) {
  return chart.Points().DrawablePoints(series);
}

TEST(SeriesStore, PointsWithoutYAreLeftOut) {
  SeriesStore s;
  s.SetSeriesCount(2);
  s.SetPointCount(1, 3);
  for (long p = 1; p <= 3; ++p) s.SetX(p, p * 0.5);
  s.SetY(1, 1, 10);
  s.SetY(1, 3, 30);
  s.SetY(1, 2, std::numeric_limits<double>::infinity());  // not a number to draw
  const auto pts = s.DrawablePoints(1);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_DOUBLE_EQ(pts[1].x, 1.5);
  EXPECT_DOUBLE_EQ(pts[1].y, 30);
  EXPECT_EQ(s.DrawableCount(1), 2);
  // A Y beyond the point count is ignored; series 2 has no Y at all.
  s.SetY(1, 4, 40);
  EXPECT_FALSE(s.HasY(1, 4));
  EXPECT_TRUE(s.DrawablePoints(2).empty());
}

// The drawable count follows every kind of edit as a recount would.
TEST(SeriesStore, DrawableCountFollowsEditsAndCountsVisiblePoints) {
  SeriesStore s;
  s.SetSeriesCount(2);
  auto recount = [&](int series) { return static_cast<long>(s.DrawablePoints(series).size()); };
  s.SetPointCount(1, 100);
  s.SetPointCount(2, 40);
  for (long p = 1; p <= 100; ++p) {
    s.SetY(1, p, 1.0);  // Y before X: not drawable until the X comes
    if (p <= 40 && p % 3 != 0) s.SetY(2, p, 2.0);
  }
  EXPECT_EQ(s.DrawableCount(1), 0);
  for (long p = 1; p <= 100; ++p) s.SetX(p, static_cast<double>(p));
  EXPECT_EQ(s.DrawableCount(1), 100);
  EXPECT_EQ(s.DrawableCount(2), recount(2));
  s.SetY(1, 60, 2.0);  // overwriting a Y adds nothing
  s.UnsetY(1, 40);
  s.UnsetY(1, 40);
  EXPECT_EQ(s.DrawableCount(1), 99);
  s.SetX(10, std::numeric_limits<double>::quiet_NaN());  // an X taken away
  EXPECT_EQ(s.DrawableCount(1), recount(1));
  EXPECT_EQ(s.DrawableCount(2), recount(2));
  EXPECT_FALSE(s.XOrdered());
  s.SetX(10, 10.0);
  EXPECT_TRUE(s.XOrdered());
  s.SetPointCount(1, 50);  // cutting back drops the points beyond
  EXPECT_EQ(s.DrawableCount(1), 49);
  EXPECT_EQ(s.PointsWithin(10, 20), 11);
  EXPECT_EQ(s.PointsWithin(45, 1000), 6);  // X beyond the counts are gone
  s.SetX(20, 5.0);
  EXPECT_FALSE(s.XOrdered());
  EXPECT_EQ(s.PointsWithin(5, 5), 2);
  s.Clear();
  EXPECT_EQ(s.DrawableCount(1), 0);
  EXPECT_EQ(s.XSetCount(), 0u);
}

TEST(SeriesStore, ReplaceAllEqualsSettingPointByPoint) {
  const float missing = -999.0f;
  const std::vector<float> a = {1.5f, missing, 3.0f, std::numeric_limits<float>::quiet_NaN(), 5.0f};
  const std::vector<float> b = {missing, missing, 7.0f, 8.0f, 9.0f};
  SeriesStore all;
  SeriesStore one;
  for (SeriesStore* s : {&all, &one}) {
    s->SetSeriesCount(3);
    s->SetPointCount(3, 9);  // an earlier, longer run
    for (long p = 1; p <= 9; ++p) {
      s->SetX(p, p * 2.0);
      s->SetY(3, p, 1.0);
    }
  }
  all.ReplaceAll(5, 0.5, {a.data(), b.data(), nullptr}, missing);
  for (int series = 1; series <= 3; ++series) {
    one.SetPointCount(series, 0);
    one.SetPointCount(series, 5);
  }
  for (long p = 1; p <= 5; ++p) {
    one.SetX(p, 0.5 * p);
    const float va = a[static_cast<size_t>(p - 1)];
    const float vb = b[static_cast<size_t>(p - 1)];
    if (va != missing) one.SetY(1, p, va);
    if (vb != missing) one.SetY(2, p, vb);
  }
  for (int series = 1; series <= 3; ++series) {
    EXPECT_EQ(all.DrawablePoints(series), one.DrawablePoints(series)) << series;
    EXPECT_EQ(all.DrawableCount(series), one.DrawableCount(series)) << series;
    EXPECT_EQ(all.PointCount(series), 5);
  }
  EXPECT_EQ(all.DrawableCount(1), 3);
  EXPECT_TRUE(all.XOrdered());
  EXPECT_EQ(all.XSetCount(), 5u);
  EXPECT_EQ(all.PointsWithin(1.0, 2.0), 3);
  all.ReplaceAll(5, std::numeric_limits<double>::quiet_NaN(), {a.data()}, missing);
  EXPECT_EQ(all.DrawableCount(1), 0) << "points without an X are not drawable";
}

TEST(Chart2D, DrawsOnlySetPointsAndCutsBack) {
  Chart2D chart;
  chart.SetSeriesCount(4);
  chart.SetDataUpdatesSuspended(true);
  for (int s = 1; s <= 4; ++s) chart.SetPointCount(s, 10);
  for (long p = 1; p <= 10; ++p) chart.SetX(p, p * 2.0);
  for (long p = 1; p <= 10; ++p) {
    if (p != 7) chart.SetY(1, p, 20.0 + p);
  }
  EXPECT_EQ(chart.DrawnPointCount(1), 0) << "nothing is taken over while updates are suspended";
  chart.SetDataUpdatesSuspended(false);
  EXPECT_EQ(chart.DrawnPointCount(1), 9);
  EXPECT_EQ(chart.DrawnPointCount(2), 0);
  EXPECT_EQ(chart.PointCount(2), 10);
  const auto pts = GraphPoints(chart, 1);
  EXPECT_DOUBLE_EQ(pts[6].x, 16.0);  // sample 8 follows sample 6
  EXPECT_DOUBLE_EQ(pts[6].y, 28.0);

  chart.SetPointCount(1, 1);
  EXPECT_EQ(chart.DrawnPointCount(1), 1);
  chart.UnsetY(1, 1);
  EXPECT_EQ(chart.DrawnPointCount(1), 0);
}

// Handing the chart only the new points of each pass gives the same curve
// as handing it all of them at once.
TEST(Chart2D, IncrementalPassesEqualOneFullPass) {
  Chart2D inc;
  Chart2D full;
  inc.SetSeriesCount(1);
  full.SetSeriesCount(1);
  auto value = [](long p) { return std::sin(p * 0.1) * 50.0; };
  long n = 0;
  for (int pass = 0; pass < 20; ++pass) {
    inc.SetDataUpdatesSuspended(true);
    const long to = n + 37;
    inc.SetPointCount(1, to);
    for (long p = n + 1; p <= to; ++p) {
      inc.SetX(p, p * 0.3);
      if (p % 11 != 0) inc.SetY(1, p, value(p));
    }
    inc.SetDataUpdatesSuspended(false);
    n = to;
  }
  full.SetIsBatched(true);
  full.SetPointCount(1, n);
  for (long p = 1; p <= n; ++p) {
    full.SetX(p, p * 0.3);
    if (p % 11 != 0) full.SetY(1, p, value(p));
  }
  full.SetIsBatched(false);
  EXPECT_EQ(GraphPoints(inc, 1), GraphPoints(full, 1));
  EXPECT_EQ(inc.DrawnPointCount(1), static_cast<int>(n - n / 11));
  // Changing an early point replaces it without duplicating the rest.
  inc.SetY(1, 5, 999.0);
  EXPECT_EQ(inc.DrawnPointCount(1), static_cast<int>(n - n / 11));
  EXPECT_DOUBLE_EQ(GraphPoints(inc, 1)[4].y, 999.0);
}

TEST(Chart2D, TitlesHeaderLabelsAndRanges) {
  Chart2D chart;
  chart.SetSeriesCount(4);
  chart.SetHeaderText(QStringLiteral("開始時刻 [ 2024/1/2 3:4:5 ]"));
  chart.SetAxisTitle(Chart2D::Axis::Y, QStringLiteral("℃"));
  chart.AddSeriesLabel(QStringLiteral("ID0 2線式"));
  chart.AddSeriesLabel(QStringLiteral("ID1 3線式"));
  EXPECT_EQ(chart.HeaderText(), QStringLiteral("開始時刻 [ 2024/1/2 3:4:5 ]"));
  EXPECT_EQ(chart.AxisTitle(Chart2D::Axis::Y), QStringLiteral("℃"));
  EXPECT_EQ(chart.Plot()->legend->itemCount(), 2);
  EXPECT_EQ(chart.Curve(2)->name(), QStringLiteral("ID1 3線式"));
  chart.ClearSeriesLabels();
  EXPECT_EQ(chart.Plot()->legend->itemCount(), 0);
  chart.SetAxisRange(Chart2D::Axis::Y, 800, -100);  // ends given the wrong way round
  EXPECT_DOUBLE_EQ(chart.AxisMin(Chart2D::Axis::Y), -100);
  EXPECT_DOUBLE_EQ(chart.AxisMax(Chart2D::Axis::Y), 800);
  EXPECT_NE(chart.SeriesColor(1), chart.SeriesColor(2));
}

TEST(Chart2D, SymbolsOnlyWhilePointsCanBeToldApart) {
  EXPECT_TRUE(MarkersVisible(0, 600));
  EXPECT_TRUE(MarkersVisible(100, 600));
  EXPECT_FALSE(MarkersVisible(1000, 600));

  Chart2D chart;
  chart.resize(800, 500);
  chart.SetSeriesCount(1);
  chart.SetPointCount(1, 2000);
  chart.SetDataUpdatesSuspended(true);
  for (long p = 1; p <= 2000; ++p) {
    chart.SetX(p, static_cast<double>(p));
    chart.SetY(1, p, 1.0);
  }
  chart.SetAxisRange(Chart2D::Axis::X, 1, 50);
  chart.SetDataUpdatesSuspended(false);
  chart.RedrawNow();
  EXPECT_TRUE(chart.MarkersShown());
  chart.SetAxisRange(Chart2D::Axis::X, 1, 2000);
  EXPECT_FALSE(chart.MarkersShown());
  EXPECT_EQ(chart.Curve(1)->ScatterStyle().shape(), QCPScatterStyle::ssNone);

  // The decision follows the plot's size (it once waited for the next
  // change of the points in view).
  chart.show();
  chart.SetAxisRange(Chart2D::Axis::X, 1, 200);
  chart.RedrawNow();
  chart.resize(400, 500);
  EXPECT_FALSE(chart.MarkersShown());
  chart.resize(1600, 500);
  EXPECT_TRUE(chart.MarkersShown());
}

TEST(Chart2D, ExportsAVectorPicture) {
  Chart2D chart;
  chart.resize(640, 400);
  chart.SetSeriesCount(4);
  chart.SetHeaderText(QStringLiteral("開始時刻 [ x ]"));
  chart.SetPointCount(1, 3);
  for (long p = 1; p <= 3; ++p) {
    chart.SetX(p, p);
    chart.SetY(1, p, p * 10.0);
  }
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("chart.svg"));
  ASSERT_TRUE(chart.ExportSvg(file));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray svg = f.readAll();
  EXPECT_TRUE(svg.contains("<svg"));
  EXPECT_TRUE(svg.contains("polyline") || svg.contains("<path"));
  EXPECT_FALSE(chart.ExportSvg(dir.filePath(QStringLiteral("missing/folder/chart.svg"))));
}

}  // namespace
}  // namespace larimo
