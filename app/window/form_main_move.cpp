// The four "○" buttons of the main window open the window-move tool.
#include "chart/ui/dialog_move_window.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdMove_Click(int) { DialogMoveWindow::ShowFor(this); }

}  // namespace larimo
