#include "chart/ui/dialog_move_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace larimo {
namespace {

struct ButtonSpec {
  const char* caption;
  const char* toolTip;
  int left;  // twips
  int top;
};

constexpr std::array<ButtonSpec, 5> kButtons{{
    {"←", "左に移動", 120, 600},
    {"→", "右に移動", 1080, 600},
    {"↑", "上に移動", 600, 120},
    {"↓", "下に移動", 600, 1080},
    {"□", "左上合わせ", 600, 600},
}};
constexpr int kButtonSize = 375;  // twips
// The cross with the same margin all round.
constexpr int kClientSize = 1080 + kButtonSize + 120;

}  // namespace

DialogMoveWindow* DialogMoveWindow::ShowFor(QWidget* mainWindow) {
  DialogMoveWindow* tool = nullptr;
  for (DialogMoveWindow* w :
       mainWindow->findChildren<DialogMoveWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!w->closed_) tool = w;
  }
  if (tool == nullptr) tool = new DialogMoveWindow(mainWindow);
  tool->show();
  tool->raise();
  tool->activateWindow();
  return tool;
}

DialogMoveWindow::DialogMoveWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool), main_(mainWindow) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("DialogMoveWindow"));
  setWindowTitle(QStringLiteral("移動"));
  const TwipScale scale = Scale();
  auto px = [scale](int twips) { return scale.ToPixels(twips); };
  for (int i = 0; i < static_cast<int>(kButtons.size()); ++i) {
    auto* b = new QPushButton(QString::fromUtf8(kButtons[i].caption), this);
    b->setObjectName(QStringLiteral("cmdMV_%1").arg(i));
    b->setToolTip(QString::fromUtf8(kButtons[i].toolTip));
    b->setGeometry(px(kButtons[i].left), px(kButtons[i].top), px(kButtonSize), px(kButtonSize));
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, i] { cmdMV_Click(i); });
    cmdMV[i] = b;
  }
  setFixedSize(px(kClientSize), px(kClientSize));
  // The steps are taken from the main window's outer size now, once.
  const QRect frame = main_->frameGeometry();
  steps_ = CalcMoveSteps(scale.ToTwips(frame.width()), scale.ToTwips(frame.height()));
}

TwipScale DialogMoveWindow::Scale() const {
  const QScreen* screen = main_->screen();
  return TwipScale::AtDpi(screen != nullptr ? screen->logicalDotsPerInchX() : 96.0);
}

void DialogMoveWindow::cmdMV_Click(int index) {
  const TwipScale scale = Scale();
  const QPoint corner = main_->pos();  // the outer corner, frame included
  const TwipPoint to =
      MoveTarget(index, scale.ToTwips(corner.x()), scale.ToTwips(corner.y()), steps_);
  QPoint target(scale.ToPixels(to.x), scale.ToPixels(to.y));
  // "□" means the top left corner of the (primary) screen, which need not be
  // (0, 0) of the desktop when there are several screens.
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (index == kMoveHome && primary != nullptr) target = primary->geometry().topLeft();
  main_->move(target);
}

void DialogMoveWindow::closeEvent(QCloseEvent* event) {
  closed_ = true;
  QWidget::closeEvent(event);
}

}  // namespace larimo
