#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>

#include "datalist/ui/dialog_datalist.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

using test::RecordingUi;

class DatalistCommandTest : public ::testing::Test {
 protected:
  void FakeRun(Long n) {
    d.Units[1].Mflag = kTrue;
    for (Long i = 0; i < n; ++i) d.Units[1].Values[static_cast<size_t>(i)] = 0.5f * i;
    d.Units[1].Count = n;
    d.DataNum = n;
    w.SetButtons();
  }
  DialogDatalist* List() const { return qobject_cast<DialogDatalist*>(w.datalist.data()); }
  RecordingUi ui;
  ModuleData d;
  FormMain w{d};
};

TEST_F(DatalistCommandTest, NoSamplesShowsTheMessageAndOpensNothing) {
  w.cmdDisp->setEnabled(true);
  w.cmdDisp_Click();
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "データがありません");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::Ok);
  EXPECT_TRUE(w.datalist.isNull());
  EXPECT_TRUE(w.cmdDisp->isEnabled());
}

TEST_F(DatalistCommandTest, OpensOneModelessWindowWithoutOwnerAndMarksItOpen) {
  FakeRun(12);
  ASSERT_TRUE(w.cmdDisp->isEnabled());
  w.cmdDisp->click();
  DialogDatalist* list = List();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->isVisible());
  EXPECT_FALSE(list->isModal());
  EXPECT_EQ(list->parentWidget(), nullptr);
  EXPECT_EQ(list->LineCount(), 12);
  EXPECT_EQ(list->LineText(11), DataLine(d, 11, MissingFiller::OnOpen));
  EXPECT_FALSE(w.cmdDisp->isEnabled());
  w.cmdDisp_Click();  // a second call does not open a second window
  EXPECT_EQ(List(), list);
  list->OKButton->click();
  EXPECT_TRUE(w.cmdDisp->isEnabled());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(w.datalist.isNull());
}

TEST_F(DatalistCommandTest, RefillActsOnlyOnAnOpenList) {
  FakeRun(3);
  w.RefillList();  // closed: nothing to do, nothing opened
  EXPECT_TRUE(w.datalist.isNull());
  w.cmdDisp_Click();
  d.Units[1].Values[3] = 9.0f;
  d.DataNum = 4;
  w.RefillList();
  ASSERT_NE(List(), nullptr);
  EXPECT_EQ(List()->LineCount(), 4);
  EXPECT_EQ(List()->SelectedRow(), 3);
}

TEST_F(DatalistCommandTest, UnloadByAnotherCommandEnablesTheButton) {
  FakeRun(3);
  w.UnloadDatalist();  // nothing open: harmless
  EXPECT_TRUE(w.cmdDisp->isEnabled());
  w.cmdDisp_Click();
  ASSERT_FALSE(w.datalist.isNull());
  w.UnloadDatalist();
  EXPECT_TRUE(w.datalist.isNull());
  EXPECT_TRUE(w.cmdDisp->isEnabled());
}

TEST_F(DatalistCommandTest, ClosingTheMainWindowUnloadsTheList) {
  FakeRun(3);
  w.cmdDisp_Click();
  QPointer<QWidget> list = w.datalist;
  ASSERT_FALSE(list.isNull());
  ui.answers.push_back(MsgAnswer::Yes);
  w.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(list.isNull());
}

}  // namespace
}  // namespace larimo
