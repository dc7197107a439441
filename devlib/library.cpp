#include "library.h"

#include <cstring>

namespace brisko {
namespace {

// Module-level state of the library. `lockPresent`, `layer`, `initStatus`
// and `waitTriesLeft` belong to the caller's thread; the handlers reach the
// layer through their user pointer and the slots under the table lock.
struct Library {
  DeviceSlot slots[4];
  UsbLayer* chosenLayer = nullptr;
  UsbLayer* layer = nullptr;
  bool lockPresent = false;
  int initStatus = 0;
  // Tries of 100 ms left in the session's first two seconds; every Open in
  // that window may wait for its unit with what is left.
  int waitTriesLeft = 0;
  std::atomic<std::uint32_t> timeoutMs{kDefaultTimeoutMs};
};

Library g;

bool ValidId(std::int16_t id) { return id >= 0 && id <= 3; }

// One command, fully written.
bool WriteCommand(UsbLayer& layer, DeviceHandle device, std::uint8_t* bytes,
                  std::uint32_t length) {
  std::uint32_t moved = 0;
  const std::uint32_t status =
      layer.Transfer(device, kPipeOut, bytes, length, &moved, g.timeoutMs.load());
  return status == kUsbOk && moved == length;
}

// One reply; *received is the number of bytes that really arrived.
bool ReadReply(UsbLayer& layer, DeviceHandle device, std::uint8_t* buffer, std::uint32_t length,
               std::size_t* received) {
  std::uint32_t moved = 0;
  const std::uint32_t status =
      layer.Transfer(device, kPipeIn, buffer, length, &moved, g.timeoutMs.load());
  *received = moved < length ? moved : length;
  return status == kUsbOk;
}

// A one-byte command followed by a reply that must arrive whole.
bool Query(UsbLayer& layer, DeviceHandle device, std::uint8_t opcode, std::uint8_t* buffer,
           std::uint32_t replyLength) {
  buffer[0] = opcode;
  std::size_t received = 0;
  return WriteCommand(layer, device, buffer, 1) &&
         ReadReply(layer, device, buffer, replyLength, &received) && received == replyLength;
}

void ClearSlots() {
  for (DeviceSlot& s : g.slots) {
    s.attached.store(0);
    s.opened.store(0);
    s.device = nullptr;
    s.calibrated = 0;
    s.cal = Calibration{};
  }
}

void InitSession() {
  g.layer = g.chosenLayer ? g.chosenLayer : &DefaultUsbLayer();
  ClearSlots();
  // A failure leaves the library uninitialised, so the next Open tries again.
  if (g.layer->CreateLock() != 0) {
    g.initStatus = 1;
    return;
  }
  g.waitTriesLeft = kOpenWaitTries;
  UsbEvents events;
  events.onAttach = OnDeviceAttach;
  events.onDetach = OnDeviceDetach;
  events.user = g.layer;
  if (g.layer->Init(kVendorId, kProductId, events) != 0) {
    g.initStatus = 2;
    g.layer->CloseLock();
    return;
  }
  g.initStatus = 0;
  g.lockPresent = true;
}

void EndSession() {
  if (!g.lockPresent) return;
  // The layer's thread is joined before the lock goes, so no handler can
  // take a closed lock.
  g.layer->Uninit();
  g.layer->CloseLock();
  g.lockPresent = false;
}

// Waits for the slot's unit with the tries left in the session's first two
// seconds. The first Open of a session always sleeps before its first look.
void WaitForUnit(const DeviceSlot& slot, bool sleepFirst) {
  if (!sleepFirst && slot.attached.load()) return;
  while (g.waitTriesLeft > 0) {
    g.layer->SleepMs(kOpenWaitStepMs);
    --g.waitTriesLeft;
    if (slot.attached.load()) return;
  }
}

// What a sampling export needs of an opened slot, copied under the lock so a
// unit attaching into the slot meanwhile cannot tear it.
struct OpenedSlot {
  DeviceHandle device = nullptr;
  bool calibrated = false;
  Calibration cal;
};

bool TakeOpenedSlot(std::int16_t id, OpenedSlot* out) {
  DeviceSlot& s = g.slots[SlotOfId(id)];
  if (!s.opened.load()) return false;
  g.layer->Lock();
  const bool opened = s.opened.load() != 0;
  if (opened) {
    out->device = s.device;
    out->calibrated = s.calibrated != 0;
    out->cal = s.cal;
  }
  g.layer->Unlock();
  return opened;
}

double SampleOhms(const OpenedSlot& slot, const std::uint8_t* reply, int i, std::uint8_t wiring,
                  std::uint8_t* status) {
  if (slot.calibrated) {
    RawCalibrated raw;
    BlockSampleCalibrated(reply, i, &raw, status);
    return CalibratedOhms(raw, slot.cal, wiring);
  }
  RawRatiometric raw;
  BlockSampleRatiometric(reply, i, &raw, status);
  return RatiometricOhms(raw, wiring);
}

}  // namespace

std::int16_t DeviceOpen(std::int16_t id) {
  if (!ValidId(id)) return kBadParameter;
  DeviceSlot& s = g.slots[SlotOfId(id)];
  const bool fresh = !g.lockPresent;
  if (fresh) {
    InitSession();
    if (g.initStatus != 0) return kInitFailed;
  }
  WaitForUnit(s, fresh);
  if (!s.attached.load()) return kNoUnit;
  if (s.opened.load()) return kAlreadyOpen;

  UsbLayer& layer = *g.layer;
  layer.Lock();
  // The unit may have gone between the look and the lock.
  const bool present = s.attached.load() != 0;
  const DeviceHandle device = s.device;
  const bool calibrated = s.calibrated != 0;
  if (present) s.opened.store(1);
  layer.Unlock();
  if (!present) return kNoUnit;

  if (!calibrated) {
    // A ratiometric unit is told that it is in use; its answer is not needed.
    std::uint8_t reply[kOpenReplyLength];
    Query(layer, device, kCmdOpen, reply, kOpenReplyLength);
  }
  return kOk;
}

void DeviceClose(std::int16_t id) {
  if (!ValidId(id)) return;
  DeviceSlot& s = g.slots[SlotOfId(id)];
  if (!s.opened.load()) return;
  s.opened.store(0);
  for (const DeviceSlot& other : g.slots) {
    if (other.attached.load() && other.opened.load()) return;
  }
  EndSession();
}

std::int16_t SingleSample(std::int16_t id, double* value, std::uint8_t wiring,
                          std::uint8_t temperature) {
  if (!ValidId(id)) return kBadId;
  if (value == nullptr || wiring > kWire4 || temperature > 1) return kBadParameter;
  OpenedSlot slot;
  if (!TakeOpenedSlot(id, &slot)) return kNotOpened;

  std::uint8_t reply[kSingleReplyLengthRatiometric] = {kCmdSingle};
  const std::uint32_t length =
      slot.calibrated ? kSingleReplyLengthCalibrated : kSingleReplyLengthRatiometric;
  std::size_t received = 0;
  if (!WriteCommand(*g.layer, slot.device, reply, 1)) return kTransferFailed;
  if (!ReadReply(*g.layer, slot.device, reply, length, &received)) return kTransferFailed;

  double ohms;
  if (slot.calibrated) {
    RawCalibrated raw;
    if (!DecodeSingleCalibrated(reply, received, &raw)) return kTransferFailed;
    ohms = CalibratedOhms(raw, slot.cal, wiring);
  } else {
    RawRatiometric raw;
    if (!DecodeSingleRatiometric(reply, received, &raw)) return kTransferFailed;
    ohms = RatiometricOhms(raw, wiring);
  }
  *value = DeliveredValue(ohms, temperature);
  return kOk;
}

std::int16_t StartSample(std::int16_t id, std::int16_t rate) {
  if (!ValidId(id)) return kBadId;
  if (rate < kMinRate || rate > kMaxRate) return kBadParameter;
  OpenedSlot slot;
  if (!TakeOpenedSlot(id, &slot)) return kNotOpened;
  std::uint8_t command[3] = {kCmdStartSampling, static_cast<std::uint8_t>(rate >> 8),
                             static_cast<std::uint8_t>(rate & 0xFF)};
  return WriteCommand(*g.layer, slot.device, command, 3) ? kOk : kTransferFailed;
}

std::int16_t GetDatas(std::int16_t id, double* values, std::uint8_t* statuses,
                      std::uint8_t* count, std::uint8_t wiring, std::uint8_t temperature) {
  if (!ValidId(id)) return kBadId;
  if (values == nullptr || statuses == nullptr || count == nullptr) return kBadParameter;
  if (*count > kMaxBlockCount || wiring > kWire4 || temperature > 1) return kBadParameter;
  OpenedSlot slot;
  if (!TakeOpenedSlot(id, &slot)) return kNotOpened;

  std::uint8_t reply[kBlockReplyLength] = {kCmdReadBlock, *count};
  std::size_t received = 0;
  if (!WriteCommand(*g.layer, slot.device, reply, 2)) return kTransferFailed;
  if (!ReadReply(*g.layer, slot.device, reply, kBlockReplyLength, &received)) {
    return kTransferFailed;
  }
  const int n = UsableBlockSamples(slot.calibrated, reply, received);
  if (n < 0) return kTransferFailed;
  *count = static_cast<std::uint8_t>(n);
  for (int i = 0; i < n; ++i) {
    const double ohms = SampleOhms(slot, reply, i, wiring, &statuses[i]);
    values[i] = DeliveredValue(ohms, temperature);
  }
  return kOk;
}

bool OnDeviceAttach(DeviceHandle device, void* user) {
  UsbLayer& layer = *static_cast<UsbLayer*>(user);
  layer.ResetPipe(device, kPipeIn);
  std::uint8_t reply[kCalibrationReplyLength] = {};
  if (!Query(layer, device, kCmdStatus, reply, kStatusReplyLength)) return false;
  const std::uint8_t status = reply[1];
  const int index = SlotOfStatus(status);
  if (index < 0) return false;  // a ratiometric unit without a slot

  // The calibration is read before the slot is touched: a unit whose
  // calibration cannot be read or converted is declined.
  const bool calibrated = IsCalibratedStatus(status);
  Calibration cal;
  if (calibrated) {
    CalibrationValues values;
    if (!Query(layer, device, kCmdCalibration, reply, kCalibrationReplyLength) ||
        !DecodeCalibration(reply, kCalibrationReplyLength, &values) ||
        !CalibrationToGains(values, &cal)) {
      return false;
    }
  }

  layer.Lock();
  DeviceSlot& s = g.slots[index];
  s.opened.store(0);
  s.device = device;
  s.calibrated = calibrated ? 1 : 0;
  s.cal = cal;
  s.attached.store(1);
  layer.Unlock();
  return true;
}

void OnDeviceDetach(DeviceHandle device, void* user) {
  UsbLayer& layer = *static_cast<UsbLayer*>(user);
  layer.Lock();
  for (DeviceSlot& s : g.slots) {
    if (s.attached.load() && s.device == device) {
      s.attached.store(0);
      s.opened.store(0);
    }
  }
  layer.Unlock();
}

namespace internal {

void SetUsbLayer(UsbLayer* layer) { g.chosenLayer = layer; }
void SetTransferTimeoutMs(std::uint32_t ms) { g.timeoutMs.store(ms); }
std::uint32_t TransferTimeoutMs() { return g.timeoutMs.load(); }

void ResetLibrary() {
  EndSession();
  ClearSlots();
  g.initStatus = 0;
  g.waitTriesLeft = 0;
}

bool SessionRunning() { return g.lockPresent; }
const DeviceSlot& Slot(int slot) { return g.slots[slot]; }

}  // namespace internal
}  // namespace brisko
