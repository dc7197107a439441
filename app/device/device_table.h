#pragma once
// The five exports of the device library as one table of calls. The program
// binds it from the loaded library (quenzel::Library()); tests hand device
// control and the run controller a table of their own.

#include <functional>

#include "store/vb_types.h"

namespace larimo {

struct DeviceTable {
  std::function<Integer(Integer id)> Open;
  std::function<void(Integer id)> Close;
  std::function<Integer(Integer id, double* value, Byte wiring, Byte temperature)> SingleSample;
  std::function<Integer(Integer id, Integer rate)> StartSample;
  std::function<Integer(Integer id, double* values, Byte* statuses, Byte* count, Byte wiring,
                        Byte temperature)>
      GetDatas;
};

}  // namespace larimo
