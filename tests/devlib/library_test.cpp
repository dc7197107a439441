// The library's logic over scripted replies: result codes and their order,
// slot mapping, the attach handler's decisions, both reply layouts byte for
// byte, and how failed or short transfers are reported.
#include <gtest/gtest.h>

#include <vector>

#include "brisko.h"
#include "library.h"
#include "scripted_layer.h"

namespace brisko::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kCal0 = 0x04, kCal1 = 0x05, kCal3 = 0x07;
constexpr std::uint8_t kRatio0 = 0x00, kRatio1 = 0x01;

void PutBe24(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 16);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
  b[at + 2] = static_cast<std::uint8_t>(v);
}
void PutLe16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// With the scripted calibration {4000000, 3000000, 1000000, 2000000}:
// offset1 = 2000000, gain1 = 5e-5, offset2 = 1000000, gain2 = 5e-5.
std::uint32_t N1For(double ohms) { return 2000000 + static_cast<std::uint32_t>(ohms / 5e-5); }
std::uint32_t N2For(double ohms) { return 1000000 + static_cast<std::uint32_t>(ohms / 5e-5); }

using LibraryTest = ScriptedLibraryTest;

TEST_F(LibraryTest, IdOutsideRangeIsCheckedFirst) {
  double v = 0;
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 200;  // out of range too, but the ID is looked at first
  for (std::int16_t id : {-1, 4, -32768, 32767}) {
    EXPECT_EQ(Quenzel_Device_Open(id), 8);
    EXPECT_EQ(Quenzel_Single_Sample(id, &v, 7, 7), 1);
    EXPECT_EQ(Quenzel_Start_Sample(id, 0), 1);
    EXPECT_EQ(Quenzel_Get_Datas(id, values, statuses, &count, 7, 7), 1);
  }
  EXPECT_EQ(layer.inits, 0);  // no session was started for a bad ID
}

TEST_F(LibraryTest, ParametersAreCheckedBeforeOpened) {
  double v = -1;
  double values[128];
  std::uint8_t statuses[128];
  std::uint8_t count = 129;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 3, 0), 8);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 2), 8);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 2, 1), 7);
  EXPECT_EQ(Quenzel_Start_Sample(0, 0), 8);
  EXPECT_EQ(Quenzel_Start_Sample(0, 10001), 8);
  EXPECT_EQ(Quenzel_Start_Sample(0, -5), 8);
  EXPECT_EQ(Quenzel_Start_Sample(0, 1), 7);
  EXPECT_EQ(Quenzel_Start_Sample(0, 10000), 7);
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 8);
  count = 128;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 3, 0), 8);
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 2), 8);
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 7);
  EXPECT_EQ(Quenzel_Get_Datas(0, nullptr, statuses, &count, 0, 0), 8);
  EXPECT_EQ(Quenzel_Single_Sample(0, nullptr, 0, 0), 8);
  EXPECT_EQ(v, -1);
  EXPECT_EQ(count, 128);
}

TEST_F(LibraryTest, CalibratedAnswersToItsIdRatiometricToTheSwappedOne) {
  ScriptedDevice& cal = layer.AddUnit(kCal1);
  ScriptedDevice& ratio = layer.AddUnit(kRatio1);
  ASSERT_EQ(Quenzel_Device_Open(1), 0);
  EXPECT_EQ(internal::Slot(2).device, &cal);
  EXPECT_EQ(Quenzel_Device_Open(2), 0);
  EXPECT_EQ(internal::Slot(1).device, &ratio);
  EXPECT_EQ(internal::Slot(1).calibrated, 0);
  EXPECT_EQ(internal::Slot(2).calibrated, 1);
  // Only the ratiometric unit is sent the open command; each attach reset the reply pipe.
  EXPECT_EQ(ratio.written.back(), Bytes{0x40});
  EXPECT_EQ(cal.written.back(), Bytes{0x60});
  EXPECT_EQ(cal.resets, 1);
  EXPECT_EQ(Quenzel_Device_Open(0), 6);
  EXPECT_EQ(Quenzel_Device_Open(3), 6);
}

TEST_F(LibraryTest, OpenOfAnOpenUnitReturns3AndChangesNothing) {
  ScriptedDevice& ratio = layer.AddUnit(kRatio0);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  const std::size_t sent = ratio.written.size();
  EXPECT_EQ(Quenzel_Device_Open(0), 3);
  EXPECT_EQ(ratio.written.size(), sent);
  EXPECT_EQ(layer.inits, 1);
}

