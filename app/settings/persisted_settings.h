#pragma once
// The measurement settings kept between runs of the program, in QSettings
// (organisation "Dravel", application "Larimo", group "MeasInfo"): twelve
// text keys "MflagID0".."MflagID3", "ConnectID0".."ConnectID3",
// "TimerType", "IntervalTM", "MeasKind", "DataAverage". Flags are written
// "True"/"False"; numbers in decimal.

#include "store/module_data.h"

namespace larimo {

// Reads the twelve keys into the settings of d and recomputes AverageNum.
// A missing key, or a stored text that cannot be converted, yields the key's
// default: ID0 in use, ID1..ID3 not, all 2-wire, seconds mode, 1000 ms,
// Pt100, no averaging.
void LoadSettings(ModuleData& d);

// Writes the twelve keys from the settings of d (the "測定条件保存" button).
// Returns false when the store could not be written.
bool SaveSettings(const ModuleData& d);

}  // namespace larimo
