#pragma once
// Routines that act on all units in use at once through a device table, the texts of the library's
// result codes, and the pacing of single-sample mode.

#include <optional>
#include <vector>

#include <QString>

#include "device/device_table.h"
#include "store/module_data.h"

namespace larimo {

// The application's own code: no unit is in use.
inline constexpr Integer kNoUnitInUse = 10;

// A unit that failed and the library's result code. Unit -1 with
// kNoUnitInUse: no unit is in use.
struct UnitFailure {
  Integer unit = -1;
  Integer code = 0;
  friend bool operator==(const UnitFailure&, const UnitFailure&) = default;
};

// These routines show nothing: the caller decides what the user is told.
// Opens every unit in use; on a failure closes the units opened so far and
// returns it.
std::optional<UnitFailure> OpenUnits(const DeviceTable& dev, ModuleData& d);
// Starts the timed sampling of every unit in use; returns the first failure.
std::optional<UnitFailure> StartUnits(const DeviceTable& dev, ModuleData& d, Integer rate);
// What one single-sample cycle did.
struct CycleResult {
  bool stored = false;                // every unit in use gave its reading
  std::vector<UnitFailure> failures;  // each unit that failed, in order
};
// One sampling cycle of single-sample mode: AverageNum readings per unit in
// use, their mean stored at index DataNum. Not stored when any unit failed,
// no unit is in use or there is no room.
CycleResult SampleUnits(const DeviceTable& dev, ModuleData& d);
void CloseUnits(const DeviceTable& dev, const ModuleData& d);
// Shows a failure: the text of its code and a second line naming the unit
// (title kDeviceTitle, OK, no icon); no unit in use has its own message.
// kLibraryNotBound was shown when it happened and is not shown again.
void ShowUnitFailure(const UnitFailure& f);
QString DeviceErrorText(Integer code);
// Works out Timer1Interval and Timer1Ticks from IntervalTM.
bool CalcTimer1(ModuleData& d);

}  // namespace larimo
