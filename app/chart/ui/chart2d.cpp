#include "chart/ui/chart2d.h"

#include <array>
#include <cmath>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include "chart/ui/chart_interaction.h"
#include "chart/ui/png_bytes.h"
#include "chart/ui/qcp.h"
#include "chart/ui/store_curve.h"

#include "chart/marker_policy.h"
#include "files/atomic_write.h"

namespace larimo {

namespace {

// One colour per unit for the whole program run: ID0 to ID3.
const std::array<QColor, 4> kSeriesColors = {QColor(220, 0, 0), QColor(0, 140, 0),
                                             QColor(0, 0, 230), QColor(200, 0, 200)};

QColor ColorOf(int series) { return kSeriesColors[static_cast<std::size_t>((series - 1) % 4)]; }

QCPScatterStyle MarkerStyle(bool shown) {
  return shown ? QCPScatterStyle(QCPScatterStyle::ssCircle, kMarkerSize) : QCPScatterStyle();
}

}  // namespace

Chart2D::Chart2D(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_);

  plot_->setNoAntialiasingOnDrag(true);
  plot_->setPlottingHint(QCP::phCacheLabels, true);
  plot_->plotLayout()->insertRow(0);
  header_ = new QCPTextElement(plot_, QString(), QFont(font().family(), font().pointSize()));
  plot_->plotLayout()->addElement(0, 0, header_);

  plot_->legend->setVisible(true);
  plot_->legend->setBrush(QBrush(Qt::white));
  plot_->legend->setBorderPen(QPen(Qt::gray));
  plot_->legend->setIconSize(24, 10);
  // The legend sits in a column of its own right of the plot, so it never
  // hides a curve.
  auto* legendBox = new QCPLayoutGrid;
  plot_->plotLayout()->addElement(1, 1, legendBox);
  legendBox->addElement(0, 0, plot_->legend);
  legendBox->addElement(1, 0, new QCPLayoutElement(plot_));  // pushes the legend to the top
  legendBox->setRowStretchFactor(0, 0.01);
  plot_->plotLayout()->setColumnStretchFactor(1, 0.01);
  plot_->legend->setMargins(QMargins(4, 4, 4, 4));
  legendBox->setAutoMargins(QCP::msNone);
  legendBox->setMargins(QMargins(0, 8, 8, 0));  // clear of the widget's edge

  plot_->xAxis->grid()->setVisible(true);
  plot_->yAxis->grid()->setVisible(true);
  plot_->xAxis2->setVisible(true);
  plot_->yAxis2->setVisible(true);
  plot_->xAxis2->setTickLabels(false);
  plot_->yAxis2->setTickLabels(false);
  connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_->xAxis2,
          qOverload<const QCPRange&>(&QCPAxis::setRange));
  connect(plot_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_->yAxis2,
          qOverload<const QCPRange&>(&QCPAxis::setRange));
  // Every drawing lays the plot out first; a new size of the plot area (the
  // window was resized) decides the symbols again before they are drawn.
  connect(plot_, &QCustomPlot::afterLayout, this, [this] { DecideMarkers(); });
  for (Axis a : {Axis::X, Axis::Y}) {
    program_[static_cast<std::size_t>(a)] = {AxisOf(a)->range().lower, AxisOf(a)->range().upper};
  }
  interaction_ = new ChartInteraction(*this);
}

Chart2D::~Chart2D() {
  // The mouse handling watches the plot's events, which go on while the
  // widget's children are taken down: it goes first.
  delete interaction_;
}

void Chart2D::SetIsBatched(bool batched) {
  batched_ = batched;
  Changed();
}

void Chart2D::SetDataUpdatesSuspended(bool suspended) {
  dataSuspended_ = suspended;
  Changed();
}

void Chart2D::SetSeriesCount(int n) {
  if (n < 0) n = 0;
  if (n == store_.SeriesCount() && static_cast<std::size_t>(n) == curves_.size()) return;
  store_.SetSeriesCount(n);
  while (curves_.size() > static_cast<std::size_t>(n)) {
    plot_->removePlottable(curves_.back());
    curves_.pop_back();
  }
  while (curves_.size() < static_cast<std::size_t>(n)) {
    const int series = static_cast<int>(curves_.size()) + 1;
    curves_.push_back(new StoreCurve(plot_->xAxis, plot_->yAxis, store_, series));
  }
  drawn_.resize(static_cast<std::size_t>(n), 0);
  SetLineAndSymbolStyle();
  ApplyLabels();
  Changed();
}

