#include "window/qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace larimo {

namespace {

QMessageBox::Icon QtIcon(MsgIcon icon) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case MsgIcon::None:
      qicon = QMessageBox::NoIcon;
      break;
    case MsgIcon::Information:
      qicon = QMessageBox::Information;
      break;
    case MsgIcon::Question:
      qicon = QMessageBox::Question;
      break;
    case MsgIcon::Exclamation:
      qicon = QMessageBox::Warning;
      break;
    case MsgIcon::Critical:
      qicon = QMessageBox::Critical;
      break;
  }
  return qicon;
}

}  // namespace

MsgAnswer QtUserInterface::Message(const QString& text, const QString& title, MsgIcon icon,
                                   MsgButtons buttons) {
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  QMessageBox box(QtIcon(icon), title, text, QMessageBox::NoButton, parent);
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
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  auto* box = new QMessageBox(QtIcon(icon), title, text, QMessageBox::Ok, parent);
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
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  QFileDialog dialog(parent);
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
