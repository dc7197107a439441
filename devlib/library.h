#pragma once
// The library's logic: the four-slot device table, the USB session, the
// attach and detach handlers and the exports' bodies, over a UsbLayer.
//
// Internal: nothing here is exported from the shared library. Tests link the
// logic statically and use the hooks at the end.

#include <atomic>
#include <cstdint>

#include "protocol.h"
#include "usb_layer.h"

namespace brisko {

// The unit's USB vendor and product ID (the match table); a build for units
// with other IDs defines BRISKO_USB_VENDOR_ID and BRISKO_USB_PRODUCT_ID.
#ifndef BRISKO_USB_VENDOR_ID
#define BRISKO_USB_VENDOR_ID 0x0BDE
#endif
#ifndef BRISKO_USB_PRODUCT_ID
#define BRISKO_USB_PRODUCT_ID 0x7031
#endif
inline constexpr std::uint16_t kVendorId = BRISKO_USB_VENDOR_ID;
inline constexpr std::uint16_t kProductId = BRISKO_USB_PRODUCT_ID;

inline constexpr std::uint32_t kDefaultTimeoutMs = 30000;
inline constexpr int kOpenWaitTries = 20;
inline constexpr std::uint32_t kOpenWaitStepMs = 100;

// One slot of the table. `attached` and `opened` are read without the lock
// (Open's wait polls `attached`); every other field is written by the
// handlers under the table lock and read by the exports under it too.
struct DeviceSlot {
  std::atomic<std::uint32_t> attached{0};
  std::atomic<std::uint32_t> opened{0};
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
std::int16_t GetDatas(std::int16_t id, double* values, std::uint8_t* statuses,
                      std::uint8_t* count, std::uint8_t wiring, std::uint8_t temperature);

// The handlers the layer calls on its own thread.
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
