#pragma once
// The measurement run without a window: Start, Stop, the two kinds of cycle
// and the one step every newly stored sample goes through.
//
// The run controller owns the run's state machine and works on the one
// ModuleData and the chart's view state. It reaches the units through a
// DeviceTable, the user through UserInterface (Ui()) and whatever shows the
// run through RunDisplay. It has no timer of its own: the caller starts its
// pacing as Start says and calls SampleTimerTick or BlockTick when it fires.

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>

#include "device/device_table.h"
#include "run/chart_view.h"
#include "run/run_end.h"
#include "run/sample_step.h"
#include "store/module_data.h"

namespace larimo {

// Whatever shows the run: readouts, axes, the plotted samples, the header and
// the state of the commands.
class RunDisplay {
 public:
  virtual ~RunDisplay() = default;
  // The Y range chosen for the new run. False refuses the start; the display
  // has told the user why. Nothing may change here.
  virtual bool RangeAccepted() = 0;
  // Start has opened the units and is about to clear the store: whatever
  // shows the old run lets go of it and drawing waits for the first cycle.
  virtual void RunClearing() = 0;
  // The store was cleared for the new run: axes and X window of a new run,
  // and no point of the earlier run.
  virtual void RunCleared() = 0;
  virtual void HeaderChanged(const QString& startTime) = 0;
  // The run began or ended (the commands follow; the caller's pacing stops).
  virtual void MeasuringChanged(bool measuring) = 0;
  virtual void AxisYChanged(Single min, Single max) = 0;
  virtual void AxisXChanged(Long first, Long last) = 0;
  // New samples are stored. Single-sample mode: sample DataNum. Block mode:
  // whatever came in since the last call, up to each unit's count.
  virtual void SamplesStored(bool block) = 0;
  // The run ended, or Start refused it: why. Comes after the units were
  // closed and the observers were told, so whatever it shows holds nothing
  // of the run. The window shows the messages of the end (ShowRunEnd).
  virtual void RunEnded(const RunEnd& end) = 0;
};

// The display of a run that nobody watches (a headless recorder, tests):
// any Y range is accepted and nothing is shown.
class NoRunDisplay : public RunDisplay {
 public:
  bool RangeAccepted() override { return true; }
  void RunClearing() override {}
  void RunCleared() override {}
  void HeaderChanged(const QString&) override {}
  void MeasuringChanged(bool) override {}
  void AxisYChanged(Single, Single) override {}
  void AxisXChanged(Long, Long) override {}
  void SamplesStored(bool) override {}
  void RunEnded(const RunEnd&) override {}
};

// Something that follows the stored samples of a run besides the display:
// a journal that protects the run against a crash, a stream of readings.
// Called on the thread that drives the run.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The store was cleared for a new run; its conditions and StartTime are set.
  virtual void RunStarted(const ModuleData& d) = 0;
  // A cycle stored samples: the units' counts and DataNum have grown.
  virtual void SamplesStored(const ModuleData& d) = 0;
  // The run ended (units closed); what is stored stays. A start refused
  // after RunStarted ends with RunEnd::Why::StartRefused: nothing was
  // measured.
  virtual void RunStopped(const ModuleData& d, const RunEnd& end) = 0;
  // A split run went on into its next part: the store holds the run's
  // conditions, the part's StartTime and the samples carried over into it;
  // `firstRow` samples of the run came before them. By default a part is
  // followed like a new run.
  virtual void PartStarted(const ModuleData& d, Long firstRow) {
    static_cast<void>(firstRow);
    RunStarted(d);
    SamplesStored(d);
  }
};

// Saves the filled part of a split run (atomically); false when it could not
// (the user was told) and the run ends with the part still in the store.
using PartSaver = std::function<bool(const ModuleData& part)>;

// How the caller paces a started run.
struct Pacing {
  enum class Kind { None, SampleTimer, BlockTimer };
  Kind kind = Kind::None;
  int intervalMs = 0;
};

// The block poll interval of timed sampling.
inline constexpr int kBlockPollMs = 300;

