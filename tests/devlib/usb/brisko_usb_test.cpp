// libBrisko.so end to end: its five exports, its libusb layer and emulated
// units that answer with the simulated unit's protocol.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "brisko_usb_fixture.h"
#include "protocol.h"

namespace brisko::test {
namespace {

using namespace std::chrono_literals;
using Commands = std::vector<std::vector<std::uint8_t>>;

constexpr double kHundredDegrees = 138.5055;  // Pt100 at 100 ℃

bool Sent(const EmulatedUnit* unit, const std::vector<std::uint8_t>& command) {
  for (const auto& c : unit->Commands()) {
    if (c == command) return true;
  }
  return false;
}

TEST_F(BriskoUsbTest, UnitPluggedBeforeTheFirstOpenIsSampled) {
  Plug(Calibrated(0, kHundredDegrees), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  std::int16_t result = -1;
  EXPECT_NEAR(Single(0, 2, 0, &result), kHundredDegrees, 1e-3);
  EXPECT_EQ(result, 0);
  EXPECT_NEAR(Single(0, 0, 1, &result), 100.0, 0.01);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Quenzel_Device_Open(0), 3);
}

TEST_F(BriskoUsbTest, UnitPluggedDuringTheFirstOpensWait) {
  // Plugged early in the wait, so that a loaded machine has most of it to
  // deliver the unit's arrival.
  std::thread plugger([this] {
    std::this_thread::sleep_for(200ms);
    Plug(Calibrated(3, 100.0), 2);
  });
  const auto begin = std::chrono::steady_clock::now();
  const std::int16_t result = Quenzel_Device_Open(3);
  const auto waited = std::chrono::steady_clock::now() - begin;
  plugger.join();
  EXPECT_EQ(result, 0);
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 1900ms);  // found before the wait ran out
}

TEST_F(BriskoUsbTest, NoUnitAtTheFirstOpenThenOneArrives) {
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Quenzel_Device_Open(0), 6);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, 1900ms);
  // The session stays up: the unit is found without a second wait.
  Plug(Calibrated(0, 100.0), 1);
  EXPECT_TRUE(OpenWhenAttached(0));
  std::int16_t result = -1;
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// A calibrated unit reporting 1 answers to ID 1, a ratiometric unit
// reporting 1 to ID 2; only the ratiometric one is sent the open command.
TEST_F(BriskoUsbTest, CalibratedAndRatiometricUnitsTakeTheirSlots) {
  EmulatedUnit* calibrated = Plug(Calibrated(1, 120.0), 1);
  EmulatedUnit* ratiometric = Plug(Ratiometric(1, 150.0), 2);
  ASSERT_EQ(Quenzel_Device_Open(1), 0);
  ASSERT_TRUE(OpenWhenAttached(2));
  std::int16_t result = -1;
  for (std::uint8_t wiring = 0; wiring < 3; ++wiring) {
    EXPECT_NEAR(Single(1, wiring, 0, &result), 120.0, 1e-3) << int(wiring);
    EXPECT_EQ(result, 0);
    EXPECT_NEAR(Single(2, wiring, 0, &result), 150.0, 0.01) << int(wiring);
    EXPECT_EQ(result, 0);
  }
  EXPECT_TRUE(Sent(ratiometric, {kCmdOpen}));
  EXPECT_FALSE(Sent(calibrated, {kCmdOpen}));
  EXPECT_TRUE(Sent(calibrated, {kCmdCalibration}));
  EXPECT_FALSE(Sent(ratiometric, {kCmdCalibration}));
  // Each unit got exactly its own three single-sample commands.
  int singles = 0;
  for (const auto& c : calibrated->Commands()) singles += c == std::vector<std::uint8_t>{0x10};
  EXPECT_EQ(singles, 3);
}

// Timed sampling on both kinds of unit, fetched in blocks of up to 128.
TEST_F(BriskoUsbTest, TimedSamplingDeliversFullBlocks) {
  EmulatedUnit* calibrated = Plug(Calibrated(0, kHundredDegrees), 1);
  EmulatedUnit* ratiometric = Plug(Ratiometric(3, 200.0), 2);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_TRUE(OpenWhenAttached(3));
  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  ASSERT_EQ(Quenzel_Start_Sample(3, 1), 0);
  EXPECT_TRUE(Sent(calibrated, {kCmdStartSampling, 0x00, 0x01}));
  EXPECT_TRUE(ratiometric->Sampling());
  std::this_thread::sleep_for(1400ms);  // more than 128 samples of 10 ms

  struct Case {
    std::int16_t id;
    std::uint8_t wiring, temperature;
    double expected, tolerance;
  };
  for (const Case& c : {Case{0, 2, 1, 100.0, 0.01}, Case{3, 0, 0, 200.0, 0.01}}) {
    std::vector<double> values(201, -1.0);
    std::vector<std::uint8_t> statuses(201, 0xAA);
    std::uint8_t count = 128;
    ASSERT_EQ(
        Quenzel_Get_Datas(c.id, values.data(), statuses.data(), &count, c.wiring, c.temperature),
        0);
    ASSERT_EQ(count, 128) << "ID" << c.id;
    for (int i = 0; i < 128; ++i) {
      EXPECT_NEAR(values[i], c.expected, c.tolerance) << "ID" << c.id << " sample " << i;
      EXPECT_EQ(statuses[i], 0) << "ID" << c.id << " sample " << i;
    }
    EXPECT_EQ(values[128], -1.0);
    EXPECT_EQ(statuses[128], 0xAA);

    // The rest stays in the unit; a small request takes only what it asks.
    count = 3;
    ASSERT_EQ(
        Quenzel_Get_Datas(c.id, values.data(), statuses.data(), &count, c.wiring, c.temperature),
        0);
    EXPECT_EQ(count, 3);
  }
  EXPECT_TRUE(Sent(ratiometric, {kCmdReadBlock, 128}));
  EXPECT_TRUE(Sent(ratiometric, {kCmdReadBlock, 3}));
}

