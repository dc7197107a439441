// Times one block-mode cycle of the main window (four units, 30 new
// readings each, as the units deliver at 10 ms in 300 ms) with its chart
// update and drawing, at 100, 1,000, 10,000 and 88,000 stored samples per
// unit; the same cycle fed to Qt Charts as raw points with markers; and the
// chart's full redraw. Prints medians in milliseconds and the ratios:
//   cycle(88,000) / cycle(1,000)            target <= 8
//   naive Qt Charts(88,000) / cycle(88,000) target >= 30
//   redraw(88,000) / redraw(1,000)          target <= 8
//   fastest cycle(88,000) with the run journal / without   target <= 1.1
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QLineSeries>
#include <QSettings>
#include <QTemporaryDir>
#include <QValueAxis>

#include "chart/ui/qcp.h"
#include "print/ui/app_fonts.h"
#include "run/journal.h"
#include "store/module_data.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kNewPerCycle = 30;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double TimeMs(const std::function<void()>& f) {
  const auto t0 = Clock::now();
  f();
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double Reading(int unit, long n) { return 20.0 + unit * 5.0 + 3.0 * std::sin(n * 0.002 + unit); }

// The main window in block mode with four units whose fetch delivers
// kNewPerCycle readings per call, filled to `samples` stored samples.
struct Window {
  long delivered[4] = {0, 0, 0, 0};
  larimo::DeviceTable units = Units();
  larimo::ModuleData data;
  larimo::FormMain form{data, units};

  // Units whose block read delivers kNewPerCycle readings per call.
  larimo::DeviceTable Units() {
    larimo::DeviceTable t;
    t.GetDatas = [this](larimo::Integer id, double* v, larimo::Byte*, larimo::Byte* cnt,
                        larimo::Byte, larimo::Byte) {
      const int n = std::min<int>(*cnt, kNewPerCycle);
      for (int i = 0; i < n; ++i) v[i] = Reading(id, ++delivered[id]);
      *cnt = static_cast<larimo::Byte>(n);
      return larimo::Integer{0};
    };
    return t;
  }

  explicit Window(long samples) {
    for (larimo::UnitData& u : data.Units) u.Mflag = larimo::kTrue;
    data.TimerType = larimo::kFalse;
    data.IntervalTM = 10;
    data.DataAverage = larimo::kFalse;
    data.CalcAverageNum();
    form.resize(825, 601);
    form.show();
    data.ClearData();
    data.Measuring = larimo::kTrue;
    form.Feed().Forget();
    for (int u = 0; u < 4; ++u) {
      larimo::UnitData& unit = data.Units[static_cast<std::size_t>(u)];
      for (long i = 0; i < samples; ++i)
        unit.Values[static_cast<std::size_t>(i)] = static_cast<float>(Reading(u, ++delivered[u]));
      unit.Count = samples;
    }
    data.DataNum = samples;
    data.TickCount = 2;
    data.MergeDataRange();
    form.optWid_Click(0);  // show all, sized to the data
    form.Feed().DrawNew();
    form.Chart2D1->RedrawNow();
    QApplication::processEvents();
  }

  double Cycle() {
    return TimeMs([this] {
      form.Timer2_Timer();
      QApplication::processEvents();  // the chart's one drawing of the cycle
    });
  }
  double Redraw() {
    return TimeMs([this] { form.Chart2D1->Plot()->replot(QCustomPlot::rpImmediateRefresh); });
  }
};

// The naive port: every cycle re-sends all stored points of the four units
// to Qt Charts line series with a marker at each point, then draws.
struct NaiveCharts {
  QChart* chart = new QChart;
  QChartView view{chart};
  std::vector<QLineSeries*> series;
  long n;

  explicit NaiveCharts(long samples) : n(samples) {
    auto* ax = new QValueAxis;
    auto* ay = new QValueAxis;
    chart->addAxis(ax, Qt::AlignBottom);
    chart->addAxis(ay, Qt::AlignLeft);
    for (int u = 0; u < 4; ++u) {
      auto* s = new QLineSeries;
      s->setPointsVisible(true);
      chart->addSeries(s);
      s->attachAxis(ax);
      s->attachAxis(ay);
      series.push_back(s);
    }
    ay->setRange(0, 100);
    view.resize(825, 601);
    view.show();
  }

  double Cycle() {
    return TimeMs([this] {
      n += kNewPerCycle;
      for (int u = 0; u < 4; ++u) {
        QList<QPointF> pts;
        pts.reserve(n);
        for (long j = 1; j <= n; ++j) pts.append(QPointF(j * 0.01, Reading(u, j)));
        series[static_cast<std::size_t>(u)]->replace(pts);
      }
      static_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front())->setRange(0, n * 0.01);
      view.repaint();
    });
  }
};

