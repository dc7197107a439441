#include "run/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include "files/measurement_file.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

constexpr qint64 kRowBytes = 16;
// A power cut loses at most this much of a run.
constexpr auto kSyncEvery = std::chrono::seconds(5);

QString SystemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Part of every journal name this process writes, so it never offers its own
// journals (those of an earlier window of the same process) as left behind.
const QString& ProcessTag() {
  static const QString tag =
      QStringLiteral("%1-%2")
          .arg(QCoreApplication::applicationPid())
          .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
  return tag;
}

bool WriteAllAt(int fd, const char* p, qint64 n, qint64 offset) {
  while (n > 0) {
    const ssize_t w = ::pwrite(fd, p, static_cast<size_t>(n), static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      return false;
    }
    p += w;
    n -= w;
    offset += w;
  }
  return true;
}

// The file open on fd is still the one the name refers to (no other
// program deleted or replaced it before the lock was taken).
bool SameFile(int fd, const QString& path) {
  struct stat a {};
  struct stat b {};
  return ::fstat(fd, &a) == 0 && ::stat(QFile::encodeName(path).constData(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens path and takes its lock; -1 when it cannot be opened or another
// program holds it.
int OpenLocked(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, path)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Writes a new file without waiting for the disk.
bool WritePlain(const QString& path, const QByteArray& bytes, QString* error) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
      file.flush()) {
    return true;
  }
  *error = QStringLiteral("ファイル %1 を書き込めません。\n%2").arg(path, file.errorString());
  return false;
}

void SyncFolder(const QString& folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A store holding only what the journal's header takes from the run.
void CopyConditions(const ModuleData& d, ModuleData& h) {
  h.StartTime = d.StartTime;
  h.Memo = d.Memo;
  h.TimerType = d.TimerType;
  h.IntervalTM = d.IntervalTM;
  h.DataAverage = d.DataAverage;
  h.MeasKind = d.MeasKind;
  for (int u = 0; u < kUnitCount; ++u) h.Units[u].Connect = d.Units[u].Connect;
  h.DataNum = 0;
}

}  // namespace

void RemoveJournalFiles(const QString& path) {
  QFile::remove(path);
  const QFileInfo info(path);
  const QDir dir = info.dir();
  const QString prefix = info.completeBaseName() + QLatin1Char('.');
  for (const QString& name : dir.entryList({prefix + QLatin1Char('*')}, QDir::Files)) {
    if (!name.endsWith(QLatin1String(".rk0"))) QFile::remove(dir.filePath(name));
  }
}

QString JournalFolder() {
  // Only an absolute XDG_STATE_HOME counts; a relative one is ignored.
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.local/state";
  return base + QStringLiteral("/larimo");
}

Journal::Journal(QString folder) : folder_(std::move(folder)) {}

Journal::~Journal() { Close(); }

void Journal::Close() {
  for (const Held& h : held_) ::close(h.fd);  // the files stay for a recovery
  held_.clear();
  if (fd_ >= 0) ::close(fd_);  // ends the lock
  fd_ = -1;
  path_.clear();
  dirty_ = false;
  folderDirty_ = false;
}

void Journal::Forget() {
  if (!path_.isEmpty()) RemoveJournalFiles(path_);  // still locked while it goes
  Close();
}

void Journal::Fail(const QString& reason) {
  failed_ = true;
  if (warned_) return;
  warned_ = true;
  // The run goes on: the notice never waits for the user inside a cycle.
  Ui().Notify(kNotProtected + QLatin1Char('\n') + reason, kMsgTitle, MsgIcon::Exclamation);
}

bool Journal::Create(const ModuleData& d, QString* error, bool durable) {
  if (!QDir().mkpath(folder_)) {
    *error = QStringLiteral("フォルダー %1 を作成できません。").arg(folder_);
    return false;
  }
  const QString name = QDir(folder_).filePath(
      QStringLiteral("run-%1-%2.rk0")
          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")),
               ProcessTag()));
  // The header is written by the file writer under a name no other program
  // looks at, locked, and only then renamed to its journal name: a journal
  // another program can see is always locked by its writer.
  const QString part = name + QStringLiteral(".part");
  ModuleData header;
  CopyConditions(d, header);
  if (durable ? !SaveDataFile(header, part, error)
              : !WritePlain(part, DataFileBytes(header), error))
    return false;
  const int fd = OpenLocked(part);
  const qint64 size = fd < 0 ? -1 : ::lseek(fd, 0, SEEK_END);
  // The row count (the header's last field) says the most a file can hold.
  const qint32 count = qToLittleEndian<qint32>(kBufferSize);
  if (size < 4 || !WriteAllAt(fd, reinterpret_cast<const char*>(&count), 4, size - 4) ||
      (durable && ::fdatasync(fd) != 0) ||
      ::rename(QFile::encodeName(part).constData(), QFile::encodeName(name).constData()) != 0) {
    *error = QStringLiteral("ファイル %1 を書き込めません。\n%2").arg(name, SystemError(errno));
    if (fd >= 0) ::close(fd);
    QFile::remove(part);
    return false;
  }
  fd_ = fd;
  path_ = name;
  headerBytes_ = size;
  if (durable) {
    SyncFolder(folder_);
  } else {
    dirty_ = true;
    folderDirty_ = true;
    firstUnsynced_ = Clock::now();
  }
  return true;
}

