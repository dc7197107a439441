#pragma once
// The options of a chart picture made from the command line: its size as
// "WIDTHxHEIGHT" in pixels and the span of time shown as "FROM:TO" in
// seconds since Start.

#include <QString>

namespace larimo {

struct PictureSize {
  int width = 0;
  int height = 0;
};
struct TimeSpan {
  double from = 0;
  double to = 0;
};

// The largest side a picture may have.
inline constexpr int kMaxPictureSide = 20000;

// False for text that is no such size (both sides 16 to kMaxPictureSide).
bool ParsePictureSize(const QString& text, PictureSize& out);
// False for text that is no such span (two finite numbers, FROM < TO).
bool ParseTimeSpan(const QString& text, TimeSpan& out);

}  // namespace larimo