TEST_F(LibraryTest, FirstOpenSleepsBeforeItsFirstLook) {
  layer.AddUnit(kCal0);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_EQ(layer.sleptMs, 100u);
}

TEST_F(LibraryTest, FirstOpenWithoutUnitWaitsTwoSecondsAndSessionStays) {
  EXPECT_EQ(Quenzel_Device_Open(0), 6);
  EXPECT_EQ(layer.sleptMs, 2000u);
  EXPECT_TRUE(internal::SessionRunning());
  // No wait any more: 6 at once, then 0 once the unit has attached.
  EXPECT_EQ(Quenzel_Device_Open(0), 6);
  EXPECT_EQ(layer.sleptMs, 2000u);
  ScriptedDevice& d = layer.AddUnit(kCal0);
  ASSERT_TRUE(layer.Attach(d));
  EXPECT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_EQ(layer.inits, 1);
}

TEST_F(LibraryTest, OpenInTheFirstTwoSecondsWaitsForItsUnit) {
  layer.AddUnit(kCal0);
  ScriptedDevice& late = layer.AddUnit(kCal3);
  late.atInit = false;
  layer.onSleep = [&](std::uint32_t slept) {
    if (slept == 500) layer.Attach(late);
  };
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_EQ(Quenzel_Device_Open(3), 0);  // plugged in, attach handled during the wait
  EXPECT_EQ(layer.sleptMs, 500u);
  // The window's rest is used up by an absent unit; after it no Open waits.
  EXPECT_EQ(Quenzel_Device_Open(1), 6);
  EXPECT_EQ(layer.sleptMs, 2000u);
  EXPECT_EQ(Quenzel_Device_Open(2), 6);
  EXPECT_EQ(layer.sleptMs, 2000u);
}

TEST_F(LibraryTest, LastCloseEndsSessionAndNextOpenStartsAgain) {
  layer.AddUnit(kCal0);
  layer.AddUnit(kCal3);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  ASSERT_EQ(Quenzel_Device_Open(3), 0);
  Quenzel_Device_Close(1);  // not open: nothing
  Quenzel_Device_Close(-1);
  Quenzel_Device_Close(0);
  EXPECT_EQ(layer.uninits, 0);
  Quenzel_Device_Close(0);  // twice: nothing
  EXPECT_EQ(layer.uninits, 0);
  Quenzel_Device_Close(3);
  EXPECT_EQ(layer.uninits, 1);
  EXPECT_EQ(layer.locksClosed, 1);
  EXPECT_FALSE(internal::SessionRunning());
  EXPECT_EQ(Quenzel_Device_Open(3), 0);
  EXPECT_EQ(layer.inits, 2);
  EXPECT_EQ(layer.sleptMs, 200u);  // the second session waited again
}

TEST_F(LibraryTest, FailedSessionStartIsRetriedByTheNextOpen) {
  layer.AddUnit(kCal0);
  layer.initFailures = 2;
  EXPECT_EQ(Quenzel_Device_Open(0), 2);
  EXPECT_EQ(layer.locksClosed, 1);  // the lock of the failed start is closed
  EXPECT_EQ(Quenzel_Device_Open(0), 2);
  EXPECT_EQ(Quenzel_Device_Open(0), 0);
  EXPECT_EQ(layer.inits, 3);
}

TEST_F(LibraryTest, FailedLockCreationIsRetriedByTheNextOpen) {
  layer.AddUnit(kCal0);
  layer.lockFailures = 1;
  EXPECT_EQ(Quenzel_Device_Open(0), 2);
  EXPECT_EQ(layer.inits, 0);
  EXPECT_EQ(Quenzel_Device_Open(0), 0);
}

TEST_F(LibraryTest, AttachDeclinesUnitsItCannotUse) {
  struct Case {
    const char* what;
    void (*spoil)(ScriptedDevice&);
  } cases[] = {
      {"status write fails", [](ScriptedDevice& d) { d.writeStatus[0xF0] = kUsbStall; }},
      {"status read fails", [](ScriptedDevice& d) { d.readStatus[0xF0] = kUsbStall; }},
      {"status reply short", [](ScriptedDevice& d) { d.replies[0xF0] = {0xF0}; }},
      {"calibration read fails", [](ScriptedDevice& d) { d.readStatus[0x60] = kUsbError; }},
      {"calibration odd status", [](ScriptedDevice& d) { d.readStatus[0x60] = 0x1234; }},
      {"calibration short", [](ScriptedDevice& d) { d.replies[0x60].resize(12); }},
      {"CalB0 zero",
       [](ScriptedDevice& d) { d.replies[0x60][4] = d.replies[0x60][5] = d.replies[0x60][6] = 0; }},
      {"CalB1 zero",
       [](ScriptedDevice& d) {
         d.replies[0x60][10] = d.replies[0x60][11] = d.replies[0x60][12] = 0;
       }},
  };
  for (const Case& c : cases) {
    internal::ResetLibrary();
    layer.devices.clear();
    c.spoil(layer.AddUnit(kCal0));
    EXPECT_EQ(Quenzel_Device_Open(0), 6) << c.what;
    EXPECT_FALSE(layer.devices[0]->accepted) << c.what;
    EXPECT_EQ(internal::Slot(0).attached.load(), 0u) << c.what;
  }
}

