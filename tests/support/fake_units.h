#pragma once
// An in-process stand-in for the device library: a DeviceTable whose calls
// answer from per-unit scripts and log what they were asked, so device
// control and the run controller can be checked without a library.
//
//   test::FakeUnits fake;
//   fake.units[2].openResult = 6;            // ID2 is not found
//   fake.units[0].samples.push_back({0, 7.5}); // next single sample
//   fake.units[1].blocks.push_back({20.0, 21.0}); // next block read
//   OpenUnits(fake.Table(), d); ... EXPECT_EQ(fake.log, "open 0;...");
#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "device/device_table.h"

namespace larimo::test {

struct FakeUnit {
  bool open = false;
  Integer openResult = 0;
  Integer startResult = 0;
  Integer sampleResult = 0;  // when no queued sample is left
  double sampleValue = 0;
  std::deque<std::pair<Integer, double>> samples;  // (result, value), in order
  Integer getDatasResult = 0;
  std::deque<std::vector<double>> blocks;  // deliveries of Get_Datas, in order
};

class FakeUnits {
 public:
  FakeUnits() {
    table_.Open = [this](Integer id) {
      Log("open %d", id);
      if (!Valid(id)) return Integer{8};
      FakeUnit& u = units[id];
      if (u.openResult != 0) return u.openResult;
      if (u.open) return Integer{3};
      u.open = true;
      return Integer{0};
    };
    table_.Close = [this](Integer id) {
      Log("close %d", id);
      if (Valid(id)) units[id].open = false;
    };
    table_.SingleSample = [this](Integer id, double* value, Byte wiring, Byte temperature) {
      Log("sample %d w%d t%d", id, wiring, temperature);
      if (!Valid(id)) return Integer{8};
      FakeUnit& u = units[id];
      Integer rc = u.sampleResult;
      double v = u.sampleValue;
      if (!u.samples.empty()) {
        std::tie(rc, v) = u.samples.front();
        u.samples.pop_front();
      }
      if (rc == 0) *value = v;
      return rc;
    };
    table_.StartSample = [this](Integer id, Integer rate) {
      Log("start %d r%d", id, rate);
      return Valid(id) ? units[id].startResult : Integer{8};
    };
    table_.GetDatas = [this](Integer id, double* values, Byte* statuses, Byte* count, Byte wiring,
                             Byte temperature) {
      Log("getdatas %d n%d w%d t%d", id, *count, wiring, temperature);
      if (!Valid(id)) return Integer{8};
      FakeUnit& u = units[id];
      if (u.getDatasResult != 0) return u.getDatasResult;
      std::size_t n = 0;
      if (!u.blocks.empty()) {
        const std::vector<double> b = std::move(u.blocks.front());
        u.blocks.pop_front();
        n = std::min<std::size_t>(b.size(), *count);
        for (std::size_t i = 0; i < n; ++i) {
          values[i] = b[i];
          statuses[i] = 0;
        }
      }
      *count = static_cast<Byte>(n);
      return Integer{0};
    };
  }
  FakeUnits(const FakeUnits&) = delete;
  FakeUnits& operator=(const FakeUnits&) = delete;

  const DeviceTable& Table() const { return table_; }

  FakeUnit units[4];
  // The calls so far, e.g. "open 0;open 2;close 0;".
  std::string log;
  // How many logged calls begin with `what`, e.g. Calls("getdatas 1").
  int Calls(const std::string& what) const {
    int n = 0;
    for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  }

 private:
  static bool Valid(Integer id) { return id >= 0 && id < 4; }
  template <typename... A>
  void Log(const char* format, A... args) {
    char entry[96];
    std::snprintf(entry, sizeof entry, format, static_cast<int>(args)...);
    log += entry;
    log += ';';
  }
  DeviceTable table_;
};

}  // namespace larimo::test