void Chart2D::SetLineAndSymbolStyle() {
  for (std::size_t i = 0; i < curves_.size(); ++i) {
    StoreCurve* c = curves_[i];
    QPen pen(ColorOf(static_cast<int>(i) + 1));
    pen.setWidth(1);
    c->setPen(pen);
    c->SetScatterStyle(MarkerStyle(markers_));
  }
  Changed();
}

const StoreCurve* Chart2D::Curve(int series) const {
  if (series < 1 || static_cast<std::size_t>(series) > curves_.size()) return nullptr;
  return curves_[static_cast<std::size_t>(series - 1)];
}

void Chart2D::SetPointCount(int series, long n) {
  store_.SetPointCount(series, n);
  Changed();
}

void Chart2D::SetX(long point, double x) {
  store_.SetX(point, x);
  Changed();
}

void Chart2D::SetY(int series, long point, double y) {
  store_.SetY(series, point, y);
  Changed();
}

void Chart2D::ReplaceAllPoints(long n, double xPerPoint, const std::vector<const float*>& ys,
                               float missing) {
  store_.ReplaceAll(n, xPerPoint, ys, missing);
  Changed();
}

void Chart2D::UnsetY(int series, long point) {
  store_.UnsetY(series, point);
  Changed();
}

QCPAxis* Chart2D::AxisOf(Axis axis) const { return axis == Axis::X ? plot_->xAxis : plot_->yAxis; }

void Chart2D::SetAxisTitle(Axis axis, const QString& title) {
  AxisOf(axis)->setLabel(title);
  Changed();
}

QString Chart2D::AxisTitle(Axis axis) const { return AxisOf(axis)->label(); }

void Chart2D::SetAxisRange(Axis axis, double min, double max) {
  // QCPRange orders its ends itself; an empty span is widened a little so
  // the axis stays drawable.
  if (!std::isfinite(min) || !std::isfinite(max)) return;
  if (min == max) max = min + 1;
  program_[static_cast<std::size_t>(axis)] = {min, max};
  if (user_[static_cast<std::size_t>(axis)]) return;  // kept for FollowProgram
  AxisOf(axis)->setRange(min, max);
  Changed();
}

void Chart2D::SetUserRange(Axis axis, double min, double max) {
  if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) return;
  const bool followed = FollowsProgram();
  user_[static_cast<std::size_t>(axis)] = true;
  AxisOf(axis)->setRange(min, max);
  if (followed) Q_EMIT FollowingChanged(false);
  Changed();
}

void Chart2D::FollowProgram() {
  const bool batched = batched_;
  batched_ = true;  // drawn once, below
  FollowProgram(Axis::X);
  FollowProgram(Axis::Y);
  batched_ = batched;
  Changed();
}

void Chart2D::FollowProgram(Axis axis) {
  const std::size_t i = static_cast<std::size_t>(axis);
  if (!user_[i]) return;
  user_[i] = false;
  AxisOf(axis)->setRange(program_[i].min, program_[i].max);
  if (FollowsProgram()) Q_EMIT FollowingChanged(true);
  Changed();
}

void Chart2D::AddMenuEntry(const QString& text, std::function<void()> run) {
  menuEntries_.push_back({text, std::move(run)});
}

double Chart2D::AxisMin(Axis axis) const { return AxisOf(axis)->range().lower; }
double Chart2D::AxisMax(Axis axis) const { return AxisOf(axis)->range().upper; }

void Chart2D::SetHeaderText(const QString& text) {
  header_->setText(text);
  Changed();
}

QString Chart2D::HeaderText() const { return header_->text(); }

void Chart2D::ClearSeriesLabels() {
  labels_.clear();
  ApplyLabels();
  Changed();
}

void Chart2D::AddSeriesLabel(const QString& label) {
  labels_.append(label);
  ApplyLabels();
  Changed();
}

QColor Chart2D::SeriesColor(int series) const { return ColorOf(series); }

