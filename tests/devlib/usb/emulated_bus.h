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
// The reply pipe behaves as a bulk IN endpoint does: a reply leaves the unit
// as packets of its size (64 bytes unless plugged with another; the last one
// shorter, and no
// zero-length packet after a reply that fills its last packet unless the
// unit is told to send one); a read completes only on a short packet or a
// full buffer, returns the bytes it got when cancelled, and fails with an
// overflow when a packet does not fit what is left of its buffer; bytes not
// read stay queued in the unit and come with the next read, whatever
// command it belongs to. Packets carry a data toggle: a packet whose toggle
// the host does not expect is dropped as a repeat.
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
  EmulatedUnit(const sim::UnitConfig& config, std::size_t packetSize);
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
  // The command pipe halts: writes fail with a stall until the host resets it.
  void HaltCommandPipe();
  // The firmware keeps its reply pipe's data toggle when the host clears a
  // halt (the host resets its own): the next packet may be lost.
  void SetKeepsToggleOnClearHalt(bool keeps);
  // Replies to commands sent from now on leave the unit this much later,
  // in order (a reply never overtakes an earlier one).
  void SetReplyDelay(std::chrono::milliseconds delay);
  // The next reply stops after this many bytes (ending on a short packet);
  // the rest is kept back like a held reply until SetHoldReplies(false).
  void CutNextReply(std::size_t bytes);

  // What the host did.
  std::vector<std::vector<std::uint8_t>> Commands() const;
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
  struct LateReply {
    std::uint64_t dueMs;
    std::vector<std::uint8_t> bytes;
  };

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
  bool commandHalted_ = false;
  bool keepsToggle_ = false;
  bool unitToggle_ = false, hostToggle_ = false;  // of the reply pipe
  std::uint64_t delayMs_ = 0;
  std::size_t cut_ = 0;
  const std::size_t packetSize_;
  int surplus_ = 0;
  std::deque<std::vector<std::uint8_t>> fifo_;  // packets on their way to the host
  std::deque<std::vector<std::uint8_t>> held_;  // replies kept back
  std::deque<LateReply> late_;                  // replies not due yet
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

  // Plugs a freshly powered unit into port 1 to 9, with these USB IDs and
  // packet size. The port must be free. Without a device node the unit is
  // announced but gone before it can be opened. Returns the unit (owned by
  // the bus) or nullptr.
  EmulatedUnit* Plug(const sim::UnitConfig& config, int port, std::uint16_t vendorId,
                     std::uint16_t productId, std::size_t packetSize = 64, bool node = true);
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
