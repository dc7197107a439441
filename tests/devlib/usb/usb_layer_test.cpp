// The libusb layer on its own, against emulated units: hotplug and
// enumeration, the order of attach and detach, transfers and their statuses,
// and what Uninit leaves behind.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "emulated_bus.h"
#include "library.h"
#include "usb/libusb_layer.h"
#include "usb_test_support.h"

namespace brisko::test {

// While set, libusb_has_capability below reports no hotplug support.
std::atomic<bool> noHotplug{false};

namespace {

using namespace std::chrono_literals;

// Records what the layer delivers. The attach handler does what the library's
// does first (reset the reply pipe, status query) and keeps the status byte.
class Recorder {
 public:
  struct Event {
    bool attach;
    DeviceHandle device;
    std::thread::id thread;
    std::uint8_t status;  // status byte read inside the attach handler
  };

  explicit Recorder(UsbLayer& layer) : layer_(layer) {}

  UsbEvents Events() {
    UsbEvents e;
    e.onAttach = [](DeviceHandle d, void* self) { return static_cast<Recorder*>(self)->Attach(d); };
    e.onDetach = [](DeviceHandle d, void* self) { static_cast<Recorder*>(self)->Detach(d); };
    e.user = this;
    return e;
  }

  std::atomic<bool> accept{true};

  bool WaitForCount(std::size_t n, std::chrono::milliseconds timeout = 3s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return events_.size() >= n; });
  }
  std::vector<Event> Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  bool Attach(DeviceHandle device) {
    layer_.ResetPipe(device, kPipeIn);
    std::uint8_t buffer[2] = {kCmdStatus, 0};
    std::uint32_t moved = 0;
    std::uint8_t status = 0xFF;
    if (layer_.Transfer(device, kPipeOut, buffer, 1, &moved, 1000) == kUsbOk &&
        layer_.Transfer(device, kPipeIn, buffer, 2, &moved, 1000) == kUsbOk && moved == 2) {
      status = buffer[1];
    }
    Record({true, device, std::this_thread::get_id(), status});
    return accept.load();
  }
  void Detach(DeviceHandle device) { Record({false, device, std::this_thread::get_id(), 0}); }
  void Record(const Event& e) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(e);
    }
    changed_.notify_all();
  }

  UsbLayer& layer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

class UsbLayerTest : public testing::Test {
 protected:
  EmulatedUnit* Plug(const sim::UnitConfig& config, int port) {
    EmulatedUnit* unit = bus_.Plug(config, port, kVendorId, kProductId);
    EXPECT_NE(unit, nullptr);
    return unit;
  }
  void Start() { ASSERT_EQ(layer_.Init(kVendorId, kProductId, recorder_.Events()), kUsbOk); }
  // Plugs one unit, starts the session and returns the unit's handle once it
  // is attached (nullptr if it never was).
  DeviceHandle StartWithUnit(const sim::UnitConfig& config, EmulatedUnit** unit) {
    *unit = Plug(config, 1);
    if (layer_.Init(kVendorId, kProductId, recorder_.Events()) != kUsbOk) return nullptr;
    if (!recorder_.WaitForCount(1)) return nullptr;
    return recorder_.Snapshot()[0].device;
  }

  // One command and its reply through the layer.
  std::uint32_t Exchange(DeviceHandle device, std::vector<std::uint8_t> command,
                         std::uint8_t* reply, std::uint32_t length, std::uint32_t* moved,
                         std::uint32_t timeoutMs) {
    std::uint32_t written = 0;
    const std::uint32_t status =
        layer_.Transfer(device, kPipeOut, command.data(),
                        static_cast<std::uint32_t>(command.size()), &written, timeoutMs);
    if (status != kUsbOk) return status;
    return layer_.Transfer(device, kPipeIn, reply, length, moved, timeoutMs);
  }

  // The handlers may run until the session ends; end it while the recorder
  // is still there.
  void TearDown() override { layer_.Uninit(); }

  EmulatedBus bus_;  // outlives the layer's session
  LibusbLayer layer_;
  Recorder recorder_{layer_};
};

TEST_F(UsbLayerTest, UnitPluggedBeforeInitIsAttachedOnTheLayersOwnThread) {
  EmulatedUnit* unit = Plug(Calibrated(2, 100.0), 1);
  Start();
  ASSERT_TRUE(recorder_.WaitForCount(1));
  const Recorder::Event e = recorder_.Snapshot()[0];
  EXPECT_TRUE(e.attach);
  EXPECT_NE(e.thread, std::this_thread::get_id());
  // The handler's own transfers worked: status query, status byte.
  EXPECT_EQ(e.status, 0x06);
  EXPECT_EQ(unit->Commands(), (std::vector<std::vector<std::uint8_t>>{{kCmdStatus}}));
}

