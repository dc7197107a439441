#pragma once
// When the buffer of a running measurement will be full: the time left and
// the clock time the run ends at, so that a short run (14.7 minutes at
// 10 ms) does not end by surprise.

#include <QDateTime>
#include <QString>

#include "store/module_data.h"

namespace larimo {

struct BufferForecast {
  qint64 msLeft = 0;  // measured time until kBufferSize samples are stored
  QDateTime end;      // now + msLeft
};

// The forecast for the run in `d` at `now` (one sample per IntervalTM).
BufferForecast ForecastFull(const ModuleData& d, const QDateTime& now);

// Two lines for the window: "満杯まで H:MM:SS" and "終了予定 H:MM:SS", the
// end with its date ("M/d H:MM") when it is not today.
QString ForecastText(const BufferForecast& f, const QDateTime& now);

}  // namespace larimo
