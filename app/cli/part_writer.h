#pragma once
// Writes the filled parts of a split run on a thread of its own, so the
// cycle at a part boundary only hands a copy of the part over and the units
// are read on while its files are written. One part at a time: a part that
// fills while the previous one is still being written waits for it.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QString>

#include "store/module_data.h"

namespace larimo {

class PartWriter {
 public:
  // Saves part `part` (the whole store); false with the message.
  using Save = std::function<bool(const ModuleData& d, int part, QString* error)>;
  struct Done {
    int part = 0;
    Long rows = 0;
    bool saved = false;
    QString error;
  };

  explicit PartWriter(Save save);
  // Waits for the part being written.
  ~PartWriter();
  PartWriter(const PartWriter&) = delete;
  PartWriter& operator=(const PartWriter&) = delete;

  // Hands a copy of the part over; the copy reuses the buffers of the one
  // before, so the memory stays that of one part.
  void Submit(const ModuleData& d, int part);
  // The parts written since the last call, in order.
  std::vector<Done> TakeDone();
  // Until no part is waiting or being written.
  void Wait();

 private:
  void Run();

  Save save_;
  std::mutex m_;
  std::condition_variable cv_;
  ModuleData part_;
  int number_ = 0;
  bool pending_ = false;  // part_ is to be written (or being written)
  bool stop_ = false;
  std::vector<Done> done_;
  std::thread thread_;  // last: it starts when everything above is made
};

}  // namespace larimo
