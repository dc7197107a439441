#pragma once
// The USB layer of libBrisko.so: real units through libusb-1.0.
//
// Threads of a session (from Init until Uninit returns):
// - the event thread runs libusb's event handling, which completes every
//   transfer and calls the hotplug callback; the callback only queues the
//   arrival or departure. Where libusb offers no hotplug, the event thread
//   looks at the bus every 500 ms instead and queues what came and went;
// - the dispatcher takes the queue in order. For an arrived unit it starts
//   an attach thread of the unit's own, which opens and claims the unit and
//   calls the attach handler (its synchronous transfers are allowed there),
//   so a unit that never answers holds up nobody but itself. For a departed
//   unit it waits for that unit's attach to end, calls the detach handler,
//   closes the unit and frees its record.
// Transfer, ResetPipe, Init and Uninit run on the caller's thread. Handles
// are numbers never given out twice in the layer's life, so a handle the
// library still holds after its unit left is refused (kUsbNoDevice), never
// taken for another unit. Uninit cancels the transfers of attaches still
// running instead of waiting for their timeouts, and handles libusb's events
// until every transfer has come back.
//
// A unit that cannot be taken (no permission to open it, another program
// holds it) is named once on standard error with its bus and device number
// and the reason; a kernel driver bound to it is detached.

#include <libusb.h>

#include <atomic>
#include <chrono>
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
  std::uint32_t MaxPacketSize(DeviceHandle device, std::uint8_t pipe) override;

  void SleepMs(std::uint32_t ms) override;

  // True while a session runs (between a successful Init and Uninit).
  bool Running() const;
  // Records of units held now (present, or gone but not yet released).
  std::size_t UnitRecords();

 private:
  // One unit seen during the session, from its arrival until its departure
  // has been handled.
  struct Unit {
    LibusbLayer* owner = nullptr;
    std::uintptr_t id = 0;                   // the handle given to the library
    libusb_device* device = nullptr;         // referenced for the record's life
    libusb_device_handle* handle = nullptr;  // open and claimed while usable
    std::uint32_t packetSize = 64;           // wMaxPacketSize of the reply pipe
    bool present = true;                     // cleared when the unit left
    bool offered = false;                    // the attach handler was called
    int busy = 0;                            // transfers running on handle
    std::thread attach;                      // the unit's attach
    bool attachDone = false;                 // guarded by units_mutex_
    // One transfer, made at arrival and used for every exchange; exchanges
    // with one unit take turns.
    std::mutex exchange;
    libusb_transfer* transfer = nullptr;
    bool inFlight = false;  // guarded by done_mutex_
    bool done = false;      // guarded by done_mutex_
  };
  enum class EventKind { kArrived, kLeft };
  struct Event {
    EventKind kind;
    libusb_device* device;  // one reference held by the event
  };

  std::uint32_t BulkTransfer(Unit& unit, std::uint8_t pipe, std::uint8_t* buffer, int size,
                             unsigned int timeoutMs, int* moved);
  static void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer);
  static int LIBUSB_CALL OnHotplug(libusb_context* ctx, libusb_device* device,
                                   libusb_hotplug_event event, void* self);
  // Queues an arrival or departure for the worker (while it takes them).
  void Queue(EventKind kind, libusb_device* device);
  // Without hotplug, on the event thread: compares the matching units on the
  // bus with the last look and queues the differences.
  void PollBus();
  void EventLoop();
  void WorkerLoop();
  void HandleArrival(libusb_device* device);
  void AttachUnit(Unit* unit);
  void HandleDeparture(libusb_device* device);
  // Joins the attach threads that have ended (with units_mutex_ not held).
  void JoinEndedAttaches();
  // Names a unit that cannot be taken on standard error, once per unit.
  void Report(libusb_device* device, const char* what, int error);
  // Marks the handle's unit busy; nullptr (and the reason in status) when
  // the handle is unknown or its unit has gone.
  Unit* Acquire(DeviceHandle device, std::uint32_t& status);
  void Release(Unit& unit);
  // With units_mutex_ held (lock passed in): waits until no transfer uses the
  // unit, then releases and closes its handle.
  void CloseUnitLocked(std::unique_lock<std::mutex>& lock, Unit& unit);
  // Frees a record whose attach has been joined and whose handle is closed.
  void FreeUnit(std::unique_ptr<Unit> unit);
  void StopThreads();
  // After StopThreads: ends the attaches still running (their transfers are
  // cancelled, new ones refused), then closes and frees every record.
  void EndUnits();

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
  bool polling_ = false;  // no hotplug: the event thread polls the bus
  static constexpr std::chrono::milliseconds kPollInterval{500};
  std::vector<libusb_device*> polled_;  // seen at the last look, referenced

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
  bool cancelling_ = false;  // guarded by done_mutex_: Uninit is ending every transfer

  std::mutex units_mutex_;
  std::condition_variable idle_cv_;  // a transfer finished
  std::vector<std::unique_ptr<Unit>> units_;
  std::uintptr_t nextId_ = 1;          // the next handle; never reused
  std::uintptr_t sessionFirstId_ = 1;  // the first handle of this session
  std::uint16_t vendorId_ = 0, productId_ = 0;
  std::vector<std::uint32_t> reported_;  // bus << 8 | address of units named on stderr
};

}  // namespace brisko
