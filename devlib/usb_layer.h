#pragma once
// The device library's one seam to the USB hardware.
//
// The library's logic (slot table, command set, conversion) talks to the
// units only through a UsbLayer. Two implementations exist: the libusb layer
// of libBrisko.so (devlib/usb/) and the simulated units of libBriskoSim.so
// (devlib/sim/). Both build the same logic on top.
//
// Threads: the library calls Init, Uninit, Transfer, ResetPipe and the lock
// operations from the caller's thread (the application's user-interface
// thread) and from inside the attach/detach handlers. The layer calls the
// handlers on threads of its own, never on the caller's thread and never
// inside a libusb hotplug callback (synchronous transfers are allowed in the
// attach handler); attach handlers of different devices may run at the same
// time. For one device, detach is delivered after its attach returned. After
// Uninit returns, no handler runs any more and every thread of the layer has
// been joined.

#include <chrono>
#include <cstdint>

namespace brisko {

// An opaque, non-null handle for one attached unit, valid from its attach
// until its detach handler returned. Two units never share a handle while
// both are attached.
// The library copies a slot's handle under the table lock and transfers
// outside it, so Transfer and ResetPipe may still be given a handle whose
// detach has just been delivered: the layer must then fail the call
// (kUsbNoDevice or kUsbInvalidHandle) without touching freed memory.
using DeviceHandle = void*;

inline constexpr std::uint8_t kPipeOut = 0x02;  // commands
inline constexpr std::uint8_t kPipeIn = 0x83;   // replies

// Status values of the layer's calls; 0 is success.
inline constexpr std::uint32_t kUsbOk = 0;
inline constexpr std::uint32_t kUsbInvalidHandle = 0xFFFFFFFFu;
inline constexpr std::uint32_t kUsbTimeout = 0x20000001u;
inline constexpr std::uint32_t kUsbStall = 0x20000002u;
inline constexpr std::uint32_t kUsbNoDevice = 0x20000003u;
inline constexpr std::uint32_t kUsbError = 0x20000004u;  // any other failure

struct UsbEvents {
  // A matching unit appeared (also the units present when Init runs).
  // Return true to take the unit, false to decline it.
  bool (*onAttach)(DeviceHandle device, void* user) = nullptr;
  // A unit that was attached (accepted or not) went away.
  void (*onDetach)(DeviceHandle device, void* user) = nullptr;
  void* user = nullptr;
};

class UsbLayer {
 public:
  virtual ~UsbLayer() = default;

  // The table lock. CreateLock returns 0 on success.
  virtual std::uint32_t CreateLock() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  virtual void CloseLock() = 0;

  // Starts a session for units with this vendor and product ID and begins
  // delivering events. Returns 0 on success; on failure no handler is called
  // and nothing is left running.
  virtual std::uint32_t Init(std::uint16_t vendorId, std::uint16_t productId,
                             const UsbEvents& events) = 0;
  // Ends the session: every thread joined, every handle closed.
  virtual void Uninit() = 0;

  // One bulk transfer on pipe (kPipeOut writes, kPipeIn reads). Waits at most
  // timeoutMs. *transferred receives the bytes actually moved (also on
  // failure; 0 when nothing moved). Returns 0 on success or a status above.
  virtual std::uint32_t Transfer(DeviceHandle device, std::uint8_t pipe, std::uint8_t* buffer,
                                 std::uint32_t size, std::uint32_t* transferred,
                                 std::uint32_t timeoutMs) = 0;
  // Resets (clears a halt on) a pipe. Its status is not examined.
  virtual void ResetPipe(DeviceHandle device, std::uint8_t pipe) = 0;

  // The largest packet the pipe carries (wMaxPacketSize of its endpoint).
  // A reply comes as packets of this size, the last one shorter unless the
  // reply fills it exactly; a read ends at a short packet or a full buffer.
  virtual std::uint32_t MaxPacketSize(DeviceHandle device, std::uint8_t pipe) {
    (void)device;
    (void)pipe;
    return 64;  // full speed
  }

  // The wait of the first Open between two looks at the slot.
  virtual void SleepMs(std::uint32_t ms) = 0;
  // Milliseconds on a clock that never goes back: the first Opens of a
  // session wait for their units only early in the session by this clock.
  virtual std::uint64_t ClockMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
};

// The layer this build of the library uses. Each build links exactly one
// definition (the libusb layer or the simulated units).
UsbLayer& DefaultUsbLayer();

}  // namespace brisko
