#include <gtest/gtest.h>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "chart/move_window_steps.h"
#include "chart/ui/dialog_move_window.h"

namespace larimo {
namespace {

TEST(MoveWindowSteps, StepLeftHasNoBound) {
  // A main window 12500 twips wide and 9000 high with its left edge at 3000.
  const MoveSteps steps = CalcMoveSteps(12500, 9000);
  EXPECT_EQ(steps.x, 2500);
  EXPECT_EQ(steps.y, 1800);
  TwipPoint p = MoveTarget(kMoveLeft, 3000, 700, steps);
  EXPECT_EQ(p.x, 500);
  EXPECT_EQ(p.y, 700);
  p = MoveTarget(kMoveLeft, p.x, p.y, steps);
  EXPECT_EQ(p.x, -2000);
}

TEST(MoveWindowSteps, EachButtonMovesOneWay) {
  const MoveSteps steps{100, 50};
  const auto at = [&](int index) { return MoveTarget(index, 1000, 2000, steps); };
  EXPECT_EQ(at(kMoveRight).x, 1100);
  EXPECT_EQ(at(kMoveRight).y, 2000);
  EXPECT_EQ(at(kMoveUp).x, 1000);
  EXPECT_EQ(at(kMoveUp).y, 1950);
  EXPECT_EQ(at(kMoveDown).y, 2050);
  EXPECT_EQ(at(kMoveHome).x, 0);
  EXPECT_EQ(at(kMoveHome).y, 0);
  EXPECT_EQ(at(7).x, 1000);
  EXPECT_EQ(at(7).y, 2000);
}

TEST(MoveWindowSteps, RoundsHalvesToEven) {
  // 12,490 / 5 = 2498; 12,487.5 / 5 = 2497.5 -> 2498; 12,482.5 / 5 = 2496.5 -> 2496.
  EXPECT_EQ(CalcMoveSteps(12490, 0).x, 2498);
  EXPECT_EQ(CalcMoveSteps(12487.5, 0).x, 2498);
  EXPECT_EQ(CalcMoveSteps(12482.5, 0).x, 2496);
  // A position of 10.5 twips counts as 10 before the step.
  EXPECT_EQ(MoveTarget(kMoveRight, 10.5, 0, {1, 1}).x, 11);
}

TEST(MoveWindowSteps, ConvertsAtTheLogicalResolution) {
  EXPECT_DOUBLE_EQ(TwipScale::AtDpi(96).twipsPerPixel, 15.0);
  EXPECT_DOUBLE_EQ(TwipScale::AtDpi(120).twipsPerPixel, 12.0);
  EXPECT_EQ(TwipScale{15}.ToPixels(3000), 200);
  EXPECT_EQ(TwipScale{10}.ToPixels(-2000), -200);
  EXPECT_EQ(TwipScale{15}.ToPixels(7.5), 0);  // half a pixel, to the even neighbour
  EXPECT_EQ(TwipScale{15}.ToPixels(22.5), 2);
  EXPECT_DOUBLE_EQ(TwipScale{15}.ToTwips(833), 12495);
}

class MoveToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main.setWindowTitle("main");
    main.resize(800, 600);
    main.move(200, 150);
    main.show();
    scale = TwipScale::AtDpi(main.screen()->logicalDotsPerInchX());
  }
  QWidget main;
  TwipScale scale;
};

TEST_F(MoveToolTest, ButtonsFormTheCross) {
  DialogMoveWindow* tool = DialogMoveWindow::ShowFor(&main);
  EXPECT_EQ(tool->windowTitle(), "移動");
  const char* captions[] = {"←", "→", "↑", "↓", "□"};
  const char* tips[] = {"左に移動", "右に移動", "上に移動", "下に移動", "左上合わせ"};
  const QPoint twips[] = {{120, 600}, {1080, 600}, {600, 120}, {600, 1080}, {600, 600}};
  for (int i = 0; i < 5; ++i) {
    QPushButton* b = tool->Button(i);
    EXPECT_EQ(b->text(), QString::fromUtf8(captions[i]));
    EXPECT_EQ(b->toolTip(), QString::fromUtf8(tips[i]));
    EXPECT_EQ(b->x(), scale.ToPixels(twips[i].x())) << i;
    EXPECT_EQ(b->y(), scale.ToPixels(twips[i].y())) << i;
    EXPECT_EQ(b->width(), scale.ToPixels(375));
  }
}

TEST_F(MoveToolTest, MovesTheMainWindowByAFifthOfItsSize) {
  DialogMoveWindow* tool = DialogMoveWindow::ShowFor(&main);
  const QRect frame = main.frameGeometry();
  EXPECT_EQ(tool->Steps().x, CalcMoveSteps(scale.ToTwips(frame.width()), 0).x);
  const QPoint start = main.pos();
  tool->Button(kMoveLeft)->click();
  const int stepX = scale.ToPixels(tool->Steps().x);
  const int stepY = scale.ToPixels(tool->Steps().y);
  EXPECT_NEAR(main.pos().x(), start.x() - stepX, 1);
  tool->Button(kMoveLeft)->click();
  EXPECT_NEAR(main.pos().x(), start.x() - 2 * stepX, 2);
  EXPECT_LT(main.pos().x(), 0) << "moves off the screen without a bound";
  tool->Button(kMoveDown)->click();
  EXPECT_NEAR(main.pos().y(), start.y() + stepY, 1);
  tool->Button(kMoveHome)->click();
  EXPECT_EQ(main.pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
  // The steps were taken at load: resizing the main window leaves them.
  const MoveSteps before = tool->Steps();
  main.resize(400, 300);
  tool->Button(kMoveRight)->click();
  EXPECT_NEAR(main.pos().x(), scale.ToPixels(before.x), 1);
}

TEST_F(MoveToolTest, ThereIsOnlyOneToolWindow) {
  DialogMoveWindow* first = DialogMoveWindow::ShowFor(&main);
  DialogMoveWindow* second = DialogMoveWindow::ShowFor(&main);
  EXPECT_EQ(first, second);
  EXPECT_EQ(main.findChildren<DialogMoveWindow*>().size(), 1);
  EXPECT_TRUE(first->isVisible());
  EXPECT_TRUE(first->isWindow());
  EXPECT_EQ(first->parentWidget(), &main) << "owned by the main window";
  EXPECT_FALSE(first->isModal());

  // Closed, it is discarded; the next one is a new window.
  first->close();
  DialogMoveWindow* third = DialogMoveWindow::ShowFor(&main);
  EXPECT_TRUE(third->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(main.findChildren<DialogMoveWindow*>().size(), 1);
  EXPECT_TRUE(third->isVisible());
}

}  // namespace
}  // namespace larimo
