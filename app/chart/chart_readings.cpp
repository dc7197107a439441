#include "chart/chart_readings.h"

#include <algorithm>
#include <cmath>

#include "files/cp932.h"
#include "files/csv_file.h"
#include "store/module_data.h"

namespace larimo {

namespace {

// The range of point indices (from 0) whose X may lie within [lo, hi]: found
// by bisection while the X values rise, all points with an X otherwise (the
// caller then checks each X).
struct IndexRange {
  std::size_t first = 0;
  std::size_t last = 0;  // one past
};

IndexRange IndicesWithin(const SeriesStore& store, double lo, double hi) {
  if (hi < lo) std::swap(lo, hi);
  const double* xs = store.XData();
  const std::size_t n = store.XSetCount();
  if (!store.XOrdered()) return {0, n};
  const double* first = std::lower_bound(xs, xs + n, lo);
  const double* last = std::upper_bound(first, xs + n, hi);
  return {static_cast<std::size_t>(first - xs), static_cast<std::size_t>(last - xs)};
}

bool Within(double x, double lo, double hi) {
  if (hi < lo) std::swap(lo, hi);
  return x >= lo && x <= hi;  // false for an unset (NaN) X
}

// A reading as the readouts show it, a time in seconds to the millisecond.
QString ValueText(double v) { return QString::number(v, 'f', 3); }

QString Quoted(const QString& text) {
  QString t = text;
  t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + t + QLatin1Char('"');
}

}  // namespace

SampleReading NearestSample(const SeriesStore& store, double x) {
  SampleReading r;
  const double* xs = store.XData();
  const std::size_t n = store.XSetCount();
  if (n == 0 || std::isnan(x)) return r;
  std::size_t best = n;
  if (store.XOrdered()) {
    // A run's samples lie evenly in time: the bisection starts on the few
    // points around where x would lie evenly when x is among them, and on
    // all points otherwise.
    std::size_t from = 0;
    std::size_t to = n;
    if (n > 2) {
      const double even = (x - xs[0]) / (xs[n - 1] - xs[0]) * static_cast<double>(n - 1);
      if (even > 0 && even < static_cast<double>(n - 1)) {
        const std::size_t g = static_cast<std::size_t>(even);
        const std::size_t a = g >= 2 ? g - 2 : 0;
        const std::size_t b = std::min(n, g + 3);
        if (xs[a] <= x && (b == n || x < xs[b])) {
          from = a;
          to = b;
        }
      }
    }
    const std::size_t i = static_cast<std::size_t>(std::lower_bound(xs + from, xs + to, x) - xs);
    if (i == n) {
      best = n - 1;
    } else if (i == 0) {
      best = 0;
    } else {
      best = x - xs[i - 1] <= xs[i] - x ? i - 1 : i;
    }
  } else {
    double nearest = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (std::isnan(xs[i])) continue;
      const double d = std::abs(xs[i] - x);
      if (best == n || d < nearest) {
        best = i;
        nearest = d;
      }
    }
  }
  r.point = static_cast<long>(best) + 1;
  r.x = xs[best];
  for (int s = 1; s <= store.SeriesCount(); ++s) {
    r.values.push_back(store.HasY(s, r.point) ? std::optional(store.Y(s, r.point)) : std::nullopt);
  }
  return r;
}

std::vector<SpanStatistics> StatisticsOfSpan(const SeriesStore& store, double lo, double hi) {
  std::vector<SpanStatistics> out(static_cast<std::size_t>(store.SeriesCount()));
  const IndexRange range = IndicesWithin(store, lo, hi);
  const double* xs = store.XData();
  for (int s = 1; s <= store.SeriesCount(); ++s) {
    SpanStatistics& st = out[static_cast<std::size_t>(s - 1)];
    const double* ys = store.YData(s);
    const std::size_t end = std::min(range.last, static_cast<std::size_t>(store.PointCount(s)));
    double m2 = 0;  // sum of squared distances from the running mean (Welford)
    for (std::size_t i = range.first; i < end; ++i) {
      if (std::isnan(ys[i]) || !Within(xs[i], lo, hi)) continue;
      const double v = ys[i];
      ++st.count;
      if (st.count == 1 || v < st.min) {
        st.min = v;
        st.minX = xs[i];
      }
      if (st.count == 1 || v > st.max) {
        st.max = v;
        st.maxX = xs[i];
      }
      const double delta = v - st.mean;
      st.mean += delta / static_cast<double>(st.count);
      m2 += delta * (v - st.mean);
    }
    if (st.count > 0) st.stdDev = std::sqrt(m2 / static_cast<double>(st.count));
  }
  return out;
}

QString StatisticsText(const SeriesStore& store, double lo, double hi, const QStringList& labels,
                       const QString& unit) {
  if (hi < lo) std::swap(lo, hi);
  const QString tab = QStringLiteral("\t");
  QStringList lines;
  lines << QStringLiteral("表示範囲") + tab + ValueText(lo) + QStringLiteral(" ～ ") +
               ValueText(hi) + QStringLiteral(" 秒");
  lines << QStringList{QStringLiteral("系列"),
                       QStringLiteral("点数"),
                       QStringLiteral("最小 (%1)").arg(unit),
                       QStringLiteral("最小の時刻 (秒)"),
                       QStringLiteral("最大 (%1)").arg(unit),
                       QStringLiteral("最大の時刻 (秒)"),
                       QStringLiteral("平均 (%1)").arg(unit),
                       QStringLiteral("標準偏差 (%1)").arg(unit)}
               .join(tab);
  const std::vector<SpanStatistics> all = StatisticsOfSpan(store, lo, hi);
  for (int s = 1; s <= store.SeriesCount(); ++s) {
    if (store.DrawableCount(s) == 0) continue;  // a unit not in use
    const SpanStatistics& st = all[static_cast<std::size_t>(s - 1)];
    const QString label = s <= labels.size() ? labels.at(s - 1) : QStringLiteral("ID%1").arg(s - 1);
    if (st.count == 0) {
      lines << label + tab + QStringLiteral("0") + tab +
                   QStringLiteral("表示範囲にデータがありません");
      continue;
    }
    lines << QStringList{label,
                         QString::number(st.count),
                         ValueText(st.min),
                         ValueText(st.minX),
                         ValueText(st.max),
                         ValueText(st.maxX),
                         ValueText(st.mean),
                         QString::number(st.stdDev, 'f', 4)}
                 .join(tab);
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray SpanCsv(const SeriesStore& store, double lo, double hi, const QStringList& labels) {
  QStringList title{Quoted(QStringLiteral("開始からの経過時間（秒）"))};
  for (int s = 1; s <= store.SeriesCount(); ++s) {
    title << Quoted(s <= labels.size() ? labels.at(s - 1) : QStringLiteral("ID%1").arg(s - 1));
  }
  QByteArray out = EncodeCp932(title.join(QLatin1Char(','))) + "\r\n";
  const IndexRange range = IndicesWithin(store, lo, hi);
  const double* xs = store.XData();
  for (std::size_t i = range.first; i < range.last; ++i) {
    if (!Within(xs[i], lo, hi)) continue;
    const long point = static_cast<long>(i) + 1;
    QByteArray row = CsvDouble(xs[i]).toLatin1();
    for (int s = 1; s <= store.SeriesCount(); ++s) {
      const float v = store.HasY(s, point) ? static_cast<float>(store.Y(s, point)) : kNoReading;
      row += ',' + CsvSingle(v).toLatin1();
    }
    out += row + "\r\n";
  }
  return out;
}

}  // namespace larimo
