#include "chart/ui/chart_interaction.h"

#include <algorithm>
#include <cmath>

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTimer>
#include <QWheelEvent>

#include "chart/chart_readings.h"
#include "chart/ui/chart2d.h"
#include "chart/ui/qcp.h"
#include "store/module_data.h"

namespace larimo {

namespace {

// One wheel notch narrows (or widens) the zoomed axis to this share.
constexpr double kZoomPerNotch = 0.8;
// A press that moves less than this many pixels is a click, not a drag.
constexpr int kDragThreshold = 3;
// Distance of the readout from the mouse.
constexpr int kReadoutOffset = 14;

const QString kNotice =
    QStringLiteral("拡大表示中：表示は測定に追従しません（ダブルクリックで元の表示に戻ります）");

QLabel* Overlay(QWidget* parent, const QString& style) {
  auto* label = new QLabel(parent);
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  label->setStyleSheet(style);
  label->hide();
  return label;
}

}  // namespace

ChartInteraction::ChartInteraction(Chart2D& chart) : QObject(&chart), chart_(chart) {
  QCustomPlot* plot = chart_.Plot();
  plot->setMouseTracking(true);
  plot->installEventFilter(this);
  // The cursor lives on the plot's own buffered top layer, so following the
  // mouse redraws that layer only, never the curves.
  cursor_ = new QCPItemStraightLine(plot);
  cursor_->setLayer(QStringLiteral("overlay"));
  cursor_->setPen(QPen(QColor(80, 80, 80), 0, Qt::DashLine));
  cursor_->setSelectable(false);
  cursor_->setVisible(false);
  readout_ = Overlay(plot, QStringLiteral("QLabel { background: rgba(255,255,255,230); "
                                          "border: 1px solid gray; padding: 3px; }"));
  readout_->setTextFormat(Qt::RichText);
  notice_ = Overlay(plot, QStringLiteral("QLabel { background: #fff3b0; border: 1px solid "
                                         "#c8a000; padding: 2px 6px; }"));
  notice_->setObjectName(QStringLiteral("followNotice"));
  notice_->setText(kNotice);
  band_ = new QRubberBand(QRubberBand::Rectangle, plot);
  connect(&chart_, &Chart2D::FollowingChanged, this,
          [this](bool follows) { ShowNotice(!follows); });
  // New samples or a new view move the nearest sample under a resting mouse.
  connect(plot, &QCustomPlot::afterReplot, this, &ChartInteraction::UpdateCursor,
          Qt::QueuedConnection);
}

void ChartInteraction::SetCursorShown(bool shown) {
  cursorAllowed_ = shown;
  if (!shown) {
    cursor_->setVisible(false);
    readout_->hide();
  }
}

bool ChartInteraction::eventFilter(QObject* watched, QEvent* event) {
  if (watched != chart_.Plot()) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      Pressed(static_cast<QMouseEvent*>(event));
      return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    case QEvent::MouseMove:
      Moved(static_cast<QMouseEvent*>(event));
      return drag_ != Drag::None;
    case QEvent::MouseButtonRelease:
      Released(static_cast<QMouseEvent*>(event));
      return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
      chart_.FollowProgram();
      return true;
    case QEvent::Wheel:
      Wheel(static_cast<QWheelEvent*>(event));
      return true;
    case QEvent::Leave:
      mouseInside_ = false;
      HideCursor();
      return false;
    case QEvent::ContextMenu:
      ShowMenu(static_cast<QContextMenuEvent*>(event)->pos());
      return true;
    case QEvent::Resize:
      ShowNotice(!chart_.FollowsProgram());
      return false;
    default:
      return false;
  }
}

void ChartInteraction::Pressed(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QCustomPlot* plot = chart_.Plot();
  const QPoint pos = event->position().toPoint();
  if (!plot->axisRect()->rect().contains(pos)) return;
  const Qt::KeyboardModifiers mods = event->modifiers();
  drag_ = mods.testFlag(Qt::ControlModifier) ? Drag::Span
          : mods.testFlag(Qt::ShiftModifier) ? Drag::PanValues
                                             : Drag::PanTime;
  dragFrom_ = pos;
  band_->setGeometry(QRect());  // a span is marked only by moving
  const QCPRange r = drag_ == Drag::PanValues ? plot->yAxis->range() : plot->xAxis->range();
  rangeFrom_[0] = r.lower;
  rangeFrom_[1] = r.upper;
}

void ChartInteraction::Moved(QMouseEvent* event) {
  mouse_ = event->position().toPoint();
  mouseInside_ = true;
  if (drag_ == Drag::None) {
    UpdateCursor();
    return;
  }
  HideCursor();
  QCustomPlot* plot = chart_.Plot();
  const QRect area = plot->axisRect()->rect();
  if (drag_ == Drag::Span) {
    const int left = std::clamp(std::min(dragFrom_.x(), mouse_.x()), area.left(), area.right());
    const int right = std::clamp(std::max(dragFrom_.x(), mouse_.x()), area.left(), area.right());
    band_->setGeometry(QRect(QPoint(left, area.top()), QPoint(right, area.bottom())));
    band_->show();
    return;
  }
  if ((mouse_ - dragFrom_).manhattanLength() < kDragThreshold) return;
  // The data under the mouse stays under it: the range moves by the
  // distance dragged, in the axis' own units at the range the drag began.
  const bool time = drag_ == Drag::PanTime;
  const double span = rangeFrom_[1] - rangeFrom_[0];
  const double pixels = time ? area.width() : area.height();
  if (pixels <= 0) return;
  const double moved = time ? dragFrom_.x() - mouse_.x() : mouse_.y() - dragFrom_.y();
  const double by = moved / pixels * span;
  chart_.SetUserRange(time ? Chart2D::Axis::X : Chart2D::Axis::Y, rangeFrom_[0] + by,
                      rangeFrom_[1] + by);
}