TEST_F(UsbLayerTest, OnlyUnitsWithTheSessionsIdsAreReported) {
  ASSERT_NE(bus_.Plug(Calibrated(0, 100.0), 1, kVendorId, kProductId + 1), nullptr);
  ASSERT_NE(bus_.Plug(Calibrated(1, 100.0), 2, kVendorId + 1, kProductId), nullptr);
  Plug(Calibrated(3, 100.0), 3);
  Start();
  ASSERT_TRUE(recorder_.WaitForCount(1));
  std::this_thread::sleep_for(100ms);
  const auto events = recorder_.Snapshot();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].status, 0x07);
}

TEST_F(UsbLayerTest, PlugAndUnplugAfterInitArriveInOrderAndTheHandleGoesStale) {
  Start();
  EmulatedUnit* unit = Plug(Ratiometric(1, 100.0), 4);
  ASSERT_TRUE(recorder_.WaitForCount(1));
  bus_.Unplug(unit);
  ASSERT_TRUE(recorder_.WaitForCount(2));
  const auto events = recorder_.Snapshot();
  EXPECT_TRUE(events[0].attach);
  EXPECT_EQ(events[0].status, 0x01);
  EXPECT_FALSE(events[1].attach);
  EXPECT_EQ(events[1].device, events[0].device);
  EXPECT_NE(events[1].thread, std::this_thread::get_id());

  // The library may still hold the handle: it is refused, not used.
  std::uint8_t byte = kCmdSingle;
  std::uint32_t moved = 99;
  EXPECT_EQ(layer_.Transfer(events[0].device, kPipeOut, &byte, 1, &moved, 100), kUsbNoDevice);
  EXPECT_EQ(moved, 0u);
}

// The emulated reply pipe ends a read only on a short packet or a full
// buffer: a 64-byte reply read into a larger buffer waits until the timeout
// unless a zero-length packet follows it, and the bytes that came are kept.
TEST_F(UsbLayerTest, ReadsEndOnAShortPacketOrAFullBuffer) {
  EmulatedUnit* unit = nullptr;
  const DeviceHandle device = StartWithUnit(Calibrated(0, 138.5), &unit);
  ASSERT_NE(device, nullptr);
  std::vector<std::uint8_t> reply(kBlockReplyLength, 0xEE);
  std::uint32_t moved = 0;
  // 6 bytes: one short packet, at once; nothing written beyond it.
  ASSERT_EQ(Exchange(device, {kCmdSingle}, reply.data(), kBlockReplyLength, &moved, 1000), kUsbOk);
  EXPECT_EQ(moved, 6u);
  EXPECT_EQ(reply[6], 0xEE);

  unit->SetSurplusBytes(58);  // 64 bytes: one full packet
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply.data(), kBlockReplyLength, &moved, 150),
            kUsbTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 150ms);
  EXPECT_EQ(moved, 64u);
  unit->SetZeroLengthPackets(true);
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply.data(), kBlockReplyLength, &moved, 5000), kUsbOk);
  EXPECT_EQ(moved, 64u);
  // A packet bigger than the room left overflows.
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply.data(), 6, &moved, 1000), kUsbError);
}

TEST_F(UsbLayerTest, SilentUnitTimesOutAndTheNextExchangeWorks) {
  EmulatedUnit* unit = nullptr;
  const DeviceHandle device = StartWithUnit(Calibrated(0, 100.0), &unit);
  ASSERT_NE(device, nullptr);

  unit->SetMute(true);
  std::uint8_t reply[6] = {};
  std::uint32_t moved = 99;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply, 6, &moved, 80), kUsbTimeout);
  const auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(moved, 0u);
  EXPECT_GE(waited, 80ms);
  EXPECT_LT(waited, 2s);

  unit->SetMute(false);
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply, 6, &moved, 1000), kUsbOk);
  EXPECT_EQ(moved, 6u);
}

