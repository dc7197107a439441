#pragma once
// The chart of the main window: four curves against the time since Start,
// with a header, axis titles and the series labels as its legend.
//
// The program drives it as a passive component: it sets point counts, the
// shared X values and the Y of each point, and tells it which ranges to
// show; the chart never picks its own ranges. Points whose Y was never set
// are not drawn (the curve joins its neighbours). Drawing is batched: while
// drawing or data updates are suspended, changes are collected, and
// resuming draws once.
//
// The chart holds the points once, in its point store, and draws each curve
// straight from it: handing over points costs only the store's writes, and
// a drawing costs one pass over the points in view, thinned per pixel
// column where dense. Symbols are drawn only while the points in view lie
// far enough apart to be told from each other at the plot's present size.
//
// The user may look closer (chart_interaction.h): a view of the user's own
// stands in place of the ranges the program sets, which are kept and shown
// again when the user returns to them (FollowProgram).

#include <array>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "chart/series_store.h"
#include "run/chart_feed.h"

class QCustomPlot;
class QCPAbstractItem;
class QCPTextElement;
class QCPAxis;
class QPaintDevice;
class QMenu;

namespace larimo {

class ChartInteraction;
class StoreCurve;

class Chart2D : public QWidget {
  Q_OBJECT
 public:
  enum class Axis { X, Y };

  explicit Chart2D(QWidget* parent = nullptr);
  ~Chart2D() override;

  // Drawing suspension: while true, changes are collected; false draws once.
  void SetIsBatched(bool batched);
  bool IsBatched() const { return batched_; }
  // Data-update suspension of the plotting passes.
  void SetDataUpdatesSuspended(bool suspended);
  bool DataUpdatesSuspended() const { return dataSuspended_; }

  void SetSeriesCount(int n);
  // Every series as a line through its points with a symbol at each point
  // (symbols while the points can be told apart), in the series' colour.
  void SetLineAndSymbolStyle();
  int SeriesCount() const { return store_.SeriesCount(); }
  // Series and points count from 1.
  void SetPointCount(int series, long n);
  long PointCount(int series) const { return store_.PointCount(series); }
  void SetX(long point, double x);
  void SetY(int series, long point, double y);
  void UnsetY(int series, long point);
  // Replaces the points of every series in one pass (SeriesStore::ReplaceAll).
  void ReplaceAllPoints(long n, double xPerPoint, const std::vector<const float*>& ys,
                        float missing);
  const SeriesStore& Points() const { return store_; }

  void SetAxisTitle(Axis axis, const QString& title);
  QString AxisTitle(Axis axis) const;
  // The range the program wants shown; while the user's own view of that
  // axis stands it is kept for FollowProgram() instead.
  void SetAxisRange(Axis axis, double min, double max);
  // The range shown.
  double AxisMin(Axis axis) const;
  double AxisMax(Axis axis) const;

  // The user's own view of an axis (zoom, pan, a span picked with the
  // mouse): shown at once, and the program's ranges no longer move it.
  void SetUserRange(Axis axis, double min, double max);
  // Drops the user's view (of one axis): the axes show the program's
  // ranges again.
  void FollowProgram();
  void FollowProgram(Axis axis);
  bool FollowsProgram() const { return !user_[0] && !user_[1]; }

  // The chart's context menu: its own entries, then those added here.
  void FillMenu(QMenu& menu);
  void AddMenuEntry(const QString& text, std::function<void()> run);

  void SetHeaderText(const QString& text);
  QString HeaderText() const;

  void ClearSeriesLabels();
  void AddSeriesLabel(const QString& label);
  QStringList SeriesLabels() const { return labels_; }
  QColor SeriesColor(int series) const;
  // Horizontal dashed lines in the series' colour at these values (none:
  // the series' lines go).
  void SetLimitLines(int series, const std::vector<double>& values);
  int LimitLineCount(int series) const;

  // Returns the view to what the program set (ranges, no pending state, no
  // view of the user's) and draws it.
  void Reset();

