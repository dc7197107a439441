#pragma once
// Limit alarms: a low and a high limit per unit (either may be off), a
// hysteresis and a delay, in the unit of the data (degrees C for Pt100, ohms
// for resistance). Two sets are kept, one per kind of measurement, so
// switching the kind never applies a temperature limit to a resistance.
//
// The limits live in the stored settings (organisation "Dravel",
// application "Larimo") in a group of their own, "Alarm", beside the
// measuring settings, whose keys they leave alone.

#include <array>
#include <optional>

#include <QString>

#include "store/module_data.h"

namespace larimo {

struct UnitLimits {
  std::optional<double> low;
  std::optional<double> high;
  bool Any() const { return low.has_value() || high.has_value(); }
};

struct AlarmLimits {
  std::array<UnitLimits, kUnitCount> unit{};
  // How far back inside its limit a value must come before the alarm clears.
  double hysteresis = 0;
  // How long (elapsed run time, seconds) a condition must last before its
  // alarm rises.
  double delaySeconds = 0;
};

struct AlarmSettings {
  AlarmLimits pt100;
  AlarmLimits ohm;
  // Repeat a sound while a unit is in alarm until the user acknowledges it.
  bool sound = false;

  AlarmLimits& For(bool ohms) { return ohms ? ohm : pt100; }
  const AlarmLimits& For(bool ohms) const { return ohms ? ohm : pt100; }
};

// Which value of a set of limits is wrong, for a message and the field that
// keeps the focus.
struct LimitsProblem {
  enum class Field { None, Low, High, Hysteresis, Delay };
  Field field = Field::None;
  int unit = -1;  // -1: a value common to all units
  QString message;
  explicit operator bool() const { return field != Field::None; }
};

// Checks a set of limits for the units in use of d: low not above high, a
// hysteresis from 0 up to the narrowest band, a delay not negative, finite
// values, and no limit on a unit not in use when `unitsInUseOnly`.
LimitsProblem CheckLimits(const AlarmLimits& limits, const ModuleData& d, bool unitsInUseOnly);

// A reading no probe can give: no reading at all, or a value pinned at the
// ends of the conversion (0 or 391 ohms, and their temperatures) that an
// open or shorted probe produces.
bool IsSensorFault(Single value, bool ohms);

// The stored limits; missing or unreadable keys leave limits off, the
// hysteresis and the delay at 0 and the sound off.
AlarmSettings LoadAlarmSettings();
// Writes the limits; false when the store could not be written.
bool SaveAlarmSettings(const AlarmSettings& s);

}  // namespace larimo