template <typename T>
double MedianOf(T& subject, double (T::*what)(), int reps) {
  std::vector<double> t;
  (subject.*what)();  // warm-up
  for (int i = 0; i < reps; ++i) t.push_back((subject.*what)());
  return Median(t);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;  // no user settings are read or written
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("XDG_STATE_HOME", QFile::encodeName(config.path()));  // no journal of the user's
  QApplication app(argc, argv);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  larimo::InstallFontSubstitutions();

  const long sizes[] = {100, 1000, 10000, 88000 - 10 * kNewPerCycle};
  double cycle[4] = {};
  double redraw[4] = {};
  std::printf("one block cycle (4 units, %d new readings each) with its chart update, median ms\n",
              kNewPerCycle);
  // Each timed cycle stores 30 more samples, so few repetitions keep the
  // run near its nominal size; the redraws add nothing.
  for (int i = 0; i < 4; ++i) {
    Window w(sizes[i]);
    redraw[i] = MedianOf(w, &Window::Redraw, 21);
    const long from = w.data.DataNum;
    cycle[i] = MedianOf(w, &Window::Cycle, 7);
    std::printf(
        "  %6ld..%6ld samples per unit: cycle %7.2f ms   full redraw %7.2f ms   markers %s\n", from,
        static_cast<long>(w.data.DataNum), cycle[i], redraw[i],
        w.form.Chart2D1->MarkersShown() ? "on" : "off");
  }
  std::printf("naive port: Qt Charts fed every stored point with markers, median ms\n");
  double naive1000 = 0;
  double naive88000 = 0;
  {
    NaiveCharts n(1000);
    naive1000 = MedianOf(n, &NaiveCharts::Cycle, 7);
    std::printf("  %6ld samples per unit: cycle %7.2f ms\n", n.n, naive1000);
  }
  {
    NaiveCharts n(88000 - 5 * kNewPerCycle);
    naive88000 = MedianOf(n, &NaiveCharts::Cycle, 3);
    std::printf("  %6ld samples per unit: cycle %7.2f ms\n", n.n, naive88000);
  }
  // The same cycle at 88,000 with a journal following the run, timed in
  // turns with the cycle without it so both see the same machine. The
  // fastest of each is compared (the machine's other load only adds time),
  // and the journal's own part of the cycle is timed apart.
  struct TimedJournal final : larimo::RunObserver {
    larimo::Journal journal;
    std::vector<double> ms;
    explicit TimedJournal(const QString& folder) : journal(folder) {}
    void RunStarted(const larimo::ModuleData& d) override { journal.RunStarted(d); }
    void RunStopped(const larimo::ModuleData& d, const larimo::RunEnd& end) override {
      journal.RunStopped(d, end);
    }
    void SamplesStored(const larimo::ModuleData& d) override {
      ms.push_back(TimeMs([&] { journal.SamplesStored(d); }));
    }
  };
  double withJournal = 0;
  double withoutJournal = 0;
  double journalPart = 0;
  {
    Window w(88000 - 34 * kNewPerCycle);
    TimedJournal timed(QDir(config.path()).filePath(QStringLiteral("bench-journal")));
    timed.RunStarted(w.data);
    timed.SamplesStored(w.data);  // the rows stored so far
    timed.ms.clear();
    std::vector<double> with;
    std::vector<double> without;
    w.Cycle();
    for (int i = 0; i < 16; ++i) {
      w.form.Run().AddObserver(&timed);
      with.push_back(w.Cycle());
      w.form.Run().RemoveObserver(&timed);
      without.push_back(w.Cycle());
    }
    withJournal = *std::min_element(with.begin(), with.end());
    withoutJournal = *std::min_element(without.begin(), without.end());
    journalPart = Median(timed.ms);
    std::printf(
        "run journal at %ld samples per unit: fastest cycle %6.2f ms with, %6.2f ms without; "
        "journal's part %6.3f ms (median)\n",
        static_cast<long>(w.data.DataNum), withJournal, withoutJournal, journalPart);
    timed.journal.Forget();
  }
  const double r1 = cycle[3] / cycle[1];
  const double r2 = naive88000 / cycle[3];
  const double r3 = redraw[3] / redraw[1];
  std::printf("ratios\n");
  std::printf("  cycle 88,000 / cycle 1,000          %6.2f  (target <= 8)   %s\n", r1,
              r1 <= 8 ? "met" : "MISSED");
  std::printf("  naive 88,000 / cycle 88,000         %6.1f  (target >= 30)  %s\n", r2,
              r2 >= 30 ? "met" : "MISSED");
  std::printf("  full redraw 88,000 / redraw 1,000   %6.2f  (target <= 8)   %s\n", r3,
              r3 <= 8 ? "met" : "MISSED");
  const double r4 = withJournal / withoutJournal;
  std::printf("  cycle with journal / without        %6.2f  (target <= 1.1) %s\n", r4,
              r4 <= 1.1 ? "met" : "MISSED");
  return 0;
}
