#include "chart/series_store.h"

#include <algorithm>
#include <cmath>

#include "store/float_scan.h"

namespace larimo {

namespace {
constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
}

void SeriesStore::SetSeriesCount(int n) {
  series_.resize(static_cast<std::size_t>(std::max(n, 0)));
}

bool SeriesStore::HasX(std::size_t i) const { return i < x_.size() && !std::isnan(x_[i]); }

void SeriesStore::SetPointCount(int series, long n) {
  if (!ValidSeries(series) || n < 0) return;
  Series& s = series_[static_cast<std::size_t>(series - 1)];
  const std::size_t size = static_cast<std::size_t>(n);
  if (size < s.y.size()) {
    for (std::size_t i = size; i < s.y.size(); ++i) {
      if (!std::isnan(s.y[i]) && HasX(i)) --s.drawable;
    }
    s.y.resize(size);
    TrimX();
  } else if (size > s.y.size()) {
    s.y.resize(size, kUnset);  // new points have no Y and draw nothing
  }
  EnsureX(size);
}

long SeriesStore::PointCount(int series) const {
  return ValidSeries(series)
             ? static_cast<long>(series_[static_cast<std::size_t>(series - 1)].y.size())
             : 0;
}

void SeriesStore::SetX(long point, double x) {
  if (point < 1) return;
  const std::size_t i = static_cast<std::size_t>(point - 1);
  EnsureX(i + 1);
  if (x_[i] == x || (std::isnan(x) && std::isnan(x_[i]))) return;
  const bool had = !std::isnan(x_[i]);
  x_[i] = x;
  const bool has = !std::isnan(x);
  if (had != has) {
    for (Series& s : series_) {
      if (i < s.y.size() && !std::isnan(s.y[i])) s.drawable += has ? 1 : -1;
    }
  }
  if (has && (lastSet_ == npos || i > lastSet_)) {
    // Appending: only the neighbour below decides the order.
    if (lastSet_ != npos && !(x_[lastSet_] < x)) xRising_ = false;
    if (i > (lastSet_ == npos ? 0 : lastSet_ + 1)) xHoles_ = true;
    lastSet_ = i;
  } else {
    Recheck();
  }
}

double SeriesStore::X(long point) const {
  if (point < 1 || static_cast<std::size_t>(point) > x_.size()) return kUnset;
  return x_[static_cast<std::size_t>(point - 1)];
}

void SeriesStore::SetY(int series, long point, double y) {
  if (!std::isfinite(y)) {
    UnsetY(series, point);
    return;
  }
  if (!ValidSeries(series) || point < 1) return;
  Series& s = series_[static_cast<std::size_t>(series - 1)];
  const std::size_t i = static_cast<std::size_t>(point - 1);
  if (i >= s.y.size()) return;  // beyond the point count: the chart ignores it
  if (std::isnan(s.y[i]) && HasX(i)) ++s.drawable;
  s.y[i] = y;
}

void SeriesStore::UnsetY(int series, long point) {
  if (!ValidSeries(series) || point < 1) return;
  Series& s = series_[static_cast<std::size_t>(series - 1)];
  const std::size_t i = static_cast<std::size_t>(point - 1);
  if (i >= s.y.size() || std::isnan(s.y[i])) return;
  if (HasX(i)) --s.drawable;
  s.y[i] = kUnset;
}

bool SeriesStore::HasY(int series, long point) const { return !std::isnan(Y(series, point)); }

double SeriesStore::Y(int series, long point) const {
  if (!ValidSeries(series) || point < 1) return kUnset;
  const Series& s = series_[static_cast<std::size_t>(series - 1)];
  const std::size_t i = static_cast<std::size_t>(point - 1);
  return i < s.y.size() ? s.y[i] : kUnset;
}

const double* SeriesStore::YData(int series) const {
  return ValidSeries(series) ? series_[static_cast<std::size_t>(series - 1)].y.data() : nullptr;
}

void SeriesStore::Clear() {
  for (Series& s : series_) {
    s.y.clear();
    s.drawable = 0;
  }
  x_.clear();
  Recheck();
}

long SeriesStore::DrawableCount(int series) const {
  return ValidSeries(series) ? series_[static_cast<std::size_t>(series - 1)].drawable : 0;
}

std::vector<SeriesStore::Point> SeriesStore::DrawablePoints(int series) const {
  std::vector<Point> out;
  if (!ValidSeries(series)) return out;
  const Series& s = series_[static_cast<std::size_t>(series - 1)];
  out.reserve(static_cast<std::size_t>(s.drawable));
  for (std::size_t i = 0; i < s.y.size(); ++i) {
    if (!std::isnan(s.y[i]) && HasX(i)) out.push_back({x_[i], s.y[i]});
  }
  return out;
}

long SeriesStore::PointsWithin(double lo, double hi) const {
  if (hi < lo) std::swap(lo, hi);
  if (lastSet_ == npos) return 0;
  auto end = x_.begin() + static_cast<std::ptrdiff_t>(lastSet_ + 1);
  if (XOrdered()) {
    auto first = std::lower_bound(x_.begin(), end, lo);
    auto last = std::upper_bound(first, end, hi);
    return static_cast<long>(last - first);
  }
  return static_cast<long>(
      std::count_if(x_.begin(), end, [&](double v) { return v >= lo && v <= hi; }));
}

void SeriesStore::EnsureX(std::size_t size) {
  if (x_.size() < size) x_.resize(size, kUnset);
}

void SeriesStore::TrimX() {
  std::size_t most = 0;
  for (const Series& s : series_) most = std::max(most, s.y.size());
  if (most >= x_.size()) return;
  x_.resize(most);
  if (lastSet_ != npos && lastSet_ >= most) Recheck();
}

void SeriesStore::ReplaceAll(long n, double xPerPoint, const std::vector<const float*>& ys,
                             float missing) {
  const std::size_t size = static_cast<std::size_t>(std::max(n, 0L));
  x_.resize(size);
  FillMultiples(xPerPoint, size, x_.data());
  const bool xAllSet = !std::isnan(xPerPoint);
  if (std::isfinite(xPerPoint) && xPerPoint > 0) {
    // Every X set and rising: the order facts follow without a scan.
    xRising_ = true;
    xHoles_ = false;
    lastSet_ = size > 0 ? size - 1 : npos;
  } else {
    Recheck();
  }
  for (std::size_t si = 0; si < series_.size(); ++si) {
    Series& s = series_[si];
    s.y.resize(size);
    const float* v = si < ys.size() ? ys[si] : nullptr;
    if (!v) {
      std::fill(s.y.begin(), s.y.end(), kUnset);
      s.drawable = 0;
      continue;
    }
    long drawable = WidenKeeping(v, size, missing, s.y.data());
    // An X that is not a number leaves every point undrawable.
    if (!xAllSet) drawable = 0;
    s.drawable = drawable;
  }
}

void SeriesStore::Recheck() {
  xRising_ = true;
  xHoles_ = false;
  lastSet_ = npos;
  bool gap = false;
  for (std::size_t i = 0; i < x_.size(); ++i) {
    if (std::isnan(x_[i])) {
      gap = true;
      continue;
    }
    if (lastSet_ != npos && !(x_[lastSet_] < x_[i])) xRising_ = false;
    if (gap) xHoles_ = true;
    lastSet_ = i;
  }
}

}  // namespace larimo
