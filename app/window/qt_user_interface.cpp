#include "window/qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace larimo {

namespace {

QMessageBox::Icon QtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QWidget* QtUserInterface::BoxParent() const {
  return parent_ ? parent_.data() : QApplication::activeWindow();
}

MsgAnswer QtUserInterface::Message(const QString& text, const QString& title, MsgIcon icon,
                                   MsgButtons buttons) {
  QMessageBox box(QtIcon(icon), title, text, QMessageBox::NoButton, BoxParent());
  if (buttons != MsgButtons::Ok) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  const int result = box.exec();
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return result == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

void QtUserInterface::Notify(const QString& text, const QString& title, MsgIcon icon) {
  auto* box = new QMessageBox(QtIcon(icon), title, text, QMessageBox::Ok, BoxParent());
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

QString QtUserInterface::ToQtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString desc = parts[i].trimmed();
    const QString pattern = parts[i + 1].trimmed();
    if (desc.isEmpty() && pattern.isEmpty()) continue;
    // QFileDialog takes the pattern from the last parentheses of the text.
    out << (desc.contains(QLatin1Char('('))
                ? desc
                : desc + QStringLiteral(" (") + pattern + QLatin1Char(')'));
  }
  return out.join(QStringLiteral(";;"));
}

std::optional<QString> QtUserInterface::ChooseFile(const FileRequest& request) {
  QFileDialog dialog(BoxParent());
  dialog.setNameFilter(ToQtFilter(request.filter));
  if (request.mode == FileRequest::Mode::Save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  } else {
    // A name that does not exist may be entered: it reads as a file without rows.
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace larimo
