#pragma once
// A UserInterface for tests: records every message box and file chooser it
// is asked to show and answers from queues the test fills.
//
//   RecordingUi ui;              // installs itself, restores on destruction
//   ui.answers.push_back(MsgAnswer::No);
//   ui.files.push_back("/tmp/x.rk0");   // std::nullopt = the user cancels
//   ... EXPECT_EQ(ui.shown.at(0).text, "...");

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "store/user_interface.h"

namespace larimo::test {

struct ShownMessage {
  QString text;
  QString title;
  MsgIcon icon;
  MsgButtons buttons;
};

class RecordingUi final : public UserInterface {
 public:
  RecordingUi();
  ~RecordingUi() override;
  RecordingUi(const RecordingUi&) = delete;
  RecordingUi& operator=(const RecordingUi&) = delete;

  MsgAnswer Message(const QString& text, const QString& title, MsgIcon icon,
                    MsgButtons buttons) override;
  void Notify(const QString& text, const QString& title, MsgIcon icon) override;
  std::optional<QString> ChooseFile(const FileRequest& request) override;

  std::vector<ShownMessage> shown;
  std::vector<ShownMessage> notices;  // what Notify showed (never waits)
  std::vector<FileRequest> fileRequests;
  // Answers to Yes/No questions, in order; Yes when empty.
  std::deque<MsgAnswer> answers;
  // Answers to file choosers, in order; cancel when empty.
  std::deque<std::optional<QString>> files;
  // Called while a message box is "open" (after it was recorded), e.g. to
  // let timers fire as they would under a real modal box.
  std::function<void(const ShownMessage&)> whileShown;

  // Texts of all messages shown so far.
  std::vector<QString> texts() const;

 private:
  UserInterface* previous_;
};

}  // namespace larimo::test
