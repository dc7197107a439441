#pragma once
// What the chart of the main window is handed, without the chart: the
// points of the four units against the time since Start, the axes' ranges
// and the Y range choices of the user. A run and the replay of a file reach
// the chart the same way, through ChartFeed, which writes to a ChartSink
// (the chart adapter implements it; a replay nobody watches uses
// NoChartSink).

#include <array>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "run/chart_view.h"
#include "store/module_data.h"

namespace larimo {

enum class ChartAxis { X, Y };

// The points and axes of a chart of four curves. Series and points count
// from 1; a point whose Y was never set (or was unset) is not drawn.
class ChartSink {
 public:
  virtual ~ChartSink() = default;
  // While true, point changes are collected; false draws them once.
  virtual void SetDataUpdatesSuspended(bool suspended) = 0;
  virtual void SetSeriesCount(int n) = 0;
  virtual long PointCount(int series) const = 0;
  virtual void SetPointCount(int series, long n) = 0;
  virtual void SetX(long point, double x) = 0;
  virtual void SetY(int series, long point, double y) = 0;
  virtual void UnsetY(int series, long point) = 0;
  // Every series at once: n points, point p at p * xPerPoint, Y from ys[s]
  // (null: nothing drawn), a value equal to `missing` not drawn.
  virtual void ReplaceAllPoints(long n, double xPerPoint, const std::vector<const float*>& ys,
                                float missing) = 0;
  virtual void SetAxisRange(ChartAxis axis, double min, double max) = 0;
  virtual void SetAxisTitle(ChartAxis axis, const QString& title) = 0;
  virtual void SetHeaderText(const QString& text) = 0;
  // The legend: one label per series.
  virtual void SetSeriesLabels(const QStringList& labels) = 0;
};

// A chart that shows nothing and keeps only its point counts.
class NoChartSink final : public ChartSink {
 public:
  void SetDataUpdatesSuspended(bool) override {}
  void SetSeriesCount(int) override {}
  long PointCount(int series) const override;
  void SetPointCount(int series, long n) override;
  void SetX(long, double) override {}
  void SetY(int, long, double) override {}
  void UnsetY(int, long) override {}
  void ReplaceAllPoints(long n, double, const std::vector<const float*>&, float) override;
  void SetAxisRange(ChartAxis, double, double) override {}
  void SetAxisTitle(ChartAxis, const QString&) override {}
  void SetHeaderText(const QString&) override {}
  void SetSeriesLabels(const QStringList&) override {}

 private:
  std::array<long, kUnitCount> counts_{};
};

// The message of a fixed Y range that is no range.
inline const QString kRangeError = QStringLiteral("設定値に誤りがあります。");

class ChartFeed {
 public:
  ChartFeed(ModuleData& data, ChartView& view, ChartSink& sink);
  ChartFeed(const ChartFeed&) = delete;
  ChartFeed& operator=(const ChartFeed&) = delete;

  // The axes, in samples (X, shown in seconds) and in the data's unit (Y).
  void SetAxisX(Long first, Long last);
  void SetAxisY(Single min, Single max);
  void ShowViewX() { SetAxisX(view_.AxisXStart, view_.AxisXEnd); }
  void ShowAxisY() { SetAxisY(data_.AxisYMin, data_.AxisYMax); }

  // The axis titles (the Y title by the kind of the data: "℃" or "Ω"), the
  // legend (each unit's wiring) and the header of a run that started at
  // startTime ("開始時刻 [ " ... " ]").
  void ShowAxisTitles();
  void ShowLabels();
  void ShowRunHeader(const QString& startTime);

  // Sample n of every unit, as single-sample mode shows a new sample; a unit
  // not in use or without a reading shows no point there.
  void DrawSample(Long n);
  // Whatever came in since the last pass, up to each unit's count, as block
  // mode shows it; starts over when the chart's points no longer match.
  void DrawNew();
  // The chart's points are taken as unknown: the next DrawNew hands over the
  // whole run again.
  void Forget();
  // No point in any series (a new run).
  void Clear();
  // Samples 1..DataNum through the step of a new sample, then every point
  // in one pass, as a read or a restored run is shown. Measuring is set
  // while it runs; DataNum is kept.
  void Replay();

  // The Y range of a new run or replay and the X window of its start: the
  // automatic range, or the fixed one typed (hiText, loText). False (the
  // user was told) when the fixed range is no range; nothing changes then.
  bool ApplyRunRange(const QString& hiText, const QString& loText, Long selectedWidth);
  // True when a run may start with the Y range chosen (told the user if not).
  bool RangeAccepted(const QString& hiText, const QString& loText) const;
  // The user chose the automatic Y range: it fits the data (or the range of
  // the kind of measurement when there are none).
  void SelectAutoRange();
  // The typed fixed range is shown when it is one; text that is no number
  // is ignored, ends in the wrong order are refused with a message.
  void SetFixedRange(const QString& hiText, const QString& loText);
  // Start state of the view: all shown, automatic Y, the width of all data
  // (allData) or of 100 samples.
  void ResetView(bool allData);

 private:
  ModuleData& data_;
  ChartView& view_;
  ChartSink& sink_;
  std::array<Long, kUnitCount> plotted_{};  // samples of each unit the chart has
  Long plottedPoints_ = 0;                  // X values the chart has
};

// The readout beside the chart of unit u (0..3): its newest reading of the
// run (block: its own newest), as the store formats it; nullopt when the
// unit is not in use or has none.
std::optional<QString> ReadoutText(const ModuleData& d, int u, bool block);

// The number typed in a range box; false for text that is no finite number.
bool ParseRangeText(const QString& text, Single& out);

}  // namespace larimo
