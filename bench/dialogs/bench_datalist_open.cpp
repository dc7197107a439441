// Opening the data list at 88,000 samples against 1,000: construction,
// first fill and the first paint. The list formats only the lines it
// shows; a list widget filled with every line up front is timed too, for
// comparison.
//
// Target: opening at 88,000 within 3x of opening at 1,000.

#include <cstdio>

#include <QApplication>
#include <QListWidget>

#include "bench_util.h"
#include "datalist/data_lines.h"
#include "datalist/ui/dialog_datalist.h"
#include "print/ui/app_fonts.h"

using namespace larimo;

namespace {

void Open(ModuleData& d, Long n) {
  d.DataNum = n;
  DialogDatalist list(d, nullptr);
  list.show();
  list.repaint();
  QApplication::processEvents();
}

double FilledUpFrontMs(ModuleData& d, Long n, int runs) {
  d.DataNum = n;
  return bench::MedianMs(runs, [&] {
    QListWidget list;
    list.setFont(DataListFont());
    list.setUniformItemSizes(true);
    for (Long i = 0; i < n; ++i) list.addItem(DataLine(d, i, MissingFiller::OnOpen));
    list.show();
    list.repaint();
    QApplication::processEvents();
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  InstallFontSubstitutions();
  const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 31;

  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  for (int u = 0; u < 3; ++u) {
    UnitData& unit = d.Units[static_cast<size_t>(u)];
    unit.Mflag = kTrue;
    for (Long k = 0; k < kBufferSize; ++k) {
      unit.Values[static_cast<size_t>(k)] = k % 97 == 0 ? kNoReading : 20.0f + 0.001f * k;
    }
  }
  for (int i = 0; i < 3; ++i) Open(d, 1000);  // warm up fonts and styles

  const auto [small, large] = bench::MedianPairMs(
      runs, [&] { Open(d, 1000); }, [&] { Open(d, kBufferSize); });
  const double naiveSmall = FilledUpFrontMs(d, 1000, 3);
  const double naiveLarge = FilledUpFrontMs(d, kBufferSize, 3);

  std::printf("opening the data list, median of %d runs\n", runs);
  std::printf("  1,000 samples    %8.2f ms\n", small);
  std::printf("  88,000 samples   %8.2f ms   ratio %.2f (target <= 3)\n", large, large / small);
  std::printf("  for comparison, every line built up front: 1,000 %.2f ms, 88,000 %.2f ms\n",
              naiveSmall, naiveLarge);
  return large / small <= 3.0 ? 0 : 2;
}