TEST_F(LibraryTest, RatiometricStatusAboveThreeIsDeclined) {
  for (std::uint8_t status : {0x08, 0x0B, 0xF0}) {
    internal::ResetLibrary();
    layer.devices.clear();
    layer.AddUnit(status);
    EXPECT_EQ(Quenzel_Device_Open(0), 6);
    EXPECT_FALSE(layer.devices[0]->accepted) << int(status);
    for (int s = 0; s < 4; ++s) EXPECT_EQ(internal::Slot(s).attached.load(), 0u);
  }
}

class OpenedUnitTest : public ScriptedLibraryTest {
 protected:
  ScriptedDevice& OpenUnit(std::uint8_t status, std::int16_t id) {
    ScriptedDevice& d = layer.AddUnit(status);
    EXPECT_EQ(Quenzel_Device_Open(id), 0);
    return d;
  }
  double values[201];
  std::uint8_t statuses[201];
  void FillSentinels() {
    for (int i = 0; i < 201; ++i) {
      values[i] = -12345;
      statuses[i] = 0x77;
    }
  }
};

TEST_F(OpenedUnitTest, CalibratedSingleSampleByteForByte) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  Bytes reply(6);
  PutBe24(reply, 0, N1For(100.0));
  PutBe24(reply, 3, N2For(1.0));
  d.replies[0x10] = reply;
  double v = 0;
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_NEAR(v, 100.0, 1e-9);
  EXPECT_EQ(d.written.back(), Bytes{0x10});
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 1, 0), 0);
  EXPECT_NEAR(v, 99.0, 1e-9);
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 2, 0), 0);
  EXPECT_NEAR(v, 100.0, 1e-9);
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 0, 1), 0);
  EXPECT_NEAR(v, 0.0, 1e-6);
  // Counts below the zero: -3 ohms is delivered as 0.
  PutBe24(reply, 0, 2000000 - 60000);
  d.replies[0x10] = reply;
  ASSERT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_EQ(v, 0.0);
}

TEST_F(OpenedUnitTest, RatiometricSingleSampleByteForByte) {
  ScriptedDevice& d = OpenUnit(kRatio1, 2);
  // W0..W4 = 100, 900, 300, 280, 110: D1 = 800, D2 = 200, D3 = 180, D4 = 10.
  d.replies[0x10] = {100, 0, 0x84, 0x03, 0x2C, 0x01, 0x18, 0x01, 110, 0};
  double v = 0;
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 0, 0), 0);
  EXPECT_DOUBLE_EQ(v, 395.0 * 200 / 600);
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 1, 0), 0);
  EXPECT_DOUBLE_EQ(v, 395.0 * 180 / 600);
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 2, 0), 0);
  EXPECT_DOUBLE_EQ(v, 395.0 * 170 / 600);
  d.replies[0x10] = {0, 0, 10, 0, 10, 0, 0, 0, 0, 0};  // D1 = D2
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 0, 0), 0);
  EXPECT_EQ(v, 391.0);
  ASSERT_EQ(Quenzel_Single_Sample(2, &v, 0, 1), 0);
  EXPECT_NEAR(v, 851.77, 0.01);
}

TEST_F(OpenedUnitTest, EveryTransferErrorAndShortReplyIsAFailure) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  d.replies[0x10] = Bytes(6, 0x20);
  for (std::uint32_t status :
       {kUsbInvalidHandle, kUsbTimeout, kUsbStall, kUsbNoDevice, kUsbError, std::uint32_t{1}}) {
    for (bool onWrite : {true, false}) {
      d.writeStatus.clear();
      d.readStatus.clear();
      (onWrite ? d.writeStatus : d.readStatus)[0x10] = status;
      double v = -7;
      // A read that timed out once the whole reply had arrived delivered it.
      const bool delivered = !onWrite && status == kUsbTimeout;
      EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), delivered ? 0 : 9)
          << status << " write " << onWrite;
      EXPECT_EQ(v == -7, !delivered);
    }
  }
  d.writeStatus.clear();
  d.readStatus.clear();
  d.replies[0x10].resize(5);
  double v = -7;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 9);
  EXPECT_EQ(v, -7);
  d.replies[0x10].resize(6);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
}

