#pragma once
// The one seam through which the program talks to the user in dialogs of the
// platform: message boxes and file-name choosers. The application installs
// the Qt implementation (window/qt_user_interface.h); tests install one that
// records what was shown and answers from a script.

#include <optional>

#include <QString>

namespace larimo {

// The titles of the program's boxes: its questions and notices, the
// results of the device library, and the errors that refuse an action.
inline const QString kMsgTitle = QStringLiteral("Message");
inline const QString kDeviceTitle = QStringLiteral("QuenzelApp");
inline const QString kErrorTitle = QStringLiteral("エラーメッセージ");

enum class MsgIcon { None, Information, Question, Exclamation, Critical };
// YesNoDefaultNo: a question whose Yes would lose something; Enter answers No.
enum class MsgButtons { Ok, YesNo, YesNoDefaultNo };
enum class MsgAnswer { Ok, Yes, No };

struct FileRequest {
  enum class Mode { Open, Save };
  Mode mode = Mode::Open;
  // Filter in the "description|pattern|" form, e.g. "CSVファイル  (*.csv)|*.csv|".
  QString filter;
  // Save: ask before overwriting an existing file.
  bool overwritePrompt = false;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows a modal message box and returns the button the user chose.
  virtual MsgAnswer Message(const QString& text, const QString& title, MsgIcon icon,
                            MsgButtons buttons) = 0;
  // Shows a notice without waiting for the user (a box that does not block,
  // or a line): returns at once, so a running cycle can tell it and go on.
  virtual void Notify(const QString& text, const QString& title, MsgIcon icon) = 0;
  // Lets the user choose a file name; nullopt when the user cancelled.
  virtual std::optional<QString> ChooseFile(const FileRequest& request) = 0;
};

// The interface in force. Until one is installed, a fallback writes messages
// and notices to standard error, answers No to questions and cancels file choices.
UserInterface& Ui();
// Installs ui (nullptr restores the fallback) and returns the previous one.
UserInterface* SetUi(UserInterface* ui);

// Shorthands for the two kinds of box the program shows.
inline MsgAnswer ShowMessage(const QString& text, const QString& title,
                             MsgIcon icon = MsgIcon::None) {
  return Ui().Message(text, title, icon, MsgButtons::Ok);
}
inline bool AskYesNo(const QString& text, const QString& title = kMsgTitle) {
  return Ui().Message(text, title, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
}

}  // namespace larimo
