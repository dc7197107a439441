#pragma once
// Configuration of the simulated units, read from the environment when a
// session starts (see README.md, "Simulated units").

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_unit.h"

namespace brisko::sim {

enum class FaultKind {
  kFail,             // the write of one command fails
  kShort,            // one reply arrives cut to half its length
  kUnplug,           // the unit is unplugged after taking a command, before answering
  kMute,             // from that command on the unit never answers
  kDead,             // the unit never answers anything, not even the status query
  kNoCalibration,    // the calibration read is not answered
  kZeroCalibration,  // the unit reports CalB0 = 0
};

struct Fault {
  int unitId = -1;  // the ID the unit reports
  FaultKind kind = FaultKind::kFail;
  int after = 0;  // sampling commands answered normally first
};

struct SimConfig {
  std::vector<UnitConfig> units;
  std::uint32_t attachMs = 300;      // from session start to the first unit's attach
  std::uint32_t attachGapMs = 40;    // between the attaches of the units that follow
  bool virtualClock = false;         // false: real time since session start
  std::uint32_t stepMs = 300;        // virtual time added by every block read
  std::uint32_t replyTimeoutMs = 0;  // caps a read's wait (0: the host's timeout)
  bool failInit = false;             // the session cannot be started
  bool failLock = false;             // the table lock cannot be made
  std::vector<Fault> faults;
  double sleepScale = 1.0;  // scales real waits: the library's and the attach delays (tests only)

  // Four calibrated units reporting 0 to 3, attaching after 300 ms.
  static SimConfig Default();
};

// Parses the values of BRISKO_SIM, BRISKO_SIM_ATTACH_MS, BRISKO_SIM_CLOCK,
// BRISKO_SIM_TIMEOUT_MS and BRISKO_SIM_FAULT (nullptr = unset). False with a
// message in *error for a value that cannot be read.
bool ParseSimConfig(const char* units, const char* attachMs, const char* clock,
                    const char* timeoutMs, const char* faults, SimConfig* out, std::string* error);

// The same from the process environment.
bool SimConfigFromEnvironment(SimConfig* out, std::string* error);

}  // namespace brisko::sim
