#include "datalist/list_placement.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

const QRect kScreen(0, 0, 1600, 1000);
const QSize kList(300, 400);

TEST(PlaceBeside, RightOfTheMainWindowWhereThereIsRoom) {
  EXPECT_EQ(PlaceBeside(QRect(100, 50, 800, 600), kList, kScreen), QPoint(900, 50));
  // Exactly up to the screen's right edge still fits.
  EXPECT_EQ(PlaceBeside(QRect(500, 50, 800, 600), kList, kScreen), QPoint(1300, 50));
}

TEST(PlaceBeside, LeftWhenTheRightHasNoRoomAndNothingWhenNeitherHas) {
  EXPECT_EQ(PlaceBeside(QRect(600, 50, 800, 600), kList, kScreen), QPoint(300, 50));
  EXPECT_EQ(PlaceBeside(QRect(200, 50, 1200, 600), kList, kScreen), std::nullopt);
  EXPECT_EQ(PlaceBeside(QRect(0, 0, 1600, 1000), kList, kScreen), std::nullopt);
  // A list taller than the screen is left to the window system.
  EXPECT_EQ(PlaceBeside(QRect(100, 50, 800, 600), QSize(300, 1200), kScreen), std::nullopt);
}

TEST(PlaceBeside, TopEdgeStaysOnTheScreen) {
  // A main window low on the screen: the list moves up to end at the bottom.
  EXPECT_EQ(PlaceBeside(QRect(100, 800, 800, 600), kList, kScreen), QPoint(900, 600));
  // One partly above the screen: the list starts at the top.
  EXPECT_EQ(PlaceBeside(QRect(100, -80, 800, 600), kList, kScreen), QPoint(900, 0));
  // A second screen to the right: coordinates are the whole desktop's.
  const QRect second(1600, 0, 1920, 1080);
  EXPECT_EQ(PlaceBeside(QRect(1700, 100, 800, 600), kList, second), QPoint(2500, 100));
}

}  // namespace
}  // namespace larimo
