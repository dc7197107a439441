#pragma once
// Where the data list opens: beside the main window, so that it covers
// neither the chart nor the buttons.

#include <optional>

#include <QPoint>
#include <QRect>
#include <QSize>

namespace larimo {

// The top-left corner for a window of `size` (frame included) right of the
// main window's frame `main`, or else left of it, top edges aligned and kept
// on `screen` (the available area). Nothing when it fits on neither side;
// the window system then places it.
std::optional<QPoint> PlaceBeside(const QRect& main, const QSize& size, const QRect& screen);

}  // namespace larimo
