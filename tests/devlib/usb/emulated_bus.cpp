#include "emulated_bus.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>

namespace brisko::test {
namespace {

constexpr unsigned char kOutEndpoint = 0x02;
constexpr unsigned char kInEndpoint = 0x83;

// Device and configuration descriptor of a unit, as sysfs shows them: a
// full-speed vendor-specific device with one interface and two bulk pipes.
std::string UnitDescriptors(std::uint16_t vendorId, std::uint16_t productId, std::size_t packet) {
  char device[64], pipes[64];
  std::snprintf(device, sizeof device, "12011001000000%02x%02x%02x%02x%02x000100000001", 0x40,
                vendorId & 0xFF, vendorId >> 8, productId & 0xFF, productId >> 8);
  // Bulk OUT 0x02 and bulk IN 0x83 of this packet size.
  const unsigned low = packet & 0xFF, high = (packet >> 8) & 0xFF;
  std::snprintf(pipes, sizeof pipes, "07050202%02x%02x0007058302%02x%02x00", low, high, low, high);
  return std::string(device) + "0902200001010080320904000002ff000000" + pipes;
}

// A root hub, so units have a parent in sysfs.
constexpr const char* kRootHub =
    "P: /devices/usb1\n"
    "N: bus/usb/001/001\n"
    "E: SUBSYSTEM=usb\n"
    "E: DEVTYPE=usb_device\n"
    "E: DRIVER=usb\n"
    "E: BUSNUM=001\n"
    "E: DEVNUM=001\n"
    "E: DEVNAME=/dev/bus/usb/001/001\n"
    "A: busnum=1\\n\n"
    "A: devnum=1\\n\n"
    "A: speed=480\\n\n"
    "A: bConfigurationValue=1\\n\n"
    "H: descriptors=12010002090001406b1d020006010302010109021900010100e0000904000001090000"
    "000705810304000c\n";

}  // namespace

bool InMockEnvironment() {
  UMockdevTestbed* testbed = umockdev_testbed_new();
  const bool mocked = umockdev_in_mock_environment();
  g_object_unref(testbed);
  return mocked;
}

// ---------------------------------------------------------------------------
// EmulatedUnit

EmulatedUnit::EmulatedUnit(const sim::UnitConfig& config, std::size_t packetSize)
    : engine_(config), poweredAt_(std::chrono::steady_clock::now()), packetSize_(packetSize) {
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUnit::OnIoctl), this);
}

EmulatedUnit::~EmulatedUnit() {
  auto drop = [](std::deque<Urb>& urbs) {
    for (Urb& u : urbs) {
      g_object_unref(u.buffer);
      g_object_unref(u.urb);
    }
    urbs.clear();
  };
  drop(waitingReads_);
  drop(finished_);
  drop(discarded_);
  g_object_unref(handler_);
}

void EmulatedUnit::SetMute(bool mute) {
  std::lock_guard<std::mutex> lock(mutex_);
  mute_ = mute;
}

void EmulatedUnit::HaltReplyPipe() {
  std::lock_guard<std::mutex> lock(mutex_);
  halted_ = true;
}

void EmulatedUnit::SetHoldReplies(bool hold) {
  std::lock_guard<std::mutex> lock(mutex_);
  hold_ = hold;
  if (hold) return;
  while (!held_.empty()) {
    QueueReplyLocked(std::move(held_.front()));
    held_.pop_front();
  }
  ServeReadsLocked();
  changed_.notify_all();
}

void EmulatedUnit::SetZeroLengthPackets(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  zeroLengthPackets_ = on;
}

void EmulatedUnit::SetSurplusBytes(int bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  surplus_ = bytes;
}

void EmulatedUnit::SetHeldElsewhere(bool held) {
  std::lock_guard<std::mutex> lock(mutex_);
  heldElsewhere_ = held;
}

void EmulatedUnit::HaltCommandPipe() {
  std::lock_guard<std::mutex> lock(mutex_);
  commandHalted_ = true;
}

