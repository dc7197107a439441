#pragma once
// When the chart draws a symbol at each point. Symbols help only while they
// can be told apart; on a dense curve they merge into a thick band that
// costs most of the drawing time and shows nothing the line does not.

namespace larimo {

// Symbol diameter in pixels, and the least distance between two points (in
// pixels along X) at which their symbols still read as separate points.
inline constexpr int kMarkerSize = 5;
inline constexpr double kMarkerMinSpacing = 4.0;

// visiblePoints: points of one series inside the shown X range;
// plotPixels: width of the plot area in device pixels.
inline bool MarkersVisible(long visiblePoints, double plotPixels) {
  if (visiblePoints <= 1) return true;
  return plotPixels / static_cast<double>(visiblePoints - 1) >= kMarkerMinSpacing;
}

}  // namespace larimo
