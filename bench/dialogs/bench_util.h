#pragma once
// Shared bits of the dialog benchmarks: a median timer and a user interface
// that answers every question with Yes and every file chooser from a queue.

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "store/user_interface.h"

namespace larimo::bench {

// Median of `runs` timings of f, in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// Medians of a and b timed alternately, so that a changing load on the
// machine weighs on both alike.
inline std::pair<double, double> MedianPairMs(int runs, const std::function<void()>& a,
                                              const std::function<void()>& b) {
  std::vector<double> ta;
  std::vector<double> tb;
  for (int i = 0; i < runs; ++i) {
    ta.push_back(MedianMs(1, a));
    tb.push_back(MedianMs(1, b));
  }
  std::sort(ta.begin(), ta.end());
  std::sort(tb.begin(), tb.end());
  return {ta[ta.size() / 2], tb[tb.size() / 2]};
}

class QuietUi final : public UserInterface {
 public:
  QuietUi() : previous_(SetUi(this)) {}
  ~QuietUi() override { SetUi(previous_); }
  QuietUi(const QuietUi&) = delete;
  QuietUi& operator=(const QuietUi&) = delete;
  MsgAnswer Message(const QString&, const QString&, MsgIcon, MsgButtons buttons) override {
    ++messages;
    return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
  }
  void Notify(const QString&, const QString&, MsgIcon) override { ++messages; }
  std::optional<QString> ChooseFile(const FileRequest&) override { return file; }
  std::optional<QString> file;
  int messages = 0;

 private:
  UserInterface* previous_;
};

}  // namespace larimo::bench
