// A scriptable stand-in for the device library, for tests of the binding and
// of device control. It exports the library's five functions plus Fake_*
// controls: results per unit and call kind, queued sample results, and a log
// of every call, so rollbacks and failure paths can be checked exactly.
//
// Built with FAKE_WITHOUT_START_SAMPLE it lacks Quenzel_Start_Sample, for the
// tests of a library that misses an export.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Unit {
  bool open = false;
  int16_t openResult = 0;
  int16_t startResult = 0;
  int16_t defaultSampleResult = 0;
  double defaultValue = 0;
  std::deque<std::pair<int16_t, double>> samples;  // (result, value), consumed in order
  int16_t getDatasResult = 0;
  uint8_t blockCount = 0;
  double blockValue = 0;
};

Unit units[4];
std::string log;

bool ValidId(int16_t id) { return id >= 0 && id < 4; }

#define LOG(...)                                     \
  do {                                               \
    char entry[96];                                  \
    std::snprintf(entry, sizeof entry, __VA_ARGS__); \
    log += entry;                                    \
    log += ';';                                      \
  } while (0)

}  // namespace

FAKE_EXPORT int16_t Quenzel_Device_Open(int16_t id) {
  LOG("open %d", id);
  if (!ValidId(id)) return 8;
  Unit& u = units[id];
  if (u.openResult != 0) return u.openResult;
  if (u.open) return 3;
  u.open = true;
  return 0;
}

FAKE_EXPORT void Quenzel_Device_Close(int16_t id) {
  LOG("close %d", id);
  if (ValidId(id)) units[id].open = false;
}

FAKE_EXPORT int16_t Quenzel_Single_Sample(int16_t id, double* value, uint8_t wiring,
                                          uint8_t temperature) {
  LOG("sample %d w%d t%d", id, wiring, temperature);
  if (!ValidId(id)) return 8;
  Unit& u = units[id];
  if (!u.samples.empty()) {
    const auto [rc, v] = u.samples.front();
    u.samples.pop_front();
    if (rc == 0) *value = v;
    return rc;
  }
  if (u.defaultSampleResult == 0) *value = u.defaultValue;
  return u.defaultSampleResult;
}

#ifndef FAKE_WITHOUT_START_SAMPLE
FAKE_EXPORT int16_t Quenzel_Start_Sample(int16_t id, int16_t rate) {
  LOG("start %d r%d", id, rate);
  if (!ValidId(id)) return 8;
  return units[id].startResult;
}
#endif

FAKE_EXPORT int16_t Quenzel_Get_Datas(int16_t id, double* values, uint8_t* statuses, uint8_t* count,
                                      uint8_t wiring, uint8_t temperature) {
  LOG("getdatas %d w%d t%d", id, wiring, temperature);
  if (!ValidId(id)) return 8;
  Unit& u = units[id];
  if (u.getDatasResult != 0) return u.getDatasResult;
  const uint8_t n = u.blockCount < *count ? u.blockCount : *count;
  for (uint8_t i = 0; i < n; ++i) {
    values[i] = u.blockValue + i;
    statuses[i] = 0;
  }
  *count = n;
  return 0;
}

// ---- controls --------------------------------------------------------------

FAKE_EXPORT void Fake_Reset() {
  for (Unit& u : units) u = Unit{};
  log.clear();
}

FAKE_EXPORT void Fake_SetOpenResult(int16_t id, int16_t rc) { units[id].openResult = rc; }
FAKE_EXPORT void Fake_SetStartResult(int16_t id, int16_t rc) { units[id].startResult = rc; }
FAKE_EXPORT void Fake_SetSample(int16_t id, int16_t rc, double value) {
  units[id].defaultSampleResult = rc;
  units[id].defaultValue = value;
}
FAKE_EXPORT void Fake_QueueSample(int16_t id, int16_t rc, double value) {
  units[id].samples.emplace_back(rc, value);
}
FAKE_EXPORT void Fake_SetBlock(int16_t id, int16_t rc, uint8_t count, double firstValue) {
  units[id].getDatasResult = rc;
  units[id].blockCount = count;
  units[id].blockValue = firstValue;
}
FAKE_EXPORT int Fake_IsOpen(int16_t id) { return units[id].open ? 1 : 0; }
// The calls since the last reset, e.g. "open 0;open 2;close 0;".
FAKE_EXPORT const char* Fake_Log() { return log.c_str(); }