TEST_F(OpenedUnitTest, RatiometricShortReplyIsAFailure) {
  ScriptedDevice& d = OpenUnit(kRatio0, 0);
  d.replies[0x10] = Bytes(9, 1);
  double v = -7;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 9);
  EXPECT_EQ(v, -7);
}

TEST_F(OpenedUnitTest, StartSampleSendsRateHighByteFirst) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  EXPECT_EQ(Quenzel_Start_Sample(0, 300), 0);
  EXPECT_EQ(d.written.back(), (Bytes{0x20, 0x01, 0x2C}));
  EXPECT_EQ(Quenzel_Start_Sample(0, 10000), 0);
  EXPECT_EQ(d.written.back(), (Bytes{0x20, 0x27, 0x10}));
  d.writeStatus[0x20] = kUsbTimeout;
  EXPECT_EQ(Quenzel_Start_Sample(0, 1), 9);
}

TEST_F(OpenedUnitTest, CalibratedBlockReadByteForByte) {
  ScriptedDevice& d = OpenUnit(kCal3, 3);
  Bytes reply(1700, 0xEE);
  reply[1] = 3;
  const double ohms[3] = {100.0, 138.5055, 18.52};
  for (int i = 0; i < 3; ++i) {
    PutBe24(reply, 5 + 10 * i, N1For(ohms[i]));
    PutBe24(reply, 9 + 10 * i, N2For(0.0));
    reply[12 + 10 * i] = static_cast<std::uint8_t>(0xA0 + i);
  }
  d.replies[0x30] = reply;
  FillSentinels();
  std::uint8_t count = 100;
  ASSERT_EQ(Quenzel_Get_Datas(3, values, statuses, &count, 1, 1), 0);
  EXPECT_EQ(d.written.back(), (Bytes{0x30, 100}));
  ASSERT_EQ(count, 3);
  EXPECT_NEAR(values[0], 0.0, 1e-6);
  EXPECT_NEAR(values[1], 100.0, 1e-3);
  EXPECT_NEAR(values[2], -200.0, 0.01);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(statuses[i], 0xA0 + i);
  EXPECT_EQ(values[3], -12345);
  EXPECT_EQ(statuses[3], 0x77);
}

TEST_F(OpenedUnitTest, RatiometricBlockReadAcrossBlocks) {
  ScriptedDevice& d = OpenUnit(kRatio0, 0);
  Bytes reply(1700, 0xEE);
  reply[1] = 7;
  for (int i = 0; i < 7; ++i) {
    const std::size_t b = 2 + 64 * (i / 5) + 12 * (i % 5);
    // D1 = 1000, D2 = 10 * (i + 1): R = 395 * D2 / (1000 - D2).
    const std::uint16_t w[5] = {0, 1000, static_cast<std::uint16_t>(10 * (i + 1)), 0, 0};
    for (int k = 0; k < 5; ++k) PutLe16(reply, b + 2 * k, w[k]);
    reply[b + 10] = static_cast<std::uint8_t>(i);
  }
  d.replies[0x30] = reply;
  FillSentinels();
  std::uint8_t count = 7;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  ASSERT_EQ(count, 7);
  for (int i = 0; i < 7; ++i) {
    const double d2 = 10.0 * (i + 1);
    EXPECT_DOUBLE_EQ(values[i], 395.0 * d2 / (1000 - d2)) << i;
    EXPECT_EQ(statuses[i], i);
  }
  EXPECT_EQ(values[7], -12345);
  // n = 3 takes all three from block 0 and writes exactly three entries.
  reply[1] = 3;
  d.replies[0x30] = reply;
  FillSentinels();
  count = 3;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 3);
  EXPECT_DOUBLE_EQ(values[2], 395.0 * 30 / 970);
  EXPECT_EQ(values[3], -12345);
}

