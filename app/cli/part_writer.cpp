#include "cli/part_writer.h"

#include <exception>
#include <utility>

namespace larimo {

PartWriter::PartWriter(Save save) : save_(std::move(save)), thread_([this] { Run(); }) {}

PartWriter::~PartWriter() {
  {
    std::lock_guard lk(m_);
    stop_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void PartWriter::Submit(const ModuleData& d, int part) {
  std::unique_lock lk(m_);
  cv_.wait(lk, [this] { return !pending_; });
  part_ = d;
  number_ = part;
  pending_ = true;
  lk.unlock();
  cv_.notify_all();
}

std::vector<PartWriter::Done> PartWriter::TakeDone() {
  std::lock_guard lk(m_);
  return std::exchange(done_, {});
}

void PartWriter::Wait() {
  std::unique_lock lk(m_);
  cv_.wait(lk, [this] { return !pending_; });
}

void PartWriter::Run() {
  std::unique_lock lk(m_);
  for (;;) {
    // A part handed over is written before the writer stops.
    cv_.wait(lk, [this] { return pending_ || stop_; });
    if (!pending_) return;
    // Only this thread touches the part while it is pending.
    lk.unlock();
    Done done{number_, part_.DataNum, false, {}};
    try {
      done.saved = save_(part_, number_, &done.error);
    } catch (const std::exception& e) {  // out of memory, say: the part is not saved
      done.error = QString::fromLocal8Bit(e.what());
    }
    lk.lock();
    done_.push_back(std::move(done));
    pending_ = false;
    cv_.notify_all();
  }
}

}  // namespace larimo
