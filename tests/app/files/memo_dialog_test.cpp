#include "files/ui/dialog_memo.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "modal.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

using test::RecordingUi;
using test::WhenModal;

const QString kCsv = QStringLiteral("CSVファイル  (*.csv)|*.csv|");
const QString kRk0 = QStringLiteral("専用ファイル  (*.rk0)|*.rk0|");

class MemoDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.ClearData();
    d.Units[0].Mflag = kTrue;
    for (Long i = 0; i < 3; ++i) d.Units[0].Values[static_cast<size_t>(i)] = 10.0f + i;
    d.Units[0].Count = 3;
    d.DataNum = 3;
    d.TimerType = kTrue;
    d.IntervalTM = 1000;
    d.StartTime = "2024/5/6 7:08:09";
    d.Memo = {"一", "二", "", "", "五"};
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
  static void Edit(DialogMemo& dlg) {
    for (int i = 0; i < 5; ++i)
      dlg.txtMemo[static_cast<size_t>(i)]->setText(QStringLiteral("新%1").arg(i));
  }
  RecordingUi ui;
  ModuleData d;
  QTemporaryDir dir;
};

TEST_F(MemoDialogTest, OpensWithCsvAndTheMemosInMemory) {
  d.Memo[2] = "三";
  DialogMemo dlg(d);
  EXPECT_EQ(dlg.windowTitle(), "データ保存");
  EXPECT_TRUE(dlg.optFiletype[0]->isChecked());
  EXPECT_FALSE(dlg.optFiletype[1]->isChecked());
  EXPECT_EQ(dlg.optFiletype[0]->text(), "CSV");
  EXPECT_EQ(dlg.optFiletype[1]->text(), "専用");
  EXPECT_EQ(dlg.CancelButton->text(), "戻る");
  EXPECT_EQ(dlg.OKButton->text(), "次へ");
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(dlg.txtMemo[i]->text(), d.Memo[i]);
}

TEST_F(MemoDialogTest, CancellingTheFileChooserKeepsTheDialogAndTheOldMemos) {
  const auto before = d.Memo;
  DialogMemo dlg(d);
  dlg.show();
  Edit(dlg);
  dlg.optFiletype[1]->setChecked(true);
  ui.files.push_back(std::nullopt);
  dlg.OKButton->click();
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].mode, FileRequest::Mode::Save);
  EXPECT_EQ(ui.fileRequests[0].filter, kRk0);
  EXPECT_TRUE(ui.fileRequests[0].overwritePrompt);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);  // not closed by a save
  EXPECT_EQ(d.Memo, before);
  EXPECT_EQ(dlg.txtMemo[0]->text(), "新0");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(MemoDialogTest, BackLeavesTheMemosUnchanged) {
  const auto before = d.Memo;
  DialogMemo dlg(d);
  dlg.show();
  Edit(dlg);
  dlg.CancelButton->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_TRUE(ui.fileRequests.empty());
  EXPECT_EQ(d.Memo, before);
  DialogMemo again(d);
  EXPECT_EQ(again.txtMemo[0]->text(), "一");
}

TEST_F(MemoDialogTest, CsvSaveWritesTheExportWithTheNewMemos) {
  const QString name = Path("run.csv");
  DialogMemo dlg(d);
  dlg.show();
  Edit(dlg);
  ui.files.push_back(name);
  dlg.OKButton->click();
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].filter, kCsv);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(d.Memo[0], "新0");
  EXPECT_EQ(d.Memo[4], "新4");
  QFile f(name);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), CsvBytes(d));
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(MemoDialogTest, OwnFormatSaveReadsBackWithTheMemos) {
  const QString name = Path("run.rk0");
  DialogMemo dlg(d);
  Edit(dlg);
  dlg.optFiletype[1]->setChecked(true);
  ui.files.push_back(name);
  dlg.OKButton->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  ModuleData back;
  back.InitDataBuffers();
  const ReadResult r = ReadDataFile(back, name);
  EXPECT_EQ(r.status, ReadResult::Status::Ok);
  EXPECT_EQ(back.DataNum, 3);
  EXPECT_EQ(back.Memo[2], "新2");
  EXPECT_EQ(back.Units[0].Values[2], 12.0f);
}

