// Placeholders for main-window commands whose windows are still being built.
// Each is removed from here when its own window's folder defines it. Until
// then the button tells the user that the command is not available yet.
#include "core/ui/form_main.h"
#include "core/user_interface.h"

namespace larimo {

namespace {
void NotYetAvailable() {
  ShowMessage(QStringLiteral("この機能はまだ使用できません。"), QStringLiteral("Message"));
}
}  // namespace

void FormMain::cmdPrint_Click() { NotYetAvailable(); }
void FormMain::cmdMove_Click(int) { NotYetAvailable(); }

}  // namespace larimo
