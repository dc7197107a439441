// Pure protocol functions, from tables with their boundaries.
#include "protocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace brisko {
namespace {

TEST(SlotOfIdTest, ExchangesOneAndTwo) {
  const int expected[4] = {0, 2, 1, 3};
  for (int id = 0; id < 4; ++id) {
    EXPECT_EQ(SlotOfId(id), expected[id]) << id;
    EXPECT_EQ(SlotOfId(SlotOfId(id)), id) << id;
  }
}

TEST(SlotOfStatusTest, CalibratedBySlotOfIdRatiometricByStatus) {
  struct Case {
    std::uint8_t status;
    int slot;
  } cases[] = {
      {0x04, 0},  {0x05, 2},  {0x06, 1},  {0x07, 3},  // calibrated: answer to their ID
      {0xFD, 2},                                      // only bits 0-2 matter for calibrated
      {0x00, 0},  {0x01, 1},  {0x02, 2},  {0x03, 3},  // ratiometric: slot = status byte
      {0x08, -1}, {0x09, -1}, {0xF3, -1},             // ratiometric above 3: no slot
  };
  for (const Case& c : cases) EXPECT_EQ(SlotOfStatus(c.status), c.slot) << int(c.status);
}

TEST(CalibrationTest, DecodesFourBigEndian24BitValues) {
  const std::uint8_t reply[13] = {0xAA, 0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF,
                                  0x00, 0x00, 0x01, 0x80, 0x00, 0x00};
  CalibrationValues v;
  ASSERT_TRUE(DecodeCalibration(reply, 13, &v));
  EXPECT_EQ(v.a0, 0x123456u);
  EXPECT_EQ(v.b0, 0xFFFFFFu);
  EXPECT_EQ(v.a1, 1u);
  EXPECT_EQ(v.b1, 0x800000u);
  EXPECT_FALSE(DecodeCalibration(reply, 12, &v));
}

TEST(CalibrationTest, GainsAndTruncatedOffset) {
  Calibration c;
  ASSERT_TRUE(CalibrationToGains({4000000, 3000000, 1000000, 2000000}, &c));
  EXPECT_EQ(c.offset1, 2000000);
  EXPECT_DOUBLE_EQ(c.gain1, 5e-5);
  EXPECT_EQ(c.offset2, 1000000);
  EXPECT_DOUBLE_EQ(c.gain2, 5e-5);
  // 10 - 2/3*1 = 9.33 truncates to 9; 0 - 2/3*2 = -1.33 truncates toward zero to -1.
  ASSERT_TRUE(CalibrationToGains({10, 1, 7, 1}, &c));
  EXPECT_EQ(c.offset1, 9);
  ASSERT_TRUE(CalibrationToGains({0, 2, 0, 1}, &c));
  EXPECT_EQ(c.offset1, -1);
}

TEST(CalibrationTest, ZeroGainDivisorIsRefused) {
  Calibration c;
  c.offset1 = 77;
  EXPECT_FALSE(CalibrationToGains({1, 0, 1, 1}, &c));
  EXPECT_FALSE(CalibrationToGains({1, 1, 1, 0}, &c));
  EXPECT_EQ(c.offset1, 77);  // untouched
}

TEST(CalibratedOhmsTest, WiringSelectsChannels) {
  Calibration c;
  c.offset1 = 1000;
  c.gain1 = 0.5;
  c.offset2 = 200;
  c.gain2 = 0.25;
  const RawCalibrated raw{1200, 240};  // X1 = 100, X2 = 10
  EXPECT_DOUBLE_EQ(CalibratedOhms(raw, c, kWire2), 100.0);
  EXPECT_DOUBLE_EQ(CalibratedOhms(raw, c, kWire3), 90.0);
  EXPECT_DOUBLE_EQ(CalibratedOhms(raw, c, kWire4), 100.0);
  // Counts below the offsets give signed differences.
  EXPECT_DOUBLE_EQ(CalibratedOhms({994, 200}, c, kWire2), -3.0);
}

TEST(RatiometricOhmsTest, ThreeWiringFormulas) {
  // D1 = 1000, D2 = 200, D3 = 150, D4 = 25; den = 800.
  const RawRatiometric raw{{100, 1100, 300, 250, 125}};
  EXPECT_DOUBLE_EQ(RatiometricOhms(raw, kWire2), 395.0 * 200 / 800);
  EXPECT_DOUBLE_EQ(RatiometricOhms(raw, kWire3), 395.0 * (200 - 50) / 800);
  EXPECT_DOUBLE_EQ(RatiometricOhms(raw, kWire4), 395.0 * (150 - 25) / 800);
}

TEST(RatiometricOhmsTest, ZeroDenominatorGives391AndNegativeWorks) {
  const RawRatiometric equal{{0, 500, 500, 1, 2}};
  for (std::uint8_t w = 0; w < 3; ++w) EXPECT_DOUBLE_EQ(RatiometricOhms(equal, w), 391.0);
  // Words below W0 give negative differences, not wrapped ones.
  const RawRatiometric below{{1000, 900, 1100, 0, 0}};
  EXPECT_DOUBLE_EQ(RatiometricOhms(below, kWire2), 395.0 * 100 / -200);
}

TEST(LimitOhmsTest, Boundaries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double in, out;
  } cases[] = {{-3.0, 0.0},
               {-0.0, 0.0},
               {0.0, 0.0},
               {1e-12, 1e-12},
               {390.999, 390.999},
               {391.0, 391.0},
               {391.0001, 391.0},
               {395.0, 391.0},
               {nan, 0.0},
               {std::numeric_limits<double>::infinity(), 391.0},
               {-std::numeric_limits<double>::infinity(), 0.0}};
  for (const Case& c : cases) EXPECT_EQ(LimitOhms(c.in), c.out) << c.in;
}

