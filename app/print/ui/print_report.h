#pragma once
// The report command: the user picks the printer and its settings, and one
// page with the title, the date of printing, the measurement conditions and
// the chart's picture is printed on it.

#include <functional>

#include <QDateTime>
#include <QString>

#include "store/module_data.h"

class QPrinter;
class QWidget;

namespace larimo {

// Writes the chart's picture to `path` as a vector picture, shaped
// `aspect` (width / height) like the place it is printed in. False when
// nothing could be written.
using ChartExport = std::function<bool(const QString& path, double aspect)>;

// Shows the printer dialog for `printer` with `owner` as its parent; the
// choice and settings go into the printer. False when the user cancelled
// or the dialog could not be shown.
using PrintDialog = std::function<bool(QPrinter& printer, QWidget* owner)>;

// The application's current printer: the one the last print dialog chose,
// kept for later prints. Landscape by default, as the chart is wide.
QPrinter& CurrentPrinter();

// Replaces the printer dialog (tests choose a PDF file or cancel) and
// returns the one in force; an empty one restores Qt's print dialog.
PrintDialog SetPrintDialog(PrintDialog dialog);

// The print command: "データがありません。" without data; otherwise the
// printer dialog and, when confirmed, PrintDatGraph on the current printer.
void PrintCommand(const ModuleData& data, QWidget* owner, const ChartExport& exportChart);

// Prints the report on `printer`. The chart's picture goes through a file in
// a private temporary folder that is removed on every path. Tells the user
// "グラフ印刷エラー" when the export fails (nothing is printed) and reports
// any later failure; true when the page was sent.
bool PrintDatGraph(const ModuleData& data, QPrinter& printer, const ChartExport& exportChart,
                   const QDateTime& now);

}  // namespace larimo
