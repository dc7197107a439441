#include "datalist/list_placement.h"

#include <algorithm>

namespace larimo {

std::optional<QPoint> PlaceBeside(const QRect& main, const QSize& size, const QRect& screen) {
  if (size.height() > screen.height()) return std::nullopt;
  // Top edge level with the main window's, moved up just enough to stay on
  // the screen.
  const int top = std::clamp(main.top(), screen.top(), screen.bottom() + 1 - size.height());
  const int right = main.right() + 1;
  if (right >= screen.left() && right + size.width() <= screen.right() + 1) {
    return QPoint(right, top);
  }
  const int left = main.left() - size.width();
  if (left >= screen.left() && main.left() <= screen.right() + 1) return QPoint(left, top);
  return std::nullopt;
}

}  // namespace larimo
