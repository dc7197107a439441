#pragma once
// Small helpers shared by the emulated-unit tests.

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "sim/sim_unit.h"

namespace brisko::test {

// Entries in a /proc/self folder: threads (task) or open descriptors (fd).
inline int CountEntries(const char* folder) {
  DIR* dir = opendir(folder);
  if (dir == nullptr) return -1;
  int n = 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') ++n;
  }
  closedir(dir);
  return n;
}
inline int ThreadCount() { return CountEntries("/proc/self/task"); }
// Less the descriptor that lists them.
inline int OpenFileCount() { return CountEntries("/proc/self/fd") - 1; }

// Threads of the USB layer (named "brisko-usb-..."), alive in this process.
inline int LayerThreadCount() {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  int n = 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = std::string("/proc/self/task/") + e->d_name + "/comm";
    std::ifstream comm(path);
    std::string name;
    if (std::getline(comm, name) && name.rfind("brisko-usb-", 0) == 0) ++n;
  }
  closedir(dir);
  return n;
}

// Polls until done() holds; false after timeout.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline sim::UnitConfig Calibrated(std::uint8_t id, double ohms) {
  sim::UnitConfig c;
  c.id = id;
  c.calibrated = true;
  c.ohms = ohms;
  return c;
}

inline sim::UnitConfig Ratiometric(std::uint8_t id, double ohms) {
  sim::UnitConfig c = Calibrated(id, ohms);
  c.calibrated = false;
  return c;
}

}  // namespace brisko::test
