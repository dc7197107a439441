#include "library.h"

#include <algorithm>
#include <cstring>

namespace brisko {
namespace {

// Module-level state of the library. `lockPresent`, `layer`, `initStatus`
// and `sessionStartMs` belong to the caller's thread; the handlers reach the
// layer through their user pointer and the slots under the table lock.
struct Library {
  DeviceSlot slots[4];
  UsbLayer* chosenLayer = nullptr;
  UsbLayer* layer = nullptr;
  bool lockPresent = false;
  int initStatus = 0;
  // When the running session started (the layer's clock); Opens wait for
  // their unit only within kOpenWindowMs of it.
  std::uint64_t sessionStartMs = 0;
  std::atomic<std::uint32_t> timeoutMs{kDefaultTimeoutMs};
};

Library g;

bool ValidId(std::int16_t id) { return id >= 0 && id <= 3; }

std::size_t RoundUp(std::size_t n, std::size_t packet) {
  return (n + packet - 1) / packet * packet;
}

// The exchanges with one unit. A unit sends each reply as packets of the
// reply pipe's packet size; nothing on the bus ties a reply to its command,
// so bytes that were not read (a reply read too late, a surplus, a
// zero-length packet after a reply that fills its last packet) are the
// first thing the next read sees. Reads are therefore made of whole
// packets, a reply is taken as whole as soon as its layout says so, and an
// exchange that may have left the unit out of step notes what the next
// command must be preceded by (`recovery`).
class Exchange {
 public:
  Exchange(UsbLayer& layer, DeviceHandle device, std::uint8_t recovery)
      : layer_(layer), device_(device), recovery_(recovery) {
    packet_ = layer.MaxPacketSize(device, kPipeIn);
    if (packet_ == 0 || packet_ > kMaxPacketSize) packet_ = 64;
    capacity_ = RoundUp(kBlockReplyLength, packet_);
  }
  std::uint8_t recovery() const { return recovery_; }

  // Brings the unit back in step: clears the halt of a pipe that stalled or
  // failed, then reads and drops what the unit still sends. A halt is
  // cleared only then: clearing it resets the host's data toggle, and a unit
  // whose firmware keeps its own would have its next packet dropped as a
  // repeat.
  void Recover() {
    if (recovery_ & kRecoverClearOut) layer_.ResetPipe(device_, kPipeOut);
    bool cleared = (recovery_ & kRecoverClearIn) != 0;
    if (cleared) layer_.ResetPipe(device_, kPipeIn);
    const bool late = (recovery_ & kRecoverDrainLate) != 0;
    recovery_ = 0;
    const std::uint32_t wait = late ? kLateDrainTimeoutMs : kDrainTimeoutMs;
    const int quietReads = late ? 2 : 1;
    std::uint8_t scratch[kReplyBufferLength];
    int quiet = 0;
    // Bounded: a unit that streams without end cannot hold the caller.
    for (int read = 0; read < 32 && quiet < quietReads; ++read) {
      std::uint32_t moved = 0;
      const std::uint32_t status = layer_.Transfer(
          device_, kPipeIn, scratch, static_cast<std::uint32_t>(capacity_), &moved, wait);
      if (moved > 0 || status == kUsbOk) {
        quiet = 0;  // bytes or a zero-length packet: the unit had more
      } else if (status == kUsbTimeout) {
        ++quiet;
      } else if (PipeFault(status) && !cleared) {
        layer_.ResetPipe(device_, kPipeIn);
        cleared = true;
      } else {
        return;  // the unit is gone, or its pipe stays halted
      }
    }
  }

  // One command, fully written; the unit is brought back in step first when
  // the last exchange left it in doubt.
  bool Write(std::uint8_t* bytes, std::uint32_t length) {
    if (recovery_ != 0) Recover();
    std::uint32_t moved = 0;
    const std::uint32_t status =
        layer_.Transfer(device_, kPipeOut, bytes, length, &moved, g.timeoutMs.load());
    if (status == kUsbOk && moved == length) return true;
    // A stalled command was not taken; one that timed out may still be
    // answered.
    recovery_ |= PipeFault(status) ? kRecoverClearOut : kRecoverDrainLate;
    return false;
  }

  // A reply of `length` bytes (at most one buffer) into buffer, which holds
  // kReplyBufferLength bytes. True when all of it arrived; bytes beyond it
  // in the same packets are ignored. *received: the bytes that arrived.
  bool ReadFixed(std::uint8_t* buffer, std::size_t length, std::size_t* received) {
    const Piece piece = ReadPackets(buffer, RoundUp(length, packet_));
    *received = piece.moved;
    const bool whole = piece.moved >= length && Usable(piece.status);
    Note(piece, whole);
    return whole;
  }

