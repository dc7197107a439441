#include "datalist/ui/dialog_datalist.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>

namespace larimo {
namespace {

class DialogDatalistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.ClearData();
    d.Units[0].Mflag = kTrue;
    d.Units[1].Mflag = kTrue;
    for (Long i = 0; i < 5; ++i)
      d.Units[0].Values[static_cast<size_t>(i)] = 1.5f * static_cast<Single>(i);
    d.Units[1].Values[0] = 7.0f;  // unit 1 has no reading after the first sample
    d.DataNum = 5;
    disp.setEnabled(false);
  }
  ModuleData d;
  QPushButton disp;  // stands in for the main window's cmdDisp
};

TEST_F(DialogDatalistTest, OpensWithEveryLineTheCountAndNoSelection) {
  DialogDatalist list(d, &disp);
  EXPECT_EQ(list.windowTitle(), "データ表示");
  EXPECT_EQ(list.parentWidget(), nullptr);
  EXPECT_FALSE(list.isModal());
  EXPECT_EQ(list.lblDataNum->text(), "5");
  EXPECT_EQ(list.Label1->text(), "データ数");
  EXPECT_EQ(list.OKButton->text(), "閉じる");
  for (int u = 0; u < kUnitCount; ++u) {
    EXPECT_EQ(list.Label2[static_cast<size_t>(u)]->text(), QStringLiteral("ID%1").arg(u));
  }
  ASSERT_EQ(list.LineCount(), 5);
  ASSERT_EQ(list.List1->model()->rowCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.LineText(i), DataLine(d, i, MissingFiller::OnOpen));
  EXPECT_EQ(list.LineText(3).mid(11, 8), MissingReadingFiller(MissingFiller::OnOpen));
  EXPECT_EQ(list.SelectedRow(), -1);
  EXPECT_FALSE(disp.isEnabled());  // opening does not enable it
}

TEST_F(DialogDatalistTest, ListFontIsTheGothicFaceAtNinePoints) {
  DialogDatalist list(d, &disp);
  EXPECT_EQ(list.List1->font().family(), "ＭＳ ゴシック");
  EXPECT_EQ(list.List1->font().pointSize(), 9);
}

TEST_F(DialogDatalistTest, RefillListsTheStoreAgainAndSelectsTheLastLine) {
  DialogDatalist list(d, &disp);
  d.DataNum = 3;
  d.Units[0].Values[0] = 99.0f;
  list.Refill();
  ASSERT_EQ(list.LineCount(), 3);
  EXPECT_EQ(list.lblDataNum->text(), "3");
  EXPECT_EQ(list.LineText(0).left(10), FormatValue(99.0f));
  EXPECT_EQ(list.LineText(2), DataLine(d, 2, MissingFiller::OnRefill));
  EXPECT_EQ(list.LineText(2).mid(11, 8), MissingReadingFiller(MissingFiller::OnRefill));
  EXPECT_EQ(list.SelectedRow(), 2);
}

// A value of 1,000,000 or more from a file was cut off at the list's edge.
TEST_F(DialogDatalistTest, LongLinesStayWholeWithAScrollBarOnlyWhenNeeded) {
  DialogDatalist list(d, &disp);
  list.show();
  EXPECT_EQ(list.List1->horizontalScrollBar()->maximum(), 0);
  d.Units[0].Values[3] = 12345678.0f;
  d.Units[1].Values[3] = -2000000.5f;
  list.Refill();
  QCoreApplication::processEvents();  // the list lays its lines out when idle
  const int lineWidth = list.List1->fontMetrics().horizontalAdvance(list.LineText(3));
  EXPECT_GE(list.List1->visualRect(list.List1->model()->index(0, 0)).width(), lineWidth);
  EXPECT_GT(list.List1->horizontalScrollBar()->maximum(), 0);
}

TEST_F(DialogDatalistTest, EveryWayOfClosingEnablesTheButton) {
  {
    auto* list = new DialogDatalist(d, &disp);
    QPointer<QWidget> alive(list);
    list->show();
    list->OKButton->click();
    EXPECT_TRUE(disp.isEnabled());
    EXPECT_FALSE(list->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());  // unloaded, not only hidden
  }
  disp.setEnabled(false);
  {
    auto* list = new DialogDatalist(d, &disp);
    list->show();
    list->close();  // the window's own close box
    EXPECT_TRUE(disp.isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  disp.setEnabled(false);
  {
    auto* list = new DialogDatalist(d, &disp);
    list->show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &esc);
    EXPECT_TRUE(disp.isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  disp.setEnabled(false);
  {
    auto* list = new DialogDatalist(d, &disp);
    list->show();
    delete list;  // unloaded by another command
    EXPECT_TRUE(disp.isEnabled());
  }
}

}  // namespace
}  // namespace larimo
