// The library's logic over the libusb layer, linked statically so the tests
// can shorten the transfer timeout and look at the session's state.
#include <atomic>
#include <thread>

#include "brisko_usb_fixture.h"
#include "library.h"

namespace brisko::test {
namespace {

using namespace std::chrono_literals;

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
// passed, nothing is delivered, and the next exchange works again.
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
}

// The only open unit is pulled: Close then finds nothing open and leaves the
// session (and its threads) running; the last real Close ends it.
TEST_F(UsbSessionTest, PulledUnitLeavesTheSessionUntilTheLastClose) {
  EmulatedUnit* unit = Plug(Calibrated(1, 100.0), 1);
  const int threads = ThreadCount();
  ASSERT_EQ(Quenzel_Device_Open(1), 0);
  bus_.Unplug(unit);
  std::int16_t result = -1;
  ASSERT_TRUE(WaitUntil([&] { return Single(1, 0, 0, &result), result == 7; }, 3s));
  Quenzel_Device_Close(1);
  EXPECT_TRUE(internal::SessionRunning());
  EXPECT_EQ(LayerThreadCount(), 2);

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
