#pragma once
// A picture of the run in a measurement file, drawn as the main window
// shows the file after reading it (curves, axes, titles, legend, header),
// without a window on screen: for reports made by scripts.

#include <optional>

#include <QFont>
#include <QSize>
#include <QString>

#include "chart/picture_options.h"
#include "files/measurement_file.h"

namespace larimo {

struct RunPictureRequest {
  QString input;   // the .rk0 file
  QString output;  // .png, .svg or .pdf
  QSize size{1200, 800};
  std::optional<TimeSpan> span;  // the time shown; the whole run when unset
};

struct RunPictureResult {
  bool written = false;
  // How the file was read: Truncated and EndsEarly draw the rows read.
  ReadResult::Status read = ReadResult::Status::Ok;
  // Why nothing was written, or what the read found when it was partial; a
  // sentence for the user. Empty for a whole file drawn.
  QString message;
};

// Draws the picture and writes it, whole or not at all. font: the window's.
RunPictureResult ExportRunPicture(const RunPictureRequest& request, const QFont& font);

}  // namespace larimo
