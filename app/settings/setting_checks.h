#pragma once
// The rules of the settings dialog as plain functions, so they can be
// checked without a window: how an interval entry is read, its limits in
// each mode, and how a wiring code maps to its list entry.

#include <optional>

#include <QString>

#include "store/vb_types.h"

namespace larimo {

// The entry of an interval box as a whole number: a decimal number (blanks
// around it allowed), a fraction rounded to the nearest whole number with
// halves to the even neighbour. nullopt for an empty box, text that is not a
// number, and numbers outside the 32-bit range.
std::optional<Long> EntryToWhole(const QString& text);

// Limits of the interval in milliseconds.
inline constexpr Long kMinIntervalMs = 10;              // milliseconds mode: 1 step of 10 ms
inline constexpr Long kMaxIntervalMs = 100000;          // milliseconds mode: 10,000 steps
inline constexpr Long kMinIntervalSec = 1000;           // seconds mode without averaging
inline constexpr Long kMinIntervalSecAveraged = 10000;  // seconds mode with averaging
inline constexpr Long kMaxIntervalSec = 65535000;       // seconds mode: 65,535 s

// The interval in milliseconds that an entry gives, or nullopt when the
// entry is invalid. seconds: the entry counts whole seconds, else steps of
// 10 ms. averaging raises the seconds-mode minimum to 10 s. A product that
// does not fit a signed 32-bit integer is invalid.
std::optional<Long> IntervalFromEntry(bool seconds, const QString& entry, bool averaging);

// The text an interval box shows for IntervalTM: whole seconds in seconds
// mode (1000 gives "1"), steps of 10 ms otherwise (250 gives "25"); a value
// that does not divide evenly shows its fraction.
QString IntervalEntryText(bool seconds, Long intervalMs);

// True when intervalMs is what the settings dialog would accept for the
// mode: its entry, read back, gives the same interval. An interval from a
// file or the stored settings that the dialog would refuse (outside the
// limits, or not a whole number of seconds in seconds mode) is false.
bool IntervalIsValid(bool seconds, Long intervalMs, bool averaging);

// List index of a wiring code: 0, 1, 2 as they are; any other code (from a
// file or the stored settings) is listed as 4-wire, as the rest of the
// program names it.
int ConnectListIndex(Integer connect);

}  // namespace larimo
