#pragma once
// A UsbLayer for tests that plays scripted replies byte for byte: each
// device answers an opcode with the bytes and statuses it was given (reads
// take the reply from where the last read of it ended; a read that finds
// nothing left times out), and records every command it was sent. Attach and detach are delivered
// synchronously when the test asks (Init attaches the devices marked
// `atInit`).

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "library.h"
#include "usb_layer.h"

namespace brisko::test {

struct ScriptedDevice {
  std::map<std::uint8_t, std::vector<std::uint8_t>> replies;  // by opcode
  std::map<std::uint8_t, std::uint32_t> writeStatus;          // by opcode
  std::map<std::uint8_t, std::uint32_t> readStatus;           // by opcode of the command
  std::vector<std::vector<std::uint8_t>> written;
  std::uint8_t last = 0;
  std::size_t taken = 0;  // bytes of the current reply already read
  bool atInit = true;
  bool accepted = false;
  int resets = 0;
};

class ScriptedLayer : public UsbLayer {
 public:
  int lockFailures = 0;  // CreateLock fails this many times
  int initFailures = 0;  // Init fails this many times
  int inits = 0, uninits = 0, locksMade = 0, locksClosed = 0;
  std::uint32_t sleptMs = 0;
  std::uint64_t clockMs = 0;  // the layer's clock; the waits move it on too
  std::function<void(std::uint32_t sleptMs)> onSleep;  // after each wait
  std::uint32_t lastTimeoutMs = 0;
  std::function<void()> onRead;  // at the start of every read
  std::vector<std::unique_ptr<ScriptedDevice>> devices;

  ScriptedDevice& Add() {
    devices.push_back(std::make_unique<ScriptedDevice>());
    return *devices.back();
  }
  // A calibrated or ratiometric unit reporting this status byte.
  ScriptedDevice& AddUnit(std::uint8_t status,
                          CalibrationValues cal = {4000000, 3000000, 1000000, 2000000}) {
    ScriptedDevice& d = Add();
    d.replies[0xF0] = {0xF0, status};
    std::vector<std::uint8_t> c(13, 0);
    const std::uint32_t v[4] = {cal.a0, cal.b0, cal.a1, cal.b1};
    for (int i = 0; i < 4; ++i) {
      c[1 + 3 * i] = static_cast<std::uint8_t>(v[i] >> 16);
      c[2 + 3 * i] = static_cast<std::uint8_t>(v[i] >> 8);
      c[3 + 3 * i] = static_cast<std::uint8_t>(v[i]);
    }
    d.replies[0x60] = c;
    d.replies[0x40] = {0x40};
    return d;
  }
  bool Attach(ScriptedDevice& d) {
    d.accepted = events_.onAttach(&d, events_.user);
    return d.accepted;
  }
  void Detach(ScriptedDevice& d) { events_.onDetach(&d, events_.user); }
  bool running() const { return running_; }

  std::uint32_t CreateLock() override {
    if (lockFailures > 0) {
      --lockFailures;
      return 1;
    }
    ++locksMade;
    return 0;
  }
  void Lock() override { mutex_.lock(); }
  void Unlock() override { mutex_.unlock(); }
  void CloseLock() override { ++locksClosed; }
  std::uint32_t Init(std::uint16_t, std::uint16_t, const UsbEvents& events) override {
    ++inits;
    if (initFailures > 0) {
      --initFailures;
      return kUsbError;
    }
    events_ = events;
    running_ = true;
    for (auto& d : devices) {
      if (d->atInit) Attach(*d);
    }
    return kUsbOk;
  }
  void Uninit() override {
    ++uninits;
    running_ = false;
  }
  std::uint32_t Transfer(DeviceHandle handle, std::uint8_t pipe, std::uint8_t* buffer,
                         std::uint32_t size, std::uint32_t* transferred,
                         std::uint32_t timeoutMs) override {
    auto* d = static_cast<ScriptedDevice*>(handle);
    lastTimeoutMs = timeoutMs;
    *transferred = 0;
    if (pipe == kPipeOut) {
      d->last = buffer[0];
      d->taken = 0;
      d->written.emplace_back(buffer, buffer + size);
      auto s = d->writeStatus.find(d->last);
      if (s != d->writeStatus.end()) return s->second;
      *transferred = size;
      return kUsbOk;
    }
    if (onRead) onRead();
    auto r = d->replies.find(d->last);
    const std::size_t left =
        r == d->replies.end() || d->taken >= r->second.size() ? 0 : r->second.size() - d->taken;
    const std::uint32_t n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(left));
    if (n > 0) std::memcpy(buffer, r->second.data() + d->taken, n);
    d->taken += n;
    *transferred = n;
    auto s = d->readStatus.find(d->last);
    if (s != d->readStatus.end()) return s->second;
    return n == 0 ? kUsbTimeout : kUsbOk;
  }
  void ResetPipe(DeviceHandle handle, std::uint8_t) override {
    ++static_cast<ScriptedDevice*>(handle)->resets;
  }
  std::uint64_t ClockMs() override { return clockMs; }
  void SleepMs(std::uint32_t ms) override {
    sleptMs += ms;
    clockMs += ms;
    if (onSleep) onSleep(sleptMs);
  }

 private:
  std::mutex mutex_;
  UsbEvents events_;
  bool running_ = false;
};

// Runs every test on a fresh library over its own scripted layer.
class ScriptedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetLibrary();
    internal::SetUsbLayer(&layer);
  }
  void TearDown() override {
    internal::ResetLibrary();
    internal::SetUsbLayer(nullptr);
    internal::SetTransferTimeoutMs(kDefaultTimeoutMs);
  }
  ScriptedLayer layer;
};

}  // namespace brisko::test
