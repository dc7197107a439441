// The main window's print command "印刷".
#include <algorithm>

#include "print/ui/print_report.h"
#include "window/form_main.h"

namespace larimo {

void FormMain::cmdPrint_Click() {
  PrintCommand(data, this, [this](const QString& path, double aspect) {
    // The chart as the screen shows it, as wide as on the screen and shaped
    // like its place on the page, so that nothing is stretched.
    int width = Chart2D1->width();
    if (width < 200) width = 800;
    const int height = std::max(1, static_cast<int>(width / aspect + 0.5));
    return Chart2D1->ExportSvg(path, QSize(width, height));
  });
}

}  // namespace larimo