void EmulatedUnit::SetKeepsToggleOnClearHalt(bool keeps) {
  std::lock_guard<std::mutex> lock(mutex_);
  keepsToggle_ = keeps;
}

void EmulatedUnit::SetReplyDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  delayMs_ = static_cast<std::uint64_t>(delay.count());
}

void EmulatedUnit::CutNextReply(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  cut_ = bytes;
}

std::vector<std::vector<std::uint8_t>> EmulatedUnit::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

bool EmulatedUnit::ReplyPipeHalted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return halted_;
}

bool EmulatedUnit::WaitForWaitingRead(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return !waitingReads_.empty(); });
}

bool EmulatedUnit::Sampling() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return engine_.Sampling();
}

std::uint64_t EmulatedUnit::NowMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - poweredAt_)
                                        .count());
}

void EmulatedUnit::Disconnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  gone_ = true;
  // As the kernel does on a disconnect: every transfer in flight ends.
  while (!waitingReads_.empty()) {
    Urb urb = waitingReads_.front();
    waitingReads_.pop_front();
    FinishLocked(urb, -ESHUTDOWN, 0);
  }
  changed_.notify_all();
}

gboolean EmulatedUnit::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  return static_cast<EmulatedUnit*>(self)->HandleIoctl(client);
}

gboolean EmulatedUnit::HandleIoctl(UMockdevIoctlClient* client) {
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
      const guint32 value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      std::memcpy(caps->data, &value, sizeof value);
      g_object_unref(caps);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM: {
      std::lock_guard<std::mutex> lock(mutex_);
      const int error = gone_ ? ENODEV : heldElsewhere_ ? EBUSY : 0;
      umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
      return TRUE;
    }
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      // No kernel driver is bound to the unit.
      umockdev_ioctl_client_complete(client, -1, ENODATA);
      return TRUE;
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET: {
      std::lock_guard<std::mutex> lock(mutex_);
      umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
      return TRUE;
    }
    case USBDEVFS_CLEAR_HALT: {
      UMockdevIoctlData* ep = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
      unsigned int endpoint = 0;
      std::memcpy(&endpoint, ep->data, sizeof endpoint);
      g_object_unref(ep);
      std::lock_guard<std::mutex> lock(mutex_);
      if (gone_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
      }
      if (endpoint == kInEndpoint) {
        // Clears the halt only: what the unit has queued stays queued.
        halted_ = false;
        hostToggle_ = false;
        if (!keepsToggle_) unitToggle_ = false;
        changed_.notify_all();
      } else if (endpoint == kOutEndpoint) {
        commandHalted_ = false;
      }
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_SUBMITURB:
      Submit(client, arg);
      return TRUE;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      Reap(client, arg);
      return TRUE;
    case USBDEVFS_DISCARDURB:
      Discard(client, arg);
      return TRUE;
    default:
      std::fprintf(stderr, "emulated unit: unexpected ioctl 0x%lx\n", request);
      return FALSE;
  }
}

