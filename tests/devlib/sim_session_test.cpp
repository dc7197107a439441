// Sessions of the library over the simulated units: attach on the layer's
// own thread, unplug and replug, the driven clock and every injected fault.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "brisko.h"
#include "library.h"
#include "sim/sim_layer.h"

namespace brisko::sim {
namespace {

UnitConfig Unit(std::uint8_t id, bool calibrated, std::optional<double> ohms = std::nullopt) {
  UnitConfig c;
  c.id = id;
  c.calibrated = calibrated;
  c.ohms = ohms;
  return c;
}

// Waits (real time) until a condition holds; the layer's thread acts on its own.
template <typename F>
bool Eventually(F condition, int ms = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class SimSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetLibrary();
    internal::SetUsbLayer(&layer);
    internal::SetTransferTimeoutMs(2000);
    config.units.clear();
    config.attachMs = 0;
    config.virtualClock = true;
    config.stepMs = 300;
    config.sleepScale = 0.1;  // the 100 ms waits of Open take 10 ms
  }
  void TearDown() override {
    internal::ResetLibrary();
    internal::SetUsbLayer(nullptr);
    internal::SetTransferTimeoutMs(kDefaultTimeoutMs);
  }
  void Use(std::vector<UnitConfig> units) {
    config.units = std::move(units);
    layer.Configure(config);
  }
  SimConfig config;
  SimLayer layer;
  double values[201];
  std::uint8_t statuses[201];
};

TEST_F(SimSessionTest, FourCalibratedUnitsByDefault) {
  config = SimConfig::Default();
  config.sleepScale = 0.1;
  layer.Configure(config);
  for (std::int16_t id = 0; id < 4; ++id) EXPECT_EQ(Quenzel_Device_Open(id), 0) << id;
  EXPECT_LT(layer.SleptMs(), 2000u);
  for (std::int16_t id = 0; id < 4; ++id) {
    double v = 0;
    ASSERT_EQ(Quenzel_Single_Sample(id, &v, 1, 1), 0);
    EXPECT_GT(v, 20.0);
    EXPECT_LT(v, 26.0);
    Quenzel_Device_Close(id);
  }
  EXPECT_FALSE(layer.Running());
}

TEST_F(SimSessionTest, UnitsAttachLateOnTheLayersOwnThread) {
  config = SimConfig::Default();  // 300 ms, then 40 ms apart
  layer.Configure(config);
  struct Seen {
    std::atomic<int> attaches{0};
    std::atomic<bool> otherThread{true};
    std::thread::id caller = std::this_thread::get_id();
  } seen;
  UsbEvents events;
  events.user = &seen;
  events.onAttach = [](DeviceHandle, void* user) {
    auto* s = static_cast<Seen*>(user);
    if (std::this_thread::get_id() == s->caller) s->otherThread = false;
    ++s->attaches;
    return true;
  };
  events.onDetach = [](DeviceHandle, void*) {};
  ASSERT_EQ(layer.CreateLock(), 0u);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(layer.Init(kVendorId, kProductId, events), kUsbOk);
  EXPECT_EQ(seen.attaches.load(), 0);
  ASSERT_TRUE(layer.WaitForStartAttach(5000));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(420));
  EXPECT_EQ(seen.attaches.load(), 4);
  EXPECT_TRUE(seen.otherThread.load());
  layer.Uninit();
  layer.CloseLock();
}

TEST_F(SimSessionTest, ExampleConfigurationSwapsTheRatiometricUnit) {
  Use({Unit(0, true, 138.5055), Unit(1, false)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_EQ(Quenzel_Device_Open(1), 6);
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  double v = 0;
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 2, 1), 0);
  EXPECT_NEAR(v, 100.0, 0.001);
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 0, 0), 0);
  EXPECT_NEAR(v, Pt100Ohms(23.0), 1.0);
  // The ratiometric unit got its open command.
  EXPECT_EQ(layer.Commands(1).back(), (std::vector<std::uint8_t>{0x10}));
  EXPECT_EQ(layer.Commands(1)[0], (std::vector<std::uint8_t>{0xF0}));
  EXPECT_EQ(layer.Commands(1)[1], (std::vector<std::uint8_t>{0x40}));
}

TEST_F(SimSessionTest, LongBlockRunOnTheDrivenClock) {
  Use({Unit(3, true, 138.5055), Unit(1, false, 100.0)});
  ASSERT_EQ(Quenzel_Device_Open(3), 0);
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  ASSERT_EQ(Quenzel_Start_Sample(3, 1), 0);   // 10 ms: 30 per 300 ms read
  ASSERT_EQ(Quenzel_Start_Sample(2, 30), 0);  // 300 ms: 1 per read
  int total = 0, reads = 0;
  while (total < 88000) {
    std::uint8_t count = 128;
    ASSERT_EQ(Quenzel_Get_Datas(3, values, statuses, &count, 1, 1), 0);
    ASSERT_EQ(count, 30) << "read " << reads;
    EXPECT_NEAR(values[0], 100.0, 0.001);
    EXPECT_NEAR(values[count - 1], 100.0, 0.001);
    EXPECT_EQ(statuses[count - 1], 0);
    total += count;
    ++reads;
  }
  EXPECT_EQ(reads, 2934);
  EXPECT_EQ(layer.NowMs(), 300u * reads);
  // Meanwhile the ratiometric unit kept one sample per 300 ms; a read takes 128.
  std::uint8_t count = 200 - 72;
  ASSERT_EQ(Quenzel_Get_Datas(2, values, statuses, &count, 2, 0), 0);
  EXPECT_EQ(count, 128);
  EXPECT_NEAR(values[127], 100.0, 0.01);
}