TEST_F(UsbLayerTest, HaltedReplyPipeStallsUntilItIsReset) {
  EmulatedUnit* unit = nullptr;
  const DeviceHandle device = StartWithUnit(Calibrated(0, 100.0), &unit);
  ASSERT_NE(device, nullptr);

  unit->HaltReplyPipe();
  std::uint8_t reply[6] = {};
  std::uint32_t moved = 0;
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply, 6, &moved, 1000), kUsbStall);
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply, 6, &moved, 1000), kUsbStall);
  layer_.ResetPipe(device, kPipeIn);
  EXPECT_FALSE(unit->ReplyPipeHalted());
  EXPECT_EQ(Exchange(device, {kCmdSingle}, reply, 6, &moved, 1000), kUsbOk);
}

TEST_F(UsbLayerTest, UnplugEndsAWaitingReadAndDetachFollows) {
  EmulatedUnit* unit = nullptr;
  const DeviceHandle device = StartWithUnit(Calibrated(0, 100.0), &unit);
  ASSERT_NE(device, nullptr);

  unit->SetHoldReplies(true);
  std::uint32_t status = kUsbOk;
  std::chrono::steady_clock::duration took{};
  std::thread reader([&] {
    std::vector<std::uint8_t> reply(kBlockReplyLength);
    std::uint32_t moved = 0;
    const auto begin = std::chrono::steady_clock::now();
    status = Exchange(device, {kCmdReadBlock, 128}, reply.data(), kBlockReplyLength, &moved, 20000);
    took = std::chrono::steady_clock::now() - begin;
  });
  ASSERT_TRUE(unit->WaitForWaitingRead(3s));
  bus_.Unplug(unit);
  reader.join();
  EXPECT_EQ(status, kUsbNoDevice);
  EXPECT_LT(took, 5s);
  ASSERT_TRUE(recorder_.WaitForCount(2));
  EXPECT_FALSE(recorder_.Snapshot()[1].attach);
}

TEST_F(UsbLayerTest, DeclinedUnitIsLetGoButItsDepartureIsReported) {
  recorder_.accept = false;
  EmulatedUnit* unit = nullptr;
  const DeviceHandle device = StartWithUnit(Calibrated(0, 100.0), &unit);
  ASSERT_NE(device, nullptr);
  // The handler returns false a moment after it recorded the event.
  std::uint8_t byte = kCmdSingle;
  std::uint32_t moved = 0;
  EXPECT_TRUE(WaitUntil(
      [&] { return layer_.Transfer(device, kPipeOut, &byte, 1, &moved, 100) == kUsbNoDevice; },
      2s));
  bus_.Unplug(unit);
  ASSERT_TRUE(recorder_.WaitForCount(2));
  EXPECT_FALSE(recorder_.Snapshot()[1].attach);
  EXPECT_EQ(recorder_.Snapshot()[1].device, device);
}

TEST_F(UsbLayerTest, UninitLeavesNoThreadNoDescriptorAndNoHandler) {
  Plug(Calibrated(0, 100.0), 1);
  const int threads = ThreadCount();
  const int files = OpenFileCount();
  Start();
  ASSERT_TRUE(recorder_.WaitForCount(1));
  const DeviceHandle device = recorder_.Snapshot()[0].device;

  layer_.Uninit();
  EXPECT_FALSE(layer_.Running());
  EXPECT_EQ(LayerThreadCount(), 0);
  // libusb's own thread has gone too (the system may take a moment to show it).
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threads; }, 2s)) << ThreadCount();
  // umockdev closes its end of the unit's node on its own thread, a moment
  // after libusb closed the unit.
  EXPECT_TRUE(WaitUntil([&] { return OpenFileCount() == files; }, 2s))
      << OpenFileCount() << " descriptors open, " << files << " before";
  std::uint8_t byte = kCmdSingle;
  std::uint32_t moved = 0;
  EXPECT_EQ(layer_.Transfer(device, kPipeOut, &byte, 1, &moved, 100), kUsbInvalidHandle);

  // No session, no events; a fresh session finds both units.
  Plug(Calibrated(3, 100.0), 2);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(recorder_.Snapshot().size(), 1u);
  Start();
  ASSERT_TRUE(recorder_.WaitForCount(3));
  layer_.Uninit();
  EXPECT_EQ(LayerThreadCount(), 0);
  EXPECT_LE(ThreadCount(), threads);  // libusb's own thread has gone too
}

TEST_F(UsbLayerTest, SecondInitIsRefusedAndTheSessionGoesOn) {
  Start();
  EXPECT_NE(layer_.Init(kVendorId, kProductId, recorder_.Events()), kUsbOk);
  EXPECT_TRUE(layer_.Running());
  Plug(Calibrated(0, 100.0), 1);
  EXPECT_TRUE(recorder_.WaitForCount(1));
}