TEST_F(MemoDialogTest, AFailedSaveIsReportedAndKeepsTheDialogOpen) {
  const auto before = d.Memo;
  const QString name = Path("no-such-folder/run.rk0");
  DialogMemo dlg(d);
  dlg.show();
  Edit(dlg);
  dlg.optFiletype[1]->setChecked(true);
  ui.files.push_back(name);
  dlg.OKButton->click();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::Ok);
  EXPECT_TRUE(ui.shown[0].text.contains(name)) << ui.shown[0].text.toStdString();
  // The reason follows the name on a line of its own.
  EXPECT_GE(ui.shown[0].text.count('\n'), 1);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.txtMemo[3]->text(), "新3");
  EXPECT_TRUE(dlg.optFiletype[1]->isChecked());
  // Nothing was saved, so the memo lines of the data stay as they were.
  EXPECT_EQ(d.Memo, before);
}

// Memo text the code page cannot hold was turned into '?' without a word,
// and a memo box stopped taking text at 32,767 characters.
TEST_F(MemoDialogTest, UnstorableCharactersAreNamedBeforeSavingAndNoGoesBack) {
  const QString name = Path("memo.rk0");
  DialogMemo dlg(d);
  dlg.show();
  EXPECT_EQ(dlg.txtMemo[0]->maxLength(), 65535);
  dlg.optFiletype[1]->setChecked(true);
  dlg.txtMemo[1]->setText(QStringLiteral("a€b〜"));
  dlg.txtMemo[3]->setText(QStringLiteral("é€"));
  ui.answers.push_back(MsgAnswer::No);
  dlg.OKButton->click();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_TRUE(ui.shown[0].text.contains(QStringLiteral("「€」「é」")))
      << ui.shown[0].text.toStdString();
  EXPECT_FALSE(ui.shown[0].text.contains(QStringLiteral("〜")));
  EXPECT_TRUE(ui.fileRequests.empty());
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(QFile::exists(name));

  ui.answers.push_back(MsgAnswer::Yes);
  ui.files.push_back(name);
  dlg.OKButton->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(d.Memo[1], QStringLiteral("a€b〜"));
}

class SaveCommandTest : public ::testing::Test {
 protected:
  RecordingUi ui;
  ModuleData d;
  FormMain w{d};
  QTemporaryDir dir;
};

TEST_F(SaveCommandTest, NoDataNoDialog) {
  auto modal = WhenModal<DialogMemo>([](DialogMemo* dlg) { dlg->CancelButton->click(); }, 300);
  w.cmdSave_Click();
  EXPECT_FALSE(modal.ran());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "測定データがありません。");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::Ok);
}

TEST_F(SaveCommandTest, EachOpeningStartsWithCsvAndTheMemosJustSaved) {
  d.Units[0].Mflag = kTrue;
  d.Units[0].Values[0] = 1.0f;
  d.Units[0].Count = 1;
  d.DataNum = 1;
  const QString name = dir.filePath("a.rk0");
  ui.files.push_back(name);
  w.setWindowModified(true);
  {
    auto modal = WhenModal<DialogMemo>([](DialogMemo* dlg) {
      dlg->txtMemo[0]->setText("保存したメモ");
      dlg->optFiletype[1]->setChecked(true);
      dlg->OKButton->click();
    });
    w.cmdSave_Click();
    ASSERT_TRUE(modal.ran());
  }
  EXPECT_TRUE(QFile::exists(name));
  EXPECT_FALSE(w.isWindowModified());
  EXPECT_EQ(d.Memo[0], "保存したメモ");
  bool csv = false;
  QString memo;
  auto modal = WhenModal<DialogMemo>([&](DialogMemo* dlg) {
    csv = dlg->optFiletype[0]->isChecked();
    memo = dlg->txtMemo[0]->text();
    dlg->CancelButton->click();
  });
  w.cmdSave_Click();
  ASSERT_TRUE(modal.ran());
  EXPECT_TRUE(csv);
  EXPECT_EQ(memo, "保存したメモ");
}

}  // namespace
}  // namespace larimo
