#include "chart/picture_options.h"

#include <cmath>

#include <QStringList>

namespace larimo {

bool ParsePictureSize(const QString& text, PictureSize& out) {
  const QStringList parts = text.trimmed().toLower().split(QLatin1Char('x'));
  if (parts.size() != 2) return false;
  bool okW = false;
  bool okH = false;
  const int w = parts[0].toInt(&okW);
  const int h = parts[1].toInt(&okH);
  if (!okW || !okH || w < 16 || h < 16 || w > kMaxPictureSide || h > kMaxPictureSide) return false;
  out = {w, h};
  return true;
}

bool ParseTimeSpan(const QString& text, TimeSpan& out) {
  const QStringList parts = text.trimmed().split(QLatin1Char(':'));
  if (parts.size() != 2) return false;
  bool okFrom = false;
  bool okTo = false;
  const double from = parts[0].toDouble(&okFrom);
  const double to = parts[1].toDouble(&okTo);
  if (!okFrom || !okTo || !std::isfinite(from) || !std::isfinite(to) || !(from < to)) return false;
  out = {from, to};
  return true;
}

}  // namespace larimo
