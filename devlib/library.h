#pragma once
// The library's logic: the four-slot device table, the USB session, the
// attach and detach handlers and the exports' bodies, over a UsbLayer.
//
// Internal: nothing here is exported from the shared library. Tests link the
// logic statically and use the hooks at the end.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "protocol.h"
#include "usb_ids.h"
#include "usb_layer.h"

namespace brisko {

inline constexpr std::uint32_t kDefaultTimeoutMs = 30000;
// Opens wait for their unit only within this time of the session start,
// looking at the slot every 100 ms.
inline constexpr std::uint64_t kOpenWindowMs = 2000;
inline constexpr std::uint32_t kOpenWaitStepMs = 100;
// Getting back in step after an exchange that may have left bytes behind:
// reads of what the unit still sends wait this long each. After a reply
// that filled its last packet, one quiet read ends the drain; after a reply
// that was late, cut short or not read, two quiet reads in a row (so the
// unit has been silent for at least 100 ms).
inline constexpr std::uint32_t kDrainTimeoutMs = 10;
inline constexpr std::uint32_t kLateDrainTimeoutMs = 50;
// The largest packet a reply pipe may carry (wMaxPacketSize); a pipe that
// reports 0 or more is read as a full-speed one, in 64-byte packets.
inline constexpr std::size_t kMaxPacketSize = 1024;
// Every reply buffer: room for the largest reply (1,700 bytes) in whole
// packets of any size up to kMaxPacketSize, so a read of whole packets never
// overflows it.
inline constexpr std::size_t kReplyBufferLength = kBlockReplyLength + kMaxPacketSize - 1;

// What the next exchange with a unit must do first, because of how the last
// one ended (bits of DeviceSlot::recovery).
enum Recovery : std::uint8_t {
  kRecoverDrain = 1,      // a reply filled its last packet: more may follow at once
  kRecoverDrainLate = 2,  // a reply may still be on its way (timed out, cut short)
  kRecoverClearIn = 4,    // the reply pipe stalled or failed: clear its halt
  kRecoverClearOut = 8,   // the command pipe stalled or failed: clear its halt
};

// One slot of the table. `attached` and `opened` are read without the lock
// (Open's wait polls `attached`); every other field is written by the
// handlers under the table lock and read by the exports under it too.
// `recovery`: what the next exchange with the slot's unit does first (an
// attach sets it for its unit; an export's exchange stores it when it ends,
// and only while the slot still holds the unit it talked to).
struct DeviceSlot {
  std::atomic<std::uint32_t> attached{0};
  std::atomic<std::uint32_t> opened{0};
  std::atomic<std::uint8_t> recovery{0};
  DeviceHandle device = nullptr;
  std::uint8_t calibrated = 0;
  Calibration cal;
};

// The exports' bodies.
std::int16_t DeviceOpen(std::int16_t id);
void DeviceClose(std::int16_t id);
std::int16_t SingleSample(std::int16_t id, double* value, std::uint8_t wiring,
                          std::uint8_t temperature);
std::int16_t StartSample(std::int16_t id, std::int16_t rate);
std::int16_t GetDatas(std::int16_t id, double* values, std::uint8_t* statuses, std::uint8_t* count,
                      std::uint8_t wiring, std::uint8_t temperature);

// The handlers the layer calls on its own threads (attaches of different
// units may run at the same time).
bool OnDeviceAttach(DeviceHandle device, void* user);
void OnDeviceDetach(DeviceHandle device, void* user);

namespace internal {

// Runs the logic over `layer` from the next session on (nullptr: the build's
// DefaultUsbLayer()). Call only while no session runs.
void SetUsbLayer(UsbLayer* layer);
// Transfer timeout of every exchange (default 30000 ms).
void SetTransferTimeoutMs(std::uint32_t ms);
std::uint32_t TransferTimeoutMs();
// Ends a running session and clears the table, as at load time.
void ResetLibrary();
// Whether a session runs (the table lock is present).
bool SessionRunning();
// Read-only view of the table, for checks.
const DeviceSlot& Slot(int slot);

}  // namespace internal
}  // namespace brisko
