#pragma once
// The simulated USB layer of libBriskoSim.so: a set of SimUnits behind the
// UsbLayer interface, with attach and detach delivered on the layer's own
// thread, a clock tests can drive, and fault injection.
//
// The configuration is read when a session starts (CreateLock, the first
// step of it): from Configure() if given, else from the environment.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sim/sim_config.h"
#include "sim/sim_unit.h"
#include "usb_layer.h"

namespace brisko::sim {

class SimLayer final : public UsbLayer {
 public:
  SimLayer();
  ~SimLayer() override;
  SimLayer(const SimLayer&) = delete;
  SimLayer& operator=(const SimLayer&) = delete;

  // Configuration for every later session (nullopt: the environment).
  void Configure(std::optional<SimConfig> config);

  std::uint32_t CreateLock() override;
  void Lock() override;
  void Unlock() override;
  void CloseLock() override;
  std::uint32_t Init(std::uint16_t vendorId, std::uint16_t productId,
                     const UsbEvents& events) override;
  void Uninit() override;
  std::uint32_t Transfer(DeviceHandle device, std::uint8_t pipe, std::uint8_t* buffer,
                         std::uint32_t size, std::uint32_t* transferred,
                         std::uint32_t timeoutMs) override;
  void ResetPipe(DeviceHandle device, std::uint8_t pipe) override;
  void SleepMs(std::uint32_t ms) override;
  // The session's time as the library sees it: the waits it asked for plus
  // the virtual clock, or real time undone by the sleep scale.
  std::uint64_t ClockMs() override;

  // Controls for tests, from any thread but the layer's own. Plug and Unplug
  // return once the attach or detach handler has returned (false from Plug
  // when no session runs or the handler declined the unit).
  bool Plug(std::size_t unit);
  void Unplug(std::size_t unit);
  // Waits until the units plugged at session start have been offered.
  bool WaitForStartAttach(std::uint32_t timeoutMs);
  // Virtual clock (SimConfig::virtualClock): moves it on.
  void AdvanceClock(std::uint64_t ms);
  std::uint64_t NowMs();
  // Sum of the waits the library asked for since the layer was made.
  std::uint64_t SleptMs() const { return sleptMs_.load(); }
  // The last commands (at most kLogLength) unit `unit` received in this
  // session, oldest first.
  static constexpr std::size_t kLogLength = 1024;
  std::vector<std::vector<std::uint8_t>> Commands(std::size_t unit);
  bool Running();

 private:
  struct Device;
  struct Action {
    bool plug = true;
    std::size_t unit = 0;
    Device* device = nullptr;
  };

  void Run();
  void DoPlug(std::size_t unit, std::unique_lock<std::mutex>& lk);
  void DoUnplug(Device* device, std::unique_lock<std::mutex>& lk);
  void UnplugLocked(Device* device);
  std::uint64_t Enqueue(const Action& action);
  void WaitDone(std::uint64_t ticket, std::unique_lock<std::mutex>& lk);
  Device* Find(DeviceHandle handle);
  std::uint64_t NowLocked();
  std::uint32_t Write(Device& d, const std::uint8_t* buffer, std::uint32_t size);
  std::uint32_t Read(Device& d, std::uint8_t* buffer, std::uint32_t size,
                     std::uint32_t* transferred, std::uint32_t timeoutMs,
                     std::unique_lock<std::mutex>& lk);

  std::optional<SimConfig> configured_;

  std::mutex table_;  // the library's table lock

  std::mutex m_;  // guards everything below
  std::condition_variable cv_;
  SimConfig config_;
  bool configOk_ = true;
  UsbEvents events_;
  std::vector<std::unique_ptr<Device>> devices_;  // every device of the session
  std::vector<Device*> current_;                  // per unit: plugged device or null
  std::vector<std::deque<std::vector<std::uint8_t>>> log_;
  std::deque<Action> actions_;
  std::uint64_t queued_ = 0, done_ = 0;  // actions, counted over all sessions
  std::uint64_t session_ = 0;            // sessions started
  bool startAttachDone_ = false;
  bool stop_ = false;
  bool running_ = false;
  std::chrono::steady_clock::time_point start_;
  std::uint64_t virtualMs_ = 0;
  std::thread thread_;

  std::atomic<std::uint64_t> sleptMs_{0};
};

// The layer of libBriskoSim.so (what DefaultUsbLayer() returns there).
SimLayer& SimUsbLayer();

}  // namespace brisko::sim