class Acquisition {
 public:
  Acquisition(ModuleData& data, ChartView& view, const DeviceTable& device, RunDisplay& display);
  Acquisition(const Acquisition&) = delete;
  Acquisition& operator=(const Acquisition&) = delete;

  // Asks before erasing data, checks the settings and the Y range, opens the
  // units, clears the store and starts the units. Returns how the caller
  // paces the run; Kind::None when the run did not start (told the user).
  Pacing Start();
  // Ends the run (RunEnd::Why::Stopped): closes the units; the display
  // and the observers learn the run ended.
  void Stop();
  bool Measuring() const;
  // Ends the next runs once every unit in use holds n samples (a block
  // read's surplus is dropped): RunEnd::Why::SamplesReached. 0: no limit.
  void SetSampleLimit(Long n) { sampleLimit_ = n; }
  // Observers are told of the run in the order they were added; each must
  // outlive the controller or be removed first.
  void AddObserver(RunObserver* o);
  void RemoveObserver(RunObserver* o);

  // One firing of the single-sample timer: every Timer1Ticks-th firing is a
  // cycle.
  void SampleTimerTick();
  // One cycle of single-sample mode: one averaged sample of every unit.
  void SampleTick();
  // One poll of block mode: every unit's buffered readings.
  void BlockTick();
  // True while a cycle runs (a message box inside it may be waiting); ticks
  // that come meanwhile are ignored.
  bool InCycle() const { return inCycle_; }

  // Splits the next runs into parts of `rows` samples (1 to kBufferSize;
  // 0: one part that ends the run when full). Once every unit in use holds
  // a part's samples, the next cycle first rolls over, with the units
  // running. Readings beyond a full buffer wait for the next part.
  void SplitEvery(Long rows, PartSaver saver);
  // The current part of the run (from 1) and the run's samples before it.
  int Part() const { return part_; }
  Long PartFirstRow() const { return partFirstRow_; }
  // True when the current part is complete and the next cycle rolls over.
  bool RollOverDue() const;
  // Hands the part's first `rows` samples to the saver, then clears the
  // store for the next part: its start time is the run's plus the rows
  // before it, the readings beyond the part move to its front, averaging
  // carries on. False (nothing changed) when the saver failed.
  bool RollOver();

  // The block read of every unit in use into the store, without and with
  // averaging; the failure of a unit ends the read.
  std::optional<UnitFailure> ReadBlock();
  std::optional<UnitFailure> ReadBlockAverage();
  // DataNum = the largest count of the units in use.
  void UpdateDataNum();
  // False when a unit in use has a full buffer.
  bool CheckRoom() const;

 private:
  bool StoreBlockReading(int u, double value);
  template <typename Store>
  std::optional<UnitFailure> ReadBlockWith(Store store);
  // Stops the run and tells the display why.
  void End(const RunEnd& end);
  // Ends the run when the sample limit is stored; true when it did.
  bool LimitReached();
  void FitCycleAxisY(bool first);
  void Show(const StepChanges& c);

  void KeepRows(Long n);
  void CarryIntoPart(const std::array<Long, kUnitCount>& counts);

  ModuleData& data_;
  ChartView& view_;
  const DeviceTable& device_;
  RunDisplay& display_;
  std::vector<RunObserver*> observers_;
  bool started_ = false;  // observers were told of a start and not yet of its stop
  bool inCycle_ = false;
  bool yFitted_ = false;  // the first automatic fit of this run happened
  Long sampleLimit_ = 0;
  Long partRows_ = 0;  // 0: the run is not split
  PartSaver saver_;
  int part_ = 1;
  Long partFirstRow_ = 0;
  QDateTime runStart_;  // to the second, as StartTime shows it
  // Per unit: readings that came after its buffer was full, for the next part.
  std::array<std::vector<Single>, kUnitCount> carry_{};
};

// The message Start shows when the settings it is about to use would not
// pass the settings dialog.
inline const QString kBadConditions =
    QStringLiteral("測定条件に誤りがあります。取込設定で設定し直して下さい。");

}  // namespace larimo
