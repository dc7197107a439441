// The run journal: a recorder on the simulated units killed with SIGKILL is
// restored row for row as a save would have written it; a torn last row,
// unreadable journals, an unwritable state folder and the journal's end.
#include "run/journal.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "device/quenzel.h"
#include "file_test_util.h"
#include "files/measurement_file.h"
#include "recording_ui.h"

namespace larimo {
namespace {

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override { d.InitDataBuffers(); }
  QString State() const { return tmp.filePath(QStringLiteral("state")); }
  QStringList Files() const { return QDir(State()).entryList(QDir::Files, QDir::Name); }
  QTemporaryDir tmp;
  test::RecordingUi ui;
  ModuleData d;
};

// Run by KilledRecorderIsRestored as its child: records 10 block cycles into
// the journal, saves what a save would write beside it, says so and waits.
TEST(JournalChild, RecordsUntilKilled) {
  const QString dir = qEnvironmentVariable("LARIMO_JOURNAL_CHILD");
  if (dir.isEmpty()) GTEST_SKIP() << "the child of KilledRecorderIsRestored";
  quenzel::SelectLibrary(QStringLiteral("BriskoSim"));
  ModuleData d;
  d.InitDataBuffers();
  for (UnitData& u : d.Units) u.Mflag = kTrue;
  d.IntervalTM = 100;
  ChartView view;
  NoRunDisplay display;
  Acquisition run(d, view, quenzel::Library(), display);
  Journal journal(dir + QStringLiteral("/state"));
  run.AddObserver(&journal);
  ASSERT_EQ(run.Start().kind, Pacing::Kind::BlockTimer);
  for (int c = 0; c < 10; ++c) run.BlockTick();
  ASSERT_TRUE(SaveDataFile(d, dir + QStringLiteral("/expected.rk0")));
  std::printf("ready %ld\n", static_cast<long>(d.DataNum));
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

TEST_F(JournalTest, KilledRecorderIsRestoredAsSaved) {
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LARIMO_JOURNAL_CHILD"), tmp.path());
  env.insert(QStringLiteral("BRISKO_SIM_ATTACH_MS"), QStringLiteral("0"));
  env.insert(QStringLiteral("BRISKO_SIM_CLOCK"), QStringLiteral("step:300"));
  env.remove(QStringLiteral("BRISKO_SIM"));
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=JournalChild.RecordsUntilKilled")});
  QByteArray out;
  while (!out.contains("ready") && child.waitForReadyRead(30000))
    out += child.readAllStandardOutput();
  ASSERT_TRUE(out.contains("ready")) << out.toStdString();
  // A running recorder's journal is not offered.
  EXPECT_FALSE(Journal(State()).Recover(d));
  EXPECT_TRUE(ui.shown.empty());
  child.kill();  // SIGKILL
  child.waitForFinished();

  Journal journal(State());
  ASSERT_TRUE(journal.Recover(d));
  EXPECT_EQ(ui.texts(), std::vector<QString>{RestoreQuestion(d)});
  const QString restored = tmp.filePath(QStringLiteral("restored.rk0"));
  ASSERT_TRUE(SaveDataFile(d, restored));
  EXPECT_TRUE(test::ReadAll(restored) ==
              test::ReadAll(tmp.filePath(QStringLiteral("expected.rk0"))))
      << "the restored run differs from the one saved before the kill";
  // The restored run is protected by the same journal until it is saved.
  EXPECT_TRUE(QFile::exists(journal.Path()));
  journal.Forget();
  EXPECT_TRUE(Files().isEmpty());
}

TEST_F(JournalTest, TornLastRowIsIgnoredAndNoTwiceDeletes) {
  Journal journal(State());
  d.ClearData();
  d.Units[1].Mflag = kTrue;
  d.StartTime = QStringLiteral("2026/12/09 10:00:00");
  d.TimerType = kTrue;
  d.IntervalTM = 1500;
  journal.RunStarted(d);
  for (Long k = 0; k < 5; ++k) {
    d.Units[1].Values[static_cast<size_t>(k)] = 20.5f + k;
    d.Units[1].Count = d.DataNum = k + 1;
    journal.SamplesStored(d);
  }
  QByteArray bytes = test::ReadAll(journal.Path());
  const QString left = QDir(State()).filePath(QStringLiteral("left.rk0"));  // another program's
  ASSERT_TRUE(test::WriteAll(left, bytes.append("\x01\x02\x03\x04\x05\x06\x07", 7)));
  ASSERT_TRUE(Journal(State()).Recover(d));
  EXPECT_EQ(d.DataNum, 5);
  EXPECT_EQ(d.Units[1].Values[4], 24.5f);
  // The question names the run.
  EXPECT_EQ(ui.shown.back().text,
            QStringLiteral("前回の測定データ（開始時刻 2026/12/09 10:00:00、5 行、間隔 1.5 "
                           "秒）が保存されていません。復元しますか？"));
  // No, then Yes to the second question (whose Enter means No): deleted.
  ui.answers = {MsgAnswer::No, MsgAnswer::Yes};
  EXPECT_FALSE(Journal(State()).Recover(d));
  EXPECT_EQ(ui.shown.back().text, kDeleteQuestion);
  EXPECT_EQ(ui.shown.back().buttons, MsgButtons::YesNoDefaultNo);
  EXPECT_FALSE(QFile::exists(left));
  // A new run replaces the old run's journal.
  const QString old = journal.Path();
  journal.RunStarted(d);
  EXPECT_FALSE(QFile::exists(old));
  EXPECT_TRUE(QFile::exists(journal.Path()));
}

TEST_F(JournalTest, UnreadableJournalsAreReportedAndSetAside) {
  ASSERT_TRUE(QDir().mkpath(State()));
  ASSERT_TRUE(test::WriteAll(QDir(State()).filePath(QStringLiteral("a.rk0")), "garbage"));
  ASSERT_TRUE(test::WriteAll(QDir(State()).filePath(QStringLiteral("b.rk0")), {}));
  EXPECT_FALSE(Journal(State()).Recover(d));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_TRUE(ui.shown[0].text.contains(QStringLiteral("a.rk0.unreadable")));
  EXPECT_EQ(Files(), (QStringList{"a.rk0.unreadable", "b.rk0.unreadable"}));
}

TEST_F(JournalTest, UnwritableFolderIsToldOnceAndTheRunGoesOn) {
  const QString file = tmp.filePath(QStringLiteral("file"));
  ASSERT_TRUE(test::WriteAll(file, "x"));
  Journal journal(file + QStringLiteral("/larimo"));
  d.ClearData();
  journal.RunStarted(d);
  d.DataNum = 1;
  journal.SamplesStored(d);
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(ui.notices.size(), 1u);
  EXPECT_TRUE(ui.notices[0].text.startsWith(kNotProtected));
  EXPECT_TRUE(journal.Path().isEmpty());
}

// A held part's journal stays, rows and all, until its part is saved.
TEST_F(JournalTest, AHeldPartStaysUntilItIsSaved) {
  Journal journal(State());
  journal.HoldFilledParts();
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  journal.RunStarted(d);
  d.Units[0].Values[0] = d.Units[0].Values[1] = 21.5f;
  d.Units[0].Count = d.DataNum = 2;
  journal.SamplesStored(d);
  const QString filled = journal.Path();
  d.Units[0].Count = d.DataNum = 0;
  journal.PartStarted(d, 2);
  EXPECT_EQ(journal.HeldParts(), QStringList{filled});
  EXPECT_EQ(Files().size(), 2);
  ModuleData held;
  held.InitDataBuffers();
  ReadDataFile(held, filled);
  EXPECT_EQ(held.DataNum, 2);
  journal.FilledPartSaved();
  EXPECT_TRUE(journal.HeldParts().isEmpty());
  EXPECT_EQ(Files(), QStringList{QFileInfo(journal.Path()).fileName()});
}

}  // namespace
}  // namespace larimo
