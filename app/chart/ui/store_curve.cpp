#include "chart/ui/store_curve.h"

#include <algorithm>
#include <cmath>

#include "chart/curve_sampler.h"

namespace larimo {

namespace {

// Pixel coordinates far outside the plot are brought in to this bound: the
// raster painter slows down or misdraws with huge coordinates, and a point
// this far off lies outside the picture either way.
constexpr double kPixelBound = 1.0e6;

bool InSign(double v, QCP::SignDomain domain) {
  switch (domain) {
    case QCP::sdNegative:
      return v < 0;
    case QCP::sdPositive:
      return v > 0;
    default:
      return true;
  }
}

}  // namespace

StoreCurve::StoreCurve(QCPAxis* keyAxis, QCPAxis* valueAxis, const SeriesStore& store, int series)
    : QCPAbstractPlottable(keyAxis, valueAxis), store_(store), series_(series) {
  setSelectable(QCP::stNone);
  setBrush(Qt::NoBrush);
}

double StoreCurve::selectTest(const QPointF&, bool, QVariant*) const { return -1; }

QCPRange StoreCurve::getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain) const {
  return RangeOf([](const SeriesStore::Point& p) { return p.x; }, inSignDomain, QCPRange(),
                 foundRange);
}

QCPRange StoreCurve::getValueRange(bool& foundRange, QCP::SignDomain inSignDomain,
                                   const QCPRange& inKeyRange) const {
  return RangeOf([](const SeriesStore::Point& p) { return p.y; }, inSignDomain, inKeyRange,
                 foundRange);
}

template <class Coordinate>
QCPRange StoreCurve::RangeOf(Coordinate coordinate, QCP::SignDomain domain, const QCPRange& keys,
                             bool& found) const {
  const bool anyKey = keys == QCPRange();
  QCPRange range;
  found = false;
  for (const SeriesStore::Point& p : store_.DrawablePoints(series_)) {
    const double v = coordinate(p);
    if (!InSign(v, domain) || (!anyKey && !keys.contains(p.x))) continue;
    range = found ? QCPRange(std::min(range.lower, v), std::max(range.upper, v)) : QCPRange(v, v);
    found = true;
  }
  return range;
}

void StoreCurve::draw(QCPPainter* painter) {
  QCPAxis* key = keyAxis();
  QCPAxis* value = valueAxis();
  if (!key || !value) return;
  const QCPRange view = key->range();
  const int columns =
      key->orientation() == Qt::Horizontal ? key->axisRect()->width() : key->axisRect()->height();
  SampleCurve(store_, series_, view.lower, view.upper, columns, points_);
  if (points_.empty()) return;

  pixels_.resize(static_cast<qsizetype>(points_.size()));
  for (std::size_t i = 0; i < points_.size(); ++i) {
    const QPointF p = coordsToPixels(points_[i].x, points_[i].y);
    pixels_[static_cast<qsizetype>(i)] = QPointF(std::clamp(p.x(), -kPixelBound, kPixelBound),
                                                 std::clamp(p.y(), -kPixelBound, kPixelBound));
  }

  applyDefaultAntialiasingHint(painter);
  QPen linePen = pen();
  // On screen a one-pixel pen is drawn cosmetic: the same look, far faster.
  if (!painter->modes().testFlag(QCPPainter::pmVectorized) && qFuzzyCompare(linePen.widthF(), 1.0))
    linePen.setWidth(0);
  painter->setPen(linePen);
  painter->setBrush(Qt::NoBrush);
  if (pixels_.size() >= 2)
    painter->drawPolyline(pixels_.constData(), static_cast<int>(pixels_.size()));

  if (!scatter_.isNone()) {
    applyScattersAntialiasingHint(painter);
    scatter_.applyTo(painter, pen());
    for (const QPointF& p : pixels_) scatter_.drawShape(painter, p);
  }
}

void StoreCurve::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
  applyDefaultAntialiasingHint(painter);
  painter->setPen(pen());
  painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right() + 1, rect.center().y()));
  if (!scatter_.isNone()) {
    applyScattersAntialiasingHint(painter);
    scatter_.applyTo(painter, pen());
    scatter_.drawShape(painter, rect.center());
  }
}

}  // namespace larimo
