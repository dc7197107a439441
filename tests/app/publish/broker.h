#pragma once
// A Mosquitto broker of the test's own on 127.0.0.1 and a free port, and a
// mosquitto_sub that prints what arrives; both end with the test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace larimo::test {

inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

inline bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

// Runs a program to its end; true when it exited with 0.
inline bool Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class Broker {
 public:
  ~Broker() { Stop(); }
  QString Path(const QString& name) const { return dir.filePath(name); }
  // Starts (again, on the same port) with the listener's `lines`.
  void Start() {
    const QString conf =
        QStringLiteral(
            "listener %1 127.0.0.1\n%2persistence true\npersistence_location %3/\nuser root\n")
            .arg(port)
            .arg(lines, dir.path());
    QFile f(Path("mosquitto.conf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(conf.toUtf8()) == conf.toUtf8().size());
    f.close();
    const QString exe = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"});
    ASSERT_FALSE(exe.isEmpty()) << "mosquitto is not installed (scripts/setup)";
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(exe, {"-c", Path("mosquitto.conf")});
    for (QDeadlineTimer t(5000); !Accepts(port); QThread::msleep(20)) {
      ASSERT_FALSE(t.hasExpired()) << p.readAll().toStdString();
    }
  }
  void Stop() {
    if (p.state() == QProcess::NotRunning) return;
    p.terminate();
    p.waitForFinished(5000);
  }
  QTemporaryDir dir;
  const int port = FreePort();
  QString lines = QStringLiteral("allow_anonymous true\n");  // users, TLS
  QProcess p;
};

// mosquitto_sub on PREFIX/#, QoS 1, one "topic payload" line per message.
class Subscriber {
 public:
  Subscriber(const Broker& b, const QString& prefix, const QStringList& more = {}) {
    p.start("mosquitto_sub", QStringList{"-h", "127.0.0.1", "-p", QString::number(b.port), "-t",
                                         prefix + "/#", "-v", "-q", "1"} +
                                 more);
  }
  ~Subscriber() {
    p.terminate();
    p.waitForFinished(5000);
  }
  // Waits until the subscription stands: a retained marker comes back.
  bool Subscribed(const Broker& b, const QString& prefix, const QStringList& more = {}) {
    return Run("mosquitto_pub", QStringList{"-h", "127.0.0.1", "-p", QString::number(b.port), "-t",
                                            prefix + "/ready", "-r", "-q", "1", "-m", "1"} +
                                    more) &&
           WaitFor(prefix + "/ready 1");
  }
  // Waits (at most `ms`) until a line holds `text`.
  bool WaitFor(const QString& text, int ms = 15000) {
    for (QDeadlineTimer t(ms); !Read().contains(text); p.waitForReadyRead(100)) {
      if (t.hasExpired()) return false;
    }
    return true;
  }
  const QString& Read() {
    out += QString::fromUtf8(p.readAllStandardOutput());
    return out;
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
  QString out;
};

}  // namespace larimo::test
