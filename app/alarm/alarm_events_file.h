#pragma once
// The events of a run as CSV: a header line "elapsed_s,time,unit,event,
// value,limit", then one line per event: elapsed seconds, the wall-clock
// time in ISO 8601 with its offset, "ID0".."ID3", "high", "low", "sensor" or
// "clear", the reading, and the limit crossed (empty for a sensor fault).
// ASCII, LF line ends.
//
// A run saved as NAME.rk0 or NAME.csv keeps its events beside it as
// NAME.events.csv, and so does the run journal while a run is measured.

#include <vector>

#include <QByteArray>
#include <QString>

#include "alarm/alarm_monitor.h"

namespace larimo {

inline constexpr char kEventsHeader[] = "elapsed_s,time,unit,event,value,limit\n";

// A wall-clock time as ISO 8601 with its offset: "2026-12-09T16:01:02+09:00".
QString EventTimeText(const QDateTime& t);

// NAME.events.csv beside NAME.rk0 (or any other ending).
QString EventsPathFor(const QString& dataFile);

// One event as its line (with the line end).
QByteArray EventLine(const AlarmEvent& e);
// The header and every event.
QByteArray EventsBytes(const std::vector<AlarmEvent>& events);

// Writes the events to path atomically (the header alone when there are
// none). False with *error (a sentence for the user) on failure.
bool SaveEventsFile(const QString& path, const std::vector<AlarmEvent>& events, QString* error);
// The events of a run just saved as dataFile: written beside it, or, when the
// run has none, an events file of an earlier run of that name removed.
bool SaveEventsBeside(const QString& dataFile, const std::vector<AlarmEvent>& events,
                      QString* error);

struct EventsRead {
  std::vector<AlarmEvent> events;
  bool found = false;  // the file exists
  int skipped = 0;     // lines that are no event (a torn last line is not counted)
  QString error;       // the file could not be read
};
EventsRead ReadEventsFile(const QString& path);

}  // namespace larimo
