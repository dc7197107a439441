#include "run/acquisition.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <tuple>
#include <utility>

#include <QDateTime>

#include "device/device_control.h"
#include "settings/setting_checks.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

const QString kStartTimeFormat = QStringLiteral("yyyy/M/d H:m:s");

// Marks a cycle as running for as long as it lives.
class CycleGuard {
 public:
  explicit CycleGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~CycleGuard() { flag_ = false; }
  CycleGuard(const CycleGuard&) = delete;
  CycleGuard& operator=(const CycleGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

Acquisition::Acquisition(ModuleData& data, ChartView& view, const DeviceTable& device,
                         RunDisplay& display)
    : data_(data), view_(view), device_(device), display_(display) {}

bool Acquisition::Measuring() const { return IsTrue(data_.Measuring); }

void Acquisition::AddObserver(RunObserver* o) { observers_.push_back(o); }

void Acquisition::RemoveObserver(RunObserver* o) { std::erase(observers_, o); }

void Acquisition::Show(const StepChanges& c) {
  if (c.axisY) display_.AxisYChanged(data_.AxisYMin, data_.AxisYMax);
  if (c.axisX) display_.AxisXChanged(view_.AxisXStart, view_.AxisXEnd);
}

Pacing Acquisition::Start() {
  const auto refuse = [this](std::optional<UnitFailure> f = std::nullopt) {
    RunEnd end(RunEnd::Why::StartRefused);
    if (f) end.failures.push_back(*f);
    display_.RunEnded(end);
    return Pacing{};
  };
  if (data_.DataNum >= 1 &&
      !AskYesNo(QStringLiteral("測定を開始するとデータが消去されます。よろしいですか？"),
                kMsgTitle)) {
    return refuse();
  }
  // Everything that can refuse the start does so before anything is
  // cleared: the settings (they may come from a file or the stored
  // settings, which the dialog never checked), the Y range, the units.
  const bool seconds = IsTrue(data_.TimerType);
  if (!IntervalIsValid(seconds, data_.IntervalTM, IsSet(data_.DataAverage))) {
    ShowMessage(kBadConditions, kMsgTitle, MsgIcon::Exclamation);
    return refuse();
  }
  if (!display_.RangeAccepted()) return refuse();
  if (const std::optional<UnitFailure> f = OpenUnits(device_, data_)) return refuse(f);

  display_.RunClearing();
  data_.ClearData();
  data_.ClearMemo();
  // One stored sample per interval, whatever path changed the settings.
  data_.CalcAverageNum();
  if (view_.ScaleYMode == kScaleAuto) {
    // The automatic range starts at the ends of the kind's range.
    data_.AxisYMax = data_.RangeHigh();
    data_.AxisYMin = data_.RangeLow();
  }
  yFitted_ = false;
  data_.Measuring = kTrue;
  display_.MeasuringChanged(true);
  display_.RunCleared();
  const QDateTime now = QDateTime::currentDateTime();
  runStart_ = now.addMSecs(-now.time().msec());
  data_.StartTime = runStart_.toString(kStartTimeFormat);
  part_ = 1;
  partFirstRow_ = 0;
  for (std::vector<Single>& c : carry_) c.clear();
  display_.HeaderChanged(data_.StartTime);
  started_ = true;
  for (RunObserver* o : observers_) o->RunStarted(data_);

  if (seconds) {
    if (!CalcTimer1(data_)) {
      ShowMessage(QStringLiteral("タイマー設定エラーのため測定開始できません。"), kMsgTitle);
      End(RunEnd(RunEnd::Why::StartRefused, {}, true));
      return {};
    }
    data_.Timer1Count = 0;
    return {Pacing::Kind::SampleTimer, static_cast<int>(data_.Timer1Interval)};
  }
  const Integer rate =
      IsSet(data_.DataAverage)
          ? Integer{1}
          : static_cast<Integer>(RoundHalfEven(static_cast<double>(data_.IntervalTM) / 10.0));
  if (const std::optional<UnitFailure> f = StartUnits(device_, data_, rate)) {
    End(RunEnd(RunEnd::Why::StartRefused, {*f}, true));
    return {};
  }
  return {Pacing::Kind::BlockTimer, kBlockPollMs};
}

void Acquisition::Stop() { End(RunEnd()); }

void Acquisition::End(const RunEnd& end) {
  CloseUnits(device_, data_);
  data_.Measuring = kFalse;
  display_.MeasuringChanged(false);
  if (started_) {
    started_ = false;
    for (RunObserver* o : observers_) o->RunStopped(data_, end);
  }
  display_.RunEnded(end);
}

namespace {

// The extremes of a unit's first `count` readings (none: the ends ClearData
// sets).
void UnitExtremes(UnitData& u, Long count, const ModuleData& d) {
  if (count <= 0) {
    u.MaxValue = d.RangeHigh();
    u.MinValue = d.RangeLow();
    return;
  }
  const auto [lo, hi] = std::minmax_element(u.Values.begin(), u.Values.begin() + count);
  u.MaxValue = *hi;
  u.MinValue = *lo;
}

// The overall extremes of the units' extremes, from the start ClearData sets.
void RestartDataRange(ModuleData& d) {
  d.DataMax = d.RangeLow();
  d.DataMin = d.RangeHigh();
  d.CalcDataRange();
}

}  // namespace

bool Acquisition::LimitReached() {
  if (sampleLimit_ < 1) return false;
  Long complete = data_.DataNum;
  for (const UnitData& u : data_.Units) {
    if (IsTrue(u.Mflag)) complete = std::min(complete, u.Count);
  }
  // A split run counts the samples of its earlier parts too.
  if (partFirstRow_ + complete < sampleLimit_) return false;
  // A block read may have brought more than the limit: the rest is dropped.
  KeepRows(sampleLimit_ - partFirstRow_);
  End(RunEnd(RunEnd::Why::SamplesReached));
  return true;
}

void Acquisition::SampleTimerTick() {
  if (inCycle_ || !Measuring()) return;  // a message box of the running cycle is waiting
  ++data_.Timer1Count;
  if (data_.Timer1Count >= data_.Timer1Ticks) {
    SampleTick();
    data_.Timer1Count = 0;
  }
}

void Acquisition::FitCycleAxisY(bool first) {
  if (view_.ScaleYMode != kScaleAuto) return;
  if (first) yFitted_ = true;
  if (data_.FitAxisYToSample(first) >= 1) display_.AxisYChanged(data_.AxisYMin, data_.AxisYMax);
}

void Acquisition::SampleTick() {
  if (inCycle_) return;
  CycleGuard guard(inCycle_);
  if (RollOverDue() && !RollOver()) {
    Stop();
    return;
  }
  if (data_.DataNum >= kBufferSize) {
    End(RunEnd(RunEnd::Why::NoRoom));
    return;
  }
  CycleResult cycle = SampleUnits(device_, data_);
  if (!cycle.stored) {
    End(RunEnd(RunEnd::Why::UnitFailed, std::move(cycle.failures)));
    return;
  }
  ++data_.DataNum;
  for (RunObserver* o : observers_) o->SamplesStored(data_);
  Show(StepSample(data_, view_, data_.DataNum));
  display_.SamplesStored(false);
  LimitReached();
}

void Acquisition::BlockTick() {
  if (inCycle_) return;
  CycleGuard guard(inCycle_);
  if (RollOverDue() && !RollOver()) {
    Stop();
    return;
  }
  // A split run keeps the readings of a full unit for the next part, as
  // long as the units lag behind each other by less than a buffer.
  const bool carryFull = std::any_of(carry_.begin(), carry_.end(), [](const auto& c) {
    return static_cast<Long>(c.size()) >= kBufferSize;
  });
  if (partRows_ > 0 ? carryFull : !CheckRoom()) {
    End(RunEnd(RunEnd::Why::NoRoom));
    return;
  }
  const std::optional<UnitFailure> failure =
      IsSet(data_.DataAverage) ? ReadBlockAverage() : ReadBlock();
  // What the units in use delivered before a failure is stored and kept.
  for (RunObserver* o : observers_) o->SamplesStored(data_);
  if (failure) {
    End(RunEnd(RunEnd::Why::UnitFailed, {*failure}));
    return;
  }
  if (data_.DataNum > 0) data_.MergeDataRange();
  // The first fit comes with the second cycle, and never before a sample
  // was stored (the extremes ClearData leaves would give an inverted range).
  FitCycleAxisY(!yFitted_ && data_.TickCount >= 1 && data_.DataNum >= 1);
  if (view_.UpdateViewX(data_.DataNum)) display_.AxisXChanged(view_.AxisXStart, view_.AxisXEnd);
  display_.SamplesStored(true);
  ++data_.TickCount;
  if (LimitReached()) return;
  if (partRows_ == 0 && data_.DataNum >= kBufferSize) End(RunEnd(RunEnd::Why::BufferFull));
}

bool Acquisition::StoreBlockReading(int u, double value) {
  UnitData& unit = data_.Units[static_cast<std::size_t>(u)];
  const Long n = unit.Count;
  const Single v = static_cast<Single>(value);
  if (n >= kBufferSize) {
    // Full: a split run keeps the reading for its next part.
    std::vector<Single>& carry = carry_[static_cast<std::size_t>(u)];
    if (partRows_ == 0 || static_cast<Long>(carry.size()) >= kBufferSize) return false;
    carry.push_back(v);
    return true;
  }
  unit.Values[static_cast<std::size_t>(n)] = v;
  if (n == 0) {
    unit.MaxValue = v;
    unit.MinValue = v;
  } else {
    if (v > unit.MaxValue) unit.MaxValue = v;
    if (v < unit.MinValue) unit.MinValue = v;
  }
  unit.Count = n + 1;
  return partRows_ > 0 || unit.Count < kBufferSize;
}

void Acquisition::SplitEvery(Long rows, PartSaver saver) {
  partRows_ = std::clamp<Long>(rows, 0, kBufferSize);
  saver_ = std::move(saver);
}

bool Acquisition::RollOverDue() const {
  if (partRows_ == 0 || data_.DataNum < partRows_) return false;
  return std::all_of(data_.Units.begin(), data_.Units.end(), [this](const UnitData& u) {
    return !IsTrue(u.Mflag) || u.Count >= partRows_;
  });
}

// Keeps the first n samples of every unit, with their extremes.
void Acquisition::KeepRows(Long n) {
  for (UnitData& u : data_.Units) {
    if (u.Count <= n) continue;
    u.Count = n;
    UnitExtremes(u, u.Count, data_);
  }
  data_.DataNum = std::min(data_.DataNum, n);
  RestartDataRange(data_);
}

// Moves each unit's readings from partRows_ to counts[u], then those that
// waited beyond the full buffer, to the front of its buffer.
void Acquisition::CarryIntoPart(const std::array<Long, kUnitCount>& counts) {
  for (std::size_t u = 0; u < data_.Units.size(); ++u) {
    UnitData& unit = data_.Units[u];
    std::vector<Single>& carry = carry_[u];
    const auto first = unit.Values.begin();
    const Long beyond = std::max<Long>(counts[u] - partRows_, 0);
    std::copy(first + partRows_, first + partRows_ + beyond, first);
    const auto taken =
        std::min<std::size_t>(carry.size(), static_cast<std::size_t>(kBufferSize - beyond));
    std::copy_n(carry.begin(), taken, first + beyond);
    carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(taken));
    unit.Count = beyond + static_cast<Long>(taken);
    std::fill(first + unit.Count, first + std::max(counts[u], unit.Count), kNoReading);
    UnitExtremes(unit, unit.Count, data_);
  }
}

bool Acquisition::RollOver() {
  if (partRows_ == 0 || !saver_) return false;
  std::array<Long, kUnitCount> counts{};
  std::array<std::pair<Single, Single>, kUnitCount> extremes{};
  for (std::size_t u = 0; u < data_.Units.size(); ++u) {
    counts[u] = data_.Units[u].Count;
    extremes[u] = {data_.Units[u].MaxValue, data_.Units[u].MinValue};
  }
  const Long dataNum = data_.DataNum;
  KeepRows(partRows_);
  if (!saver_(data_)) {
    for (std::size_t u = 0; u < data_.Units.size(); ++u) {
      data_.Units[u].Count = counts[u];
      std::tie(data_.Units[u].MaxValue, data_.Units[u].MinValue) = extremes[u];
    }
    data_.DataNum = dataNum;
    RestartDataRange(data_);
    return false;
  }
  CarryIntoPart(counts);
  data_.DataNum = 0;
  UpdateDataNum();
  RestartDataRange(data_);
  partFirstRow_ += partRows_;
  ++part_;
  // Sample n of the part is sample partFirstRow_ + n of the run.
  data_.StartTime = runStart_.addMSecs(static_cast<qint64>(partFirstRow_) * data_.IntervalTM)
                        .toString(kStartTimeFormat);
  display_.RunCleared();
  display_.HeaderChanged(data_.StartTime);
  for (RunObserver* o : observers_) o->PartStarted(data_, partFirstRow_);
  return true;
}

template <typename Store>
std::optional<UnitFailure> Acquisition::ReadBlockWith(Store store) {
  std::optional<UnitFailure> failure;
  std::array<double, 201> datas{};
  std::array<Byte, 201> stat{};
  const Byte flag = IsSet(data_.MeasKind) ? 0 : 1;
  for (int u = 0; u < kUnitCount; ++u) {
    UnitData& unit = data_.Units[static_cast<std::size_t>(u)];
    if (!IsTrue(unit.Mflag)) continue;
    // Every unit is asked for a full block, so none falls behind the others.
    constexpr Byte kAsked = 128;
    Byte cnt = kAsked;
    const Integer rc = device_.GetDatas(static_cast<Integer>(u), datas.data(), stat.data(), &cnt,
                                        static_cast<Byte>(unit.Connect), flag);
    if (rc != 0) {
      failure = UnitFailure{static_cast<Integer>(u), rc};
      break;
    }
    const int delivered = cnt > kAsked ? kAsked : cnt;
    for (int j = 0; j < delivered; ++j) {
      if (!store(u, datas[static_cast<std::size_t>(j)])) break;  // buffer full: drop the rest
    }
  }
  UpdateDataNum();
  return failure;
}

std::optional<UnitFailure> Acquisition::ReadBlock() {
  return ReadBlockWith([this](int u, double v) { return StoreBlockReading(u, v); });
}

std::optional<UnitFailure> Acquisition::ReadBlockAverage() {
  return ReadBlockWith([this](int u, double v) {
    AvgAccum& a = data_.AvgWork[static_cast<std::size_t>(u)];
    const Long num = data_.AverageNum < 1 ? 1 : data_.AverageNum;
    if (a.Num < num) {
      a.Sum += v;
      ++a.Num;
    }
    if (a.Num == num) {
      const double mean = a.Sum / static_cast<double>(num);
      a.Num = 0;
      a.Sum = 0;
      return StoreBlockReading(u, mean);
    }
    return true;
  });
}

void Acquisition::UpdateDataNum() {
  bool first = true;
  for (const UnitData& unit : data_.Units) {
    if (!IsTrue(unit.Mflag)) continue;
    if (first || unit.Count > data_.DataNum) data_.DataNum = unit.Count;
    first = false;
  }
}

bool Acquisition::CheckRoom() const {
  bool ok = true;
  for (const UnitData& unit : data_.Units) {
    if (IsTrue(unit.Mflag) && unit.Count >= kBufferSize) ok = false;
  }
  return ok;
}

}  // namespace larimo
