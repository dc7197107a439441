#pragma once
// mosquitto_sub on PREFIX/# of a test's broker, QoS 1, printing one
// "topic payload" line per message into a file; ends with the test.
#include <QDeadlineTimer>
#include <QStringList>

#include "file_test_util.h"
#include "mosquitto_broker.h"

namespace larimo::test {

class Subscriber {
 public:
  Subscriber(const MosquittoBroker& b, const QString& prefix, std::vector<std::string> more = {})
      : address_{"-h", "127.0.0.1", "-p", std::to_string(b.Port())},
        prefix_(prefix),
        file_(b.Path("sub.txt")) {
    std::vector<std::string> args{
        "mosquitto_sub", "-t", prefix.toStdString() + "/#", "-v", "-q", "1"};
    args.insert(args.end(), address_.begin(), address_.end());
    args.insert(args.end(), more.begin(), more.end());
    pid_ = Spawn(args, file_);
  }
  ~Subscriber() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  // Waits until the subscription stands: a retained marker comes back.
  bool Subscribed() {
    std::vector<std::string> args{
        "mosquitto_pub", "-t", prefix_.toStdString() + "/ready", "-r", "-m", "1"};
    args.insert(args.end(), address_.begin(), address_.end());
    return Run(args) && WaitFor(prefix_ + "/ready 1");
  }
  // Waits (at most `ms`) until a line holds `text`.
  bool WaitFor(const QString& text, int ms = 15000) const {
    for (QDeadlineTimer t(ms); !Read().contains(text); usleep(50000)) {
      if (t.hasExpired()) return false;
    }
    return true;
  }
  QString Read() const { return QString::fromUtf8(ReadAll(QString::fromStdString(file_))); }
  // The payloads of one topic, in order.
  QStringList Payloads(const QString& topic) const {
    QStringList r;
    for (const QString& line : Read().split('\n')) {
      if (line.startsWith(topic + ' ')) r << line.mid(topic.size() + 1);
    }
    return r;
  }

 private:
  std::vector<std::string> address_;
  QString prefix_;
  std::string file_;
  pid_t pid_ = -1;
};

}  // namespace larimo::test
