#include "store/module_data.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace larimo {

void ModuleData::InitDataBuffers() {
  for (UnitData& u : Units) u.Values.assign(kBufferSize, 0.0f);
}

Single ModuleData::RangeLow() const { return IsSet(MeasKind) ? 0.0f : -200.0f; }
Single ModuleData::RangeHigh() const { return IsSet(MeasKind) ? 400.0f : 850.0f; }

void ModuleData::ClearData() {
  // The overall extremes start at the opposite ends of the kind's range, the
  // unit extremes at the range ends themselves.
  DataMax = RangeLow();
  DataMin = RangeHigh();
  for (UnitData& u : Units) {
    u.MaxValue = RangeHigh();
    u.MinValue = RangeLow();
    u.Count = 0;
    if (u.Values.size() != static_cast<size_t>(kBufferSize)) u.Values.resize(kBufferSize);
    std::fill(u.Values.begin(), u.Values.end(), kNoReading);
  }
  DataNum = 0;
  Measuring = kFalse;
  TickCount = 0;
  StartTime = QString(19, QLatin1Char(' '));
  ClearAvgWork();
}

void ModuleData::CopyAllButReadingsTo(ModuleData& to) {
  if (&to == this) return;
  std::array<std::vector<Single>, kUnitCount> mine;
  std::array<std::vector<Single>, kUnitCount> theirs;
  for (size_t u = 0; u < Units.size(); ++u) {
    mine[u].swap(Units[u].Values);
    theirs[u].swap(to.Units[u].Values);
  }
  to = *this;  // the buffers are empty on both sides now
  for (size_t u = 0; u < Units.size(); ++u) {
    Units[u].Values.swap(mine[u]);
    to.Units[u].Values.swap(theirs[u]);
  }
}

void ModuleData::ClearMemo() {
  for (QString& m : Memo) m.clear();
}

void ModuleData::ClearAvgWork() {
  for (AvgAccum& a : AvgWork) a = AvgAccum{};
}

void ModuleData::CalcAverageNum() {
  if (!IsTrue(DataAverage)) {
    AverageNum = 1;
  } else if (IsTrue(TimerType)) {
    AverageNum = 100;
  } else {
    AverageNum = std::max<Long>(1, RoundHalfEven(IntervalTM / 10.0));
  }
}

QString FormatValue(Single value) {
  // A Single is formatted from its shortest decimal form (at most 9
  // significant digits, usually 7), not from its exact binary value: 123456.7f
  // is 123456.703125 in binary but reads "123456.700".
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const double shortest = std::strtod(std::string(digits, end).c_str(), nullptr);
  QString s = QString::number(shortest, 'f', 3);
  if (s == QLatin1String("-0.000")) s = QStringLiteral("0.000");
  if (s.size() < 10) s = s.rightJustified(10, QLatin1Char(' '));
  return s;
}

QString ConnectName(Integer code) {
  switch (code) {
    case 0:
      return QStringLiteral("2線式");
    case 1:
      return QStringLiteral("3線式");
    default:
      return QStringLiteral("4線式");
  }
}

Long RoundHalfEven(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::nearbyint(v);  // default rounding mode: to nearest, ties to even
  if (r >= 2147483647.0) return 2147483647;
  if (r <= -2147483648.0) return -2147483647 - 1;
  return static_cast<Long>(r);
}

void ModuleData::UpdateMinMax(Long n) {
  if (n > kBufferSize) return;  // no such reading
  const size_t index = n >= 1 ? static_cast<size_t>(n - 1) : 0;
  for (UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Values.size() <= index) continue;
    const Single v = u.Values[index];
    if (n <= 1) {
      u.MaxValue = v;
      u.MinValue = v;
    } else if (v != kNoReading) {
      if (v > u.MaxValue) u.MaxValue = v;
      if (v < u.MinValue) u.MinValue = v;
    }
  }
}

// A unit in use that has no reading yet still holds the range ends that
// ClearData gave it; it takes no part in the data range.
void ModuleData::CalcDataRange() {
  bool taken = false;
  for (const UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Count < 1) continue;
    if (DataNum == 1 && !taken) {
      DataMax = u.MaxValue;
      DataMin = u.MinValue;
      taken = true;
      continue;
    }
    if (DataMax < u.MaxValue) DataMax = u.MaxValue;
    if (DataMin > u.MinValue) DataMin = u.MinValue;
  }
}

void ModuleData::MergeDataRange() {
  for (const UnitData& u : Units) {
    if (!IsTrue(u.Mflag) || u.Count < 1) continue;
    if (DataMax < u.MaxValue) DataMax = u.MaxValue;
    if (DataMin > u.MinValue) DataMin = u.MinValue;
  }
}

namespace {
// The rounding is done in double on a finite input and the result is kept
// within the float range, so even the largest reading gives an end that
// encloses it: FitAxisY then settles instead of "moving" on every call.
double ClampFinite(double v) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(v, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX));
}
Single ToSingle(double v) { return static_cast<Single>(ClampFinite(v)); }
}  // namespace

Single UpperHundred(Single v) {
  return ToSingle((std::floor(ClampFinite(v) / 100.0) + 1.0) * 100.0);
}

Single LowerHundred(Single v) { return ToSingle(std::floor(ClampFinite(v) / 100.0) * 100.0); }

Integer ModuleData::FitAxisY() {
  Integer r = 0;
  if (AxisYMax < DataMax) {
    AxisYMax = UpperHundred(DataMax);
    r = 1;
  }
  if (AxisYMin > DataMin) {
    AxisYMin = LowerHundred(DataMin);
    r = static_cast<Integer>(r + 2);
  }
  return r;
}

Integer ModuleData::FitAxisYToSample(bool first) {
  if (!first) return FitAxisY();
  AxisYMax = UpperHundred(DataMax);
  AxisYMin = LowerHundred(DataMin);
  return 3;
}

}  // namespace larimo