void Chart2D::SetLimitLines(int series, const std::vector<double>& values) {
  if (series < 1) return;
  if (limitLines_.size() < static_cast<std::size_t>(series)) limitLines_.resize(series);
  std::vector<QCPAbstractItem*>& lines = limitLines_[static_cast<std::size_t>(series - 1)];
  for (QCPAbstractItem* item : lines) plot_->removeItem(item);
  lines.clear();
  for (double v : values) {
    auto* line = new QCPItemStraightLine(plot_);
    line->setPen(QPen(ColorOf(series), 1, Qt::DashLine));
    line->point1->setCoords(0, v);
    line->point2->setCoords(1, v);
    line->setSelectable(false);
    lines.push_back(line);
  }
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

int Chart2D::LimitLineCount(int series) const {
  return series >= 1 && limitLines_.size() >= static_cast<std::size_t>(series)
             ? static_cast<int>(limitLines_[static_cast<std::size_t>(series - 1)].size())
             : 0;
}

void Chart2D::ApplyLabels() {
  for (std::size_t i = 0; i < curves_.size(); ++i) {
    StoreCurve* g = curves_[i];
    const bool labelled = static_cast<qsizetype>(i) < labels_.size();
    g->setName(labelled ? labels_.at(static_cast<qsizetype>(i)) : QString());
    if (labelled) {
      g->addToLegend();
    } else {
      g->removeFromLegend();
    }
  }
}

void Chart2D::Reset() {
  const bool batched = batched_;
  batched_ = true;  // drawn once, below
  FollowProgram();
  batched_ = batched;
  Publish();
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void Chart2D::RedrawNow() {
  Publish();
  plot_->replot(QCustomPlot::rpImmediateRefresh);
}

void Chart2D::Changed() {
  if (batched_ || dataSuspended_) return;
  Publish();
  // One drawing per event-loop pass, however many changes a cycle makes.
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void Chart2D::Publish() {
  for (std::size_t i = 0; i < drawn_.size(); ++i) {
    drawn_[i] = store_.DrawableCount(static_cast<int>(i) + 1);
  }
  DecideMarkers();
}

void Chart2D::DecideMarkers() {
  const QCPRange r = plot_->xAxis->range();
  const long visible = store_.PointsWithin(r.lower, r.upper);
  // Before the chart was first laid out on screen its plot area is unknown;
  // most of the widget's width is a fair stand-in.
  int pixels = plot_->axisRect()->width();
  if (pixels <= 0 || !plot_->isVisible()) pixels = width() * 4 / 5;
  const bool show = MarkersVisible(visible, pixels);
  if (show == markers_) return;
  markers_ = show;
  for (StoreCurve* c : curves_) c->SetScatterStyle(MarkerStyle(show));
}

int Chart2D::DrawnPointCount(int series) const {
  if (series < 1 || static_cast<std::size_t>(series) > drawn_.size()) return 0;
  return static_cast<int>(drawn_[static_cast<std::size_t>(series - 1)]);
}

bool Chart2D::ExportSvg(const QString& fileName, QSize size) {
  if (size.isEmpty()) size = plot_->size();
  if (size.isEmpty()) size = QSize(800, 560);
  const QByteArray svg = Picture(PictureFormat::Svg, size);
  QFile file(fileName);
  if (svg.isEmpty() || !file.open(QIODevice::WriteOnly)) return false;
  return file.write(svg) == svg.size() && file.flush();
}

bool Chart2D::PaintVector(QPaintDevice* device, QSize size) {
  QCPPainter painter;
  if (!painter.begin(device)) return false;
  painter.setMode(QCPPainter::pmVectorized);
  painter.setMode(QCPPainter::pmNoCaching);
  plot_->toPainter(&painter, size.width(), size.height());
  return painter.end();
}

QByteArray Chart2D::Picture(PictureFormat format, QSize size) {
  if (size.isEmpty()) return {};
  interaction_->SetCursorShown(false);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  bool ok = false;
  if (format == PictureFormat::Png) {
    bytes = PngBytes(plot_->toPixmap(size.width(), size.height(), 1.0).toImage());
    ok = !bytes.isEmpty();
  } else if (format == PictureFormat::Svg) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(header_->text());
    ok = PaintVector(&svg, size);
  } else {
    QPdfWriter pdf(&buffer);
    // One point per pixel, the page exactly the picture.
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(header_->text());
    pdf.setCreator(QStringLiteral("Larimo"));
    ok = PaintVector(&pdf, size);
  }
  interaction_->SetCursorShown(true);
  plot_->replot(QCustomPlot::rpQueuedReplot);  // laid out for the screen again
  return ok ? bytes : QByteArray();
}

bool Chart2D::SavePicture(const QString& fileName, QSize size, QString* error) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  PictureFormat format = PictureFormat::Png;
  if (suffix == QStringLiteral("svg")) {
    format = PictureFormat::Svg;
  } else if (suffix == QStringLiteral("pdf")) {
    format = PictureFormat::Pdf;
  } else if (suffix != QStringLiteral("png")) {
    if (error)
      *error = QStringLiteral("画像の形式はファイル名の拡張子 .png、.svg、.pdf で指定して下さい。");
    return false;
  }
  const QByteArray bytes = Picture(format, size);
  if (bytes.isEmpty()) {
    if (error) *error = QStringLiteral("グラフの画像を作成できませんでした。");
    return false;
  }
  return WriteFileAtomically(fileName, bytes, error);
}

}  // namespace larimo