void EmulatedUnit::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* urbData =
      umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_urb), nullptr);
  auto* urb = reinterpret_cast<struct usbdevfs_urb*>(urbData->data);
  std::lock_guard<std::mutex> lock(mutex_);
  const bool bulk = urb->type == USBDEVFS_URB_TYPE_BULK;
  const bool known = urb->endpoint == kOutEndpoint || urb->endpoint == kInEndpoint;
  if (gone_ || !bulk || !known || urb->buffer_length < 0) {
    g_object_unref(urbData);
    umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EINVAL);
    return;
  }
  UMockdevIoctlData* buffer =
      umockdev_ioctl_data_resolve(urbData, offsetof(struct usbdevfs_urb, buffer),
                                  static_cast<gsize>(urb->buffer_length), nullptr);
  Urb pending{urbData, buffer};

  if (urb->endpoint == kOutEndpoint && commandHalted_) {
    FinishLocked(pending, -EPIPE, 0);
  } else if (urb->endpoint == kOutEndpoint) {
    std::vector<std::uint8_t> command(buffer->data, buffer->data + urb->buffer_length);
    commands_.push_back(command);
    if (!mute_) {
      engine_.Write(command.data(), command.size(), NowMs());
      if (engine_.HasReply()) {
        std::vector<std::uint8_t> reply = engine_.TakeReply();
        reply.resize(reply.size() + static_cast<std::size_t>(surplus_), 0x5A);
        if (cut_ > 0 && cut_ < reply.size()) {
          held_.emplace_back(reply.begin() + static_cast<std::ptrdiff_t>(cut_), reply.end());
          reply.resize(cut_);
          cut_ = 0;
          QueueReplyLocked(std::move(reply));
        } else if (hold_) {
          held_.push_back(std::move(reply));
        } else if (delayMs_ > 0 || !late_.empty()) {
          late_.push_back({NowMs() + delayMs_, std::move(reply)});
        } else {
          QueueReplyLocked(std::move(reply));
        }
      }
    }
    FinishLocked(pending, 0, urb->buffer_length);
    ServeReadsLocked();
  } else {
    waitingReads_.push_back(pending);
    ServeReadsLocked();
  }
  changed_.notify_all();
  umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUnit::QueueReplyLocked(std::vector<std::uint8_t> reply) {
  for (std::size_t at = 0; at < reply.size(); at += packetSize_) {
    const std::size_t end = std::min(reply.size(), at + packetSize_);
    fifo_.emplace_back(reply.begin() + static_cast<std::ptrdiff_t>(at),
                       reply.begin() + static_cast<std::ptrdiff_t>(end));
  }
  if (zeroLengthPackets_ && reply.size() % packetSize_ == 0) fifo_.emplace_back();
}

void EmulatedUnit::ServeReadsLocked() {
  while (!late_.empty() && late_.front().dueMs <= NowMs()) {
    QueueReplyLocked(std::move(late_.front().bytes));
    late_.pop_front();
  }
  while (!waitingReads_.empty()) {
    Urb& urb = waitingReads_.front();
    auto* u = reinterpret_cast<struct usbdevfs_urb*>(urb.urb->data);
    if (halted_) {
      Urb done = urb;
      waitingReads_.pop_front();
      FinishLocked(done, -EPIPE, done.delivered);
      continue;
    }
    // Packet by packet, as the host controller takes them.
    int status = 1;  // still waiting
    while (status == 1 && !fifo_.empty()) {
      const std::vector<std::uint8_t>& packet = fifo_.front();
      if (unitToggle_ != hostToggle_) {
        // Not the toggle the host expects: taken for a repeat, acknowledged
        // and dropped; the unit moves on to its next packet.
        unitToggle_ = hostToggle_;
        fifo_.pop_front();
        continue;
      }
      unitToggle_ = hostToggle_ = !hostToggle_;
      const int room = u->buffer_length - urb.delivered;
      if (static_cast<int>(packet.size()) > room) {
        // More data than the buffer has room for: babble.
        fifo_.pop_front();
        status = -EOVERFLOW;
        break;
      }
      // A zero-length packet carries nothing (and may have no storage).
      if (!packet.empty()) {
        std::memcpy(urb.buffer->data + urb.delivered, packet.data(), packet.size());
      }
      urb.delivered += static_cast<int>(packet.size());
      const bool shortPacket = packet.size() < packetSize_;
      fifo_.pop_front();
      if (shortPacket || urb.delivered == u->buffer_length) status = 0;
    }
    if (status == 1) return;  // the rest has not come yet
    Urb done = urb;
    waitingReads_.pop_front();
    FinishLocked(done, status, done.delivered);
  }
}

void EmulatedUnit::FinishLocked(Urb urb, int status, int actualLength) {
  auto* u = reinterpret_cast<struct usbdevfs_urb*>(urb.urb->data);
  u->status = status;
  u->actual_length = actualLength;
  finished_.push_back(urb);
}

