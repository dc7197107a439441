#include "files/save_name.h"

#include <QFileInfo>

namespace larimo {

QString WithFilterExtension(const QString& name, const QString& filter) {
  if (QFileInfo(name).fileName().contains(QLatin1Char('.'))) return name;
  // "description|*.ext|": the pattern's extension.
  const QString pattern = filter.section(QLatin1Char('|'), 1, 1).trimmed();
  const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || pattern.mid(dot).contains(QLatin1Char('*'))) return name;
  return name + pattern.mid(dot);
}

std::optional<QString> ChooseSaveName(const FileRequest& request) {
  const std::optional<QString> typed = Ui().ChooseFile(request);
  if (!typed) return std::nullopt;
  const QString name = WithFilterExtension(*typed, request.filter);
  if (name != *typed && request.overwritePrompt && QFileInfo::exists(name) &&
      Ui().Message(QStringLiteral("%1 は既に存在します。\n上書きしますか？").arg(name), kMsgTitle,
                   MsgIcon::Exclamation, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes) {
    return std::nullopt;
  }
  return name;
}

}  // namespace larimo
