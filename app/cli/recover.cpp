#include "cli/recover.h"

#include <unistd.h>

#include <cstdio>

#include <QDir>
#include <QFile>

#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "run/journal.h"
#include "store/module_data.h"

namespace larimo {

const char kRecoverHelp[] =
    "  recover --list            list the runs left behind: runs of a window or a\n"
    "                            recorder that ended without saving (killed, lost\n"
    "                            power): start time, rows, interval, units, journal\n"
    "  recover [--journal FILE] OUT.rk0 [--csv OUT.csv]\n"
    "                            save a run left behind (the newest when no journal\n"
    "                            is named) as the window's restore reads it, then\n"
    "                            delete its journal. A journal a running program\n"
    "                            writes is never taken.\n"
    "  exit status of recover: 0 saved (or listed), 1 no such run, or it could not\n"
    "    be read or saved (the journal is kept), 2 wrong usage\n";

namespace {

void Err(const QString& text) {
  std::fputs(("larimo-cli: " + text + "\n").toUtf8().constData(), stderr);
}

// Reads the locked journal fd as the window's restore does.
bool ReadLocked(int fd, ModuleData& d) {
  QFile file;
  d.ClearData();
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !IsCurrentHeader(file) ||
      !file.seek(0)) {
    return false;
  }
  const ReadResult r = ReadDataDevice(d, file, true);
  return r.headerComplete && r.status != ReadResult::Status::Failed;
}

QString Describe(const LeftRun& r) {
  const QString interval = r.seconds ? QStringLiteral("%1 s").arg(r.intervalMs / 1000)
                                     : QStringLiteral("%1 ms").arg(r.intervalMs);
  return QStringLiteral("%1  %2 rows  every %3  %4  %5")
      .arg(r.startTime)
      .arg(r.rows)
      .arg(interval, r.units, r.path);
}

}  // namespace

std::vector<LeftRun> RunsLeftBehind(const QString& folder) {
  std::vector<LeftRun> runs;
  const QDir dir(folder);
  ModuleData d;
  d.InitDataBuffers();
  // Journal names begin with their start time, so the name order is the age.
  for (const QString& name : dir.entryList({QStringLiteral("*.rk0")}, QDir::Files, QDir::Name)) {
    const QString path = dir.filePath(name);
    const int fd = LockJournal(path);
    if (fd < 0) continue;  // a running program writes it
    const bool readable = ReadLocked(fd, d);
    ::close(fd);
    if (!readable || d.DataNum < 1) continue;
    LeftRun r{path, d.StartTime, d.DataNum, d.IntervalTM, IsTrue(d.TimerType), {}};
    QStringList units;
    for (int u = 0; u < kUnitCount; ++u) {
      if (IsTrue(d.Units[u].Mflag)) units << QStringLiteral("ID%1").arg(u);
    }
    r.units = units.join(QLatin1Char(','));
    runs.push_back(r);
  }
  return runs;
}

void MentionRunsLeftBehind(const std::function<void(const QString&)>& say) {
  const std::vector<LeftRun> runs = RunsLeftBehind(JournalFolder());
  if (runs.empty()) return;
  say(QStringLiteral("%1 run(s) left behind unsaved; 'larimo-cli recover --list' lists them")
          .arg(runs.size()));
}

int RecoverCommand(const QStringList& args) {
  const auto usage = [](const QString& text) {
    Err(text);
    std::fputs("Try 'larimo-cli --help'.\n", stderr);
    return kRecoverUsage;
  };
  if (args == QStringList{QStringLiteral("--list")}) {
    for (const LeftRun& r : RunsLeftBehind(JournalFolder())) {
      std::fputs((Describe(r) + "\n").toUtf8().constData(), stdout);
    }
    return kRecoverDone;
  }
  QString journal;
  QString out;
  QString csv;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--journal") || a == QLatin1String("--csv")) {
      if (i + 1 >= args.size()) return usage(a + QStringLiteral(" needs a value"));
      (a == QLatin1String("--journal") ? journal : csv) = args[++i];
    } else if (a.startsWith(QLatin1String("--"))) {
      return usage(QStringLiteral("unknown option '%1'").arg(a));
    } else if (out.isEmpty()) {
      out = a;
    } else {
      return usage(QStringLiteral("unexpected argument '%1'").arg(a));
    }
  }
  if (out.isEmpty()) return usage(QStringLiteral("recover needs OUT.rk0 (or --list)"));
  if (journal.isEmpty()) {
    const std::vector<LeftRun> runs = RunsLeftBehind(JournalFolder());
    if (runs.empty()) {
      Err(QStringLiteral("no run was left behind"));
      return kRecoverFailed;
    }
    journal = runs.back().path;
  }
  const int fd = LockJournal(journal);
  if (fd < 0) {
    Err(QStringLiteral("%1: cannot be opened, or a running program writes it").arg(journal));
    return kRecoverFailed;
  }
  ModuleData d;
  d.InitDataBuffers();
  QString error;
  int rc = kRecoverDone;
  if (!ReadLocked(fd, d)) {
    Err(QStringLiteral("%1: not a readable journal").arg(journal));
    rc = kRecoverFailed;
  } else if (!SaveDataFile(d, out, &error) || (!csv.isEmpty() && !SaveCsvFile(d, csv, &error))) {
    Err(error.section(QLatin1Char('\n'), -1) + QStringLiteral("; the journal is kept"));
    rc = kRecoverFailed;
  } else {
    QFile::remove(journal);  // still locked while it goes
    Err(QStringLiteral("%1 rows of the run of %2 saved to %3")
            .arg(d.DataNum)
            .arg(d.StartTime, out));
  }
  ::close(fd);
  return rc;
}

}  // namespace larimo
