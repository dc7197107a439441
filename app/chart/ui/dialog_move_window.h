#pragma once
// "移動": a small tool window that moves the main window across the screen in
// steps of a fifth of its size, with a cross of five buttons. It belongs to
// the main window (stays in front of it, the main window stays usable) and is
// discarded when closed; the steps are taken once, when it is created.

#include <array>

#include <QWidget>

#include "chart/move_window_steps.h"

class QPushButton;

namespace larimo {

class DialogMoveWindow : public QWidget {
  Q_OBJECT

 public:
  // Shows the tool window of `mainWindow`, creating it when there is none,
  // and returns it. There is never more than one.
  static DialogMoveWindow* ShowFor(QWidget* mainWindow);

  explicit DialogMoveWindow(QWidget* mainWindow);

  // Moves the main window: 0 left, 1 right, 2 up, 3 down, 4 to the screen's
  // top left corner.
  void cmdMV_Click(int index);

  MoveSteps Steps() const { return steps_; }
  QPushButton* Button(int index) const { return cmdMV.at(index); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Twips at the logical resolution of the main window's screen.
  TwipScale Scale() const;

  QWidget* main_;
  std::array<QPushButton*, 5> cmdMV{};
  MoveSteps steps_;
  bool closed_ = false;
};

}  // namespace larimo
