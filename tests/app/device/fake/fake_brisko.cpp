// A device library that lacks Quenzel_Start_Sample, for the test of a
// library that misses an export: the other four work on four plain units
// that open once at a time and read 0.
#include <cstdint>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
bool open[4];
bool ValidId(int16_t id) { return id >= 0 && id < 4; }
}  // namespace

FAKE_EXPORT int16_t Quenzel_Device_Open(int16_t id) {
  if (!ValidId(id)) return 8;
  if (open[id]) return 3;
  open[id] = true;
  return 0;
}

FAKE_EXPORT void Quenzel_Device_Close(int16_t id) {
  if (ValidId(id)) open[id] = false;
}

FAKE_EXPORT int16_t Quenzel_Single_Sample(int16_t id, double* value, uint8_t, uint8_t) {
  if (!ValidId(id) || !open[id]) return 7;
  *value = 0;
  return 0;
}

FAKE_EXPORT int16_t Quenzel_Get_Datas(int16_t id, double*, uint8_t*, uint8_t* count, uint8_t,
                                      uint8_t) {
  if (!ValidId(id) || !open[id]) return 7;
  *count = 0;
  return 0;
}