// A halted reply pipe: the attach clears it; a halt while open fails that
// exchange (result 9, nothing delivered), and the next one clears it first.
TEST_F(BriskoUsbTest, StalledReplyPipe) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  unit->HaltReplyPipe();  // before any session: cleared by the attach
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_FALSE(unit->ReplyPipeHalted());

  unit->HaltReplyPipe();
  std::int16_t result = -1;
  EXPECT_EQ(Single(0, 0, 0, &result), -12345.0);
  EXPECT_EQ(result, 9);
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

TEST_F(BriskoUsbTest, UnplugWhileIdle) {
  Plug(Calibrated(0, 100.0), 1);
  EmulatedUnit* idle = Plug(Calibrated(3, 100.0), 2);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  bus_.Unplug(idle);
  // Once the detach is handled the slot is empty (an Open that came first
  // opened it, and the detach cleared that too).
  EXPECT_TRUE(WaitUntil([] { return Quenzel_Device_Open(3) == 6; }, 3s));
  std::int16_t result = -1;
  Single(0, 0, 0, &result);
  EXPECT_EQ(result, 0);
}

// Pulled while open: the slot empties (7 from every sampling export), Close
// has nothing to do, and the unit plugged in again is opened afresh.
TEST_F(BriskoUsbTest, UnplugWhileOpenAndReplug) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  bus_.Unplug(unit);
  std::int16_t result = -1;
  ASSERT_TRUE(WaitUntil([&] { return Single(0, 0, 0, &result), result == 7; }, 3s));
  EXPECT_EQ(Quenzel_Start_Sample(0, 10), 7);
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 128;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 7);
  Quenzel_Device_Close(0);

  EmulatedUnit* again = Plug(Calibrated(0, 110.0), 1);
  ASSERT_TRUE(OpenWhenAttached(0));
  EXPECT_NEAR(Single(0, 0, 0, &result), 110.0, 1e-3);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(again->Commands().front(), std::vector<std::uint8_t>{kCmdStatus});
}

// Two units reporting the same ID: the later one holds the slot, starting
// not opened; pulling the earlier one leaves the slot alone.
TEST_F(BriskoUsbTest, TwoUnitsWithTheSameId) {
  EmulatedUnit* first = Plug(Calibrated(2, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  EmulatedUnit* second = Plug(Calibrated(2, 200.0), 2);
  std::int16_t result = -1;
  ASSERT_TRUE(WaitUntil([&] { return Single(2, 0, 0, &result), result == 7; }, 3s));
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  EXPECT_NEAR(Single(2, 0, 0, &result), 200.0, 1e-3);

  bus_.Unplug(first);
  std::this_thread::sleep_for(300ms);
  EXPECT_NEAR(Single(2, 0, 0, &result), 200.0, 1e-3);
  EXPECT_EQ(result, 0);

  bus_.Unplug(second);
  EXPECT_TRUE(WaitUntil([&] { return Single(2, 0, 0, &result), result == 7; }, 3s));
}

// The last Close ends the session: no thread, descriptor or handle is left;
// the next Open starts a new one and finds the unit again.
TEST_F(BriskoUsbTest, SessionEndsAndAFreshOneStarts) {
  Plug(Calibrated(0, 100.0), 1);
  const int threads = ThreadCount();
  const int files = OpenFileCount();
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_GT(OpenFileCount(), files);
  Quenzel_Device_Close(0);
  EXPECT_EQ(LayerThreadCount(), 0);
  // libusb's own thread has gone too (the system may take a moment to show it).
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threads; }, 2s)) << ThreadCount();
  EXPECT_TRUE(WaitUntil([&] { return OpenFileCount() == files; }, 2s))
      << OpenFileCount() << " descriptors open, " << files << " before";

  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  std::int16_t result = -1;
  Single(0, 0, 0, &result);
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace brisko::test
