// Placeholders for main-window commands whose windows are still being built.
// Each is removed from here when its own window's folder defines it; every
// command is defined beside its window now.
#include "core/ui/form_main.h"

namespace larimo {}  // namespace larimo