TEST(ResistanceToTemperatureTest, KnownPoints) {
  struct Case {
    double ohms, celsius, tolerance;
  } cases[] = {
      {100.0, 0.0, 0.0},  // exact after one iteration
      {138.5055, 100.0, 1e-6}, {18.52, -200.0, 0.01},  {391.0, 851.77, 0.01},
      {0.0, -242.02, 0.01},    {119.3971, 50.0, 1e-3}, {80.3063, -50.0, 1e-3},
      {175.8560, 200.0, 1e-3}, {99.9, -0.2558, 1e-3},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(ResistanceToTemperature(c.ohms), c.celsius, c.tolerance) << c.ohms;
  }
  EXPECT_EQ(ResistanceToTemperature(100.0), 0.0);
}

TEST(ResistanceToTemperatureTest, NoConvergenceGives900) {
  // Far above the curve's turning point Newton's method cannot settle.
  EXPECT_EQ(ResistanceToTemperature(1e6), 900.0);
}

TEST(DeliveredValueTest, LimitsBeforeConversion) {
  EXPECT_EQ(DeliveredValue(-3.0, 0), 0.0);
  EXPECT_EQ(DeliveredValue(-3.0, 1), ResistanceToTemperature(0.0));
  EXPECT_EQ(DeliveredValue(395.0, 0), 391.0);
  EXPECT_EQ(DeliveredValue(395.0, 1), ResistanceToTemperature(391.0));
  EXPECT_EQ(DeliveredValue(138.5055, 0), 138.5055);
}

TEST(SingleReplyTest, BothLayoutsAndShortReplies) {
  const std::uint8_t cal[6] = {0x01, 0x02, 0x03, 0xFE, 0xDC, 0xBA};
  RawCalibrated rc;
  ASSERT_TRUE(DecodeSingleCalibrated(cal, 6, &rc));
  EXPECT_EQ(rc.n1, 0x010203u);
  EXPECT_EQ(rc.n2, 0xFEDCBAu);
  EXPECT_FALSE(DecodeSingleCalibrated(cal, 5, &rc));

  const std::uint8_t ratio[10] = {0x34, 0x12, 0xFF, 0x00, 0x00, 0xFF, 0x01, 0x00, 0xCD, 0xAB};
  RawRatiometric rr;
  ASSERT_TRUE(DecodeSingleRatiometric(ratio, 10, &rr));
  const std::uint16_t words[5] = {0x1234, 0x00FF, 0xFF00, 0x0001, 0xABCD};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(rr.w[k], words[k]) << k;
  EXPECT_FALSE(DecodeSingleRatiometric(ratio, 9, &rr));
}