  // A block reply (0x30) into buffer: the first packet, then exactly the
  // rest that the sample count in its header calls for. False (nothing
  // usable) unless at least the 2-byte header arrived and the reply either
  // is whole or was ended by the unit itself with a short packet; a reply
  // cut short is delivered as far as it came, and what may follow of it is
  // drained before the next command.
  bool ReadBlock(bool calibrated, std::uint8_t* buffer, std::size_t* received) {
    Piece piece = ReadPackets(buffer, packet_);
    std::size_t got = piece.moved;
    if (piece.status == kUsbOk && piece.full && got >= kBlockHeaderLength) {
      const std::size_t whole = BlockReplySize(calibrated, ReportedCount(buffer));
      if (whole > got) {
        const std::size_t room = std::min(RoundUp(whole - got, packet_), capacity_ - got);
        piece = ReadPackets(buffer + got, room);
        got += piece.moved;
      }
    }
    *received = got;
    const bool whole =
        got >= kBlockHeaderLength && got >= BlockReplySize(calibrated, ReportedCount(buffer));
    const bool ok =
        got >= kBlockHeaderLength && (whole ? Usable(piece.status) : piece.status == kUsbOk);
    Note(piece, whole && ok);
    return ok;
  }

 private:
  struct Piece {
    std::uint32_t status = kUsbOk;
    std::size_t moved = 0;
    bool full = false;  // the read ended on a full buffer, not a short packet
  };

  // A read that timed out after its bytes arrived still delivered them.
  static bool Usable(std::uint32_t status) { return status == kUsbOk || status == kUsbTimeout; }
  // A status after which the pipe's halt is cleared.
  static bool PipeFault(std::uint32_t status) { return status == kUsbStall || status == kUsbError; }
  static int ReportedCount(const std::uint8_t* reply) {
    return reply[1] < kMaxBlockCount ? reply[1] : kMaxBlockCount;
  }

  // What the end of a read leaves for the next exchange.
  void Note(const Piece& piece, bool whole) {
    if (PipeFault(piece.status)) {
      recovery_ |= kRecoverClearIn | kRecoverDrainLate;
    } else if (!whole) {
      recovery_ |= kRecoverDrainLate;
    } else if (piece.full || piece.status != kUsbOk) {
      recovery_ |= kRecoverDrain;
    }
  }

  // One read of `room` bytes (whole packets). A zero-length packet before
  // any byte is the end of an earlier reply, not this one: read again.
  Piece ReadPackets(std::uint8_t* buffer, std::size_t room) {
    Piece piece;
    for (int read = 0; read < 3; ++read) {
      std::uint32_t moved = 0;
      piece.status = layer_.Transfer(device_, kPipeIn, buffer, static_cast<std::uint32_t>(room),
                                     &moved, g.timeoutMs.load());
      piece.moved = moved < room ? moved : room;
      if (piece.status != kUsbOk || piece.moved > 0) break;
    }
    piece.full = piece.moved == room;
    return piece;
  }

  UsbLayer& layer_;
  DeviceHandle device_;
  std::uint8_t recovery_;
  std::size_t packet_ = 64;
  std::size_t capacity_ = kReplyBufferLength;
};

// A one-byte command followed by a reply that must arrive whole.
bool Query(Exchange& x, std::uint8_t opcode, std::uint8_t* buffer, std::size_t replyLength) {
  buffer[0] = opcode;
  std::size_t received = 0;
  return x.Write(buffer, 1) && x.ReadFixed(buffer, replyLength, &received);
}

void ClearSlots() {
  for (DeviceSlot& s : g.slots) {
    s.attached.store(0);
    s.opened.store(0);
    s.recovery.store(0);
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
  g.sessionStartMs = g.layer->ClockMs();
}

void EndSession() {
  if (!g.lockPresent) return;
  // The layer's thread is joined before the lock goes, so no handler can
  // take a closed lock.
  g.layer->Uninit();
  g.layer->CloseLock();
  g.lockPresent = false;
}

// Waits for the slot's unit while the session is less than two seconds old
// (the units plugged in at the session start are still being attached). The
// first Open of a session always sleeps before its first look; an Open late
// in a session never waits.
void WaitForUnit(const DeviceSlot& slot, bool sleepFirst) {
  if (!sleepFirst && slot.attached.load()) return;
  for (;;) {
    const std::uint64_t now = g.layer->ClockMs();
    const std::uint64_t elapsed = now > g.sessionStartMs ? now - g.sessionStartMs : 0;
    if (elapsed >= kOpenWindowMs) return;
    g.layer->SleepMs(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kOpenWaitStepMs, kOpenWindowMs - elapsed)));
    if (slot.attached.load()) return;
  }
}

// What a sampling export needs of an opened slot, copied under the lock so a
// unit attaching into the slot meanwhile cannot tear it.
struct OpenedSlot {
  DeviceSlot* slot = nullptr;
  DeviceHandle device = nullptr;
  bool calibrated = false;
  Calibration cal;
  std::uint8_t recovery = 0;
};

bool TakeOpenedSlot(std::int16_t id, OpenedSlot* out) {
  DeviceSlot& s = g.slots[SlotOfId(id)];
  if (!s.opened.load()) return false;
  g.layer->Lock();
  const bool opened = s.opened.load() != 0;
  if (opened) {
    out->slot = &s;
    out->device = s.device;
    out->calibrated = s.calibrated != 0;
    out->cal = s.cal;
    out->recovery = s.recovery.load();
  }
  g.layer->Unlock();
  return opened;
}

// The exchanges of one export with an opened slot's unit. What the next one
// must do first is kept in the slot when it ends, unless another unit has
// attached into the slot meanwhile (that unit starts with its own).
class SlotExchange : public Exchange {
 public:
  explicit SlotExchange(const OpenedSlot& s)
      : Exchange(*g.layer, s.device, s.recovery), slot_(*s.slot), device_(s.device) {}
  ~SlotExchange() {
    g.layer->Lock();
    if (slot_.attached.load() && slot_.device == device_) slot_.recovery.store(recovery());
    g.layer->Unlock();
  }
  SlotExchange(const SlotExchange&) = delete;
  SlotExchange& operator=(const SlotExchange&) = delete;

