#pragma once
// One curve of the chart, drawn straight from the chart's point store: a
// line through the series' drawable points in view (thinned per pixel
// column where dense), with a symbol at each point when symbols are on.
// Nothing is copied into the plot; each drawing reads the store as it is.

#include <vector>

#include <QVector>

#include "chart/series_store.h"
#include "chart/ui/qcp.h"

namespace larimo {

class StoreCurve final : public QCPAbstractPlottable {
 public:
  // series counts from 1; the store must outlive the curve.
  StoreCurve(QCPAxis* keyAxis, QCPAxis* valueAxis, const SeriesStore& store, int series);

  void SetScatterStyle(const QCPScatterStyle& style) { scatter_ = style; }
  const QCPScatterStyle& ScatterStyle() const { return scatter_; }
  // The points the last drawing handed to the painter, in data coordinates.
  const std::vector<SeriesStore::Point>& LastDrawn() const { return points_; }

  double selectTest(const QPointF& pos, bool onlySelectable,
                    QVariant* details = nullptr) const override;
  QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
  QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                         const QCPRange& inKeyRange = QCPRange()) const override;

 protected:
  void draw(QCPPainter* painter) override;
  void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

 private:
  // The range of one coordinate over the drawable points whose coordinate
  // lies in the sign domain and whose X lies within `keys` (any X when
  // `keys` is the empty default range).
  template <class Coordinate>
  QCPRange RangeOf(Coordinate coordinate, QCP::SignDomain domain, const QCPRange& keys,
                   bool& found) const;

  const SeriesStore& store_;
  int series_;
  QCPScatterStyle scatter_;
  std::vector<SeriesStore::Point> points_;
  QVector<QPointF> pixels_;
};

}  // namespace larimo
