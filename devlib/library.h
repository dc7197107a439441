#pragma once
// The library's logic: the four-slot device table, the USB session, the
// attach and detach handlers and the exports' bodies, over a UsbLayer.
//
// Internal: nothing here is exported from the shared library. Tests link the
// logic statically and use the hooks at the end.

#include <atomic>
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
// Reads of bytes left over from an earlier reply wait this long each.
inline constexpr std::uint32_t kDrainTimeoutMs = 10;
// Every reply buffer: 1,700 bytes rounded up to whole 64-byte packets, so a
// read of whole packets never overflows it.
inline constexpr std::size_t kReplyBufferLength = 1728;

// One slot of the table. `attached` and `opened` are read without the lock
// (Open's wait polls `attached`); every other field is written by the
// handlers under the table lock and read by the exports under it too.
// `drainFirst`: the last exchange with the slot's unit failed or ended on a
// full packet, so bytes of it may still be on their way; the next exchange
// first drains them (the caller's thread sets it, an attach clears it).
struct DeviceSlot {
  std::atomic<std::uint32_t> attached{0};
  std::atomic<std::uint32_t> opened{0};
  std::atomic<bool> drainFirst{false};
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
