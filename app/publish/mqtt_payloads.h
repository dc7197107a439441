#pragma once
// The messages a run is published as (the README lists them as a stable
// interface): plain functions from the publisher's copy of a run to bytes.

#include <array>
#include <cstddef>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "store/module_data.h"

namespace larimo {

// One stored row: the reading of each unit, NaN where a unit in use has no
// reading (or the unit is not in use).
using PublishedRow = std::array<Single, kUnitCount>;

// What the messages say about the run itself, taken when it starts.
struct PublishedRun {
  QDateTime start;  // local time, held at its offset from UTC
  Long intervalMs = 0;
  bool ohm = false;
  std::array<bool, kUnitCount> inUse{};
  std::array<Integer, kUnitCount> wiring{};  // 0 = 2-wire, 1 = 3-wire, 2 = 4-wire
  std::array<QString, 5> memos{};

  static PublishedRun From(const ModuleData& d);
};

// Row k of the store as published: a reading the unit does not have yet,
// the no-reading mark and anything not finite become NaN.
PublishedRow RowOf(const ModuleData& d, Long k);

// ISO 8601 with the offset from UTC: 2026-12-09T15:57:37+09:00; with
// milliseconds when they are not zero.
QString IsoTime(const QDateTime& t);

// PREFIX/run: {"start", "interval_s", "kind", "units": [{"unit", "wiring"}],
// "memos", "state"}.
QByteArray RunPayload(const PublishedRun& run, bool measuring);

// PREFIX/samples: {"run", "first", "interval_s", "time", "ID<n>": [...]}
// for rows first .. first+count-1; one list per unit in use, null for a
// missing reading.
QByteArray SamplesPayload(const PublishedRun& run, Long first, const PublishedRow* rows,
                          std::size_t count);

// PREFIX/ID<n>/value: the reading as a JSON number.
QByteArray ValuePayload(Single v);

}  // namespace larimo
