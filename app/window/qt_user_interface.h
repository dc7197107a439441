#pragma once
// The UserInterface of the running program: QMessageBox and QFileDialog.

#include <QPointer>
#include <QWidget>

#include "store/user_interface.h"

namespace larimo {

class QtUserInterface final : public UserInterface {
 public:
  // parent: the window the boxes are centred on (may change later).
  explicit QtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  MsgAnswer Message(const QString& text, const QString& title, MsgIcon icon,
                    MsgButtons buttons) override;
  // A box that is not modal and deletes itself when closed.
  void Notify(const QString& text, const QString& title, MsgIcon icon) override;
  std::optional<QString> ChooseFile(const FileRequest& request) override;

  // "desc|pattern|desc|pattern|" -> "desc (pattern);;desc (pattern)" for QFileDialog.
  static QString ToQtFilter(const QString& filter);

 private:
  // The window the boxes and dialogs belong to: the one given, else the
  // active one.
  QWidget* BoxParent() const;
  QPointer<QWidget> parent_;
};

}  // namespace larimo
