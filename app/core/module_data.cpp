#include "core/module_data.h"

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

}  // namespace larimo
