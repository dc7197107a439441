#pragma once
// Where the window-move tool puts the main window. Everything here is in
// twips, the window system's unit of the tool: 1440 to the inch, so 15 to a
// pixel at 96 dpi.

#include "store/vb_types.h"

namespace larimo {

// The five buttons of the tool, by index.
enum MoveButton : int { kMoveLeft = 0, kMoveRight = 1, kMoveUp = 2, kMoveDown = 3, kMoveHome = 4 };

struct MoveSteps {
  Long x = 0;  // a fifth of the main window's width
  Long y = 0;  // a fifth of its height
};

struct TwipPoint {
  Long x = 0;
  Long y = 0;
};

// The steps for a main window of the given outer size, each rounded to the
// nearest whole twip (halves to the even neighbour).
MoveSteps CalcMoveSteps(double widthTwips, double heightTwips);

// The new top left corner of a main window whose corner is at (left, top)
// after button `index`: one step left, right, up or down, or the screen's
// origin. There is no bound; an unknown index leaves the window where it is.
TwipPoint MoveTarget(int index, double leftTwips, double topTwips, MoveSteps steps);

// Conversion between twips and the pixels of a screen.
struct TwipScale {
  double twipsPerPixel = 15;

  // The scale of a screen of dpi logical dots per inch (96 dpi: 15 twips).
  static TwipScale AtDpi(double dpi);
  double ToTwips(int pixels) const { return pixels * twipsPerPixel; }
  // Whole pixels, the nearest (halves to the even neighbour).
  int ToPixels(double twips) const;
};

}  // namespace larimo
