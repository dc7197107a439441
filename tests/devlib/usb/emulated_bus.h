#pragma once
// Emulated measuring units on an emulated USB bus, for driving the real
// libusb code path without hardware.
//
// The process runs with libumockdev-preload.so.0 preloaded: /sys, /dev and
// the uevent socket then lead into a umockdev testbed, and libusb's Linux
// backend talks usbfs ioctls to the units emulated here. Each unit answers
// its commands through the simulated unit's protocol engine (sim::SimUnit),
// so these units speak exactly the bytes the simulated build does.
//
// The reply pipe behaves as a full-speed bulk IN endpoint does: a reply
// leaves the unit as 64-byte packets (the last one shorter, and no
// zero-length packet after a reply that fills its last packet unless the
// unit is told to send one); a read completes only on a short packet or a
// full buffer, returns the bytes it got when cancelled, and fails with an
// overflow when a packet does not fit what is left of its buffer; bytes not
// read stay queued in the unit and come with the next read, whatever
// command it belongs to.
//
// Threads: umockdev answers the ioctls on a thread of its own; everything an
// EmulatedUnit shares with the test's thread is guarded by its mutex.

#include <umockdev.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_unit.h"

namespace brisko::test {

// True when the process runs under the umockdev preload. Creates (and drops)
// a testbed first: umockdev decides this once, at its first testbed.
bool InMockEnvironment();

// One unit as plugged in: a fresh power-up of the unit each time it is
// plugged. Made by EmulatedBus::Plug and owned by the bus.
class EmulatedUnit {
 public:
  explicit EmulatedUnit(const sim::UnitConfig& config);
  ~EmulatedUnit();
  EmulatedUnit(const EmulatedUnit&) = delete;
  EmulatedUnit& operator=(const EmulatedUnit&) = delete;

  // Faults.
  // Commands are taken but never answered: every read waits until the host
  // gives up.
  void SetMute(bool mute);
  // The reply pipe halts: reads fail with a stall until the host resets the
  // pipe (as a real endpoint stays halted).
  void HaltReplyPipe();
  // Replies are kept back until released; the host's read waits meanwhile.
  // Released, they are queued for the host (late, if it gave up).
  void SetHoldReplies(bool hold);
  // A zero-length packet follows every reply that fills its last packet.
  void SetZeroLengthPackets(bool on);
  // Every reply carries this many bytes more than its layout.
  void SetSurplusBytes(int bytes);
  // Another program holds the unit: claiming its interface fails (busy).
  void SetHeldElsewhere(bool held);

  // What the host did.
  std::vector<std::vector<std::uint8_t>> Commands() const;
  int ReplyPipeResets() const;
  bool ReplyPipeHalted() const;
  // Waits until a read of the host is waiting for a reply; false on timeout.
  bool WaitForWaitingRead(std::chrono::milliseconds timeout) const;

  // The engine's state, for checks.
  bool Sampling() const;

  UMockdevIoctlBase* Handler() const { return handler_; }
  const std::string& SysPath() const { return sysPath_; }

 private:
  friend class EmulatedBus;
  struct Urb {
    UMockdevIoctlData* urb = nullptr;     // the usbfs URB (host memory, resolved)
    UMockdevIoctlData* buffer = nullptr;  // its data buffer
    int delivered = 0;                    // bytes put into it so far
  };
  static constexpr std::size_t kPacketSize = 64;

  static gboolean OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
  gboolean HandleIoctl(UMockdevIoctlClient* client);
  void Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  // With mutex_ held: queues a reply as the packets the unit sends.
  void QueueReplyLocked(std::vector<std::uint8_t> reply);
  // With mutex_ held: answers the reads that can be answered now.
  void ServeReadsLocked();
  void FinishLocked(Urb urb, int status, int actualLength);
  std::uint64_t NowMs() const;
  // The unit is unplugged: waiting reads fail, later calls see no device.
  void Disconnect();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  sim::SimUnit engine_;
  const std::chrono::steady_clock::time_point poweredAt_;
  UMockdevIoctlBase* handler_ = nullptr;
  std::string sysPath_;
  std::string devNode_;

  bool gone_ = false;
  bool mute_ = false;
  bool hold_ = false;
  bool halted_ = false;
  bool zeroLengthPackets_ = false;
  bool heldElsewhere_ = false;
  int surplus_ = 0;
  int pipeResets_ = 0;
  std::deque<std::vector<std::uint8_t>> fifo_;  // packets on their way to the host
  std::deque<std::vector<std::uint8_t>> held_;  // replies kept back
  std::vector<std::vector<std::uint8_t>> commands_;
  std::deque<Urb> waitingReads_;
  std::deque<Urb> finished_;   // ready to be reaped, in completion order
  std::deque<Urb> discarded_;  // cancelled by the host, reaped first
};

// A umockdev testbed with a root hub; units plug into its ports.
class EmulatedBus {
 public:
  EmulatedBus();
  ~EmulatedBus();
  EmulatedBus(const EmulatedBus&) = delete;
  EmulatedBus& operator=(const EmulatedBus&) = delete;

  // Plugs a freshly powered unit into port 1 to 9, with these USB IDs. The
  // port must be free. Returns the unit (owned by the bus) or nullptr.
  EmulatedUnit* Plug(const sim::UnitConfig& config, int port, std::uint16_t vendorId,
                     std::uint16_t productId);
  // Pulls the unit out: its waiting transfers fail, the "remove" event goes
  // out and the device disappears. The port is free again.
  void Unplug(EmulatedUnit* unit);

 private:
  UMockdevTestbed* testbed_ = nullptr;
  int nextAddress_ = 2;  // 1 is the root hub
  // Destroyed after the testbed, which may still call into their handlers.
  std::vector<std::unique_ptr<EmulatedUnit>> units_;
};

}  // namespace brisko::test
