// The five C exports: thin wrappers over the library's logic.
#include "brisko.h"
#include "library.h"

extern "C" {

BRISKO_EXPORT int16_t Quenzel_Device_Open(int16_t id) { return brisko::DeviceOpen(id); }

BRISKO_EXPORT void Quenzel_Device_Close(int16_t id) { brisko::DeviceClose(id); }

BRISKO_EXPORT int16_t Quenzel_Single_Sample(int16_t id, double* value, uint8_t wiring,
                                            uint8_t temperature) {
  return brisko::SingleSample(id, value, wiring, temperature);
}

BRISKO_EXPORT int16_t Quenzel_Start_Sample(int16_t id, int16_t rate) {
  return brisko::StartSample(id, rate);
}

BRISKO_EXPORT int16_t Quenzel_Get_Datas(int16_t id, double* values, uint8_t* statuses,
                                        uint8_t* count, uint8_t wiring, uint8_t temperature) {
  return brisko::GetDatas(id, values, statuses, count, wiring, temperature);
}

}  // extern "C"
