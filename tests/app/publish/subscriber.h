#pragma once
// mosquitto_sub on PREFIX/# of a test's broker, QoS 1: one "topic payload"
// line per message that arrives; ends with the test. Programs are started
// with fork and exec rather than QProcess, whose start ThreadSanitizer
// cannot follow, so that a publisher in the test's own process is checked.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <QDeadlineTimer>
#include <QStringList>

#include "mosquitto_broker.h"

namespace larimo::test {

// Starts a program with its standard output into `out` (when given).
inline pid_t Spawn(const QStringList& argv, int out = -1) {
  std::vector<std::string> args;
  for (const QString& a : argv) args.push_back(a.toStdString());
  std::vector<char*> ptrs;
  for (std::string& a : args) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (out >= 0) dup2(out, STDOUT_FILENO);
    execvp(ptrs[0], ptrs.data());
    _exit(127);
  }
  return pid;
}

// Runs a program to its end (at most 30 s); true when it exited with 0.
inline bool Run(const QStringList& argv) {
  const pid_t pid = Spawn(argv);
  int status = 0;
  for (QDeadlineTimer t(30000); waitpid(pid, &status, WNOHANG) == 0; usleep(10000)) {
    if (t.hasExpired()) kill(pid, SIGKILL);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class Subscriber {
 public:
  Subscriber(const MosquittoBroker& b, const QString& prefix, const QStringList& more = {})
      : address_{"-h", "127.0.0.1", "-p", QString::number(b.Port())}, prefix_(prefix) {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = Spawn(QStringList{"mosquitto_sub"} + address_ +
                     QStringList{"-t", prefix + "/#", "-v", "-q", "1"} + more,
                 fds[1]);
    close(fds[1]);
    fd_ = fds[0];
  }
  ~Subscriber() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }
  // Waits until the subscription stands: a retained marker comes back.
  bool Subscribed() {
    return Run(QStringList{"mosquitto_pub"} + address_ +
               QStringList{"-t", prefix_ + "/ready", "-r", "-m", "1"}) &&
           WaitFor(prefix_ + "/ready 1");
  }
  // Waits (at most `ms`) until a line holds `text`.
  bool WaitFor(const QString& text, int ms = 15000) {
    for (QDeadlineTimer t(ms); !Read().contains(text); Wait(100)) {
      if (t.hasExpired()) return false;
    }
    return true;
  }
  // Waits up to `ms` for more output.
  void Wait(int ms) {
    pollfd p{fd_, POLLIN, 0};
    poll(&p, 1, ms);
  }
  const QString& Read() {
    pollfd p{fd_, POLLIN, 0};
    QByteArray bytes;
    char buf[65536];
    while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) {
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      bytes.append(buf, n);
    }
    out_ += QString::fromUtf8(bytes);
    return out_;
  }
  // The payloads of one topic, in order.
  QStringList Payloads(const QString& topic) {
    QStringList r;
    for (const QString& line : Read().split('\n')) {
      if (line.startsWith(topic + ' ')) r << line.mid(topic.size() + 1);
    }
    return r;
  }

 private:
  QStringList address_;
  QString prefix_;
  pid_t pid_ = -1;
  int fd_ = -1;
  QString out_;
};

}  // namespace larimo::test
