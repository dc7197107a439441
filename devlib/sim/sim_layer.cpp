#include "sim/sim_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace brisko::sim {

struct SimLayer::Device {
  std::size_t unit = 0;
  std::unique_ptr<SimUnit> sim;
  std::vector<Fault> faults;  // of this unit, each fires once (mute stays)
  bool present = true;
  bool accepted = false;  // the attach handler took the unit
  bool muted = false;
  bool noCalibration = false;
  bool shortNext = false;
  int samplingCommands = 0;
  // The part of the current reply that reads have not taken yet (a reply
  // comes out in as many reads as the host makes of it).
  std::vector<std::uint8_t> rest;
};

namespace {

bool IsSamplingCommand(std::uint8_t opcode) {
  return opcode == kCmdSingle || opcode == kCmdStartSampling || opcode == kCmdReadBlock;
}

}  // namespace

SimLayer::SimLayer() = default;

SimLayer::~SimLayer() {
  // A session still running when the library goes away: stop the thread
  // without calling any handler, so no code of ours runs after unloading.
  std::unique_lock lk(m_);
  stop_ = true;
  cv_.notify_all();
  lk.unlock();
  if (thread_.joinable()) thread_.join();
}

void SimLayer::Configure(std::optional<SimConfig> config) {
  std::lock_guard lk(m_);
  configured_ = std::move(config);
}

std::uint32_t SimLayer::CreateLock() {
  std::lock_guard lk(m_);
  std::string error;
  if (configured_) {
    config_ = *configured_;
    configOk_ = true;
  } else {
    configOk_ = SimConfigFromEnvironment(&config_, &error);
    if (!configOk_) std::fprintf(stderr, "libBriskoSim: %s\n", error.c_str());
  }
  return configOk_ && !config_.failLock ? 0 : 1;
}

void SimLayer::Lock() { table_.lock(); }
void SimLayer::Unlock() { table_.unlock(); }
void SimLayer::CloseLock() {}

std::uint32_t SimLayer::Init(std::uint16_t, std::uint16_t, const UsbEvents& events) {
  std::unique_lock lk(m_);
  if (running_ || !configOk_ || config_.failInit) return kUsbError;
  events_ = events;
  devices_.clear();
  current_.assign(config_.units.size(), nullptr);
  log_.assign(config_.units.size(), {});
  actions_.clear();
  ++session_;
  startAttachDone_ = false;
  stop_ = false;
  running_ = true;
  start_ = std::chrono::steady_clock::now();
  virtualMs_ = 0;
  thread_ = std::thread(&SimLayer::Run, this);
  return kUsbOk;
}

void SimLayer::Uninit() {
  std::unique_lock lk(m_);
  if (!running_) return;
  stop_ = true;
  cv_.notify_all();
  lk.unlock();
  thread_.join();
  lk.lock();
  running_ = false;
  startAttachDone_ = false;
  devices_.clear();
  std::fill(current_.begin(), current_.end(), nullptr);
  actions_.clear();
  done_ = queued_;
  cv_.notify_all();
}

void SimLayer::Run() {
  std::unique_lock lk(m_);
  // The units present at the start are found one after the other.
  double due = config_.attachMs;
  for (std::size_t i = 0; i < config_.units.size(); ++i) {
    if (!config_.units[i].plugged) continue;
    const auto at = start_ + std::chrono::microseconds(
                                 static_cast<std::int64_t>(due * 1000.0 * config_.sleepScale));
    if (cv_.wait_until(lk, at, [this] { return stop_; })) return;
    DoPlug(i, lk);
    due += config_.attachGapMs;
  }
  startAttachDone_ = true;
  cv_.notify_all();
  while (true) {
    cv_.wait(lk, [this] { return stop_ || !actions_.empty(); });
    if (stop_) return;
    const Action a = actions_.front();
    actions_.pop_front();
    if (a.plug) {
      DoPlug(a.unit, lk);
    } else {
      DoUnplug(a.device, lk);
    }
    ++done_;
    cv_.notify_all();
  }
}

