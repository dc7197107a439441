#pragma once
// Routines that act on all units in use at once through a device table, the texts of the library's
// result codes, and the pacing of single-sample mode.

#include <QString>

#include "store/module_data.h"
#include "device/device_table.h"

namespace larimo {

// The application's own code: no unit is in use.
inline constexpr Integer kNoUnitInUse = 10;

// Opens every unit in use; on a failure shows it, closes the units opened
// so far and returns the code. 10 (with a message) when no unit is in use.
Integer OpenUnits(const DeviceTable& dev, ModuleData& d);
// Starts the timed sampling of every unit in use; the first failure is shown
// and returned. 10 (silently) when no unit is in use.
Integer StartUnits(const DeviceTable& dev, ModuleData& d, Integer rate);
// One sampling cycle of single-sample mode: AverageNum readings per unit in
// use, their mean stored at index DataNum. Returns false when any unit
// failed in the cycle (each failure was shown) or no unit is in use.
bool SampleUnits(const DeviceTable& dev, ModuleData& d);
void CloseUnits(const DeviceTable& dev, const ModuleData& d);
// Shows the text of a result code (title "QuenzelApp", OK, no icon).
// kLibraryNotBound was shown when it happened and is not shown again.
void ShowDeviceError(Integer code);
QString DeviceErrorText(Integer code);
// Works out Timer1Interval and Timer1Ticks from IntervalTM.
bool CalcTimer1(ModuleData& d);

}  // namespace larimo
