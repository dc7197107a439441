#include "device/quenzel.h"

#include <gtest/gtest.h>

#include "device/device_control.h"
#include "fake_device.h"
#include "recording_ui.h"

namespace larimo {
namespace {

struct RestoreLibrary {
  ~RestoreLibrary() { quenzel::SelectLibrary(QStringLiteral("Brisko")); }
};

TEST(Binding, FindsTheLibraryBesideTheProgram) {
  test::RecordingUi ui;
  test::FakeDevice fake;  // for its controls
  RestoreLibrary restore;
  quenzel::SelectLibrary(QStringLiteral("FakeBrisko"));  // bin/libFakeBrisko.so
  EXPECT_EQ(quenzel::Quenzel_Device_Open(1), 0);
  EXPECT_TRUE(fake.IsOpen(1));
  quenzel::Quenzel_Device_Close(1);
  EXPECT_FALSE(fake.IsOpen(1));
  EXPECT_TRUE(ui.shown.empty());
}

TEST(Binding, AMissingLibraryIsReportedWithItsFileAndReason) {
  test::RecordingUi ui;
  RestoreLibrary restore;
  quenzel::SelectLibrary(QStringLiteral("NoSuchBrisko"));
  EXPECT_EQ(quenzel::Quenzel_Device_Open(0), kLibraryNotBound);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.contains("libNoSuchBrisko.so"));
  EXPECT_EQ(ui.shown[0].icon, MsgIcon::Critical);
  // The system's reason follows the sentence.
  EXPECT_GT(ui.shown[0].text.section('\n', 2).size(), 0);

  // Device control stops at once and shows nothing more.
  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  d.Units[1].Mflag = kTrue;
  ui.shown.clear();
  EXPECT_EQ(OpenUnits(d), kLibraryNotBound);
  EXPECT_EQ(ui.shown.size(), 1u);
  ui.shown.clear();
  EXPECT_FALSE(SampleUnits(d));
  EXPECT_EQ(ui.shown.size(), 1u);
  ui.shown.clear();
  CloseUnits(d);  // one message for the row of closes, not one per unit
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST(Binding, AMissingExportIsReportedAndTheOthersStillWork) {
  test::RecordingUi ui;
  test::FakeDevice fake(FAKE_BRISKO_PARTIAL_PATH);
  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  EXPECT_EQ(OpenUnits(d), 0);
  Integer rate = 10;
  EXPECT_EQ(StartUnits(d, rate), kLibraryNotBound);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.contains("Quenzel_Start_Sample"));
  EXPECT_TRUE(ui.shown[0].text.contains("libFakeBriskoPartial.so"));
  fake.SetSample(0, 0, 7.5);
  EXPECT_TRUE(SampleUnits(d));
  EXPECT_EQ(d.Units[0].Values[0], 7.5f);
  CloseUnits(d);
  EXPECT_FALSE(fake.IsOpen(0));
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST(Binding, ChoosingTheLibraryDecidesWhatIsSimulated) {
  RestoreLibrary restore;
  quenzel::SelectLibrary(QStringLiteral("BriskoSim"));
  EXPECT_TRUE(quenzel::IsSimulated());
  EXPECT_EQ(quenzel::SelectedLibrary(), "BriskoSim");
  quenzel::SelectLibrary(QStringLiteral("Brisko"));
  EXPECT_FALSE(quenzel::IsSimulated());
}

}  // namespace
}  // namespace larimo
