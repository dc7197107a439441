#include "chart/move_window_steps.h"

#include "store/module_data.h"

namespace larimo {

MoveSteps CalcMoveSteps(double widthTwips, double heightTwips) {
  return {RoundHalfEven(widthTwips / 5), RoundHalfEven(heightTwips / 5)};
}

TwipPoint MoveTarget(int index, double leftTwips, double topTwips, MoveSteps steps) {
  TwipPoint p{RoundHalfEven(leftTwips), RoundHalfEven(topTwips)};
  switch (index) {
    case kMoveLeft:
      p.x -= steps.x;
      break;
    case kMoveRight:
      p.x += steps.x;
      break;
    case kMoveUp:
      p.y -= steps.y;
      break;
    case kMoveDown:
      p.y += steps.y;
      break;
    case kMoveHome:
      p = {0, 0};
      break;
    default:
      break;
  }
  return p;
}

TwipScale TwipScale::AtDpi(double dpi) { return {dpi > 0 ? 1440.0 / dpi : 15.0}; }

int TwipScale::ToPixels(double twips) const {
  return static_cast<int>(RoundHalfEven(twips / twipsPerPixel));
}

}  // namespace larimo
