#pragma once
// A Mosquitto broker of a benchmark's own on 127.0.0.1 and a free port, in
// a temporary folder; stopped (SIGTERM) when the object ends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

class BenchBroker {
 public:
  BenchBroker() {
    char dir[] = "/tmp/bench_broker.XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    dir_ = dir;
    port_ = FreePort();
    const std::string conf = dir_ + "/mosquitto.conf";
    if (FILE* f = std::fopen(conf.c_str(), "w")) {
      std::fprintf(f, "listener %d 127.0.0.1\nallow_anonymous true\nuser root\n", port_);
      std::fclose(f);
    }
    pid_ = fork();
    if (pid_ == 0) {
      freopen("/dev/null", "w", stderr);
      execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 250 && !Accepts(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~BenchBroker() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
      std::remove((dir_ + "/mosquitto.conf").c_str());
      rmdir(dir_.c_str());
    }
  }
  BenchBroker(const BenchBroker&) = delete;
  BenchBroker& operator=(const BenchBroker&) = delete;
  bool Running() const { return pid_ > 0 && Accepts(); }
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }
  static int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
  }
  bool Accepts() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port_);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
  }
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};
