// Device control over the simulated device library, libBriskoSim.so.
#include <cmath>

#include <gtest/gtest.h>

#include "device/device_control.h"
#include "device/quenzel.h"
#include "recording_ui.h"

namespace larimo {
namespace {

class BriskoSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("BRISKO_SIM_ATTACH_MS", "0");
    qputenv("BRISKO_SIM_TIMEOUT_MS", "500");
    qputenv("BRISKO_SIM", "0:cal:138.5055,2:cal:100");
    qunsetenv("BRISKO_SIM_FAULT");
    quenzel::SelectLibrary(QStringLiteral("BriskoSim"));
    d.InitDataBuffers();
    d.ClearData();
    for (UnitData& u : d.Units) u.Mflag = kFalse;
  }
  void TearDown() override {
    CloseUnits(quenzel::Library(), d);
    quenzel::SelectLibrary(QStringLiteral("Brisko"));
    qunsetenv("BRISKO_SIM_FAULT");
  }
  test::RecordingUi ui;
  ModuleData d;
};

TEST_F(BriskoSimTest, AveragedSamplesOfTwoUnits) {
  d.Units[0].Mflag = kTrue;
  d.Units[2].Mflag = kTrue;
  d.Units[2].Connect = 2;
  ASSERT_EQ(OpenUnits(quenzel::Library(), d), std::nullopt);
  d.AverageNum = 3;
  ASSERT_TRUE(SampleUnits(quenzel::Library(), d).stored);
  EXPECT_NEAR(d.Units[0].Values[0], 100.0f, 0.01f);  // 138.5055 ohm is 100 degC
  EXPECT_NEAR(d.Units[2].Values[0], 0.0f, 0.01f);    // 100 ohm is 0 degC
  d.MeasKind = kTrue;                                // resistance
  d.DataNum = 1;
  ASSERT_TRUE(SampleUnits(quenzel::Library(), d).stored);
  EXPECT_NEAR(d.Units[0].Values[1], 138.5055f, 0.001f);
  EXPECT_NEAR(d.Units[2].Values[1], 100.0f, 0.001f);
  EXPECT_EQ(d.Units[0].Count, 2);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(BriskoSimTest, AMissingUnitRollsBackTheOthers) {
  d.Units[0].Mflag = kTrue;
  d.Units[1].Mflag = kTrue;  // nothing reports 1
  EXPECT_EQ(OpenUnits(quenzel::Library(), d), (UnitFailure{1, 6}));
  // ID0 was closed again: it opens anew instead of reporting "already open".
  d.Units[1].Mflag = kFalse;
  EXPECT_EQ(OpenUnits(quenzel::Library(), d), std::nullopt);
}

TEST_F(BriskoSimTest, AFailingReadEndsTheCycle) {
  qputenv("BRISKO_SIM_FAULT", "0:fail:1");
  d.Units[0].Mflag = kTrue;
  d.Units[2].Mflag = kTrue;
  ASSERT_EQ(OpenUnits(quenzel::Library(), d), std::nullopt);
  d.AverageNum = 2;  // the second read of ID0 fails
  EXPECT_EQ(SampleUnits(quenzel::Library(), d).failures, (std::vector<UnitFailure>{{0, 9}}));
  EXPECT_EQ(d.Units[0].Values[0], kNoReading);
  EXPECT_NEAR(d.Units[2].Values[0], 0.0f, 0.01f);
}

}  // namespace
}  // namespace larimo