// Without hotplug the layer looks at the bus itself: units present at Init
// and plugged later are attached, a pulled one is detached.
TEST_F(UsbLayerTest, WithoutHotplugTheBusIsPolled) {
  Plug(Calibrated(0, 100.0), 1);
  noHotplug = true;
  const std::uint32_t started = layer_.Init(kVendorId, kProductId, recorder_.Events());
  noHotplug = false;
  ASSERT_EQ(started, kUsbOk);
  ASSERT_TRUE(recorder_.WaitForCount(1));
  EmulatedUnit* later = Plug(Calibrated(3, 100.0), 2);
  ASSERT_TRUE(recorder_.WaitForCount(2));
  bus_.Unplug(later);
  ASSERT_TRUE(recorder_.WaitForCount(3));
  const auto events = recorder_.Snapshot();
  EXPECT_EQ(events[1].status, 0x07);
  EXPECT_FALSE(events[2].attach);
  EXPECT_EQ(events[2].device, events[1].device);
}

// Units come and go while the caller's thread keeps transferring to the
// latest one; every unit is attached once, then detached once, with the
// same handle, and no transfer touches a unit after it went.
TEST_F(UsbLayerTest, PlugAndPullWhileTransferring) {
  Start();
  for (int round = 0; round < 12; ++round) {
    EmulatedUnit* unit = Plug(Calibrated(static_cast<std::uint8_t>(round % 4), 100.0), 1);
    ASSERT_TRUE(recorder_.WaitForCount(2 * static_cast<std::size_t>(round) + 1));
    const DeviceHandle device = recorder_.Snapshot().back().device;
    // The caller keeps going until its first failure, which the unplug brings.
    std::atomic<std::uint32_t> last{kUsbOk};
    std::atomic<int> good{0};
    std::thread caller([&] {
      std::uint8_t reply[6];
      std::uint32_t moved = 0;
      for (;;) {
        const std::uint32_t status = Exchange(device, {kCmdSingle}, reply, 6, &moved, 2000);
        last = status;
        if (status != kUsbOk) break;
        ++good;
      }
    });
    ASSERT_TRUE(WaitUntil([&] { return good.load() > 0; }, 3s));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * round));
    bus_.Unplug(unit);
    ASSERT_TRUE(recorder_.WaitForCount(2 * static_cast<std::size_t>(round) + 2));
    caller.join();
    EXPECT_EQ(last.load(), kUsbNoDevice) << "round " << round;
  }
  // The departed units' records are gone (the layer lets the last one go a
  // moment after it told of its departure).
  EXPECT_TRUE(WaitUntil([&] { return layer_.UnitRecords() == 0u; }, 2s)) << layer_.UnitRecords();
  const auto events = recorder_.Snapshot();
  ASSERT_EQ(events.size(), 24u);
  for (std::size_t i = 0; i < events.size(); i += 2) {
    EXPECT_TRUE(events[i].attach);
    EXPECT_FALSE(events[i + 1].attach);
    EXPECT_EQ(events[i].device, events[i + 1].device);
  }
}

// The session ends while a unit is arriving: nothing is delivered after
// Uninit returned.
TEST_F(UsbLayerTest, UninitWhileAUnitArrives) {
  for (int round = 0; round < 5; ++round) {
    Start();
    EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(round));
    layer_.Uninit();
    const std::size_t seen = recorder_.Snapshot().size();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(recorder_.Snapshot().size(), seen);
    bus_.Unplug(unit);
  }
}

}  // namespace
}  // namespace brisko::test

// Answers the layer's question (not libusb's own, made from inside libusb)
// as a libusb without hotplug would, while noHotplug is set.
extern "C" int LIBUSB_CALL libusb_has_capability(uint32_t capability) {
  using Real = int(LIBUSB_CALL*)(uint32_t);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "libusb_has_capability"));
  Dl_info caller{}, self{};
  const bool fromHere = dladdr(__builtin_return_address(0), &caller) != 0 &&
                        dladdr(reinterpret_cast<void*>(&libusb_has_capability), &self) != 0 &&
                        caller.dli_fbase == self.dli_fbase;
  if (capability == LIBUSB_CAP_HAS_HOTPLUG && fromHere && brisko::test::noHotplug.load()) return 0;
  return real(capability);
}
