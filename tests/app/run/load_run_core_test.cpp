#include "run/load_run.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "file_test_util.h"
#include "recording_ui.h"

namespace larimo {
namespace {

TEST(LoadRun, AWiringCodeOutsideTheListIsLoadedAsTheFourWireItIsShownAs) {
  test::RecordingUi ui;
  QTemporaryDir dir;
  ModuleData run;
  test::FillRun(run, 3);
  run.Units[0].Connect = 1;
  run.Units[1].Connect = 7;
  run.Units[3].Connect = -1;
  const QString path = dir.filePath("w.rk0");
  ASSERT_TRUE(SaveDataFile(run, path));
  ModuleData d;
  ModuleData spare;
  d.InitDataBuffers();
  spare.InitDataBuffers();
  Journal journal(dir.filePath("journal"));
  const LoadedRun loaded = LoadRunFile(d, spare, journal, path);
  ASSERT_TRUE(loaded.loaded);
  EXPECT_EQ(loaded.invalidWiring, (std::vector<int>{1, 3}));
  EXPECT_EQ(d.Units[0].Connect, 1);
  EXPECT_EQ(d.Units[1].Connect, 2);
  EXPECT_EQ(d.Units[3].Connect, 2);
  TellLoad(loaded, path);
  EXPECT_EQ(ui.texts(),
            std::vector<QString>{QStringLiteral(
                "ID1, ID3 の結線方式の値が正しくありません。4線式として読み込みました。")});
}

}  // namespace
}  // namespace larimo
