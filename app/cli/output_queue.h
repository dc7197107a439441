#pragma once
// A bounded queue of text for a file descriptor that may stop being read
// (standard output into a pipe): Push never waits, Flush writes only what
// the descriptor takes at once. When the reader falls behind by more than
// the capacity, whole pushes are dropped and counted. One thread.

#include <QByteArray>

namespace larimo {

class OutputQueue {
 public:
  OutputQueue(int fd, qsizetype capacity);
  // Queues text holding `lines` lines and writes what can be written now.
  // False when the text was dropped (no room, or the reader has gone).
  bool Push(const QByteArray& text, qint64 lines);
  // Writes what the descriptor takes without waiting.
  void Flush();
  // Waits at most timeoutMs for the queue to be written.
  void Drain(int timeoutMs);
  bool Pending() const { return head_ < buffer_.size(); }
  // The reader has gone (or the descriptor failed): nothing more is written.
  bool Closed() const { return closed_; }
  // Lines dropped, and those still queued (never written).
  qint64 LostLines() const;

 private:
  int fd_;
  qsizetype capacity_;
  QByteArray buffer_;
  qsizetype head_ = 0;  // written up to here
  qint64 dropped_ = 0;
  bool closed_ = false;
};

}  // namespace larimo
