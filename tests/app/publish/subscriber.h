#pragma once
// mosquitto_sub on PREFIX/# of a test's broker, QoS 1: one "topic payload"
// line per message that arrives; ends with the test.
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include "mosquitto_broker.h"

namespace larimo::test {

// Runs a program to its end; true when it exited with 0.
inline bool Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class Subscriber {
 public:
  Subscriber(const MosquittoBroker& b, const QString& prefix, const QStringList& more = {})
      : address_{"-h", "127.0.0.1", "-p", QString::number(b.Port())}, prefix_(prefix) {
    p.start("mosquitto_sub", address_ + QStringList{"-t", prefix + "/#", "-v", "-q", "1"} + more);
  }
  ~Subscriber() {
    p.terminate();
    p.waitForFinished(5000);
  }
  // Waits until the subscription stands: a retained marker comes back.
  bool Subscribed() {
    return Run("mosquitto_pub",
               address_ + QStringList{"-t", prefix_ + "/ready", "-r", "-m", "1"}) &&
           WaitFor(prefix_ + "/ready 1");
  }
  // Waits (at most `ms`) until a line holds `text`.
  bool WaitFor(const QString& text, int ms = 15000) {
    for (QDeadlineTimer t(ms); !Read().contains(text); p.waitForReadyRead(100)) {
      if (t.hasExpired()) return false;
    }
    return true;
  }
  const QString& Read() {
    out_ += QString::fromUtf8(p.readAllStandardOutput());
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
  QProcess p;

 private:
  QStringList address_;
  QString prefix_;
  QString out_;
};

}  // namespace larimo::test
