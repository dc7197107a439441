#include "recording_ui.h"

namespace larimo::test {

RecordingUi::RecordingUi() : previous_(SetUi(this)) {}
RecordingUi::~RecordingUi() { SetUi(previous_); }

MsgAnswer RecordingUi::Message(const QString& text, const QString& title, MsgIcon icon,
                               MsgButtons buttons) {
  shown.push_back({text, title, icon, buttons});
  if (whileShown) whileShown(shown.back());
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (answers.empty()) return MsgAnswer::Yes;
  const MsgAnswer a = answers.front();
  answers.pop_front();
  return a;
}

void RecordingUi::Notify(const QString& text, const QString& title, MsgIcon icon) {
  notices.push_back({text, title, icon, MsgButtons::Ok});
}

std::optional<QString> RecordingUi::ChooseFile(const FileRequest& request) {
  fileRequests.push_back(request);
  if (files.empty()) return std::nullopt;
  const bool chosen = files.front().has_value();
  const QString name = chosen ? *files.front() : QString();
  files.pop_front();
  if (!chosen) return std::nullopt;
  return name;
}

std::vector<QString> RecordingUi::texts() const {
  std::vector<QString> out;
  for (const auto& m : shown) out.push_back(m.text);
  return out;
}

}  // namespace larimo::test
