// The simulated unit's side of the protocol, decoded with the library's own
// protocol functions: what a host reads back must be what the unit measures.
#include "sim/sim_unit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/sim_config.h"

namespace brisko::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

UnitConfig Unit(std::uint8_t id, bool calibrated, std::optional<double> ohms = std::nullopt) {
  UnitConfig c;
  c.id = id;
  c.calibrated = calibrated;
  c.ohms = ohms;
  return c;
}

Bytes Ask(SimUnit& unit, Bytes command, std::uint64_t now = 0) {
  unit.Write(command.data(), command.size(), now);
  return unit.TakeReply();
}

Calibration GainsOf(SimUnit& unit) {
  const Bytes r = Ask(unit, {kCmdCalibration});
  CalibrationValues v;
  Calibration cal;
  EXPECT_TRUE(DecodeCalibration(r.data(), r.size(), &v));
  EXPECT_TRUE(CalibrationToGains(v, &cal));
  return cal;
}

TEST(SimUnitTest, StatusByteCarriesIdAndKind) {
  for (std::uint8_t id = 0; id < 4; ++id) {
    SimUnit cal(Unit(id, true));
    SimUnit ratio(Unit(id, false));
    EXPECT_EQ(Ask(cal, {kCmdStatus}), (Bytes{0xF0, static_cast<std::uint8_t>(id | 4)}));
    EXPECT_EQ(Ask(ratio, {kCmdStatus}), (Bytes{0xF0, id}));
  }
}

TEST(SimUnitTest, EveryWiringDeliversTheResistanceForBothKinds) {
  for (std::uint8_t id = 0; id < 4; ++id) {
    for (double ohms : {0.0, 0.01, 18.52, 100.0, 138.5055, 250.0, 391.0}) {
      UnitConfig c = Unit(id, true, ohms);
      SimUnit cal(c);
      const Calibration gains = GainsOf(cal);
      const Bytes rc = Ask(cal, {kCmdSingle});
      RawCalibrated raw;
      ASSERT_TRUE(DecodeSingleCalibrated(rc.data(), rc.size(), &raw));
      c.calibrated = false;
      SimUnit ratio(c);
      const Bytes rr = Ask(ratio, {kCmdSingle});
      RawRatiometric words;
      ASSERT_TRUE(DecodeSingleRatiometric(rr.data(), rr.size(), &words));
      for (std::uint8_t wiring = 0; wiring < 3; ++wiring) {
        // Resolution: 5e-5 ohm per count (calibrated), 1/76 ohm (ratiometric).
        EXPECT_NEAR(CalibratedOhms(raw, gains, wiring), ohms, 1e-4) << ohms << " w" << int(wiring);
        EXPECT_NEAR(RatiometricOhms(words, wiring), ohms, 0.01) << ohms << " w" << int(wiring);
      }
    }
  }
}

TEST(SimUnitTest, RatiometricUnitHasNoCalibrationButAnswersOpen) {
  SimUnit ratio(Unit(2, false));
  EXPECT_TRUE(Ask(ratio, {kCmdCalibration}).empty());
  EXPECT_EQ(Ask(ratio, {kCmdOpen}), Bytes{0x40});
}

TEST(SimUnitTest, RoomTemperatureDriftsSlowly) {
  SimUnit unit(Unit(1, true));
  const double t0 = ResistanceToTemperature(unit.OhmsAt(0));
  const double t1 = ResistanceToTemperature(unit.OhmsAt(1000));
  EXPECT_GT(t0, 20.0);
  EXPECT_LT(t0, 26.0);
  EXPECT_NE(t0, t1);
  EXPECT_LT(std::fabs(t1 - t0), 0.05);
}

