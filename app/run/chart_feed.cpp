#include "run/chart_feed.h"

#include <algorithm>
#include <cmath>

#include "run/read_replay.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

// The typed fixed range when it is one; otherwise the user is told.
bool ReadFixedRange(const QString& hiText, const QString& loText, Single& hi, Single& lo) {
  // Text that is no number is refused like a range whose ends are wrong.
  if (ParseRangeText(hiText, hi) && ParseRangeText(loText, lo) && hi > lo) return true;
  ShowMessage(kRangeError, kMsgTitle);
  return false;
}

}  // namespace

bool ParseRangeText(const QString& text, Single& out) {
  bool ok = false;
  const float v = text.trimmed().toFloat(&ok);
  if (!ok || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::optional<QString> ReadoutText(const ModuleData& d, int u, bool block) {
  const UnitData& unit = d.Units[static_cast<size_t>(u)];
  const Long n = block ? unit.Count : d.DataNum;
  if (!IsTrue(unit.Mflag) || n < 1 || n > kBufferSize) return std::nullopt;
  return FormatValue(unit.Values[static_cast<size_t>(n - 1)]).trimmed();
}

long NoChartSink::PointCount(int series) const {
  return series >= 1 && series <= kUnitCount ? counts_[static_cast<size_t>(series - 1)] : 0;
}

void NoChartSink::SetPointCount(int series, long n) {
  if (series >= 1 && series <= kUnitCount) counts_[static_cast<size_t>(series - 1)] = n;
}

void NoChartSink::ReplaceAllPoints(long n, double, const std::vector<const float*>&, float) {
  counts_.fill(n);
}

ChartFeed::ChartFeed(ModuleData& data, ChartView& view, ChartSink& sink)
    : data_(data), view_(view), sink_(sink) {}

void ChartFeed::SetAxisX(Long first, Long last) {
  sink_.SetAxisRange(ChartAxis::X, SampleSeconds(data_.IntervalTM, first),
                     SampleSeconds(data_.IntervalTM, last));
}

void ChartFeed::SetAxisY(Single min, Single max) {
  sink_.SetAxisRange(ChartAxis::Y, static_cast<double>(min), static_cast<double>(max));
}

void ChartFeed::ShowAxisTitles() {
  sink_.SetAxisTitle(ChartAxis::X, QStringLiteral("開始からの経過時間（秒）"));
  sink_.SetAxisTitle(ChartAxis::Y,
                     IsSet(data_.MeasKind) ? QStringLiteral("Ω") : QStringLiteral("℃"));
}

void ChartFeed::ShowLabels() {
  QStringList labels;
  for (int i = 0; i < kUnitCount; ++i) {
    labels << QStringLiteral("ID%1 ").arg(i) +
                  ConnectName(data_.Units[static_cast<size_t>(i)].Connect);
  }
  sink_.SetSeriesLabels(labels);
}

void ChartFeed::ShowRunHeader(const QString& startTime) {
  sink_.SetHeaderText(QStringLiteral("開始時刻 [ ") + startTime + QStringLiteral(" ]"));
}

void ChartFeed::DrawSample(Long n) {
  if (n < 1) return;
  sink_.SetSeriesCount(kUnitCount);
  sink_.SetDataUpdatesSuspended(true);
  sink_.SetX(n, SampleSeconds(data_.IntervalTM, n));
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data_.Units[static_cast<size_t>(i)];
    sink_.SetPointCount(i + 1, n);
    const Single v = n <= kBufferSize ? unit.Values[static_cast<size_t>(n - 1)] : kNoReading;
    if (IsTrue(unit.Mflag) && v != kNoReading) {
      sink_.SetY(i + 1, n, static_cast<double>(v));
    } else {
      // A point without a reading is not drawn, whatever it showed before.
      sink_.UnsetY(i + 1, n);
    }
  }
  sink_.SetDataUpdatesSuspended(false);
  // Points up to n are in the chart; a following block pass goes on from
  // there only when nothing before it was cut or skipped.
  if (n == plottedPoints_ + 1) {
    plottedPoints_ = n;
    for (Long& done : plotted_) {
      if (done == n - 1) done = n;
    }
  } else {
    Forget();
  }
}

void ChartFeed::Forget() {
  plotted_.fill(0);
  plottedPoints_ = 0;
}

void ChartFeed::Clear() {
  Forget();
  for (int s = 1; s <= kUnitCount; ++s) sink_.SetPointCount(s, 0);
}

void ChartFeed::DrawNew() {
  const Long n = data_.DataNum;
  sink_.SetSeriesCount(kUnitCount);
  sink_.SetDataUpdatesSuspended(true);
  // The chart keeps what it was given; it only needs what is new since the
  // last pass. When its points no longer match what was handed over (the
  // data were cleared or another routine cut the plot), start over.
  bool restart = n < plottedPoints_;
  for (int s = 1; s <= kUnitCount; ++s) restart = restart || sink_.PointCount(s) != plottedPoints_;
  if (restart) Clear();
  for (Long j = plottedPoints_ + 1; j <= n; ++j) sink_.SetX(j, SampleSeconds(data_.IntervalTM, j));
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data_.Units[static_cast<size_t>(i)];
    Long& done = plotted_[static_cast<size_t>(i)];
    sink_.SetPointCount(i + 1, n);
    if (!IsTrue(unit.Mflag)) continue;
    for (Long j = done + 1; j <= n; ++j) {
      const Single v = unit.Values[static_cast<size_t>(j - 1)];
      if (v != kNoReading) sink_.SetY(i + 1, j, static_cast<double>(v));
    }
    // Samples below the unit's count are final; those above may still come.
    done = std::min(unit.Count, n);
  }
  plottedPoints_ = n;
  sink_.SetDataUpdatesSuspended(false);
}