void ChartInteraction::Released(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || drag_ == Drag::None) return;
  const Drag was = drag_;
  drag_ = Drag::None;
  if (was != Drag::Span) return;
  band_->hide();
  const QRect picked = band_->geometry();
  if (picked.width() < kDragThreshold) return;
  QCPAxis* x = chart_.Plot()->xAxis;
  chart_.SetUserRange(Chart2D::Axis::X, x->pixelToCoord(picked.left()),
                      x->pixelToCoord(picked.right()));
}

void ChartInteraction::Wheel(QWheelEvent* event) {
  QCustomPlot* plot = chart_.Plot();
  const QPointF pos = event->position();
  if (!plot->axisRect()->rect().contains(pos.toPoint())) return;
  // Some platforms turn a vertical wheel into a horizontal one while Shift
  // is held.
  const QPoint delta = event->angleDelta();
  const double notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
  if (notches == 0) return;
  const bool values = event->modifiers().testFlag(Qt::ShiftModifier);
  QCPAxis* axis = values ? plot->yAxis : plot->xAxis;
  const double center = axis->pixelToCoord(values ? pos.y() : pos.x());
  const double factor = std::pow(kZoomPerNotch, notches);
  const QCPRange r = axis->range();
  chart_.SetUserRange(values ? Chart2D::Axis::Y : Chart2D::Axis::X,
                      center - (center - r.lower) * factor, center + (r.upper - center) * factor);
}

void ChartInteraction::ShowMenu(const QPoint& pos) {
  HideCursor();
  QMenu menu(chart_.Plot());
  chart_.FillMenu(menu);
  menu.exec(chart_.Plot()->mapToGlobal(pos));
}

void ChartInteraction::UpdateCursor() {
  QCustomPlot* plot = chart_.Plot();
  if (!cursorAllowed_ || !mouseInside_ || drag_ != Drag::None ||
      !plot->axisRect()->rect().contains(mouse_)) {
    HideCursor();
    return;
  }
  const SeriesStore& store = chart_.Points();
  const SampleReading r = NearestSample(store, plot->xAxis->pixelToCoord(mouse_.x()));
  if (r.point == 0) {
    HideCursor();
    return;
  }
  QStringList lines{QStringLiteral("経過時間 %1 秒").arg(QString::number(r.x, 'f', 3))};
  const QStringList labels = chart_.SeriesLabels();
  for (int s = 1; s <= store.SeriesCount(); ++s) {
    if (store.DrawableCount(s) == 0) continue;  // a unit not in use
    const std::optional<double>& v = r.values[static_cast<std::size_t>(s - 1)];
    const QString label = s <= labels.size() ? labels.at(s - 1) : QStringLiteral("ID%1").arg(s - 1);
    const QString value =
        v ? FormatValue(static_cast<Single>(*v)).trimmed() : QStringLiteral("---");
    lines << QStringLiteral("<span style=\"color:%1\">%2&nbsp;&nbsp;%3</span>")
                 .arg(chart_.SeriesColor(s).name(), label.toHtmlEscaped(), value);
  }
  readout_->setText(lines.join(QStringLiteral("<br>")));
  readout_->adjustSize();
  // Beside the mouse, turned to the other side near the plot's edges.
  const QRect area = plot->axisRect()->rect();
  QPoint at = mouse_ + QPoint(kReadoutOffset, kReadoutOffset);
  if (at.x() + readout_->width() > area.right())
    at.rx() = mouse_.x() - kReadoutOffset - readout_->width();
  if (at.y() + readout_->height() > area.bottom())
    at.ry() = mouse_.y() - kReadoutOffset - readout_->height();
  readout_->move(at);
  readout_->show();
  readout_->raise();

  const bool moved = !cursor_->visible() || cursor_->point1->coords().x() != r.x;
  cursor_->point1->setCoords(r.x, 0);
  cursor_->point2->setCoords(r.x, 1);
  cursor_->setVisible(true);
  if (moved) cursor_->layer()->replot();
}

void ChartInteraction::HideCursor() {
  readout_->hide();
  if (!cursor_->visible()) return;
  cursor_->setVisible(false);
  cursor_->layer()->replot();
}

void ChartInteraction::ShowNotice(bool shown) {
  if (!shown) {
    notice_->hide();
    return;
  }
  const QRect area = chart_.Plot()->axisRect()->rect();
  notice_->adjustSize();
  notice_->move(area.left() + 6, area.top() + 6);
  notice_->show();
  notice_->raise();
}

}  // namespace larimo
