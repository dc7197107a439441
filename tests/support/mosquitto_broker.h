#pragma once
// A Mosquitto broker of a test's or benchmark's own: 127.0.0.1 only, a free
// port, persistence in a temporary folder that goes with the object.
// Start() may be called again after Stop() (the same port, a restart).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace larimo::test {

class MosquittoBroker {
 public:
  MosquittoBroker() {
    char dir[] = "/tmp/larimo-broker.XXXXXX";
    if (mkdtemp(dir) != nullptr) dir_ = dir;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    port_ = ntohs(a.sin_port);
  }
  ~MosquittoBroker() {
    Stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  // More of the listener's configuration (users, TLS) for the next Start.
  std::string lines = "allow_anonymous true\n";

  // Starts the broker and waits (up to 5 s) until it takes connections.
  bool Start() {
    const std::string conf = Path("mosquitto.conf");
    std::ofstream(conf) << "listener " << port_ << " 127.0.0.1\n"
                        << lines << "persistence true\npersistence_location " << dir_
                        << "/\nuser root\n";
    pid_ = fork();
    if (pid_ == 0) {
      const std::string log = Path("mosquitto.log");
      if (!freopen(log.c_str(), "a", stderr)) _exit(126);
      execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 250; ++i) {
      if (Accepts()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // SIGTERM: the broker saves its sessions and ends.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  int Port() const { return port_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
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

}  // namespace larimo::test
