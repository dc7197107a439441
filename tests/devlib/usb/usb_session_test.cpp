// The library's logic over the libusb layer, linked statically so the tests
// can shorten the transfer timeout and look at the session's state. The
// emulated units' reply pipes are packet-true (see emulated_bus.h).
#include <atomic>
#include <string>
#include <thread>

#include "brisko_usb_fixture.h"
#include "library.h"

namespace brisko::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class UsbSessionTest : public BriskoUsbTest {
 protected:
  void SetUp() override { internal::SetTransferTimeoutMs(150); }
  void TearDown() override {
    BriskoUsbTest::TearDown();
    EXPECT_FALSE(internal::SessionRunning());
    internal::SetTransferTimeoutMs(kDefaultTimeoutMs);
  }
};

// A unit that does not answer: the call fails with 9 once the timeout has
// passed, nothing is delivered, and the next exchange works again. A reply
// that comes after its read gave up is not taken for the next one's.
TEST_F(UsbSessionTest, TransferTimeout) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  unit->SetMute(true);

  std::int16_t result = -1;
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Single(0, 0, 0, &result), -12345.0);
  const auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(result, 9);
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 3s);

  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 7;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  EXPECT_EQ(count, 7);

  unit->SetMute(false);
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);

  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  std::this_thread::sleep_for(100ms);
  unit->SetHoldReplies(true);
  count = 128;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  unit->SetHoldReplies(false);  // the block reply of about 100 bytes comes late
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// Block replies of 64 and 1,024 bytes fill their last packet; without a
// zero-length packet after them they are still taken at once, by their own
// sample count, and with one the packet is not taken for the next reply.
TEST_F(UsbSessionTest, BlockRepliesThatFillTheirLastPacket) {
  internal::SetTransferTimeoutMs(5000);
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  std::this_thread::sleep_for(1200ms);  // 120 samples kept
  double values[128];
  std::uint8_t statuses[128];
  for (const auto& [samples, zlp] : {std::pair{6, false}, {102, false}, {6, true}}) {
    unit->SetZeroLengthPackets(zlp);
    std::uint8_t count = static_cast<std::uint8_t>(samples);
    const auto begin = Clock::now();
    ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0) << samples;
    EXPECT_LT(Clock::now() - begin, 300ms) << samples;  // within one poll
    EXPECT_EQ(count, samples);
    EXPECT_NEAR(values[samples - 1], 100.0, 1e-3);
  }
  std::int16_t result = -1;
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// Replies that fill their last packet are followed by a drain that clears
// no halt, so a unit whose firmware keeps its data toggle over a cleared halt
// loses no packet in normal running.
TEST_F(UsbSessionTest, FullPacketRepliesLeaveAHealthyPipeAlone) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  unit->SetKeepsToggleOnClearHalt(true);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  std::this_thread::sleep_for(300ms);
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 6;  // a 64-byte reply
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  std::int16_t result = -1;
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// A stalled command pipe fails that call and is cleared before the next
// exchange, also when it was halted before the session began.
TEST_F(UsbSessionTest, StalledCommandPipe) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  unit->HaltCommandPipe();
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  unit->HaltCommandPipe();
  std::int16_t result = -1;
  Single(0, 0, 0, &result);
  EXPECT_EQ(result, 9);
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// A block reply cut short delivers the samples that came; the rest, sent
// later, and a reply that comes well after its read gave up are drained,
// never taken for the next command's reply.
TEST_F(UsbSessionTest, BlockReplyCutShortOrLate) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  std::this_thread::sleep_for(300ms);
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 10;
  unit->CutNextReply(40);  // the header and three of ten samples
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 3);
  unit->SetHoldReplies(false);  // the other 64 bytes
  std::int16_t result = -1;
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);

  unit->SetReplyDelay(190ms);  // 40 ms after the read gave up
  count = 6;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  unit->SetReplyDelay(0ms);
  EXPECT_NEAR(Single(0, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// A full block of 128 ratiometric samples (1,666 bytes) from units with
// packets of 512 and 1,024 bytes.
TEST_F(UsbSessionTest, OtherPacketSizes) {
  internal::SetTransferTimeoutMs(5000);
  for (const auto& [id, packet] : {std::pair<std::uint8_t, std::size_t>{0, 512}, {3, 1024}}) {
    ASSERT_NE(bus_.Plug(Ratiometric(id, 150.0), id + 1, kUnitVendorId, kUnitProductId, packet),
              nullptr);
    ASSERT_TRUE(OpenWhenAttached(id));
    ASSERT_EQ(Quenzel_Start_Sample(id, 1), 0);
  }
  // 128 samples take about 1.3 s; the rest is room for a loaded machine.
  std::this_thread::sleep_for(2500ms);
  double values[128];
  std::uint8_t statuses[128];
  for (std::int16_t id : {0, 3}) {
    std::uint8_t count = 128;
    ASSERT_EQ(Quenzel_Get_Datas(id, values, statuses, &count, 0, 0), 0) << id;
    EXPECT_EQ(count, 128) << id;
    EXPECT_NEAR(values[127], 150.0, 0.01) << id;
  }
}

// Close from another thread while a call waits for its reply: Close does not
// hang, and the waiting call fails at once.
TEST_F(UsbSessionTest, CloseWhileAnotherThreadWaitsForAReply) {
  internal::SetTransferTimeoutMs(5000);
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  unit->SetMute(true);
  std::int16_t result = -1;
  std::thread caller([&] { Single(0, 0, 0, &result); });
  ASSERT_TRUE(unit->WaitForWaitingRead(3s));
  const auto begin = Clock::now();
  Quenzel_Device_Close(0);
  caller.join();
  EXPECT_LT(Clock::now() - begin, 2s);
  EXPECT_EQ(result, 9);
}

// Replies one byte longer than their layout: the status query, the
// calibration, single samples and a 65-byte block reply are all taken, and
// the surplus is never read as the start of another reply.
TEST_F(UsbSessionTest, RepliesLongerThanTheirLayout) {
  EmulatedUnit* unit = Plug(Calibrated(3, 100.0), 1);
  unit->SetSurplusBytes(1);
  ASSERT_EQ(Quenzel_Device_Open(3), 0);
  std::int16_t result = -1;
  EXPECT_NEAR(Single(3, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(Quenzel_Start_Sample(3, 1), 0);
  std::this_thread::sleep_for(100ms);
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 6;
  ASSERT_EQ(Quenzel_Get_Datas(3, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 6);
  EXPECT_NEAR(Single(3, 0, 0, &result), 100.0, 1e-3);
  EXPECT_EQ(result, 0);
}

// A unit that never answers and one that another program holds stand beside
// a good unit: the good one is opened at once, the held one is named on
// standard error and gives 6, and the last Close does not wait for the
// silent unit's attach.
TEST_F(UsbSessionTest, UnitsThatCannotBeTakenHoldUpNobody) {
  internal::SetTransferTimeoutMs(5000);
  Plug(Calibrated(0, 100.0), 1)->SetMute(true);
  Plug(Calibrated(1, 100.0), 2)->SetHeldElsewhere(true);  // device 003
  Plug(Calibrated(3, 100.0), 3);
  // Gone before it could be opened: not worth a message.
  ASSERT_NE(bus_.Plug(Calibrated(2, 100.0), 4, kUnitVendorId, kUnitProductId, 64, false), nullptr);
  testing::internal::CaptureStderr();
  const auto begin = Clock::now();
  EXPECT_EQ(Quenzel_Device_Open(3), 0);
  EXPECT_LT(Clock::now() - begin, 1s);
  EXPECT_EQ(Quenzel_Device_Open(1), 6);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("bus 001 device 003: another program holds it"), std::string::npos) << said;
  EXPECT_EQ(said.find("Brisko:"), said.rfind("Brisko:")) << said;  // once, and only that unit
  const auto closing = Clock::now();
  Quenzel_Device_Close(3);
  EXPECT_FALSE(internal::SessionRunning());
  EXPECT_LT(Clock::now() - closing, 1s);
}

// The only open unit is pulled: Close then finds nothing open and leaves the
// session (and its threads) running, and the next Open does not wait for the
// unit; the last real Close ends the session.
TEST_F(UsbSessionTest, PulledUnitLeavesTheSessionUntilTheLastClose) {
  EmulatedUnit* unit = Plug(Calibrated(1, 100.0), 1);
  const int threads = ThreadCount();
  ASSERT_EQ(Quenzel_Device_Open(1), 0);
  const auto opened = Clock::now();  // the session began before
  bus_.Unplug(unit);
  std::int16_t result = -1;
  ASSERT_TRUE(WaitUntil([&] { return Single(1, 0, 0, &result), result == 7; }, 3s));
  Quenzel_Device_Close(1);
  EXPECT_TRUE(internal::SessionRunning());
  EXPECT_GT(LayerThreadCount(), 0);
  // Long after the session began, an Open of the missing unit (the next
  // Start) answers at once.
  std::this_thread::sleep_until(opened + kOpenWindowMs * 1ms + 100ms);
  const auto begin = Clock::now();
  EXPECT_EQ(Quenzel_Device_Open(1), 6);
  EXPECT_LT(Clock::now() - begin, 200ms);  // not the window's 2 s

  Plug(Calibrated(1, 100.0), 2);
  ASSERT_TRUE(OpenWhenAttached(1));
  Quenzel_Device_Close(1);
  EXPECT_FALSE(internal::SessionRunning());
  EXPECT_EQ(LayerThreadCount(), 0);
  EXPECT_LE(ThreadCount(), threads);  // libusb's own thread has gone too
}

// Units come and go while the caller samples without pause: every result is
// one the exports document, and the table ends up consistent.
TEST_F(UsbSessionTest, PlugAndPullWhileSampling) {
  EmulatedUnit* unit = Plug(Calibrated(0, 100.0), 1);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  std::atomic<bool> done{false};
  std::thread plugger([&] {
    for (int round = 0; round < 8; ++round) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10 + 5 * round));
      bus_.Unplug(unit);
      std::this_thread::sleep_for(std::chrono::milliseconds(5 * round));
      unit = Plug(Calibrated(0, 100.0 + round), 1);
    }
    done = true;
  });
  int samples = 0, gone = 0;
  while (!done.load()) {
    const std::int16_t opened = Quenzel_Device_Open(0);
    ASSERT_TRUE(opened == 0 || opened == 3 || opened == 6) << opened;
    std::int16_t result = -1;
    Single(0, 0, 0, &result);
    ASSERT_TRUE(result == 0 || result == 7 || result == 9) << result;
    samples += result == 0;
    gone += result != 0;
  }
  plugger.join();
  EXPECT_GT(samples, 0);
  EXPECT_GT(gone, 0);

  std::int16_t result = -1;
  ASSERT_TRUE(WaitUntil(
      [] {
        const std::int16_t opened = Quenzel_Device_Open(0);
        return opened == 0 || opened == 3;
      },
      3s));
  EXPECT_NEAR(Single(0, 0, 0, &result), 107.0, 1e-3);
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace brisko::test
