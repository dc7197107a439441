#pragma once
// A Mosquitto broker of a test's or benchmark's own: 127.0.0.1 only, a free
// port, persistence in a temporary folder that goes with the object.
// Start() may be called again after Stop() (the same port, a restart).
// Programs start with fork and exec (which ThreadSanitizer follows, unlike
// QProcess's way), so a publisher in the test's own process is checked too.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace larimo::test {

// Starts a program, its standard output and error into the file `out` when given.
inline pid_t Spawn(std::vector<std::string> args, const std::string& out = {}) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = out.empty() ? -1 : open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Runs a program to its end (at most 30 s); true when it exited with 0.
inline bool Run(const std::vector<std::string>& args) {
  const pid_t pid = Spawn(args);
  int status = 0;
  for (int i = 0; i < 3000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
    std::ofstream(Path("mosquitto.conf"))
        << "listener " << port_ << " 127.0.0.1\n"
        << lines << "persistence true\npersistence_location " << dir_ << "/\nuser root\n";
    pid_ = Spawn({"/usr/sbin/mosquitto", "-c", Path("mosquitto.conf")}, Path("mosquitto.log"));
    for (int i = 0; i < 250 && !Accepts(); ++i) usleep(20000);
    return Accepts();
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