void Journal::BeginRows() {
  failed_ = false;
  rowsWritten_ = 0;
  unitWritten_.fill(0);
  lastCycle_ = Clock::now();
}

void Journal::RunStarted(const ModuleData& d) {
  Forget();
  BeginRows();
  warned_ = false;
  QString error;
  if (!Create(d, &error)) Fail(error);
}

void Journal::PartStarted(const ModuleData& d, Long) {
  const QString filled = std::exchange(path_, QString());
  const int filledFd = std::exchange(fd_, -1);
  dirty_ = false;
  BeginRows();
  // The boundary cycle stays short: the new journal reaches the disk with
  // its rows (within 5 seconds); the filled part is on the disk already.
  QString error;
  if (Create(d, &error, false)) {
    SamplesStored(d);
  } else {
    Fail(error);
  }
  if (holdFilled_ && filledFd >= 0 && filled != path_) {
    held_.push_back({filled, filledFd});
    return;
  }
  // A part begun in the same millisecond took over the name (and the file).
  if (!filled.isEmpty() && filled != path_) QFile::remove(filled);
  if (filledFd >= 0) ::close(filledFd);
}

void Journal::FilledPartSaved() {
  if (held_.empty()) return;
  const Held oldest = held_.front();
  held_.erase(held_.begin());
  QFile::remove(oldest.path);  // still locked while it goes
  ::close(oldest.fd);
}

QStringList Journal::HeldParts() const {
  QStringList paths;
  for (const Held& h : held_) paths << h.path;
  return paths;
}

void Journal::SamplesStored(const ModuleData& d) {
  if (fd_ < 0 || failed_) return;
  Long to = std::clamp<Long>(d.DataNum, 0, kBufferSize);
  for (const UnitData& u : d.Units) to = std::min<Long>(to, static_cast<Long>(u.Values.size()));
  // A unit that delivered fewer readings than another left its cells of the
  // last rows empty; they are written again once it filled them.
  Long from = std::min(rowsWritten_, to);
  for (int u = 0; u < kUnitCount; ++u) {
    if (IsTrue(d.Units[u].Mflag)) from = std::min(from, unitWritten_[u]);
  }
  if (to > from) {
    rows_.resize((to - from) * kRowBytes);
    char* p = rows_.data();
    for (Long k = from; k < to; ++k) {
      for (const UnitData& u : d.Units) {
        const quint32 bits =
            qToLittleEndian(std::bit_cast<quint32>(u.Values[static_cast<size_t>(k)]));
        std::memcpy(p, &bits, sizeof bits);
        p += sizeof bits;
      }
    }
    if (!WriteAllAt(fd_, rows_.constData(), rows_.size(), headerBytes_ + from * kRowBytes)) {
      Fail(QStringLiteral("ファイル %1 を書き込めません。\n%2").arg(path_, SystemError(errno)));
      return;
    }
    if (!dirty_) firstUnsynced_ = Clock::now();
    dirty_ = true;
  }
  rowsWritten_ = std::max(rowsWritten_, to);
  for (int u = 0; u < kUnitCount; ++u) unitWritten_[u] = std::min(d.Units[u].Count, to);
  // Synced now when the next cycle, as far off as the last one, would come
  // after the oldest unsynced row is 5 seconds old.
  const Clock::time_point now = Clock::now();
  const Clock::duration gap = now - lastCycle_;
  lastCycle_ = now;
  if (dirty_ && now + gap - firstUnsynced_ >= kSyncEvery) Sync();
}

