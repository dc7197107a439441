#pragma once
// The application's one data store: measurement settings, the four unit
// records with their reading buffers, the run state and the memo lines, and
// the small routines that keep ranges and extremes consistent.
//
// The program creates exactly one ModuleData and hands a reference to every
// window and routine; tests create their own. Everything runs on the
// user-interface thread; there is no locking.

#include <array>
#include <vector>

#include <QString>

#include "store/vb_types.h"

namespace larimo {

inline constexpr int kUnitCount = 4;
inline constexpr Long kBufferSize = 88000;  // readings per unit in one run
inline constexpr Single kNoReading = -999.0f;

struct UnitData {
  std::vector<Single> Values;  // kBufferSize elements once InitDataBuffers ran
  Single MaxValue = 0;
  Single MinValue = 0;
  Boolean Mflag = kFalse;  // unit in use
  Integer Connect = 0;     // 0 = 2-wire, 1 = 3-wire, 2 = 4-wire
  Long Count = 0;
};

struct AvgAccum {
  Long Num = 0;
  double Sum = 0;
};

class ModuleData {
 public:
  // Measurement settings.
  Boolean TimerType = kFalse;  // True: seconds, single-sample mode
  Long IntervalTM = 0;         // milliseconds
  Boolean MeasKind = kFalse;   // False: Pt100 in degrees C, True: ohms
  Boolean DataAverage = kFalse;
  Long AverageNum = 1;  // derived, see CalcAverageNum

  std::array<UnitData, kUnitCount> Units{};

  // Run state.
  Long DataNum = 0;
  Boolean Measuring = kFalse;
  Long TickCount = 0;
  QString StartTime;
  Single DataMax = 0;
  Single DataMin = 0;
  Single AxisYMax = 0;
  Single AxisYMin = 0;
  std::array<AvgAccum, kUnitCount> AvgWork{};
  Long Timer1Count = 0;
  Long Timer1Ticks = 0;
  Long Timer1Interval = 0;

  std::array<QString, 5> Memo{};

  // Dimensions the four buffers (all elements 0). Called once at start-up.
  void InitDataBuffers();
  // Forgets all readings and resets extremes and counters.
  void ClearData();
  void ClearMemo();
  void ClearAvgWork();
  // Recomputes AverageNum from DataAverage, TimerType and IntervalTM. Never
  // yields less than 1, so an averaging cycle never divides by zero.
  void CalcAverageNum();

  // Folds reading n (index n-1) of every unit in use into its extremes.
  void UpdateMinMax(Long n);
  // Recomputes DataMax/DataMin from the extremes of the units in use that
  // hold a reading (Count >= 1).
  void CalcDataRange();
  // Widens DataMax/DataMin by those units' extremes without restarting.
  void MergeDataRange();
  // Widens AxisYMax/AxisYMin to whole hundreds enclosing DataMax/DataMin.
  // Returns 1 (upper moved), 2 (lower), 3 (both) or 0.
  Integer FitAxisY();
  // The Y fit of one cycle: at the first sample both ends go to the whole
  // hundreds around the data (returns 3), later only FitAxisY widens them.
  Integer FitAxisYToSample(bool first);

  // Makes `to` a copy of this store except for the reading buffers, which
  // keep what they held: for a read into a second store that replaces this
  // one only when it succeeds, without copying readings it clears anyway.
  // This store is left as it was.
  void CopyAllButReadingsTo(ModuleData& to);

  // Lower and upper end of the measuring range of the current kind.
  Single RangeLow() const;
  Single RangeHigh() const;
};

// A reading as "###0.000", right-aligned in 10 characters.
QString FormatValue(Single value);

// The name of a wiring code: "2線式", "3線式", anything else "4線式".
QString ConnectName(Integer code);

// The two rounding rules of the Y axis: the next hundred strictly above v,
// and the hundred at or below v. Values far outside the float range of a
// reading are clamped first so the result stays finite.
Single UpperHundred(Single v);
Single LowerHundred(Single v);

// Rounds to the nearest integer, halves to the even neighbour (the rule the
// settings and timers use for every division).
Long RoundHalfEven(double v);

}  // namespace larimo
