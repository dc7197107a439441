#pragma once
// The measuring unit's USB vendor and product ID, defined here and nowhere
// else: the library's match table uses them, and the build reads them from
// this file for the udev rule (devlib/usb/CMakeLists.txt). A build for units
// that carry other IDs defines both macros (CMake: -DBRISKO_USB_VENDOR_ID=0x....
// -DBRISKO_USB_PRODUCT_ID=0x....).

#include <cstdint>

#ifndef BRISKO_USB_VENDOR_ID
#define BRISKO_USB_VENDOR_ID 0x0BDE
#endif
#ifndef BRISKO_USB_PRODUCT_ID
#define BRISKO_USB_PRODUCT_ID 0x7031
#endif

namespace brisko {

inline constexpr std::uint16_t kVendorId = BRISKO_USB_VENDOR_ID;
inline constexpr std::uint16_t kProductId = BRISKO_USB_PRODUCT_ID;

}  // namespace brisko