bool Journal::Sync() {
  if (!dirty_ || fd_ < 0 || failed_) return true;
  if (::fdatasync(fd_) != 0) {
    // A full disk may only show here, when the file system allocates.
    Fail(QStringLiteral("ファイル %1 を書き込めません。\n%2").arg(path_, SystemError(errno)));
    return false;
  }
  dirty_ = false;
  if (std::exchange(folderDirty_, false)) SyncFolder(folder_);
  return true;
}

void Journal::RunStopped(const ModuleData&, const RunEnd& end) {
  if (end.why == RunEnd::Why::StartRefused) {
    Forget();
    return;
  }
  Sync();
}

QString RestoreQuestion(const ModuleData& left) {
  const bool seconds = IsTrue(left.TimerType);
  const QString interval =
      QString::number(static_cast<double>(left.IntervalTM) / (seconds ? 1000.0 : 1.0), 'g', 15) +
      (seconds ? QStringLiteral(" 秒") : QStringLiteral(" ms"));
  return QStringLiteral(
             "前回の測定データ（開始時刻 %1、%2 行、間隔 %3）が保存されていません。復元しますか？")
      .arg(left.StartTime.trimmed())
      .arg(left.DataNum)
      .arg(interval);
}

bool Journal::Recover(ModuleData& into) {
  const QDir dir(folder_);
  // A start that ended before its header was complete left a part file.
  for (const QString& name : dir.entryList({QStringLiteral("*.rk0.part")}, QDir::Files)) {
    const QString path = dir.filePath(name);
    if (name.contains(ProcessTag())) continue;
    if (const int fd = OpenLocked(path); fd >= 0) {
      QFile::remove(path);
      ::close(fd);
    }
  }
  for (const QString& name : dir.entryList({QStringLiteral("*.rk0")}, QDir::Files, QDir::Name)) {
    if (name.contains(ProcessTag())) continue;
    const QString path = dir.filePath(name);
    const int fd = OpenLocked(path);
    if (fd < 0) continue;  // written by a running program (or not ours to open)
    QFile file;
    into.ClearData();
    ReadResult r;
    bool readable = file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) &&
                    IsCurrentHeader(file) && file.seek(0);
    if (readable) {
      r = ReadDataDevice(into, file, true);
      readable = r.headerComplete && r.status != ReadResult::Status::Failed;
    }
    file.close();
    if (!readable) {
      const QString aside = path + QStringLiteral(".unreadable");
      QFile::remove(aside);
      const bool moved = QFile::rename(path, aside);
      ::close(fd);
      ShowMessage(QStringLiteral("前回の測定データの控え %1 を読み込めませんでした。%2")
                      .arg(path, moved ? QStringLiteral("\n%1 として残してあります。").arg(aside)
                                       : QString()),
                  kMsgTitle, MsgIcon::Exclamation);
      continue;
    }
    if (r.rowsRead < 1) {  // the run stored nothing
      RemoveJournalFiles(path);
      ::close(fd);
      continue;
    }
    if (AskYesNo(RestoreQuestion(into))) {
      Forget();
      fd_ = fd;
      path_ = path;
      failed_ = false;
      return true;
    }
    if (Ui().Message(kDeleteQuestion, kMsgTitle, MsgIcon::Question, MsgButtons::YesNoDefaultNo) ==
        MsgAnswer::Yes) {
      RemoveJournalFiles(path);
    }
    ::close(fd);
  }
  into.ClearData();
  return false;
}

int LockJournal(const QString& path) { return OpenLocked(path); }

}  // namespace larimo
