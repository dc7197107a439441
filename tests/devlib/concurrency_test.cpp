// Units plugged in and out on the layer's thread while the caller opens,
// samples and closes: every call returns a code it may return, and under
// ThreadSanitizer no access to the table races.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "brisko.h"
#include "library.h"
#include "sim/sim_layer.h"

namespace brisko::sim {
namespace {

TEST(ConcurrencyTest, AttachAndDetachDuringOpenCloseAndSampling) {
  internal::ResetLibrary();
  SimLayer layer;
  SimConfig config;
  config.attachMs = 0;
  config.attachGapMs = 0;
  config.virtualClock = true;
  config.stepMs = 50;
  config.sleepScale = 0.01;
  for (std::uint8_t id = 0; id < 4; ++id) {
    UnitConfig u;
    u.id = id;
    u.calibrated = id == 0 || id == 3;  // ratiometric 1 and 2 answer to IDs 2 and 1
    u.ohms = 100.0 + id;
    config.units.push_back(u);
  }
  layer.Configure(config);
  internal::SetUsbLayer(&layer);
  internal::SetTransferTimeoutMs(200);

  std::atomic<bool> done{false};
  std::atomic<int> plugs{0};
  std::thread plugger([&] {
    std::mt19937 rng(7);
    while (!done.load()) {
      const std::size_t unit = rng() % 4;
      if (rng() % 3 == 0) {
        layer.Unplug(unit);
      } else if (layer.Plug(unit)) {
        ++plugs;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
    }
  });

  const std::set<int> openCodes = {0, 3, 6};
  const std::set<int> sampleCodes = {0, 7, 9};
  int samples = 0;
  double values[128];
  std::uint8_t statuses[128];
  std::mt19937 rng(11);
  // At least 3,000 rounds, and on until enough samples and plugs were seen
  // (a loaded machine gives the plugger fewer turns), within a bound.
  for (int round = 0; round < 3000 || ((samples <= 50 || plugs.load() <= 10) && round < 60000);
       ++round) {
    const auto id = static_cast<std::int16_t>(rng() % 4);
    const int open = Quenzel_Device_Open(id);
    ASSERT_TRUE(openCodes.count(open)) << open;
    double v = 0;
    const int single = Quenzel_Single_Sample(id, &v, rng() % 3, 0);
    ASSERT_TRUE(sampleCodes.count(single)) << single;
    if (single == 0) {
      // The value belongs to the unit answering to this ID, never to another.
      const int unitId = id == 1 ? 2 : id == 2 ? 1 : id;
      EXPECT_NEAR(v, 100.0 + unitId, 0.02) << id;
      ++samples;
    }
    ASSERT_TRUE(sampleCodes.count(Quenzel_Start_Sample(id, 1)));
    std::uint8_t count = 128;
    const int block = Quenzel_Get_Datas(id, values, statuses, &count, 0, 0);
    ASSERT_TRUE(sampleCodes.count(block)) << block;
    if (block == 0) {
      ASSERT_LE(count, 128);
    }
    if (rng() % 3 == 0) Quenzel_Device_Close(id);
  }
  done.store(true);
  plugger.join();
  internal::ResetLibrary();
  internal::SetUsbLayer(nullptr);
  internal::SetTransferTimeoutMs(kDefaultTimeoutMs);
  EXPECT_GT(samples, 50);
  EXPECT_GT(plugs.load(), 10);
}

}  // namespace
}  // namespace brisko::sim