TEST_F(OpenedUnitTest, BlockReadDeliversOnlyWhatIsReallyThere) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  Bytes reply(1700, 0);
  reply[1] = 200;  // more than 128
  d.replies[0x30] = reply;
  FillSentinels();
  std::uint8_t count = 128;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 128);
  EXPECT_NE(values[127], -12345);
  EXPECT_EQ(values[128], -12345);
  EXPECT_EQ(statuses[128], 0x77);
  // Ten reported, 40 bytes received: samples 0 to 2 arrived whole.
  reply.resize(40);
  reply[1] = 10;
  d.replies[0x30] = reply;
  FillSentinels();
  count = 10;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(values[3], -12345);
  // Not even the header: a failure, count kept.
  d.replies[0x30] = {0x30};
  count = 10;
  EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
  EXPECT_EQ(count, 10);
}

TEST_F(OpenedUnitTest, BlockReadOfZeroStillAsksTheUnit) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  Bytes reply(1700, 0);
  reply[1] = 2;
  d.replies[0x30] = reply;
  std::uint8_t count = 0;
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(d.written.back(), (Bytes{0x30, 0}));
  EXPECT_EQ(count, 2);
  reply[1] = 0;
  d.replies[0x30] = reply;
  FillSentinels();
  ASSERT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(values[0], -12345);
}

TEST_F(OpenedUnitTest, FailedBlockReadKeepsTheRequestedCount) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  d.replies[0x30] = Bytes(1700, 0);
  for (bool onWrite : {true, false}) {
    d.writeStatus.clear();
    d.readStatus.clear();
    (onWrite ? d.writeStatus : d.readStatus)[0x30] = kUsbStall;
    std::uint8_t count = 55;
    FillSentinels();
    EXPECT_EQ(Quenzel_Get_Datas(0, values, statuses, &count, 0, 0), 9);
    EXPECT_EQ(count, 55);
    EXPECT_EQ(values[0], -12345);
  }
}

TEST_F(OpenedUnitTest, DetachClearsTheSlotAndSamplingReturns7) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  layer.Detach(d);
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
  EXPECT_EQ(Quenzel_Start_Sample(0, 1), 7);
  // Close of the unplugged unit does nothing: the session stays.
  Quenzel_Device_Close(0);
  EXPECT_TRUE(internal::SessionRunning());
  EXPECT_EQ(layer.uninits, 0);
  // Plugged in again, it starts not opened.
  ASSERT_TRUE(layer.Attach(d));
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
  EXPECT_EQ(Quenzel_Device_Open(0), 0);
}

TEST_F(OpenedUnitTest, UnitAttachingIntoAnOpenedSlotStartsNotOpened) {
  OpenUnit(kCal0, 0);
  ScriptedDevice& second = layer.AddUnit(kCal0);
  ASSERT_TRUE(layer.Attach(second));
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 7);
  EXPECT_EQ(internal::Slot(0).device, &second);
  // Detaching the earlier unit leaves the slot to the later one.
  layer.Detach(*layer.devices[0]);
  EXPECT_EQ(internal::Slot(0).attached.load(), 1u);
  EXPECT_EQ(Quenzel_Device_Open(0), 0);
  layer.Detach(second);
  EXPECT_EQ(internal::Slot(0).attached.load(), 0u);
}

// An exchange that ends after another unit attached into its slot leaves
// the new unit's state alone: the old unit's stall clears no halt of it.
TEST_F(OpenedUnitTest, ExchangeEndingAfterAnotherUnitAttachedLeavesItsSlotAlone) {
  ScriptedDevice& old = OpenUnit(kCal0, 0);
  old.readStatus[0x10] = kUsbStall;
  ScriptedDevice& fresh = layer.AddUnit(kCal0);
  fresh.replies[0x10] = Bytes(6, 0);
  bool attach = true;
  layer.onRead = [&] {
    if (!attach) return;
    attach = false;
    layer.Attach(fresh);
  };
  double v = 0;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 9);
  ASSERT_EQ(Quenzel_Device_Open(0), 0);
  const int resets = fresh.resets;
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_EQ(fresh.resets, resets);
}

TEST_F(OpenedUnitTest, TransfersUseTheSettableTimeout) {
  ScriptedDevice& d = OpenUnit(kCal0, 0);
  d.replies[0x10] = Bytes(6, 0);
  double v = 0;
  EXPECT_EQ(layer.lastTimeoutMs, 30000u);
  internal::SetTransferTimeoutMs(250);
  EXPECT_EQ(Quenzel_Single_Sample(0, &v, 0, 0), 0);
  EXPECT_EQ(layer.lastTimeoutMs, 250u);
}

}  // namespace
}  // namespace brisko::test
