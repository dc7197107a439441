#include "cli/output_queue.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <QElapsedTimer>

namespace larimo {

namespace {

// A write of at most this much into a pipe that poll calls writable never
// waits (it fits the free page the pipe has).
constexpr qsizetype kChunk = 4096;

}  // namespace

OutputQueue::OutputQueue(int fd, qsizetype capacity) : fd_(fd), capacity_(capacity) {}

bool OutputQueue::Push(const QByteArray& text, qint64 lines) {
  if (closed_ || buffer_.size() - head_ + text.size() > capacity_) {
    dropped_ += lines;
    return false;
  }
  if (head_ > 0 && head_ == buffer_.size()) {
    buffer_.clear();
    head_ = 0;
  }
  buffer_ += text;
  Flush();
  return true;
}

void OutputQueue::Flush() {
  while (!closed_ && Pending()) {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      closed_ = true;
      return;
    }
    const qsizetype n = std::min(kChunk, buffer_.size() - head_);
    const ssize_t w = ::write(fd_, buffer_.constData() + head_, static_cast<size_t>(n));
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) closed_ = true;
      return;
    }
    head_ += w;
  }
  if (!Pending() && head_ > 0) {
    buffer_.clear();
    head_ = 0;
  }
}

void OutputQueue::Drain(int timeoutMs) {
  QElapsedTimer t;
  t.start();
  Flush();
  while (!closed_ && Pending() && t.elapsed() < timeoutMs) {
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(std::max<qint64>(1, timeoutMs - t.elapsed())));
    Flush();
  }
}

qint64 OutputQueue::LostLines() const { return dropped_ + buffer_.mid(head_).count('\n'); }

}  // namespace larimo
