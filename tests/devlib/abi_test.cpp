// libBriskoSim.so as a client sees it: loaded with dlopen, called through
// its five exports, configured only by the environment.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

using OpenFn = std::int16_t (*)(std::int16_t);
using CloseFn = void (*)(std::int16_t);
using SingleFn = std::int16_t (*)(std::int16_t, double*, std::uint8_t, std::uint8_t);
using StartFn = std::int16_t (*)(std::int16_t, std::int16_t);
using DatasFn = std::int16_t (*)(std::int16_t, double*, std::uint8_t*, std::uint8_t*, std::uint8_t,
                                 std::uint8_t);

class AbiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    handle = dlopen(BRISKO_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
  }
  void SetUp() override {
    ASSERT_NE(handle, nullptr);
    open = reinterpret_cast<OpenFn>(dlsym(handle, "Quenzel_Device_Open"));
    close = reinterpret_cast<CloseFn>(dlsym(handle, "Quenzel_Device_Close"));
    single = reinterpret_cast<SingleFn>(dlsym(handle, "Quenzel_Single_Sample"));
    start = reinterpret_cast<StartFn>(dlsym(handle, "Quenzel_Start_Sample"));
    datas = reinterpret_cast<DatasFn>(dlsym(handle, "Quenzel_Get_Datas"));
    ASSERT_TRUE(open && close && single && start && datas);
    setenv("BRISKO_SIM_ATTACH_MS", "0", 1);
    setenv("BRISKO_SIM_CLOCK", "step", 1);
    setenv("BRISKO_SIM_TIMEOUT_MS", "50", 1);
  }
  void TearDown() override {
    for (std::int16_t id = 0; id < 4; ++id) close(id);
    for (const char* key : {"BRISKO_SIM", "BRISKO_SIM_ATTACH_MS", "BRISKO_SIM_CLOCK",
                            "BRISKO_SIM_TIMEOUT_MS", "BRISKO_SIM_FAULT"}) {
      unsetenv(key);
    }
  }
  static void* handle;
  OpenFn open = nullptr;
  CloseFn close = nullptr;
  SingleFn single = nullptr;
  StartFn start = nullptr;
  DatasFn datas = nullptr;
};
void* AbiTest::handle = nullptr;

TEST_F(AbiTest, InternalNamesAreNotReachable) {
  EXPECT_EQ(dlsym(handle, "_ZN6brisko10DeviceOpenEs"), nullptr);
  EXPECT_EQ(dlsym(handle, "_ZN6brisko15DefaultUsbLayerEv"), nullptr);
}

TEST_F(AbiTest, ExampleUnitsThroughTheExports) {
  setenv("BRISKO_SIM", "0:cal:138.5055,1:ratio", 1);
  ASSERT_EQ(open(0), 0);
  EXPECT_EQ(open(0), 3);
  EXPECT_EQ(open(1), 6);
  ASSERT_EQ(open(2), 0);
  double v = 0;
  ASSERT_EQ(single(0, &v, 0, 1), 0);
  EXPECT_NEAR(v, 100.0, 0.001);
  ASSERT_EQ(single(0, &v, 1, 0), 0);
  EXPECT_NEAR(v, 138.5055, 0.001);
  ASSERT_EQ(single(2, &v, 2, 1), 0);
  EXPECT_GT(v, 20.0);
  EXPECT_LT(v, 26.0);
  EXPECT_EQ(single(4, &v, 0, 0), 1);
  EXPECT_EQ(single(3, &v, 0, 0), 7);
}

TEST_F(AbiTest, InjectedFaultsReachTheCaller) {
  setenv("BRISKO_SIM", "0:cal:100,1:cal:100,2:cal:100,3:cal:100", 1);
  setenv("BRISKO_SIM_FAULT", "0:fail:1,1:short,2:mute,3:unplug:1", 1);
  for (std::int16_t id = 0; id < 4; ++id) ASSERT_EQ(open(id), 0) << id;
  double v = 0;
  EXPECT_EQ(single(0, &v, 0, 0), 0);
  EXPECT_EQ(single(0, &v, 0, 0), 9);  // the second command fails
  EXPECT_EQ(single(1, &v, 0, 0), 9);  // short reply
  EXPECT_EQ(single(1, &v, 0, 0), 0);
  EXPECT_EQ(single(2, &v, 0, 0), 9);  // never answers (50 ms here)
  EXPECT_EQ(single(3, &v, 0, 0), 0);
  EXPECT_EQ(single(3, &v, 0, 0), 9);  // unplugged after taking it
  int code = 0;
  for (int i = 0; i < 2000 && code != 7; ++i) {
    code = single(3, &v, 0, 0);
    usleep(1000);
  }
  EXPECT_EQ(code, 7);  // its detach was handled: no longer open
}

}  // namespace
