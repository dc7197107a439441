#pragma once
// Loading a run into the data in memory, from a measurement file or from a
// journal a crashed program left behind. The run is read into a second
// store that carries the current settings; only a load that found at least
// one row trades places with the data in memory, so any other leaves the
// data, the settings and the chart as they were.

#include <optional>
#include <vector>

#include <QString>

#include "files/measurement_file.h"
#include "run/journal.h"
#include "store/module_data.h"

namespace larimo {

// What a load found.
struct LoadedRun {
  bool loaded = false;  // the run is now the data in memory
  ReadResult read;      // what the file's reader found (a file load)
  // Units (0..3) whose wiring code was none of 0..2; they now use 4-wire,
  // which is what the legend and the settings show for such a code.
  std::vector<int> invalidWiring;
};

// The wiring a code outside 0..2 is shown as and loaded as (4-wire).
inline constexpr Integer kFallbackWiring = 2;

// Asks before a load replaces data in memory, then lets the user choose
// the measurement file; nullopt when the user said No or cancelled.
std::optional<QString> ChooseRunFile(const ModuleData& data);
// Whether the program may end: refused (with a message) while a run goes
// on; otherwise the user is asked, and Yes lets the journal go.
bool MayEnd(const ModuleData& data, bool measuring, Journal& journal);

// Reads file `name` into `spare` and, with at least one row, makes it the
// data in memory (the journal lets go of the run it replaced). Nothing is
// shown: TellLoad tells the user.
LoadedRun LoadRunFile(ModuleData& data, ModuleData& spare, Journal& journal, const QString& name);
// Offers the runs left in journals (see Journal::Recover) and makes the one
// the user restores the data in memory.
LoadedRun LoadRunJournal(ModuleData& data, ModuleData& spare, Journal& journal);
// Tells the user what the load of file `name` found, in the order the file
// gives it: a failure, its version, whether it holds all of its rows, no
// rows, wiring codes that were invalid.
void TellLoad(const LoadedRun& run, const QString& name);

// The notice of wiring codes that were invalid, naming the units.
QString InvalidWiringText(const std::vector<int>& units);

}  // namespace larimo
