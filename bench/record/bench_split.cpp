// The part boundary of a split recording: four simulated units at 10 ms on a
// stepped clock go through ten parts of 88,000 samples on the run controller,
// each full part handed to the part writer as the recorder does, which saves
// it on its own thread, and followed by the journal. Prints the median time
// of an ordinary block cycle, of a boundary cycle and of one part's save, and
// the resident memory after the first and after the tenth part.
//
//   bench_split
// Targets: a boundary cycle costs at most an ordinary cycle plus one save;
// the memory after ten parts is within 5 % of that after one.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "cli/part_writer.h"
#include "device/quenzel.h"
#include "files/measurement_file.h"
#include "run/acquisition.h"
#include "run/chart_view.h"
#include "run/journal.h"
#include "store/module_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The median of the first n values of v.
double Median(std::vector<double> v, std::size_t n) {
  if (n == 0) return 0;
  v.resize(n);
  std::sort(v.begin(), v.end());
  return v[n / 2];
}

// The resident memory of this process's own data (heap, stacks: RssAnon of
// /proc/self/status) in KiB; the pages of the libraries' code are left out.
long RssKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key) {
    if (key == "RssAnon:") {
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace larimo;
  // As larimo-cli record --split does: a part's file image is mapped and
  // given back when freed, not kept on the heap.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  setenv("BRISKO_SIM_CLOCK", "step:75", 1);
  setenv("BRISKO_SIM_ATTACH_MS", "0", 1);
  unsetenv("BRISKO_SIM");
  unsetenv("BRISKO_SIM_FAULT");
  // The device library is found beside the program.
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  if (!dir.isValid()) return 1;
  quenzel::SelectLibrary(QStringLiteral("BriskoSim"));

  ModuleData d;
  d.InitDataBuffers();
  for (UnitData& u : d.Units) u.Mflag = kTrue;
  d.TimerType = kFalse;
  d.IntervalTM = 10;
  d.DataAverage = kFalse;
  ChartView view;
  NoRunDisplay display;
  Journal journal(dir.filePath(QStringLiteral("state")));
  Acquisition run(d, view, quenzel::Library(), display);
  run.AddObserver(&journal);
  // As the recorder does: the part writer saves each filled part on its
  // thread while the run goes on, and the part's journal stays until then.
  std::vector<double> saves;  // each part's save, on the writer's thread
  saves.reserve(64);
  journal.HoldFilledParts();
  PartWriter writer([&](const ModuleData& part, int number, QString* error) {
    const Clock::time_point t0 = Clock::now();
    const bool ok =
        SaveDataFile(part, dir.filePath(QStringLiteral("run-%1.rk0").arg(number)), error);
    saves.push_back(Ms(Clock::now() - t0));
    return ok;
  });
  bool saved = true;
  const auto takeDone = [&] {
    for (const PartWriter::Done& done : writer.TakeDone()) {
      saved = saved && done.saved;
      if (done.saved) journal.FilledPartSaved();
    }
  };
  run.SplitEvery(kBufferSize, [&](const ModuleData& part) {
    writer.Submit(part, run.Part());
    return true;
  });
  if (run.Start().kind != Pacing::Kind::BlockTimer) return 1;

  constexpr int kParts = 10;
  // Allocated and touched before the run, so the timings themselves do not
  // grow the memory measured.
  std::vector<double> ordinary(40000);
  std::vector<double> boundary(kParts + 1);
  std::size_t ordinaryCount = 0;
  std::size_t boundaryCount = 0;
  long rssAfterOne = 0;
  long rssAfterTwo = 0;
  while (run.Part() <= kParts && run.Measuring()) {
    const bool rolls = run.RollOverDue();
    const Clock::time_point t0 = Clock::now();
    run.BlockTick();
    const double ms = Ms(Clock::now() - t0);
    if (rolls && boundaryCount < boundary.size()) boundary[boundaryCount++] = ms;
    if (!rolls && ordinaryCount < ordinary.size()) ordinary[ordinaryCount++] = ms;
    takeDone();
    // The memory is taken with the part's save finished, as it stays.
    if (rolls && (run.Part() == 2 || run.Part() == 3)) {
      writer.Wait();
      takeDone();
      (run.Part() == 2 ? rssAfterOne : rssAfterTwo) = RssKiB();
    }
  }
  writer.Wait();
  takeDone();
  const long rssAfterTen = RssKiB();
  run.Stop();
  if (!saved || boundaryCount < static_cast<std::size_t>(kParts)) {
    std::fprintf(stderr, "the run did not reach %d parts\n", kParts);
    return 1;
  }
  const double cycle = Median(ordinary, ordinaryCount);
  const double edge = Median(boundary, boundaryCount);
  std::printf("split recording, 4 simulated units, 10 ms, %d parts of %ld samples\n", kParts,
              static_cast<long>(kBufferSize));
  std::printf("  ordinary cycle   %.3f ms (median of %zu)\n", cycle, ordinaryCount);
  std::printf("  boundary cycle   %.3f ms (median of %zu)\n", edge, boundaryCount);
  const double save = Median(saves, saves.size());  // the writer is idle: no race
  std::printf("  its save         %.3f ms (median of %zu)\n", save, saves.size());
  std::printf("  boundary / (ordinary + save)  %.2f (target: at most 1)\n", edge / (cycle + save));
  std::printf("  RSS (own data) after 1 part %ld KiB, 2 parts %ld KiB, %d parts %ld KiB\n",
              rssAfterOne, rssAfterTwo, kParts, rssAfterTen);
  std::printf("  after %d / after 1  %.3f (target: at most 1.05)\n", kParts,
              static_cast<double>(rssAfterTen) / static_cast<double>(rssAfterOne));
  return 0;
}