TEST(SimUnitTest, TimedSamplingKeepsOneSamplePerPeriod) {
  SimUnit unit(Unit(0, true, 100.0));
  Ask(unit, {kCmdStartSampling, 0x00, 0x05}, 1000);  // every 50 ms
  EXPECT_TRUE(unit.Sampling());
  Ask(unit, {0x00}, 1049);
  EXPECT_EQ(unit.Buffered(), 0u);
  Ask(unit, {0x00}, 1050);
  EXPECT_EQ(unit.Buffered(), 1u);
  Ask(unit, {0x00}, 2000);
  EXPECT_EQ(unit.Buffered(), 20u);
  // A read takes at most what was asked for, oldest first.
  const Bytes r = Ask(unit, {kCmdReadBlock, 8}, 2000);
  EXPECT_EQ(r[1], 8);
  EXPECT_EQ(r.size(), BlockReplySize(true, 8));
  EXPECT_EQ(UsableBlockSamples(true, r.data(), r.size()), 8);
  EXPECT_EQ(unit.Buffered(), 12u);
  // Rate 0 stops the sampling.
  Ask(unit, {kCmdStartSampling, 0, 0}, 2000);
  EXPECT_FALSE(unit.Sampling());
}

TEST(SimUnitTest, BlockReplyHoldsAtMost128InTheLayoutOfItsKind) {
  for (bool calibrated : {true, false}) {
    SimUnit unit(Unit(3, calibrated, 138.5055));
    Ask(unit, {kCmdStartSampling, 0, 1}, 0);
    const Bytes r = Ask(unit, {kCmdReadBlock, 200}, 5000);  // 500 kept
    ASSERT_EQ(r[1], 128);
    ASSERT_EQ(UsableBlockSamples(calibrated, r.data(), r.size()), 128);
    ASSERT_LE(r.size(), kBlockReplyLength);
    Calibration gains;
    if (calibrated) {
      SimUnit twin(Unit(3, true));
      gains = GainsOf(twin);
    }
    for (int i : {0, 4, 5, 127}) {
      std::uint8_t status = 0xFF;
      double ohms;
      if (calibrated) {
        RawCalibrated raw;
        BlockSampleCalibrated(r.data(), i, &raw, &status);
        ohms = CalibratedOhms(raw, gains, kWire3);
      } else {
        RawRatiometric raw;
        BlockSampleRatiometric(r.data(), i, &raw, &status);
        ohms = RatiometricOhms(raw, kWire4);
      }
      EXPECT_NEAR(ohms, 138.5055, 0.01) << calibrated << " " << i;
      EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(unit.Buffered(), 500u - 128u);
  }
}

TEST(SimUnitTest, FullBufferDropsNewSamplesAndMarksTheLastKept) {
  SimUnit unit(Unit(0, true, 50.0));
  Ask(unit, {kCmdStartSampling, 0, 1}, 0);
  Ask(unit, {0x00}, 10 * (SimUnit::kBufferCapacity + 1000));
  EXPECT_EQ(unit.Buffered(), SimUnit::kBufferCapacity);
  int overruns = 0;
  while (unit.Buffered() > 0) {
    const Bytes r = Ask(unit, {kCmdReadBlock, 128}, 10 * (SimUnit::kBufferCapacity + 1000));
    for (int i = 0; i < r[1]; ++i) overruns += r[CalibratedSampleOffset(i) + 8] & 1;
    if (unit.Buffered() == 0) {
      EXPECT_EQ(r[CalibratedSampleOffset(r[1] - 1) + 8], SimUnit::kStatusOverrun);
    }
  }
  EXPECT_EQ(overruns, 1);
}

TEST(SimUnitTest, NewCommandReplacesAnUnreadReply) {
  SimUnit unit(Unit(0, true, 10.0));
  const Bytes single = Ask(unit, {kCmdSingle});
  unit.Write(&kCmdCalibration, 1, 0);
  unit.Write(&kCmdSingle, 1, 0);
  EXPECT_EQ(unit.TakeReply(), single);
  EXPECT_FALSE(unit.HasReply());
  unit.Write(&kCmdStatus, 1, 0);
  unit.ResetReplyPipe();
  EXPECT_FALSE(unit.HasReply());
}

TEST(SimConfigTest, ReadsUnitsAndCompanionKeys) {
  SimConfig c;
  std::string error;
  ASSERT_TRUE(ParseSimConfig("0:cal:138.5055,1:ratio", "5", "step:1280", "200",
                             "0:fail:3,1:unplug,init", &c, &error))
      << error;
  ASSERT_EQ(c.units.size(), 2u);
  EXPECT_EQ(c.units[0].id, 0);
  EXPECT_TRUE(c.units[0].calibrated);
  EXPECT_EQ(c.units[0].ohms.value_or(-1), 138.5055);
  EXPECT_EQ(c.units[1].id, 1);
  EXPECT_FALSE(c.units[1].calibrated);
  EXPECT_FALSE(c.units[1].ohms.has_value());
  EXPECT_EQ(c.attachMs, 5u);
  EXPECT_TRUE(c.virtualClock);
  EXPECT_EQ(c.stepMs, 1280u);
  EXPECT_EQ(c.replyTimeoutMs, 200u);
  EXPECT_TRUE(c.failInit);
  EXPECT_FALSE(c.failLock);
  ASSERT_EQ(c.faults.size(), 2u);
  EXPECT_EQ(c.faults[0].kind, FaultKind::kFail);
  EXPECT_EQ(c.faults[0].after, 3);
  EXPECT_EQ(c.faults[1].unitId, 1);
  EXPECT_EQ(c.faults[1].kind, FaultKind::kUnplug);
  EXPECT_EQ(c.faults[1].after, 0);
}

TEST(SimConfigTest, UnsetMeansFourCalibratedUnitsAndEmptyMeansNone) {
  SimConfig c;
  std::string error;
  ASSERT_TRUE(ParseSimConfig(nullptr, nullptr, nullptr, nullptr, nullptr, &c, &error));
  ASSERT_EQ(c.units.size(), 4u);
  for (std::uint8_t i = 0; i < 4; ++i) {
    EXPECT_EQ(c.units[i].id, i);
    EXPECT_TRUE(c.units[i].calibrated);
  }
  EXPECT_FALSE(c.virtualClock);
  EXPECT_EQ(c.attachMs, 300u);
  ASSERT_TRUE(ParseSimConfig("", nullptr, "step", nullptr, "", &c, &error));
  EXPECT_TRUE(c.units.empty());
  EXPECT_EQ(c.stepMs, 300u);
}

TEST(SimConfigTest, RefusesWhatItCannotRead) {
  const char* badUnits[] = {"4:cal",     "0:cold", "0",       "0:cal:abc", "0:cal:-1",
                            "0:cal:1:2", "0:cal,", "x:ratio", "0:cal:nan"};
  for (const char* u : badUnits) {
    SimConfig c;
    std::string error;
    EXPECT_FALSE(ParseSimConfig(u, nullptr, nullptr, nullptr, nullptr, &c, &error)) << u;
    EXPECT_NE(error.find("BRISKO_SIM"), std::string::npos) << u;
  }
  SimConfig c;
  std::string error;
  EXPECT_FALSE(ParseSimConfig(nullptr, "-1", nullptr, nullptr, nullptr, &c, &error));
  EXPECT_FALSE(ParseSimConfig(nullptr, nullptr, "fast", nullptr, nullptr, &c, &error));
  EXPECT_FALSE(ParseSimConfig(nullptr, nullptr, "step:x", nullptr, nullptr, &c, &error));
  EXPECT_FALSE(ParseSimConfig(nullptr, nullptr, nullptr, "1s", nullptr, &c, &error));
  EXPECT_FALSE(ParseSimConfig(nullptr, nullptr, nullptr, nullptr, "0:explode", &c, &error));
  EXPECT_FALSE(ParseSimConfig(nullptr, nullptr, nullptr, nullptr, "5:fail", &c, &error));
}

}  // namespace
}  // namespace brisko::sim