void SimLayer::DoPlug(std::size_t unit, std::unique_lock<std::mutex>& lk) {
  if (current_[unit] != nullptr) return;  // already plugged in
  auto device = std::make_unique<Device>();
  UnitConfig cfg = config_.units[unit];
  device->unit = unit;
  for (const Fault& f : config_.faults) {
    if (f.unitId != cfg.id) continue;
    switch (f.kind) {
      case FaultKind::kDead:
        device->muted = true;
        break;
      case FaultKind::kNoCalibration:
        device->noCalibration = true;
        break;
      case FaultKind::kZeroCalibration: {
        CalibrationValues v = SimUnit::DefaultCalibration(cfg.id);
        v.b0 = 0;
        cfg.calibration = v;
        break;
      }
      default:
        device->faults.push_back(f);
    }
  }
  device->sim = std::make_unique<SimUnit>(cfg);
  Device* d = device.get();
  devices_.push_back(std::move(device));
  current_[unit] = d;
  const UsbEvents events = events_;
  lk.unlock();
  const bool accepted = events.onAttach && events.onAttach(d, events.user);
  lk.lock();
  d->accepted = accepted;
}

void SimLayer::DoUnplug(Device* device, std::unique_lock<std::mutex>& lk) {
  const UsbEvents events = events_;
  lk.unlock();
  if (events.onDetach) events.onDetach(device, events.user);
  lk.lock();
}

void SimLayer::UnplugLocked(Device* d) {
  d->present = false;
  if (current_[d->unit] == d) current_[d->unit] = nullptr;
  Action a;
  a.plug = false;
  a.device = d;
  actions_.push_back(a);
  ++queued_;
  cv_.notify_all();  // also ends a read waiting on this device
}

std::uint64_t SimLayer::Enqueue(const Action& action) {
  actions_.push_back(action);
  cv_.notify_all();
  return ++queued_;
}

void SimLayer::WaitDone(std::uint64_t ticket, std::unique_lock<std::mutex>& lk) {
  // Uninit counts every queued action as done, so a waiter of an ended
  // session is released also when the next session has begun.
  cv_.wait(lk, [&] { return done_ >= ticket; });
}

bool SimLayer::Plug(std::size_t unit) {
  std::unique_lock lk(m_);
  if (!running_ || unit >= current_.size()) return false;
  // The units plugged at session start come first.
  const std::uint64_t session = session_;
  cv_.wait(lk, [&] { return startAttachDone_ || !running_ || session_ != session; });
  if (!running_ || session_ != session) return false;
  Action a;
  a.unit = unit;
  WaitDone(Enqueue(a), lk);
  return current_[unit] != nullptr && current_[unit]->accepted;
}

void SimLayer::Unplug(std::size_t unit) {
  std::unique_lock lk(m_);
  if (!running_ || unit >= current_.size() || current_[unit] == nullptr) return;
  UnplugLocked(current_[unit]);
  WaitDone(queued_, lk);
}

bool SimLayer::WaitForStartAttach(std::uint32_t timeoutMs) {
  std::unique_lock lk(m_);
  const std::uint64_t session = session_;
  return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                      [&] { return startAttachDone_ || !running_ || session_ != session; }) &&
         startAttachDone_ && session_ == session;
}

void SimLayer::AdvanceClock(std::uint64_t ms) {
  std::lock_guard lk(m_);
  virtualMs_ += ms;
}

std::uint64_t SimLayer::NowMs() {
  std::lock_guard lk(m_);
  return NowLocked();
}