 private:
  DeviceSlot& slot_;
  DeviceHandle device_;
};

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
  OpenedSlot opened;
  opened.slot = &s;
  opened.device = s.device;
  opened.calibrated = s.calibrated != 0;
  opened.recovery = s.recovery.load();
  if (present) s.opened.store(1);
  layer.Unlock();
  if (!present) return kNoUnit;

  if (!opened.calibrated) {
    // A ratiometric unit is told that it is in use; its answer is not needed.
    SlotExchange x(opened);
    std::uint8_t reply[kReplyBufferLength];
    Query(x, kCmdOpen, reply, kOpenReplyLength);
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

  std::uint8_t reply[kReplyBufferLength] = {kCmdSingle};
  const std::size_t length =
      slot.calibrated ? kSingleReplyLengthCalibrated : kSingleReplyLengthRatiometric;
  std::size_t received = 0;
  SlotExchange x(slot);
  if (!x.Write(reply, 1)) return kTransferFailed;
  if (!x.ReadFixed(reply, length, &received)) return kTransferFailed;

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
  SlotExchange x(slot);
  return x.Write(command, 3) ? kOk : kTransferFailed;
}

std::int16_t GetDatas(std::int16_t id, double* values, std::uint8_t* statuses, std::uint8_t* count,
                      std::uint8_t wiring, std::uint8_t temperature) {
  if (!ValidId(id)) return kBadId;
  if (values == nullptr || statuses == nullptr || count == nullptr) return kBadParameter;
  if (*count > kMaxBlockCount || wiring > kWire4 || temperature > 1) return kBadParameter;
  OpenedSlot slot;
  if (!TakeOpenedSlot(id, &slot)) return kNotOpened;

  std::uint8_t reply[kReplyBufferLength] = {kCmdReadBlock, *count};
  std::size_t received = 0;
  SlotExchange x(slot);
  if (!x.Write(reply, 2)) return kTransferFailed;
  if (!x.ReadBlock(slot.calibrated, reply, &received)) return kTransferFailed;
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
  // Whatever the unit still holds from before (a reply nobody read in an
  // earlier session, a halted reply pipe) goes first. A command pipe left
  // halted shows as a stalled status query: its halt is cleared and the
  // query asked once more.
  Exchange x(layer, device, kRecoverClearIn | kRecoverDrain);
  std::uint8_t reply[kReplyBufferLength] = {};
  bool answered = Query(x, kCmdStatus, reply, kStatusReplyLength);
  if (!answered && (x.recovery() & kRecoverClearOut)) {
    answered = Query(x, kCmdStatus, reply, kStatusReplyLength);
  }
  if (!answered) return false;
  const std::uint8_t status = reply[1];
  const int index = SlotOfStatus(status);
  if (index < 0) return false;  // a ratiometric unit without a slot

  // The calibration is read before the slot is touched: a unit whose
  // calibration cannot be read or converted is declined.
  const bool calibrated = IsCalibratedStatus(status);
  Calibration cal;
  if (calibrated) {
    CalibrationValues values;
    if (!Query(x, kCmdCalibration, reply, kCalibrationReplyLength) ||
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
  s.recovery.store(x.recovery());
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
}

bool SessionRunning() { return g.lockPresent; }
const DeviceSlot& Slot(int slot) { return g.slots[slot]; }

}  // namespace internal
}  // namespace brisko
