#pragma once
// Drives a modal dialog from a test: the action runs once the dialog's
// exec() has shown it (inside its event loop), with the dialog as argument.
//
//   auto modal = WhenModal<DialogSetting>([](DialogSetting* dlg) { dlg->OKButton->click(); });
//   window.cmdSetting_Click();   // returns when the action closed the dialog
//   EXPECT_TRUE(modal.ran());
//
// If no dialog of that type appears within the wait, or the returned handle
// is gone first, the action is not run; ran() tells whether it was.

#include <functional>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

namespace larimo::test {

// Returned by WhenModal; the action is dropped when the handle goes (so a
// dialog that never came cannot be acted on by a later test).
class ModalHandle {
 public:
  struct State {
    bool ran = false;
    bool dropped = false;
  };
  explicit ModalHandle(std::shared_ptr<State> s) : state_(std::move(s)) {}
  ~ModalHandle() {
    if (state_) state_->dropped = true;
  }
  ModalHandle(ModalHandle&&) = default;
  ModalHandle(const ModalHandle&) = delete;
  ModalHandle& operator=(const ModalHandle&) = delete;
  bool ran() const { return state_->ran; }

 private:
  std::shared_ptr<State> state_;
};

template <typename Dialog>
[[nodiscard]] ModalHandle WhenModal(std::function<void(Dialog*)> action, int waitMs = 2000) {
  auto state = std::make_shared<ModalHandle::State>();
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  // Owned by the application, so a timer whose dialog never came is still
  // freed when the test program ends.
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, state, clock, action, waitMs] {
    auto* dlg = state->dropped ? nullptr : qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dlg && !state->dropped && clock->elapsed() <= waitMs) return;
    timer->stop();
    timer->deleteLater();
    if (dlg) {
      state->ran = true;
      action(dlg);
    }
  });
  timer->start();
  return ModalHandle(state);
}

}  // namespace larimo::test
