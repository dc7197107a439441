#pragma once
// The name a run is saved under, as the user chose it in the save dialog.

#include <optional>

#include <QString>

#include "store/user_interface.h"

namespace larimo {

// `name` with the extension of the filter's first pattern ("*.rk0" gives
// ".rk0") when its file name has none; a name with any extension is kept as
// typed.
QString WithFilterExtension(const QString& name, const QString& filter);

// Lets the user choose the file to save to (request.mode Save) and completes
// the name with the format's extension. When the completed name is an
// existing file the dialog did not ask about, the user is asked before it is
// replaced (No by default). nullopt when the user cancelled or said No.
std::optional<QString> ChooseSaveName(const FileRequest& request);

}  // namespace larimo
