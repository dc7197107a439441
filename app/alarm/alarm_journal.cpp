#include "alarm/alarm_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>

#include "alarm/alarm_events_file.h"

namespace larimo {

namespace {

bool WriteAll(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype n = bytes.size();
  while (n > 0) {
    const ssize_t w = ::write(fd, p, static_cast<size_t>(n));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= w;
  }
  return true;
}

}  // namespace

AlarmJournal::~AlarmJournal() { Close(); }

void AlarmJournal::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

bool AlarmJournal::Open() {
  const QString journal = journal_.Path();
  if (journal.isEmpty()) {  // the run is not protected (the user was told)
    Close();
    return false;
  }
  const QString path = EventsPathFor(journal);
  if (fd_ >= 0 && path == path_) return true;
  Close();
  fd_ =
      ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  path_ = path;
  if (::lseek(fd_, 0, SEEK_END) == 0 && !WriteAll(fd_, QByteArray(kEventsHeader))) {
    Close();
    return false;
  }
  return true;
}

void AlarmJournal::AlarmRunStarted() { Close(); }

void AlarmJournal::AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) {
  if (!Open()) return;
  QByteArray lines;
  for (std::size_t i = from; i < events.size(); ++i) lines += EventLine(events[i]);
  // Events are rare: each cycle's go to the disk at once.
  if (!WriteAll(fd_, lines) || ::fdatasync(fd_) != 0) Close();
}

std::vector<AlarmEvent> AlarmJournal::Restore() {
  Close();
  if (journal_.Path().isEmpty()) return {};
  return ReadEventsFile(EventsPathFor(journal_.Path())).events;
}

}  // namespace larimo
