// Values read off the chart's point store: the nearest sample and the
// statistics of a span.
#include "chart/chart_readings.h"

#include <cmath>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "store/module_data.h"

namespace larimo {
namespace {

// Two series over samples at 0.5 s: ID0 with readings (-999 = none), ID1
// without any.
SeriesStore Store(const std::vector<float>& id0) {
  SeriesStore s;
  s.SetSeriesCount(2);
  s.ReplaceAll(static_cast<long>(id0.size()), 0.5, {id0.data(), nullptr}, kNoReading);
  return s;
}

TEST(NearestSample, FindsTheSampleNearestInTimeAndItsReadings) {
  const SeriesStore five = Store({10, 20, kNoReading, 40, 50});
  const SeriesStore one = Store({7});
  SeriesStore holes = Store({10, 20, 30, 40});
  holes.SetX(2, std::nan(""));  // a point without a time: X no longer ordered
  struct Case {
    const SeriesStore* store;
    double x;
    long point;
    std::optional<double> id0;
  };
  const Case cases[] = {
      {&five, -3.0, 1, 10},           // before the first sample
      {&five, 0.74, 1, 10},           // nearer to the first
      {&five, 0.75, 1, 10},           // halfway: the earlier one
      {&five, 0.76, 2, 20},           // nearer to the second
      {&five, 1.5, 3, std::nullopt},  // a -999 reading: none shown
      {&five, 99.0, 5, 50},           // beyond the last
      {&one, 42.0, 1, 7},             // a single sample
      {&holes, 0.9, 1, 10},           // point 2 has no time; point 1 is nearer than 3
      {&holes, 1.1, 3, 30},
  };
  for (const Case& c : cases) {
    const SampleReading r = NearestSample(*c.store, c.x);
    EXPECT_EQ(r.point, c.point) << c.x;
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.values[0], c.id0) << c.x;
    EXPECT_FALSE(r.values[1].has_value());
    EXPECT_DOUBLE_EQ(r.x, 0.5 * static_cast<double>(c.point));
  }
  EXPECT_EQ(NearestSample(Store({}), 1.0).point, 0);
}

TEST(StatisticsOfSpan, MinMaxWithTimesMeanAndDeviation) {
  const SeriesStore s = Store({10, 30, kNoReading, 20, 30, 10});
  struct Case {
    double lo, hi;
    long count;
    double min, minX, max, maxX, mean, stdDev;
  };
  const Case cases[] = {
      // All six samples; the -999 does not count; the first extreme's time.
      {0, 10, 5, 10, 0.5, 30, 1.0, 20, std::sqrt(80.0)},
      {1.0, 2.0, 2, 20, 2.0, 30, 1.0, 25, 5},  // -999 at 1.5 inside the span
      {2.4, 2.6, 1, 30, 2.5, 30, 2.5, 30, 0},  // one sample
      {1.4, 1.6, 0, 0, 0, 0, 0, 0, 0},         // only the -999
      {3.1, 9.0, 0, 0, 0, 0, 0, 0, 0},         // beyond the run
      {2.0, 1.0, 2, 20, 2.0, 30, 1.0, 25, 5},  // ends given the other way round
  };
  for (const Case& c : cases) {
    const std::vector<SpanStatistics> all = StatisticsOfSpan(s, c.lo, c.hi);
    ASSERT_EQ(all.size(), 2u);
    const SpanStatistics& st = all[0];
    EXPECT_EQ(st.count, c.count) << c.lo;
    EXPECT_EQ(all[1].count, 0);
    if (c.count == 0) continue;
    EXPECT_DOUBLE_EQ(st.min, c.min) << c.lo;
    EXPECT_DOUBLE_EQ(st.minX, c.minX) << c.lo;
    EXPECT_DOUBLE_EQ(st.max, c.max) << c.lo;
    EXPECT_DOUBLE_EQ(st.maxX, c.maxX) << c.lo;
    EXPECT_DOUBLE_EQ(st.mean, c.mean) << c.lo;
    EXPECT_NEAR(st.stdDev, c.stdDev, 1e-12) << c.lo;
  }
}

TEST(StatisticsText, ListsUnitsInUseAndSaysWhenTheSpanHasNoReading) {
  const SeriesStore s = Store({10, 30, kNoReading});
  const QStringList labels{QStringLiteral("ID0 2線式"), QStringLiteral("ID1 3線式")};
  const QStringList all = StatisticsText(s, 0, 2, labels, QStringLiteral("℃")).split('\n');
  ASSERT_GE(all.size(), 3);
  EXPECT_EQ(all[2], QStringLiteral("ID0 2線式\t2\t10.000\t0.500\t30.000\t1.000\t20.000\t10.0000"));
  EXPECT_FALSE(all.join('\n').contains(QStringLiteral("ID1")));  // not in use
  const QString none = StatisticsText(s, 1.4, 1.6, labels, QStringLiteral("℃"));
  EXPECT_TRUE(none.contains(QStringLiteral("ID0 2線式\t0\t表示範囲にデータがありません")));
}

TEST(SpanCsv, RowsWithinTheSpanWithMissingReadingsAsMinus999) {
  const SeriesStore s = Store({10, 22.5f, kNoReading, 40});
  const QByteArray csv = SpanCsv(s, 0.9, 1.5, {QStringLiteral("A"), QStringLiteral("B")});
  const QList<QByteArray> lines = csv.split('\n');
  ASSERT_EQ(lines.size(), 4);  // title, two rows, the empty rest
  EXPECT_EQ(lines[1], "1,22.5,-999\r");
  EXPECT_EQ(lines[2], "1.5,-999,-999\r");
}

}  // namespace
}  // namespace larimo