void EmulatedUnit::Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  std::unique_lock<std::mutex> lock(mutex_);
  ServeReadsLocked();
  std::deque<Urb>* from = !discarded_.empty()  ? &discarded_
                          : !finished_.empty() ? &finished_
                                               : nullptr;
  if (from == nullptr) {
    const bool gone = gone_;
    lock.unlock();
    // libusb polls again at once; a short nap keeps that from spinning.
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
    return;
  }
  Urb urb = from->front();
  from->pop_front();
  lock.unlock();

  UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
  umockdev_ioctl_client_complete(client, 0, 0);
  g_object_unref(slot);
  g_object_unref(urb.buffer);
  g_object_unref(urb.urb);
}

void EmulatedUnit::Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  gulong address = 0;
  std::memcpy(&address, arg->data, sizeof address);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = waitingReads_.begin(); it != waitingReads_.end(); ++it) {
    if (it->urb->client_addr == address) {
      // What already arrived stays in the buffer and is reported.
      auto* u = reinterpret_cast<struct usbdevfs_urb*>(it->urb->data);
      u->status = -ENOENT;
      u->actual_length = it->delivered;
      discarded_.push_back(*it);
      waitingReads_.erase(it);
      changed_.notify_all();
      umockdev_ioctl_client_complete(client, 0, 0);
      return;
    }
  }
  // Already finished (or never known): the kernel answers EINVAL.
  umockdev_ioctl_client_complete(client, -1, EINVAL);
}

// ---------------------------------------------------------------------------
// EmulatedBus

EmulatedBus::EmulatedBus() {
  testbed_ = umockdev_testbed_new();
  umockdev_testbed_add_from_string(testbed_, kRootHub, nullptr);
}

EmulatedBus::~EmulatedBus() {
  g_object_unref(testbed_);
  units_.clear();
}

EmulatedUnit* EmulatedBus::Plug(const sim::UnitConfig& config, int port, std::uint16_t vendorId,
                                std::uint16_t productId, std::size_t packetSize, bool node) {
  if (port < 1 || port > 9) return nullptr;
  auto unit = std::make_unique<EmulatedUnit>(config, packetSize);
  const int address = nextAddress_++;
  char name[32];
  std::snprintf(name, sizeof name, "bus/usb/001/%03d", address);
  const std::string nodeName = name;
  unit->devNode_ = "/dev/" + nodeName;
  unit->sysPath_ = "/sys/devices/usb1/1-" + std::to_string(port);

  // The handler must be in place before the "add" event, so that libusb can
  // open the unit as soon as it hears of it.
  if (node &&
      !umockdev_testbed_attach_ioctl(testbed_, unit->devNode_.c_str(), unit->handler_, nullptr)) {
    return nullptr;
  }
  char number[8];
  std::snprintf(number, sizeof number, "%03d", address);
  const std::string description =
      "P: /devices/usb1/1-" + std::to_string(port) + "\n" + (node ? "N: " + nodeName + "\n" : "") +
      "E: SUBSYSTEM=usb\n"
      "E: DEVTYPE=usb_device\n"
      "E: BUSNUM=001\n" +
      "E: DEVNUM=" + number + "\n" + "E: DEVNAME=" + unit->devNode_ + "\n" + "A: busnum=1\\n\n" +
      "A: devnum=" + std::to_string(address) + "\\n\n" +
      "A: speed=12\\n\n"
      "A: bConfigurationValue=1\\n\n"
      "H: descriptors=" +
      UnitDescriptors(vendorId, productId, packetSize) + "\n";
  if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), nullptr)) return nullptr;
  units_.push_back(std::move(unit));
  return units_.back().get();
}

void EmulatedBus::Unplug(EmulatedUnit* unit) {
  unit->Disconnect();
  umockdev_testbed_uevent(testbed_, unit->sysPath_.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, unit->sysPath_.c_str());
}

}  // namespace brisko::test
