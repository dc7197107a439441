#include "run/chart_view.h"

#include <algorithm>

namespace larimo {

bool ChartView::UpdateViewX(Long dataNum) {
  switch (ScrollMode) {
    case kShowAll: {
      AxisXStart = 1;
      if (dataNum <= AxisXEnd) return false;
      // A block cycle can bring more samples than one step: step on until
      // the newest sample is in view.
      const Long step = dataNum < 100 ? 10 : dataNum < 1000 ? 100 : dataNum < 10000 ? 1000 : 10000;
      while (dataNum > AxisXEnd) {
        AxisXWidth += step;
        AxisXEnd = AxisXWidth;
      }
      return true;
    }
    case kAutoScroll: {
      if (dataNum <= AxisXEnd) return false;
      const Long jump = std::max<Long>(1, AxisXWidth / 2);
      while (dataNum > AxisXEnd) {
        AxisXStart += jump;
        AxisXEnd = AxisXStart + AxisXWidth - 1;
      }
      return true;
    }
    default:
      return false;
  }
}

void ChartView::SelectScrollMode(Integer index, bool measuring, Long dataNum, Long selectedWidth) {
  const Integer old = ScrollMode;
  ScrollMode = index;
  switch (index) {
    case kShowAll:
      AxisXStart = 1;
      if (measuring) {
        const Long step = dataNum >= 1000 ? 1000 : 100;
        AxisXWidth = dataNum <= 100 ? 100 : (dataNum / step + 1) * step;
      } else {
        AxisXWidth = dataNum < 1 ? 100 : dataNum;
      }
      AxisXEnd = AxisXWidth;
      break;
    case kAutoScroll:
      AxisXWidth = selectedWidth;
      if (measuring) {
        const Long half = AxisXWidth / 2;
        if (dataNum > AxisXWidth && half > 0) {
          AxisXStart = (dataNum / half) * half;
          AxisXEnd = AxisXStart + AxisXWidth;
        } else {
          AxisXEnd = AxisXWidth;
        }
      }
      break;
    default:
      if (old == kShowAll) AxisXStart = 1;
      AxisXWidth = selectedWidth;
      AxisXEnd = AxisXStart + AxisXWidth - 1;
      break;
  }
}

bool ChartView::SelectWidth(Long width, bool measuring, Long dataNum) {
  if (width == AxisXWidth) return false;
  AxisXWidth = width;
  if (measuring && ScrollMode == kAutoScroll) {
    if (AxisXStart <= 1) {
      AxisXEnd = width;
    } else {
      AxisXStart = width > 0 ? (dataNum / width) * width : AxisXStart;
      AxisXEnd = AxisXStart + width - 1;
    }
  } else {
    AxisXEnd = AxisXStart + width - 1;
  }
  return true;
}

bool ChartView::ScrollLeft(Long selectedWidth) {
  if (ScrollMode != kManualScroll) return false;
  AxisXWidth = selectedWidth;
  AxisXStart -= AxisXWidth / 2;
  if (AxisXStart <= 1) AxisXStart = 1;
  AxisXEnd = AxisXStart + AxisXWidth - 1;
  return true;
}

bool ChartView::ScrollRight(Long selectedWidth, Long dataNum) {
  if (ScrollMode != kManualScroll) return false;
  AxisXWidth = selectedWidth;
  const Long half = AxisXWidth / 2;
  if (AxisXStart > dataNum - half) return false;
  AxisXStart += half;
  AxisXEnd = AxisXStart + AxisXWidth - 1;
  return true;
}

void ChartView::ResetForRun(Long selectedWidth) {
  AxisXStart = 1;
  AxisXWidth = ScrollMode == kShowAll ? 100 : selectedWidth;
  AxisXEnd = AxisXWidth;
}

Long WidthEntry(int index) {
  if (index < 0 || index >= kWidthEntries) return 0;
  Long scale = 10;
  for (int i = 0; i < index / 9; ++i) scale *= 10;
  return static_cast<Long>(index % 9 + 1) * scale;
}

}  // namespace larimo
