// larimo-cli: the command-line companion of Larimo for scripts and batch
// work, built on the application's own file code.
//
//   larimo-cli info FILE.rk0          header and row count as text
//   larimo-cli csv FILE.rk0 OUT.csv   the application's CSV export of a file
//   larimo-cli upgrade OLD.rk0 NEW.rk0  either version in, current version out
//   larimo-cli record --out FILE.rk0  a run without a window (cli/record.h)
//   larimo-cli recover --list         the runs left behind (cli/recover.h)
#include <cstdio>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

#include "cli/record.h"
#include "cli/recover.h"
#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "store/module_data.h"
#include "store/user_interface.h"

namespace larimo {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTruncated = 3;
constexpr int kExitEndsEarly = 4;

const char kHelp[] =
    "usage: larimo-cli COMMAND ARGUMENTS\n"
    "\n"
    "Works on Larimo measurement files (.rk0) of both versions.\n"
    "\n"
    "commands:\n"
    "  info FILE.rk0             print the file's header and its number of rows\n"
    "  csv FILE.rk0 OUT.csv      read the file as the application does and write\n"
    "                            the application's CSV export of it\n"
    "  upgrade OLD.rk0 NEW.rk0   read a file of either version and write it in the\n"
    "                            current version (an old file has no averaging\n"
    "                            flag; it is written as off)\n"
    "  --help                    show this text\n"
    "\n"
    "Output files are replaced only when written completely.\n"
    "\n"
    "exit status of info, csv and upgrade:\n"
    "  0  done\n"
    "  1  the file could not be read or written (reason on stderr)\n"
    "  2  wrong usage\n"
    "  3  the file holds more than 88000 rows: only the first 88000 were used\n"
    "     (output written all the same)\n"
    "  4  the file ends before the rows its header counts: the rows that are there\n"
    "     were used (output written all the same)\n";

// The file code shows nothing itself; should a core routine ever ask the
// user, no box appears and the commands still decide what to print.
class QuietUi final : public UserInterface {
 public:
  MsgAnswer Message(const QString&, const QString&, MsgIcon, MsgButtons buttons) override {
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
  }
  void Notify(const QString&, const QString&, MsgIcon) override {}
  std::optional<QString> ChooseFile(const FileRequest&) override { return std::nullopt; }
};

QTextStream& Err() {
  static QTextStream s(stderr);
  return s;
}

int Fail(const QString& text) {
  Err() << "larimo-cli: " << text << Qt::endl;
  return kExitError;
}

int Usage(const QString& text) {
  Err() << "larimo-cli: " << text << "\n"
        << "Try 'larimo-cli --help'." << Qt::endl;
  return kExitUsage;
}

// Reads path as the application does. Returns an exit status for a failure
// (with its message printed), or -1 when the store holds the file.
int Read(ModuleData& d, const QString& path, ReadResult* out) {
  const QFileInfo info(path);
  if (!info.exists()) return Fail(QStringLiteral("%1: no such file").arg(path));
  if (info.isDir()) return Fail(QStringLiteral("%1: is a folder").arg(path));
  *out = ReadDataFile(d, path);
  if (out->status == ReadResult::Status::Failed) {
    return Fail(QStringLiteral("%1: %2").arg(path, out->message.section(QLatin1Char('\n'), -1)));
  }
  if (out->status == ReadResult::Status::Truncated) {
    Err() << "larimo-cli: " << path << ": more than " << kBufferSize << " rows; only the first "
          << kBufferSize << " were read" << Qt::endl;
  }
  if (out->status == ReadResult::Status::EndsEarly) {
    Err() << "larimo-cli: " << path << ": the file ends early: " << out->rowsRead << " of "
          << out->rowsInHeader << " rows read" << Qt::endl;
  }
  return -1;
}

int Done(const ReadResult& r) {
  switch (r.status) {
    case ReadResult::Status::Truncated:
      return kExitTruncated;
    case ReadResult::Status::EndsEarly:
      return kExitEndsEarly;
    default:
      return kExitOk;
  }
}

QString Flag(Boolean b, const char* on, const char* off) {
  return QString::fromLatin1(IsSet(b) ? on : off);
}

int Info(const QString& path) {
  ModuleData d;
  d.InitDataBuffers();
  ReadResult r;
  if (int rc = Read(d, path, &r); rc >= 0) return rc;
  QTextStream out(stdout);
  out << "file: " << path << "\n";
  out << "version: " << (!r.headerComplete ? "unknown" : r.oldVersion ? "old" : kFileId) << "\n";
  if (!r.headerComplete) {
    out << "header: incomplete (file too short)\n";
  } else {
    out << "start time: " << d.StartTime << "\n";
    for (int i = 0; i < 5; ++i) out << "memo " << i + 1 << ": " << d.Memo[i] << "\n";
    out << "interval unit: " << Flag(d.TimerType, "seconds", "milliseconds") << "\n";
    out << "interval ms: " << d.IntervalTM << "\n";
    out << "averaging: "
        << (r.oldVersion ? QStringLiteral("not recorded") : Flag(d.DataAverage, "on", "off"))
        << "\n";
    out << "kind: " << Flag(d.MeasKind, "resistance (ohm)", "Pt100 (degC)") << "\n";
    for (int u = 0; u < kUnitCount; ++u) {
      out << "ID" << u << ": wiring " << d.Units[u].Connect << " ("
          << ConnectName(d.Units[u].Connect) << "), "
          << (IsTrue(d.Units[u].Mflag) ? "in use" : "not in use") << ", " << d.Units[u].Count
          << " readings\n";
    }
  }
  out << "rows: " << d.DataNum << "\n";
  if (r.headerComplete) out << "rows in header: " << r.rowsInHeader << "\n";
  if (r.status == ReadResult::Status::Truncated) out << "rows not read: yes\n";
  if (r.status == ReadResult::Status::EndsEarly) {
    out << "file ends early: " << r.rowsRead << " of " << r.rowsInHeader << " rows read\n";
  }
  out.flush();
  return Done(r);
}

int Csv(const QString& in, const QString& outPath) {
  ModuleData d;
  d.InitDataBuffers();
  ReadResult r;
  if (int rc = Read(d, in, &r); rc >= 0) return rc;
  QString error;
  if (!SaveCsvFile(d, outPath, &error))
    return Fail(error.section(QLatin1Char('\n'), -1).prepend(outPath + ": "));
  return Done(r);
}

int Upgrade(const QString& in, const QString& outPath) {
  ModuleData d;
  d.InitDataBuffers();
  ReadResult r;
  if (int rc = Read(d, in, &r); rc >= 0) return rc;
  if (!r.headerComplete) return Fail(QStringLiteral("%1: the header is incomplete").arg(in));
  QString error;
  if (!SaveDataFile(d, outPath, &error))
    return Fail(error.section(QLatin1Char('\n'), -1).prepend(outPath + ": "));
  return Done(r);
}

int Run(const QStringList& args) {
  if (args.isEmpty()) return Usage(QStringLiteral("no command given"));
  const QString& cmd = args[0];
  if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h") ||
      cmd == QLatin1String("help")) {
    std::fputs(kHelp, stdout);
    std::fputs("\nrecording:\n", stdout);
    std::fputs(kRecordHelp, stdout);
    std::fputs("\nruns left behind:\n", stdout);
    std::fputs(kRecoverHelp, stdout);
    return kExitOk;
  }
  const auto want = [&](qsizetype n) { return args.size() == n + 1; };
  if (cmd == QLatin1String("info")) {
    return want(1) ? Info(args[1]) : Usage(QStringLiteral("info takes one file"));
  }
  if (cmd == QLatin1String("csv")) {
    return want(2) ? Csv(args[1], args[2])
                   : Usage(QStringLiteral("csv takes an input and an output file"));
  }
  if (cmd == QLatin1String("record")) return RecordCommand(args.mid(1));
  if (cmd == QLatin1String("recover")) return RecoverCommand(args.mid(1));
  if (cmd == QLatin1String("upgrade")) {
    return want(2) ? Upgrade(args[1], args[2])
                   : Usage(QStringLiteral("upgrade takes an input and an output file"));
  }
  return Usage(QStringLiteral("unknown command '%1'").arg(cmd));
}

}  // namespace
}  // namespace larimo

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  larimo::QuietUi ui;
  larimo::SetUi(&ui);
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  const int rc = larimo::Run(args);
  larimo::SetUi(nullptr);
  return rc;
}
