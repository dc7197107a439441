// larimo --export-chart: a measurement file's run drawn into a picture
// without a display.
#include <gtest/gtest.h>
#include <QColor>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "chart/ui/chart2d.h"
#include "files/measurement_file.h"
#include "store/module_data.h"

namespace larimo {
namespace {

int RunLarimo(const QStringList& args, QString* err = nullptr) {
  QProcess p;
  p.start(QStringLiteral(LARIMO_PATH), args);
  if (!p.waitForFinished(60000)) return -1;
  if (err) *err = QString::fromUtf8(p.readAllStandardError());
  return p.exitCode();
}

// Whether the plot, left of the legend, holds a pixel of the colour.
bool PlotHolds(const QImage& image, const QColor& color) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width() * 3 / 4; ++x) {
      if (image.pixelColor(x, y) == color) return true;
    }
  }
  return false;
}

TEST(ExportChart, DrawsTheRunAtTheAskedSizeInTheCurvesColours) {
  QTemporaryDir dir;
  ModuleData d;
  d.InitDataBuffers();
  d.ClearData();
  d.IntervalTM = 1000;
  for (int u : {0, 2}) {
    d.Units[static_cast<std::size_t>(u)].Mflag = kTrue;
    for (int i = 0; i < 500; ++i)
      d.Units[static_cast<std::size_t>(u)].Values[static_cast<std::size_t>(i)] = 20.0f + u + i % 7;
  }
  d.DataNum = 500;
  const QString run = dir.filePath(QStringLiteral("run.rk0"));
  ASSERT_TRUE(SaveDataFile(d, run));

  const QString png = dir.filePath(QStringLiteral("run.png"));
  QString err;
  ASSERT_EQ(RunLarimo({QStringLiteral("--export-chart"), run, png, QStringLiteral("--size"),
                       QStringLiteral("640x400")},
                      &err),
            0)
      << err.toStdString();
  const QImage image(png);
  EXPECT_EQ(image.size(), QSize(640, 400));
  const Chart2D colours;
  EXPECT_TRUE(PlotHolds(image, colours.SeriesColor(1)));
  EXPECT_TRUE(PlotHolds(image, colours.SeriesColor(3)));
  EXPECT_FALSE(PlotHolds(image, colours.SeriesColor(2)));  // ID1 is not in use

  // Wrong arguments and an unreadable file: a message and no picture.
  const QString bad = dir.filePath(QStringLiteral("bad.png"));
  EXPECT_EQ(RunLarimo({QStringLiteral("--export-chart"), run, bad, QStringLiteral("--size"),
                       QStringLiteral("640")},
                      &err),
            2);
  EXPECT_TRUE(err.contains(QStringLiteral("--size")));
  EXPECT_EQ(
      RunLarimo({QStringLiteral("--export-chart"), dir.filePath(QStringLiteral("none.rk0")), bad},
                &err),
      1);
  EXPECT_FALSE(err.isEmpty());
  EXPECT_FALSE(QFile::exists(bad));
}

}  // namespace
}  // namespace larimo
