#pragma once
// Fixture of the tests that drive the library through its five exports
// against emulated units.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "brisko.h"
#include "emulated_bus.h"
#include "usb_test_support.h"

namespace brisko::test {

// The build's USB IDs (the CMake cache variables).
inline constexpr std::uint16_t kUnitVendorId = BRISKO_USB_VENDOR_ID;
inline constexpr std::uint16_t kUnitProductId = BRISKO_USB_PRODUCT_ID;

class BriskoUsbTest : public testing::Test {
 protected:
  EmulatedUnit* Plug(const sim::UnitConfig& config, int port) {
    EmulatedUnit* unit = bus_.Plug(config, port, kUnitVendorId, kUnitProductId);
    EXPECT_NE(unit, nullptr);
    return unit;
  }

  // Waits until unit `id` can be opened in the running session (its attach
  // may not have been handled yet) and opens it.
  static bool OpenWhenAttached(std::int16_t id) {
    std::int16_t result = 6;
    WaitUntil([&] { return (result = Quenzel_Device_Open(id)) != 6; },
              std::chrono::milliseconds(3000));
    return result == 0;
  }

  static double Single(std::int16_t id, std::uint8_t wiring, std::uint8_t temperature,
                       std::int16_t* result) {
    double value = -12345.0;
    *result = Quenzel_Single_Sample(id, &value, wiring, temperature);
    return value;
  }

  // The library keeps its session for the process; a test must not leave
  // one behind for the testbed that follows. Closing every ID may not end it
  // (a unit pulled while open leaves the session up), so a unit of the
  // fixture's own is opened and closed last.
  void TearDown() override {
    for (std::int16_t id = 0; id < 4; ++id) Quenzel_Device_Close(id);
    Plug(Calibrated(0, 100.0), 9);
    EXPECT_TRUE(OpenWhenAttached(0));
    Quenzel_Device_Close(0);
  }

  EmulatedBus bus_;
};

}  // namespace brisko::test