  // Writes the chart's picture to fileName as a vector picture (SVG) of
  // the given size in pixels (the widget's size when empty). False when the
  // file could not be written.
  bool ExportSvg(const QString& fileName, QSize size = {});
  // The chart's picture as the screen shows it, without the mouse cursor,
  // at the given size in pixels (PDF: points); empty when it could not be
  // made.
  enum class PictureFormat { Png, Svg, Pdf };
  QByteArray Picture(PictureFormat format, QSize size);
  // Writes Picture() to fileName, whole or not at all, in the format its
  // suffix names (png, svg or pdf). False with *error (a sentence for the
  // user) on failure.
  bool SavePicture(const QString& fileName, QSize size, QString* error);

  // What the chart showed when drawing last resumed, for callers that check
  // the look: the number of drawable points of a series (changes made while
  // suspended are not counted yet), and whether symbols are on.
  int DrawnPointCount(int series) const;
  bool MarkersShown() const { return markers_; }
  // Draws at once (the queued redraw otherwise happens when the event loop
  // next runs).
  void RedrawNow();
  QCustomPlot* Plot() const { return plot_; }
  // The curve of a series (from 1), or null.
  const StoreCurve* Curve(int series) const;

 Q_SIGNALS:
  // The user's view was taken up (false) or dropped (true).
  void FollowingChanged(bool follows);

 private:
  QCPAxis* AxisOf(Axis axis) const;
  // Draws the chart onto a vector device (SVG, PDF) at the given size.
  bool PaintVector(QPaintDevice* device, QSize size);
  // Records what the next drawing shows and decides the symbols.
  void Publish();
  void DecideMarkers();
  void ApplyLabels();
  // Draws when nothing is suspended.
  void Changed();

  QCustomPlot* plot_ = nullptr;
  QCPTextElement* header_ = nullptr;
  SeriesStore store_;
  std::vector<StoreCurve*> curves_;  // owned by the plot
  std::vector<long> drawn_;
  QStringList labels_;
  bool batched_ = false;
  bool dataSuspended_ = false;
  bool markers_ = true;
  std::vector<std::vector<QCPAbstractItem*>> limitLines_;  // per series, owned by the plot
  struct Range {
    double min = 0;
    double max = 5;
  };
  std::array<Range, 2> program_;  // the program's ranges of X and Y
  std::array<bool, 2> user_{};    // the user's own view of X and Y stands
  struct MenuEntry {
    QString text;
    std::function<void()> run;
  };
  std::vector<MenuEntry> menuEntries_;
  ChartInteraction* interaction_ = nullptr;
};

// The chart as the run's chart feed reaches it.
class Chart2DSink final : public ChartSink {
 public:
  explicit Chart2DSink(Chart2D& chart) : chart_(chart) {}
  void SetDataUpdatesSuspended(bool suspended) override {
    chart_.SetDataUpdatesSuspended(suspended);
  }
  void SetSeriesCount(int n) override { chart_.SetSeriesCount(n); }
  long PointCount(int series) const override { return chart_.PointCount(series); }
  void SetPointCount(int series, long n) override { chart_.SetPointCount(series, n); }
  void SetX(long point, double x) override { chart_.SetX(point, x); }
  void SetY(int series, long point, double y) override { chart_.SetY(series, point, y); }
  void UnsetY(int series, long point) override { chart_.UnsetY(series, point); }
  void ReplaceAllPoints(long n, double xPerPoint, const std::vector<const float*>& ys,
                        float missing) override {
    chart_.ReplaceAllPoints(n, xPerPoint, ys, missing);
  }
  void SetAxisRange(ChartAxis axis, double min, double max) override {
    chart_.SetAxisRange(AxisOf(axis), min, max);
  }
  void SetAxisTitle(ChartAxis axis, const QString& title) override {
    chart_.SetAxisTitle(AxisOf(axis), title);
  }
  void SetHeaderText(const QString& text) override { chart_.SetHeaderText(text); }
  void SetSeriesLabels(const QStringList& labels) override {
    chart_.ClearSeriesLabels();
    for (const QString& l : labels) chart_.AddSeriesLabel(l);
  }

 private:
  static Chart2D::Axis AxisOf(ChartAxis axis) {
    return axis == ChartAxis::X ? Chart2D::Axis::X : Chart2D::Axis::Y;
  }
  Chart2D& chart_;
};

}  // namespace larimo
