#pragma once
// What the mouse does on the chart: a cursor that follows it and reads each
// curve's value at the nearest sample, zooming with the wheel around the
// mouse (time; with Shift the values), panning by dragging (time; with
// Shift the values), a time span picked with Ctrl+drag, the context menu,
// and a double-click that returns to the program's view. While a view of
// the user's stands, a notice on the plot says that the chart does not
// follow the run.
//
// Nothing here changes the chart while the mouse is not used.

#include <QObject>
#include <QPoint>

class QLabel;
class QMouseEvent;
class QRubberBand;
class QWheelEvent;
class QCPItemStraightLine;

namespace larimo {

class Chart2D;

class ChartInteraction : public QObject {
  Q_OBJECT
 public:
  // Installs itself on the chart's plot; owned by the chart.
  explicit ChartInteraction(Chart2D& chart);

  // Hides the cursor and its readout (while a picture is made) or lets
  // them show again.
  void SetCursorShown(bool shown);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Pressed(QMouseEvent* event);
  void Moved(QMouseEvent* event);
  void Released(QMouseEvent* event);
  void Wheel(QWheelEvent* event);
  void ShowMenu(const QPoint& pos);
  // The cursor at the sample nearest to the mouse, or hidden when the mouse
  // is off the plot area.
  void UpdateCursor();
  void HideCursor();
  void ShowNotice(bool shown);

  enum class Drag { None, PanTime, PanValues, Span };

  Chart2D& chart_;
  QCPItemStraightLine* cursor_ = nullptr;
  QLabel* readout_ = nullptr;
  QLabel* notice_ = nullptr;
  QRubberBand* band_ = nullptr;
  bool cursorAllowed_ = true;
  bool mouseInside_ = false;
  QPoint mouse_;  // last position of the mouse on the plot
  Drag drag_ = Drag::None;
  QPoint dragFrom_;
  double rangeFrom_[2] = {0, 0};  // the dragged axis' range when the drag began
};

}  // namespace larimo
