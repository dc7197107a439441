#pragma once
// The USB layer of libBrisko.so: real units through libusb-1.0.
//
// Threads of a session (from Init until Uninit returns):
// - the event thread runs libusb's event handling, which completes every
//   transfer and calls the hotplug callback; the callback only queues the
//   arrival or departure;
// - the attach worker takes the queue in order, opens and claims an arrived
//   unit and calls the attach handler (its synchronous transfers are allowed
//   there), and for a departed unit calls the detach handler, then closes it.
// Transfer, ResetPipe, Init and Uninit run on the caller's thread. A handle
// stays a valid argument for the whole session: once its unit has gone,
// Transfer answers kUsbNoDevice instead of touching freed memory.

#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "usb_layer.h"

namespace brisko {

class LibusbLayer final : public UsbLayer {
 public:
  LibusbLayer() = default;
  ~LibusbLayer() override;
  LibusbLayer(const LibusbLayer&) = delete;
  LibusbLayer& operator=(const LibusbLayer&) = delete;

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

  // True while a session runs (between a successful Init and Uninit).
  bool Running() const;

 private:
  // One unit seen during the session. The record lives until Uninit, so a
  // handle the library still holds after a detach stays safe to pass in.
  struct Unit {
    libusb_device* device = nullptr;         // referenced while present
    libusb_device_handle* handle = nullptr;  // open and claimed while usable
    bool present = true;                     // cleared when the unit left
    int busy = 0;                            // transfers running on handle
  };
  enum class EventKind { kArrived, kLeft };
  struct Event {
    EventKind kind;
    libusb_device* device;  // one reference held by the event
  };

  // A transfer waiting for its completion.
  struct Completion {
    LibusbLayer* layer;
    bool done;  // guarded by done_mutex_
  };

  std::uint32_t BulkTransfer(libusb_device_handle* handle, std::uint8_t pipe, std::uint8_t* buffer,
                             int size, unsigned int timeoutMs, int* moved);
  static void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer);
  static int LIBUSB_CALL OnHotplug(libusb_context* ctx, libusb_device* device,
                                   libusb_hotplug_event event, void* self);
  void EventLoop();
  void WorkerLoop();
  void HandleArrival(libusb_device* device);
  void HandleDeparture(libusb_device* device);
  // Marks the handle's unit busy and returns its libusb handle; nullptr (and
  // the reason in status) when the handle is unknown or its unit has gone.
  libusb_device_handle* Acquire(DeviceHandle device, Unit*& unit, std::uint32_t& status);
  void Release(Unit& unit);
  // With units_mutex_ held (lock passed in): waits until no transfer uses the
  // unit, then releases and closes its handle.
  void CloseUnitLocked(std::unique_lock<std::mutex>& lock, Unit& unit);
  void StopThreads();

  // The library's table lock. It lives as long as the layer, so a handler
  // that still runs while the library closes its lock never locks a
  // destroyed mutex.
  std::mutex table_mutex_;

  std::mutex session_mutex_;  // serialises Init and Uninit
  libusb_context* ctx_ = nullptr;
  bool hotplug_registered_ = false;
  libusb_hotplug_callback_handle hotplug_ = 0;
  UsbEvents events_{};
  std::atomic<bool> running_{false};

  std::atomic<bool> stop_events_{false};
  std::thread event_thread_;
  std::thread worker_;

  std::mutex queue_mutex_;
  std::condition_variable queue_cv_;
  std::deque<Event> queue_;
  bool accepting_ = false;    // the callback queues only while true
  bool stop_worker_ = false;  // the worker leaves after its current event

  std::mutex done_mutex_;  // transfer completions
  std::condition_variable done_cv_;

  std::mutex units_mutex_;
  std::condition_variable idle_cv_;  // a transfer finished
  std::vector<std::unique_ptr<Unit>> units_;
};

}  // namespace brisko
