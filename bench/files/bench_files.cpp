// Times SaveDataFile, ReadDataFile and SaveCsvFile on a run of 88,000 rows
// and prints each as a ratio to a baseline that writes or reads the same
// bytes with plain buffered stdio in the same run. Target: each within 2x.
//   bench_files [FOLDER]   (default: the system's temporary folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "files/cp932.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "store/module_data.h"
#include "store/user_interface.h"

using namespace larimo;

namespace {

double MedianMs(int runs, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) {
    const auto a = std::chrono::steady_clock::now();
    f();
    const auto b = std::chrono::steady_clock::now();
    t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void FillRun(ModuleData& d) {
  d.InitDataBuffers();
  d.ClearData();
  d.StartTime = QStringLiteral("2024/1/2 3:04:05");
  d.Memo[0] = QStringLiteral("ベンチマーク");
  for (int u = 0; u < kUnitCount; ++u) d.Units[u].Mflag = kTrue;
  for (Long k = 0; k < kBufferSize; ++k) {
    for (int u = 0; u < kUnitCount; ++u) {
      d.Units[u].Values[k] = 20.0f + u + static_cast<float>(k % 1000) * 0.013f;
    }
  }
  for (UnitData& u : d.Units) u.Count = kBufferSize;
  d.DataNum = kBufferSize;
  d.TimerType = kTrue;
  d.IntervalTM = 1000;
}

// Baselines: the same bytes through FILE*.
void PlainSave(const ModuleData& d, const QByteArray& header, const char* path) {
  FILE* f = std::fopen(path, "wb");
  std::fwrite(header.constData(), 1, header.size(), f);
  for (Long k = 0; k < d.DataNum; ++k) {
    float row[4];
    for (int u = 0; u < kUnitCount; ++u) row[u] = d.Units[u].Values[k];
    std::fwrite(row, sizeof row, 1, f);
  }
  std::fclose(f);
}

void PlainRead(ModuleData& d, long headerSize, const char* path) {
  FILE* f = std::fopen(path, "rb");
  std::fseek(f, headerSize, SEEK_SET);
  float row[4];
  Long k = 0;
  while (k < kBufferSize && std::fread(row, sizeof row, 1, f) == 1) {
    for (int u = 0; u < kUnitCount; ++u) d.Units[u].Values[k] = row[u];
    ++k;
  }
  d.DataNum = k;
  std::fclose(f);
}

void PlainCsv(const ModuleData& d, const QByteArray& head, const char* path) {
  FILE* f = std::fopen(path, "wb");
  std::fwrite(head.constData(), 1, head.size(), f);
  for (Long k = 0; k < d.DataNum; ++k) {
    std::fprintf(f, "%.7g,%.7g,%.7g,%.7g\r\n", d.Units[0].Values[k], d.Units[1].Values[k],
                 d.Units[2].Values[k], d.Units[3].Values[k]);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir tmp(argc > 1 ? QDir(QString::fromLocal8Bit(argv[1])).filePath("benchXXXXXX")
                             : QDir::temp().filePath("benchXXXXXX"));
  if (!tmp.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  ModuleData d;
  FillRun(d);
  const QString rk0 = tmp.filePath("a.rk0");
  const QString csv = tmp.filePath("a.csv");
  const QByteArray plainRk0 = QFile::encodeName(tmp.filePath("plain.rk0"));
  const QByteArray plainCsv = QFile::encodeName(tmp.filePath("plain.csv"));

  // The header bytes and the CSV's descriptive lines, taken from the real
  // writers so the baselines write exactly the same files.
  SaveDataFile(d, rk0);
  QFile probe(rk0);
  probe.open(QIODevice::ReadOnly);
  const QByteArray all = probe.readAll();
  probe.close();
  const QByteArray header = all.left(all.size() - kBufferSize * 16);
  const QByteArray csvAll = CsvBytes(d);
  qsizetype headEnd = 0;
  for (int line = 0; line < 15; ++line) headEnd = csvAll.indexOf("\r\n", headEnd) + 2;
  const QByteArray csvHead = csvAll.left(headEnd);

  const int runs = 15;
  const double save = MedianMs(runs, [&] { SaveDataFile(d, rk0); });
  const double saveBase = MedianMs(runs, [&] { PlainSave(d, header, plainRk0.constData()); });
  ModuleData r;
  r.InitDataBuffers();
  const double read = MedianMs(runs, [&] { ReadDataFile(r, rk0); });
  const double readBase = MedianMs(runs, [&] {
    r.ClearData();  // the real read clears the store first too
    PlainRead(r, header.size(), plainRk0.constData());
  });
  const double exportCsv = MedianMs(runs, [&] { SaveCsvFile(d, csv); });
  const double csvBase = MedianMs(runs, [&] { PlainCsv(d, csvHead, plainCsv.constData()); });

  // The baselines must have written the same bytes, or the ratios mean nothing.
  const auto same = [](const QString& a, const QByteArray& b) {
    QFile fa(a), fb(QFile::decodeName(b));
    return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) &&
           fa.readAll() == fb.readAll();
  };
  const bool sameRk0 = same(rk0, plainRk0);
  const bool sameCsv = same(csv, plainCsv);
  ReadDataFile(r, rk0);
  const bool readAll = r.DataNum == kBufferSize &&
                       r.Units[3].Values[kBufferSize - 1] == d.Units[3].Values[kBufferSize - 1];

  std::printf("rows: %d (4 units), medians of %d runs, folder %s\n", kBufferSize, runs,
              qPrintable(tmp.path()));
  std::printf("%-12s %10s %12s %8s  %s\n", "", "ms", "baseline ms", "ratio", "target <= 2");
  const auto line = [](const char* name, double t, double b, bool ok) {
    std::printf("%-12s %10.2f %12.2f %8.2f  %s%s\n", name, t, b, t / b,
                t / b <= 2.0 ? "ok" : "MISSED", ok ? "" : "  (results differ!)");
  };
  line("save .rk0", save, saveBase, sameRk0);
  line("read .rk0", read, readBase, readAll);
  line("export csv", exportCsv, csvBase, sameCsv);
  return (sameRk0 && sameCsv && readAll) ? 0 : 1;
}
