#pragma once
// The chart's view state and the rules by which the X window follows a run
// or the user's scroll and width choices. Counted in samples (from 1); the
// window turns them into seconds when it sets the axis.
//
// Plain arithmetic without widgets, so the rules can be checked without a
// window. Each routine returns true when the caller has to set the X axis.

#include "store/vb_types.h"

namespace larimo {

enum ScrollModes : Integer { kShowAll = 0, kAutoScroll = 1, kManualScroll = 2 };
enum ScaleYModes : Integer { kScaleAuto = 0, kScaleFixed = 1 };

struct ChartView {
  Long AxisXStart = 1;
  Long AxisXEnd = 100;
  Long AxisXWidth = 100;
  Integer ScrollMode = kShowAll;
  Integer ScaleYMode = kScaleAuto;

  // Moves or grows the window after new samples were stored.
  bool UpdateViewX(Long dataNum);
  // The user picked scroll mode index; selectedWidth is the width list's value.
  void SelectScrollMode(Integer index, bool measuring, Long dataNum, Long selectedWidth);
  // A new width was picked in the list.
  bool SelectWidth(Long width, bool measuring, Long dataNum);
  // "←" and "→" of manual scrolling.
  bool ScrollLeft(Long selectedWidth);
  bool ScrollRight(Long selectedWidth, Long dataNum);
  // Window of a new run or replay (start 1, width by mode).
  void ResetForRun(Long selectedWidth);
};

// The 36 entries of the width list: j x 10^i for i = 1..4, j = 1..9.
inline constexpr int kWidthEntries = 36;
Long WidthEntry(int index);

// The shown range of the X axis in seconds for samples first..last.
inline double SampleSeconds(Long intervalTM, Long sample) {
  return static_cast<double>(intervalTM) / 1000.0 * static_cast<double>(sample);
}

}  // namespace larimo
