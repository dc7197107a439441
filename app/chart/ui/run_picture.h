#pragma once
// A picture of the run in a measurement file, drawn as the main window
// shows the file after reading it (curves, axes, titles, legend, header),
// without a window on screen: for reports made by scripts.

#include <optional>

#include <QFont>
#include <QSize>
#include <QString>

#include "chart/picture_options.h"

namespace larimo {

struct RunPictureRequest {
  QString input;   // the .rk0 file
  QString output;  // .png, .svg or .pdf
  QSize size{1200, 800};
  std::optional<TimeSpan> span;  // the time shown; the whole run when unset
};

// Writes the picture; returns an empty text when done, or a sentence for
// the user saying why nothing was written. font: the window's font.
QString ExportRunPicture(const RunPictureRequest& request, const QFont& font);

}  // namespace larimo