TEST_F(SimSessionTest, UnplugAndPlugAgain) {
  Use({Unit(0, true, 50.0)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  const DeviceHandle first = internal::Slot(0).device;
  layer.Unplug(0);
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
  Quenzel_Device_Close(0);  // not open any more: the session stays
  EXPECT_TRUE(layer.Running());
  ASSERT_TRUE(layer.Plug(0));
  EXPECT_NE(internal::Slot(0).device, first);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_NEAR(v, 50.0, 1e-3);
  Quenzel_Device_Close(0);
  EXPECT_FALSE(layer.Running());
}

TEST_F(SimSessionTest, UnitPluggedLateIsFoundByALaterOpen) {
  UnitConfig late = Unit(2, true);
  late.plugged = false;
  Use({late});
  EXPECT_EQ(Quenzel_Device_Open(2), 6);
  EXPECT_EQ(layer.SleptMs(), 2000u);
  ASSERT_TRUE(layer.Plug(0));
  EXPECT_EQ(Quenzel_Device_Open(2), 0);
  EXPECT_EQ(layer.SleptMs(), 2000u);
}

TEST_F(SimSessionTest, OpensInTheFirstTwoSecondsWaitForUnitsStillAttaching) {
  // The units attach 300, 340, 380 and 420 ms (scaled) after the start: the
  // first Open finds its unit while the others are not there yet.
  config.attachMs = 300;
  Use({Unit(0, true), Unit(3, true), Unit(1, false), Unit(2, false)});
  for (std::int16_t id = 0; id < 4; ++id) EXPECT_EQ(Quenzel_Device_Open(id), 0) << id;
}

TEST_F(SimSessionTest, TransferFailureAfterNCommands) {
  config.faults = {{0, FaultKind::kFail, 2}};
  Use({Unit(0, true, 10.0)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_EQ(Quenzel_Start_Sample(0, 5), 0);
  std::uint8_t count = 10;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);  // once only
}

TEST_F(SimSessionTest, ShortReplyIsAFailure) {
  config.faults = {{1, FaultKind::kShort, 0}, {0, FaultKind::kShort, 1}};
  Use({Unit(0, true, 10.0), Unit(1, false, 10.0)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  double v = -1;
  EXPECT_EQ(Quenzel_Single_Sample(2, &v, 0, 0), 9);  // 5 of 10 bytes
  EXPECT_EQ(v, -1);
  EXPECT_EQ(Quenzel_Single_Sample(2, &v, 0, 0), 0);
  // A block reply cut in half delivers only the samples that arrived whole.
  ASSERT_EQ(Quenzel_Start_Sample(0, 1), 0);
  // 100 ms and the read's own 300 ms: 40 samples. The reply of 404 bytes is cut
  // to 202, which hold 19 whole samples (the 19th ends at byte 192).
  layer.AdvanceClock(100);
  std::uint8_t count = 128;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 19);
}

TEST_F(SimSessionTest, UnpluggedAfterNCommands) {
  config.faults = {{0, FaultKind::kUnplug, 1}};
  Use({Unit(0, true, 10.0)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 9);  // taken, then gone before the reply
  ASSERT_TRUE(Eventually([] { return internal::Slot(0).attached.load() == 0; }));
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
}

TEST_F(SimSessionTest, MuteUnitTimesOut) {
  config.faults = {{0, FaultKind::kMute, 0}};
  config.replyTimeoutMs = 20;
  Use({Unit(0, true, 10.0)});
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  double v = -1;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 9);
  std::uint8_t count = 3;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(v, -1);
}

TEST_F(SimSessionTest, UnitsTheLibraryCannotUseAreDeclined) {
  config.faults = {{0, FaultKind::kDead, 0},
                   {1, FaultKind::kNoCalibration, 0},
                   {2, FaultKind::kZeroCalibration, 0}};
  config.replyTimeoutMs = 20;
  UnitConfig noSlot = Unit(3, false);
  noSlot.statusByte = 0x0B;  // ratiometric, 11: no slot
  Use({Unit(0, true), Unit(1, true), Unit(2, true), noSlot});
  EXPECT_EQ(Quenzel_Device_Open(0), 6);
  ASSERT_TRUE(layer.WaitForStartAttach(5000));
  for (std::int16_t id = 1; id < 4; ++id) EXPECT_EQ(Quenzel_Device_Open(id), 6) << id;
  EXPECT_EQ(layer.Commands(3).size(), 1u);  // only the status query
}

TEST_F(SimSessionTest, EnvironmentIsReadAtEverySessionStart) {
  layer.Configure(std::nullopt);
  setenv("BRISKO_SIM", "1:cal:100", 1);
  setenv("BRISKO_SIM_ATTACH_MS", "0", 1);
  setenv("BRISKO_SIM_CLOCK", "step:1000", 1);
  ASSERT_EQ(Quenzel_Device_Open(1), 0);
  double v = 0;
  ASSERT_EQ(Quenzel_Single_Sample(1, &v, 0, 1), 0);
  EXPECT_NEAR(v, 0.0, 1e-3);
  Quenzel_Device_Close(1);
  setenv("BRISKO_SIM", "1:ratio:18.52", 1);
  ASSERT_EQ(Quenzel_Device_Open(2), 0);
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 0, 1), 0);
  EXPECT_NEAR(v, -200.0, 0.05);
  Quenzel_Device_Close(2);
  setenv("BRISKO_SIM", "9:cal", 1);  // unreadable: the session cannot start
  EXPECT_EQ(Quenzel_Device_Open(0), 2);
  for (const char* key : {"BRISKO_SIM", "BRISKO_SIM_ATTACH_MS", "BRISKO_SIM_CLOCK"}) {
    unsetenv(key);
  }
}

}  // namespace
}  // namespace brisko::sim
