#include "run/buffer_forecast.h"

#include <algorithm>

namespace larimo {

BufferForecast ForecastFull(const ModuleData& d, const QDateTime& now) {
  BufferForecast f;
  const qint64 left = std::max<qint64>(kBufferSize - d.DataNum, 0);
  f.msLeft = left * std::max<qint64>(d.IntervalTM, 0);
  f.end = now.addMSecs(f.msLeft);
  return f;
}

QString ForecastText(const BufferForecast& f, const QDateTime& now) {
  const qint64 s = (f.msLeft + 999) / 1000;  // a part of a second still counts
  const QString left = QStringLiteral("%1:%2:%3")
                           .arg(s / 3600)
                           .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0'));
  // Another day's end to the minute: the line stays as short as today's.
  const QString end = f.end.toString(f.end.date() == now.date() ? QStringLiteral("H:mm:ss")
                                                                : QStringLiteral("M/d H:mm"));
  return QStringLiteral("満杯まで %1\n終了予定 %2").arg(left, end);
}

}  // namespace larimo
