#include "device/quenzel.h"

#include <gtest/gtest.h>

#include "device/device_control.h"
#include "recording_ui.h"

namespace larimo {
namespace {

struct RestoreLibrary {
  ~RestoreLibrary() { quenzel::SelectLibrary(QStringLiteral("Brisko")); }
};

TEST(Binding, FindsTheLibraryBesideTheProgram) {
  test::RecordingUi ui;
  RestoreLibrary restore;
  qputenv("BRISKO_SIM_ATTACH_MS", "0");
  qputenv("BRISKO_SIM", "1:cal");
  quenzel::SelectLibrary(QStringLiteral("BriskoSim"));  // bin/libBriskoSim.so
  EXPECT_EQ(quenzel::Quenzel_Device_Open(1), 0);
  EXPECT_EQ(quenzel::Quenzel_Device_Open(1), 3);  // the library holds it open
  quenzel::Quenzel_Device_Close(1);
  EXPECT_EQ(quenzel::Quenzel_Device_Open(1), 0);
  quenzel::Quenzel_Device_Close(1);
  qunsetenv("BRISKO_SIM");
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
  EXPECT_EQ(OpenUnits(quenzel::Library(), d), (UnitFailure{0, kLibraryNotBound}));
  EXPECT_EQ(ui.shown.size(), 1u);
  ui.shown.clear();
  EXPECT_EQ(SampleUnits(quenzel::Library(), d).failures.size(), 1u);
  EXPECT_EQ(ui.shown.size(), 1u);
  ui.shown.clear();
  CloseUnits(quenzel::Library(), d);  // one message for the row of closes, not one per unit
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST(Binding, AMissingExportIsReportedAndTheOthersStillWork) {
  test::RecordingUi ui;
  RestoreLibrary restore;
  quenzel::SelectLibrary(QStringLiteral(FAKE_BRISKO_PARTIAL_PATH));
  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  const DeviceTable& dev = quenzel::Library();
  EXPECT_EQ(OpenUnits(dev, d), std::nullopt);
  EXPECT_EQ(StartUnits(dev, d, 10), (UnitFailure{0, kLibraryNotBound}));
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.contains("Quenzel_Start_Sample"));
  EXPECT_TRUE(ui.shown[0].text.contains("libFakeBriskoPartial.so"));
  EXPECT_TRUE(SampleUnits(dev, d).stored);
  CloseUnits(dev, d);
  EXPECT_EQ(OpenUnits(dev, d), std::nullopt);  // closed: it opens again
  CloseUnits(dev, d);
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