std::uint64_t SimLayer::NowLocked() {
  if (config_.virtualClock) return virtualMs_;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

std::vector<std::vector<std::uint8_t>> SimLayer::Commands(std::size_t unit) {
  std::lock_guard lk(m_);
  if (unit >= log_.size()) return {};
  return {log_[unit].begin(), log_[unit].end()};
}

bool SimLayer::Running() {
  std::lock_guard lk(m_);
  return running_;
}

SimLayer::Device* SimLayer::Find(DeviceHandle handle) {
  for (const auto& d : devices_) {
    if (d.get() == handle) return d.get();
  }
  return nullptr;
}

std::uint32_t SimLayer::Write(Device& d, const std::uint8_t* buffer, std::uint32_t size) {
  const std::uint8_t opcode = buffer[0];
  bool unplugAfter = false;
  if (IsSamplingCommand(opcode)) {
    ++d.samplingCommands;
    for (Fault& f : d.faults) {
      if (f.unitId < 0 || d.samplingCommands <= f.after) continue;
      const FaultKind kind = f.kind;
      f.unitId = -1;  // fired
      switch (kind) {
        case FaultKind::kFail:
          return kUsbError;  // the command never reaches the unit
        case FaultKind::kShort:
          d.shortNext = true;
          break;
        case FaultKind::kUnplug:
          unplugAfter = true;
          break;
        case FaultKind::kMute:
          d.muted = true;
          break;
        default:
          break;
      }
    }
  }
  d.rest.clear();  // as the unit replaces an unread reply
  auto& log = log_[d.unit];
  log.emplace_back(buffer, buffer + size);
  if (log.size() > kLogLength) log.pop_front();
  if (config_.virtualClock && opcode == kCmdReadBlock) virtualMs_ += config_.stepMs;
  d.sim->Write(buffer, size, NowLocked());
  if (d.muted || (d.noCalibration && opcode == kCmdCalibration)) d.sim->ResetReplyPipe();
  if (unplugAfter) UnplugLocked(&d);
  return kUsbOk;
}

std::uint32_t SimLayer::Read(Device& d, std::uint8_t* buffer, std::uint32_t size,
                             std::uint32_t* transferred, std::uint32_t timeoutMs,
                             std::unique_lock<std::mutex>& lk) {
  if (d.rest.empty()) {
    // A simulated unit's reply is there at once or never: only a mute unit
    // keeps the host waiting for its timeout.
    if (!d.muted && !d.sim->HasReply()) return kUsbTimeout;
    std::uint32_t wait = timeoutMs;
    if (config_.replyTimeoutMs != 0) wait = std::min(wait, config_.replyTimeoutMs);
    cv_.wait_for(lk, std::chrono::milliseconds(wait),
                 [&] { return d.sim->HasReply() || !d.present || stop_; });
    if (!d.present || stop_) return kUsbNoDevice;
    if (!d.sim->HasReply()) return kUsbTimeout;
    d.rest = d.sim->TakeReply();
    if (d.shortNext) {
      d.shortNext = false;
      d.rest.resize(d.rest.size() / 2);
    }
    if (d.rest.empty()) return kUsbOk;  // a reply of no bytes
  }
  const std::uint32_t n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(d.rest.size()));
  std::memcpy(buffer, d.rest.data(), n);
  d.rest.erase(d.rest.begin(), d.rest.begin() + n);
  *transferred = n;
  return kUsbOk;
}

std::uint32_t SimLayer::Transfer(DeviceHandle device, std::uint8_t pipe, std::uint8_t* buffer,
                                 std::uint32_t size, std::uint32_t* transferred,
                                 std::uint32_t timeoutMs) {
  *transferred = 0;
  std::unique_lock lk(m_);
  Device* d = Find(device);
  if (d == nullptr) return kUsbInvalidHandle;
  if (!d->present) return kUsbNoDevice;
  if (pipe == kPipeOut) {
    if (size == 0) return kUsbOk;
    const std::uint32_t status = Write(*d, buffer, size);
    if (status == kUsbOk) *transferred = size;
    return status;
  }
  if (pipe == kPipeIn) return Read(*d, buffer, size, transferred, timeoutMs, lk);
  return kUsbStall;
}

void SimLayer::ResetPipe(DeviceHandle device, std::uint8_t pipe) {
  std::lock_guard lk(m_);
  Device* d = Find(device);
  if (d != nullptr && pipe == kPipeIn) {
    d->sim->ResetReplyPipe();
    d->rest.clear();
  }
}

void SimLayer::SleepMs(std::uint32_t ms) {
  sleptMs_ += ms;
  double scale;
  {
    std::lock_guard lk(m_);
    scale = config_.sleepScale;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(ms * 1000.0 * scale)));
}

std::uint64_t SimLayer::ClockMs() {
  std::lock_guard lk(m_);
  if (config_.virtualClock) return sleptMs_.load() + virtualMs_;
  const double real = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
  // Without waits (scale 0) only the waits asked for count.
  if (!(config_.sleepScale > 0)) return sleptMs_.load();
  return static_cast<std::uint64_t>(real / config_.sleepScale);
}

SimLayer& SimUsbLayer() {
  static SimLayer layer;
  return layer;
}

}  // namespace brisko::sim

namespace brisko {
UsbLayer& DefaultUsbLayer() { return sim::SimUsbLayer(); }
}  // namespace brisko
