#include "files/save_name.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "files/file_filters.h"
#include "recording_ui.h"

namespace larimo {
namespace {

TEST(SaveName, ANameWithoutExtensionGetsTheFormatsOne) {
  const struct {
    QString typed, filter, saved;
  } cases[] = {
      {"/d/run1", kMeasurementFilter, "/d/run1.rk0"},
      {"/d/run1", kCsvFilter, "/d/run1.csv"},
      {"/d.x/run1", kCsvFilter, "/d.x/run1.csv"},
      {"/d/run1.txt", kMeasurementFilter, "/d/run1.txt"},
      {"/d/run1.CSV", kCsvFilter, "/d/run1.CSV"},
  };
  for (const auto& c : cases) {
    test::RecordingUi ui;
    ui.files.push_back(c.typed);
    FileRequest request{FileRequest::Mode::Save, c.filter, true};
    EXPECT_EQ(ChooseSaveName(request), std::optional<QString>(c.saved)) << c.typed.toStdString();
    EXPECT_TRUE(ui.shown.empty());
  }
}

// The dialog asked about the name typed, not about the one completed.
TEST(SaveName, AnExistingCompletedNameIsReplacedOnlyAfterAsking) {
  QTemporaryDir dir;
  ASSERT_TRUE(test::WriteAll(dir.filePath("run1.rk0"), "x"));
  test::RecordingUi ui;
  ui.files = {dir.filePath("run1"), dir.filePath("run1")};
  ui.answers = {MsgAnswer::No, MsgAnswer::Yes};
  const FileRequest request{FileRequest::Mode::Save, kMeasurementFilter, true};
  EXPECT_EQ(ChooseSaveName(request), std::nullopt);
  EXPECT_EQ(ChooseSaveName(request), std::optional<QString>(dir.filePath("run1.rk0")));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::YesNoDefaultNo);
}

}  // namespace
}  // namespace larimo
