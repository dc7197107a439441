#include "store/user_interface.h"

#include <cstdio>

namespace larimo {
namespace {

class StderrInterface final : public UserInterface {
 public:
  MsgAnswer Message(const QString& text, const QString& title, MsgIcon,
                    MsgButtons buttons) override {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
  }
  void Notify(const QString& text, const QString& title, MsgIcon icon) override {
    Message(text, title, icon, MsgButtons::Ok);
  }
  std::optional<QString> ChooseFile(const FileRequest&) override { return std::nullopt; }
};

StderrInterface g_fallback;
UserInterface* g_current = nullptr;

}  // namespace

UserInterface& Ui() { return g_current ? *g_current : g_fallback; }

UserInterface* SetUi(UserInterface* ui) {
  UserInterface* previous = g_current;
  g_current = ui;
  return previous;
}

}  // namespace larimo
