#include "sim/sim_config.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace brisko::sim {
namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!text.empty() && text.back() == sep) parts.push_back("");
  return parts;
}

bool ParseUnsigned(const std::string& text, long max, long* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v > max) return false;
  *out = v;
  return true;
}

bool ParseOhms(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || v < 0 || v > 1000) return false;
  *out = v;
  return true;
}

bool ParseUnits(const std::string& text, SimConfig* out, std::string* error) {
  out->units.clear();
  if (text.empty()) return true;  // set but empty: no unit at all
  for (const std::string& entry : Split(text, ',')) {
    const std::vector<std::string> f = Split(entry, ':');
    long id = 0;
    UnitConfig unit;
    if (f.size() < 2 || f.size() > 3 || !ParseUnsigned(f[0], 3, &id) ||
        (f[1] != "cal" && f[1] != "ratio")) {
      *error = "BRISKO_SIM: cannot read unit \"" + entry + "\" (ID:cal|ratio[:OHMS])";
      return false;
    }
    unit.id = static_cast<std::uint8_t>(id);
    unit.calibrated = f[1] == "cal";
    if (f.size() == 3) {
      double ohms = 0;
      if (!ParseOhms(f[2], &ohms)) {
        *error = "BRISKO_SIM: cannot read the ohms of \"" + entry + "\"";
        return false;
      }
      unit.ohms = ohms;
    }
    out->units.push_back(unit);
  }
  return true;
}

bool ParseFaultKind(const std::string& name, FaultKind* kind) {
  static const struct {
    const char* name;
    FaultKind kind;
  } kKinds[] = {{"fail", FaultKind::kFail},
                {"short", FaultKind::kShort},
                {"unplug", FaultKind::kUnplug},
                {"mute", FaultKind::kMute},
                {"dead", FaultKind::kDead},
                {"nocal", FaultKind::kNoCalibration},
                {"zerocal", FaultKind::kZeroCalibration}};
  for (const auto& k : kKinds) {
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

bool ParseFaults(const std::string& text, SimConfig* out, std::string* error) {
  for (const std::string& entry : Split(text, ',')) {
    if (entry == "init") {
      out->failInit = true;
      continue;
    }
    if (entry == "lock") {
      out->failLock = true;
      continue;
    }
    const std::vector<std::string> f = Split(entry, ':');
    Fault fault;
    long id = 0, after = 0;
    if (f.size() < 2 || f.size() > 3 || !ParseUnsigned(f[0], 3, &id) ||
        !ParseFaultKind(f[1], &fault.kind) ||
        (f.size() == 3 && !ParseUnsigned(f[2], 1000000000, &after))) {
      *error = "BRISKO_SIM_FAULT: cannot read \"" + entry + "\" (ID:KIND[:N], init or lock)";
      return false;
    }
    fault.unitId = static_cast<int>(id);
    fault.after = static_cast<int>(after);
    out->faults.push_back(fault);
  }
  return true;
}

bool ParseClock(const std::string& text, SimConfig* out, std::string* error) {
  const std::vector<std::string> f = Split(text, ':');
  long step = 300;
  if (f.size() == 1 && f[0] == "real") {
    out->virtualClock = false;
    return true;
  }
  if (f.empty() || f[0] != "step" || f.size() > 2 ||
      (f.size() == 2 && !ParseUnsigned(f[1], 86400000, &step))) {
    *error = "BRISKO_SIM_CLOCK: cannot read \"" + text + "\" (real, step or step:MS)";
    return false;
  }
  out->virtualClock = true;
  out->stepMs = static_cast<std::uint32_t>(step);
  return true;
}

}  // namespace

SimConfig SimConfig::Default() {
  SimConfig c;
  for (std::uint8_t id = 0; id < 4; ++id) {
    UnitConfig u;
    u.id = id;
    c.units.push_back(u);
  }
  return c;
}

bool ParseSimConfig(const char* units, const char* attachMs, const char* clock,
                    const char* timeoutMs, const char* faults, SimConfig* out, std::string* error) {
  SimConfig c = SimConfig::Default();
  long v = 0;
  if (units && !ParseUnits(units, &c, error)) return false;
  if (attachMs) {
    if (!ParseUnsigned(attachMs, 600000, &v)) {
      *error = std::string("BRISKO_SIM_ATTACH_MS: cannot read \"") + attachMs + "\"";
      return false;
    }
    c.attachMs = static_cast<std::uint32_t>(v);
  }
  if (clock && !ParseClock(clock, &c, error)) return false;
  if (timeoutMs) {
    if (!ParseUnsigned(timeoutMs, 600000, &v)) {
      *error = std::string("BRISKO_SIM_TIMEOUT_MS: cannot read \"") + timeoutMs + "\"";
      return false;
    }
    c.replyTimeoutMs = static_cast<std::uint32_t>(v);
  }
  if (faults && *faults && !ParseFaults(faults, &c, error)) return false;
  *out = c;
  return true;
}

bool SimConfigFromEnvironment(SimConfig* out, std::string* error) {
  return ParseSimConfig(std::getenv("BRISKO_SIM"), std::getenv("BRISKO_SIM_ATTACH_MS"),
                        std::getenv("BRISKO_SIM_CLOCK"), std::getenv("BRISKO_SIM_TIMEOUT_MS"),
                        std::getenv("BRISKO_SIM_FAULT"), out, error);
}

}  // namespace brisko::sim