void ChartFeed::Replay() {
  const Long n = data_.DataNum;
  data_.DataNum = 0;
  data_.Measuring = kTrue;
  // Each sample goes through the steps a run takes for a new sample; the
  // chart gets the end state of its axes and all points in one pass.
  const StepChanges changes = ReplaySamples(data_, view_, n);
  if (changes.axisY) ShowAxisY();
  if (changes.axisX) ShowViewX();
  // All points at once, as plotting sample after sample leaves them: a unit
  // not in use and a missing reading draw nothing. The chart then holds no
  // earlier run's points, and the plotting of the next run starts afresh.
  std::vector<const float*> readings;
  for (const UnitData& u : data_.Units) {
    const bool drawn = IsTrue(u.Mflag) && u.Values.size() >= static_cast<size_t>(data_.DataNum);
    readings.push_back(drawn ? u.Values.data() : nullptr);
  }
  sink_.SetSeriesCount(kUnitCount);
  sink_.ReplaceAllPoints(data_.DataNum, SampleSeconds(data_.IntervalTM, 1), readings, kNoReading);
  Forget();
  data_.Measuring = kFalse;
  data_.DataNum = n;
}

bool ChartFeed::ApplyRunRange(const QString& hiText, const QString& loText, Long selectedWidth) {
  if (view_.ScaleYMode == kScaleAuto) {
    data_.AxisYMax = data_.RangeHigh();
    data_.AxisYMin = data_.RangeLow();
    ShowAxisY();
  } else {
    Single hi = 0;
    Single lo = 0;
    if (!ReadFixedRange(hiText, loText, hi, lo)) return false;
    data_.AxisYMax = hi;
    data_.AxisYMin = lo;
  }
  view_.ResetForRun(selectedWidth);
  ShowAxisY();
  ShowViewX();
  return true;
}

bool ChartFeed::RangeAccepted(const QString& hiText, const QString& loText) const {
  Single hi = 0;
  Single lo = 0;
  return view_.ScaleYMode == kScaleAuto || ReadFixedRange(hiText, loText, hi, lo);
}

void ChartFeed::SelectAutoRange() {
  view_.ScaleYMode = kScaleAuto;
  if (data_.DataNum >= 1) {
    data_.CalcDataRange();
    data_.FitAxisYToSample(true);
  } else {
    data_.AxisYMax = data_.RangeHigh();
    data_.AxisYMin = data_.RangeLow();
  }
  ShowAxisY();
}

void ChartFeed::SetFixedRange(const QString& hiText, const QString& loText) {
  Single hi = 0;
  Single lo = 0;
  if (!ParseRangeText(hiText, hi) || !ParseRangeText(loText, lo)) return;
  if (hi > lo) {
    data_.AxisYMax = hi;
    data_.AxisYMin = lo;
    ShowAxisY();
  } else {
    ShowMessage(kRangeError, kMsgTitle);
  }
}

void ChartFeed::ResetView(bool allData) {
  view_.AxisXStart = 1;
  view_.ScrollMode = kShowAll;
  view_.AxisXWidth = view_.AxisXEnd = allData ? data_.DataNum : 100;
  data_.AxisYMax = data_.RangeHigh();
  data_.AxisYMin = data_.RangeLow();
  view_.ScaleYMode = kScaleAuto;
}

}  // namespace larimo
