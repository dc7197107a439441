// The CPU time of a headless recording: runs larimo-cli record on four
// simulated units at 10 ms in real time for the given number of seconds
// (default 60) and prints the child's user and system time from getrusage,
// as a share of one core over the run's wall time. The simulated units run
// inside the recorder's process, so their work is counted too.
//
// With --mqtt the same run is made twice, without and with publishing to a
// broker the benchmark starts on 127.0.0.1 (the broker's own time is not
// counted), and the difference is printed against its target.
//
//   bench_record [SECONDS] [--mqtt]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mosquitto_broker.h"

namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// One recording; returns its share of one core in percent, -1 on failure.
double Record(const std::string& seconds, const std::string& mqttUrl) {
  char dir[] = "/tmp/bench_record.XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    std::perror("mkdtemp");
    return -1;
  }
  const std::string out = std::string(dir) + "/run.rk0";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    // The stored settings of this run only, and the simulator in real time.
    setenv("XDG_CONFIG_HOME", dir, 1);
    setenv("BRISKO_SIM_CLOCK", "real", 1);
    unsetenv("BRISKO_SIM");
    unsetenv("BRISKO_SIM_FAULT");
    const std::string duration = seconds + "s";
    execl(LARIMO_CLI_PATH, "larimo-cli", "record", "--simulate", "--units", "0,1,2,3", "--wiring",
          "2,2,2,2", "--kind", "pt100", "--interval", "10ms", "--no-average", "--duration",
          duration.c_str(), "--out", out.c_str(), "--mqtt", mqttUrl.c_str(), "--mqtt-topic",
          "bench/record", static_cast<char*>(nullptr));
    std::perror("exec larimo-cli");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
    std::perror("larimo-cli");
    return -1;
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double user = Seconds(usage.ru_utime);
  const double sys = Seconds(usage.ru_stime);
  std::printf("record, 4 simulated units, 10 ms, %s s of real time%s\n", seconds.c_str(),
              mqttUrl.empty() ? "" : ", publishing to a local MQTT broker");
  std::printf("  exit status      %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::printf("  wall time        %.2f s\n", wall);
  std::printf("  user CPU         %.3f s\n", user);
  std::printf("  system CPU       %.3f s\n", sys);
  const double share = 100.0 * (user + sys) / wall;
  std::printf("  CPU of one core  %.3f %% (target: at most 1 %%)\n", share);
  std::remove(out.c_str());
  rmdir(dir);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? share : -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string seconds = "60";
  bool mqtt = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--mqtt") {
      mqtt = true;
    } else {
      seconds = argv[i];
    }
  }
  const double without = Record(seconds, "");
  if (without < 0) return 1;
  if (!mqtt) return 0;
  larimo::test::MosquittoBroker broker;
  if (!broker.Start()) {
    std::fprintf(stderr, "bench_record: no broker (/usr/sbin/mosquitto, scripts/setup)\n");
    return 1;
  }
  const double with = Record(seconds, "mqtt://127.0.0.1:" + std::to_string(broker.Port()));
  if (with < 0) return 1;
  const double more = with - without;
  std::printf("publishing costs %.3f %% of one core more (target: at most 0.5 %%) %s\n", more,
              more <= 0.5 ? "met" : "MISSED");
  return 0;
}
