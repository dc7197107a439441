// Times what the mouse and the pictures cost on the chart: the cursor's
// lookup of the nearest sample at 4 x 1,000 and 4 x 88,000 stored samples,
// and a 1600 x 1000 PNG of 4 x 88,000 samples against one full redraw of
// the chart at that size. The machine's other load only adds time, so each
// figure is the fastest of several runs taken in turns. Prints them and the
// ratios:
//   lookup(88,000) / lookup(1,000)   target <= 2
//   PNG picture / full redraw        target <= 3
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <QApplication>

#include "chart/chart_readings.h"
#include "chart/ui/chart2d.h"
#include "chart/ui/qcp.h"
#include "print/ui/app_fonts.h"
#include "store/module_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

double TimeMs(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Four units' readings of a run of n samples, a few missing.
std::vector<std::vector<float>> Readings(long n) {
  std::vector<std::vector<float>> r(4, std::vector<float>(static_cast<std::size_t>(n)));
  for (int u = 0; u < 4; ++u) {
    for (long i = 0; i < n; ++i) {
      r[static_cast<std::size_t>(u)][static_cast<std::size_t>(i)] =
          i % 997 == 5 ? larimo::kNoReading
                       : static_cast<float>(20.0 + u * 5.0 + 3.0 * std::sin(i * 0.002 + u));
    }
  }
  return r;
}

std::vector<const float*> Pointers(const std::vector<std::vector<float>>& r) {
  std::vector<const float*> p;
  for (const auto& v : r) p.push_back(v.data());
  return p;
}

// A store of four units' readings of a run of n samples at 10 ms.
struct Run {
  std::vector<std::vector<float>> readings;
  larimo::SeriesStore store;
  explicit Run(long n) : readings(Readings(n)) {
    store.SetSeriesCount(4);
    store.ReplaceAll(n, 0.01, Pointers(readings), larimo::kNoReading);
  }
};

// Microseconds per lookup as the mouse sweeps over a plot 1,600 pixels
// wide that shows the whole run: one lookup per pixel, to and fro.
double LookupUs(const Run& run) {
  constexpr int kPixels = 1600;
  constexpr int kLookups = 20 * kPixels;
  const double end = run.store.X(run.store.PointCount(1));
  double sink = 0;
  const double ms = TimeMs([&] {
    for (int k = 0; k < kLookups; ++k) {
      const int pixel = (k / kPixels) % 2 == 0 ? k % kPixels : kPixels - 1 - k % kPixels;
      sink += larimo::NearestSample(run.store, end * pixel / (kPixels - 1)).values[0].value_or(0);
    }
  });
  if (sink == 42) std::printf(" ");  // keeps the lookups from being optimised away
  return ms * 1000.0 / kLookups;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  larimo::InstallFontSubstitutions();

  const Run smallRun(1000);
  const Run largeRun(88000);
  std::vector<double> smallUs;
  std::vector<double> largeUs;
  for (int rep = 0; rep < 15; ++rep) {
    smallUs.push_back(LookupUs(smallRun));
    largeUs.push_back(LookupUs(largeRun));
  }
  const double small = Fastest(smallUs);
  const double large = Fastest(largeUs);
  std::printf("nearest-sample lookup (4 units), fastest us per lookup\n");
  std::printf("  4 x  1,000 samples: %8.4f us\n", small);
  std::printf("  4 x 88,000 samples: %8.4f us\n", large);

  // The chart as the window holds it after a read, shown at the picture's
  // size, so the redraw and the picture draw the same thing.
  const QSize size(1600, 1000);
  const auto readings = Readings(88000);
  larimo::Chart2D chart;
  chart.setFont(larimo::WindowFont());
  chart.SetSeriesCount(4);
  for (int i = 0; i < 4; ++i) chart.AddSeriesLabel(QStringLiteral("ID%1 2線式").arg(i));
  chart.SetHeaderText(QStringLiteral("開始時刻  2026/01/01 00:00:00"));
  chart.SetAxisTitle(larimo::Chart2D::Axis::X, QStringLiteral("開始からの経過時間（秒）"));
  chart.SetAxisTitle(larimo::Chart2D::Axis::Y, QStringLiteral("℃"));
  chart.ReplaceAllPoints(88000, 0.01, Pointers(readings), larimo::kNoReading);
  chart.SetAxisRange(larimo::Chart2D::Axis::X, 0.01, 900);
  chart.SetAxisRange(larimo::Chart2D::Axis::Y, 0, 100);
  chart.resize(size);
  chart.show();
  chart.RedrawNow();
  QApplication::processEvents();

  std::vector<double> redraw;
  std::vector<double> png;
  std::vector<double> svg;
  std::vector<double> pdf;
  using Format = larimo::Chart2D::PictureFormat;
  qint64 pngBytes = 0;
  for (int rep = 0; rep < 15; ++rep) {
    redraw.push_back(TimeMs([&] { chart.Plot()->replot(QCustomPlot::rpImmediateRefresh); }));
    png.push_back(TimeMs([&] { pngBytes = chart.Picture(Format::Png, size).size(); }));
    svg.push_back(TimeMs([&] { chart.Picture(Format::Svg, size); }));
    pdf.push_back(TimeMs([&] { chart.Picture(Format::Pdf, size); }));
  }
  std::printf("chart of 4 x 88,000 samples at %dx%d, fastest ms\n", size.width(), size.height());
  std::printf("  full redraw %7.2f   PNG %7.2f (%lld bytes)   SVG %7.2f   PDF %7.2f\n",
              Fastest(redraw), Fastest(png), static_cast<long long>(pngBytes), Fastest(svg),
              Fastest(pdf));

  const double r1 = large / small;
  const double r2 = Fastest(png) / Fastest(redraw);
  std::printf("ratios\n");
  std::printf("  lookup 88,000 / lookup 1,000   %6.2f  (target <= 2)  %s\n", r1,
              r1 <= 2 ? "met" : "MISSED");
  std::printf("  PNG picture / full redraw      %6.2f  (target <= 3)  %s\n", r2,
              r2 <= 3 ? "met" : "MISSED");
  return 0;
}