TEST(BlockLayoutTest, OffsetsAndLastBytesOf128Samples) {
  EXPECT_EQ(CalibratedSampleOffset(0), 4u);
  EXPECT_EQ(CalibratedSampleOffset(1), 14u);
  EXPECT_EQ(CalibratedSampleOffset(127) + 8, 1282u);  // status byte of the last sample
  EXPECT_EQ(RatiometricSampleOffset(0), 2u);
  EXPECT_EQ(RatiometricSampleOffset(4), 50u);
  EXPECT_EQ(RatiometricSampleOffset(5), 66u);  // block 1
  EXPECT_EQ(RatiometricSampleOffset(127) + 10, 1636u);
  EXPECT_EQ(BlockReplySize(true, 0), 2u);
  EXPECT_EQ(BlockReplySize(true, 1), 14u);
  EXPECT_EQ(BlockReplySize(false, 1), 66u);
  EXPECT_EQ(BlockReplySize(false, 5), 66u);
  EXPECT_EQ(BlockReplySize(false, 6), 130u);
  EXPECT_LE(BlockReplySize(false, 128), kBlockReplyLength);
}

TEST(BlockLayoutTest, SampleFieldsByteForByte) {
  std::vector<std::uint8_t> r(kBlockReplyLength, 0xEE);
  // Calibrated sample 1: bytes 14..23; N1 in 15..17, N2 in 19..21, status 22.
  const std::uint8_t cal[10] = {0x00, 0x0A, 0x0B, 0x0C, 0x00, 0x0D, 0x0E, 0x0F, 0x5A, 0x00};
  std::copy(cal, cal + 10, r.begin() + 14);
  RawCalibrated rc;
  std::uint8_t status = 0;
  BlockSampleCalibrated(r.data(), 1, &rc, &status);
  EXPECT_EQ(rc.n1, 0x0A0B0Cu);
  EXPECT_EQ(rc.n2, 0x0D0E0Fu);
  EXPECT_EQ(status, 0x5A);
  // Ratiometric sample 6 (block 1, s = 1): starts at 2 + 64 + 12 = 78.
  const std::uint8_t ratio[11] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 1, 0xA5};
  std::copy(ratio, ratio + 11, r.begin() + 78);
  RawRatiometric rr;
  BlockSampleRatiometric(r.data(), 6, &rr, &status);
  const std::uint16_t words[5] = {1, 2, 3, 4, 0x0105};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(rr.w[k], words[k]) << k;
  EXPECT_EQ(status, 0xA5);
}

TEST(UsableBlockSamplesTest, CappedAt128AndAtBytesReceived) {
  std::vector<std::uint8_t> r(kBlockReplyLength, 0);
  struct Case {
    bool calibrated;
    std::uint8_t reported;
    std::size_t received;
    int usable;
  } cases[] = {
      {true, 3, 1700, 3},      {false, 3, 1700, 3},     {true, 0, 2, 0},
      {false, 0, 2, 0},        {true, 128, 1700, 128},  {true, 129, 1700, 128},
      {true, 255, 1700, 128},  {false, 255, 1700, 128}, {true, 1, 0, -1},
      {true, 1, 1, -1},        {true, 5, 12, 0},        {true, 5, 13, 1},
      {true, 5, 22, 1},        {true, 5, 23, 2},        {false, 5, 12, 0},
      {false, 5, 13, 1},       {false, 7, 66, 5},       {false, 7, 76, 5},
      {false, 7, 77, 6},       {true, 128, 1282, 127},  {true, 128, 1283, 128},
      {false, 128, 1636, 127}, {false, 128, 1637, 128},
  };
  for (const Case& c : cases) {
    r[1] = c.reported;
    EXPECT_EQ(UsableBlockSamples(c.calibrated, r.data(), c.received), c.usable)
        << c.calibrated << " n=" << int(c.reported) << " received=" << c.received;
  }
}

}  // namespace
}  // namespace brisko
