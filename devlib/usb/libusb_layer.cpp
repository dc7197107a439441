#include "usb/libusb_layer.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <system_error>

namespace brisko {

namespace {

// The unit has one interface; both pipes belong to it.
constexpr int kInterface = 0;

std::uint32_t StatusOf(int libusbResult) {
  switch (libusbResult) {
    case LIBUSB_SUCCESS:
      return kUsbOk;
    case LIBUSB_ERROR_TIMEOUT:
      return kUsbTimeout;
    case LIBUSB_ERROR_PIPE:
      return kUsbStall;
    case LIBUSB_ERROR_NO_DEVICE:
      return kUsbNoDevice;
    default:
      return kUsbError;
  }
}

std::uint32_t StatusOfTransfer(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return kUsbOk;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return kUsbTimeout;
    case LIBUSB_TRANSFER_STALL:
      return kUsbStall;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return kUsbNoDevice;
    default:  // error, cancelled, overflow
      return kUsbError;
  }
}

// wMaxPacketSize of the reply pipe in the unit's configuration (it has one;
// the descriptor is read without opening the unit); 0 when it is not there.
std::uint32_t ReplyPacketSize(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS) return 0;
  std::uint32_t size = 0;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    for (int a = 0; a < config->interface[i].num_altsetting; ++a) {
      const libusb_interface_descriptor& setting = config->interface[i].altsetting[a];
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        if (setting.endpoint[e].bEndpointAddress == kPipeIn && size == 0) {
          size = setting.endpoint[e].wMaxPacketSize & 0x7FFu;  // bits 11-12: not a size
        }
      }
    }
  }
  libusb_free_config_descriptor(config);
  return size;
}

void ReleaseAndClose(libusb_device_handle* handle) {
  libusb_release_interface(handle, kInterface);
  libusb_close(handle);
}

}  // namespace

LibusbLayer::~LibusbLayer() { Uninit(); }

std::uint32_t LibusbLayer::CreateLock() { return 0; }
void LibusbLayer::Lock() { table_mutex_.lock(); }
void LibusbLayer::Unlock() { table_mutex_.unlock(); }
void LibusbLayer::CloseLock() {}

bool LibusbLayer::Running() const { return running_.load(); }

std::uint32_t LibusbLayer::Init(std::uint16_t vendorId, std::uint16_t productId,
                                const UsbEvents& events) {
  std::lock_guard<std::mutex> session(session_mutex_);
  if (ctx_ != nullptr) return kUsbError;  // a session is already running

  libusb_context* ctx = nullptr;
  if (libusb_init(&ctx) != LIBUSB_SUCCESS) return kUsbError;
  ctx_ = ctx;
  polling_ = !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG);
  events_ = events;
  vendorId_ = vendorId;
  productId_ = productId;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    sessionFirstId_ = nextId_;
  }
  {
    std::lock_guard<std::mutex> done(done_mutex_);
    cancelling_ = false;
  }
  {
    std::lock_guard<std::mutex> queue(queue_mutex_);
    accepting_ = true;
    stop_worker_ = false;
  }
  stop_events_.store(false);

  bool started = true;
  try {
    worker_ = std::thread(&LibusbLayer::WorkerLoop, this);
    event_thread_ = std::thread(&LibusbLayer::EventLoop, this);
    // Named, so that they can be told apart from libusb's own thread.
    pthread_setname_np(worker_.native_handle(), "brisko-usb-att");
    pthread_setname_np(event_thread_.native_handle(), "brisko-usb-evt");
  } catch (const std::system_error&) {
    started = false;
  }
  // Without hotplug the event thread looks at the bus itself, first at once.
  if (started && polling_) {
    running_.store(true);
    return kUsbOk;
  }
  // With enumeration, units already plugged in are reported from inside the
  // registration; the callback only queues them for the worker.
  if (started && libusb_hotplug_register_callback(
                     ctx_,
                     static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                       LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                     LIBUSB_HOTPLUG_ENUMERATE, vendorId, productId, LIBUSB_HOTPLUG_MATCH_ANY,
                     &LibusbLayer::OnHotplug, this, &hotplug_) == LIBUSB_SUCCESS) {
    hotplug_registered_ = true;
    running_.store(true);
    return kUsbOk;
  }

  StopThreads();
  EndUnits();
  libusb_exit(ctx_);
  ctx_ = nullptr;
  return kUsbError;
}

void LibusbLayer::Uninit() {
  std::lock_guard<std::mutex> session(session_mutex_);
  if (ctx_ == nullptr) return;
  running_.store(false);
  if (hotplug_registered_) {
    libusb_hotplug_deregister_callback(ctx_, hotplug_);
    hotplug_registered_ = false;
  }
  StopThreads();

  EndUnits();

  libusb_exit(ctx_);
  ctx_ = nullptr;
  events_ = UsbEvents{};
}

void LibusbLayer::EndUnits() {
  // No event is handled any more; attaches that still run are ended by
  // cancelling their transfers (and refusing new ones), then joined. The
  // transfers are freed only further down, by this thread.
  std::vector<libusb_transfer*> flying;
  {
    std::lock_guard<std::mutex> units(units_mutex_);
    std::lock_guard<std::mutex> done(done_mutex_);
    cancelling_ = true;
    for (auto& unit : units_) {
      if (unit->inFlight) flying.push_back(unit->transfer);
    }
  }
  for (libusb_transfer* transfer : flying) libusb_cancel_transfer(transfer);
  // The event thread has stopped: cancelled transfers complete only while
  // someone handles libusb's events, so this thread does it meanwhile, until
  // every attach has ended and every transfer (also one of another thread
  // of the caller's) has come back.
  for (;;) {
    bool running = false;
    {
      std::lock_guard<std::mutex> units(units_mutex_);
      for (const auto& unit : units_) running = running || !unit->attachDone || unit->busy > 0;
    }
    if (!running) break;
    timeval step{0, 10000};
    libusb_handle_events_timeout_completed(ctx_, &step, nullptr);
  }
  std::vector<std::unique_ptr<Unit>> units;
  {
    std::unique_lock<std::mutex> lock(units_mutex_);
    for (auto& unit : units_) {
      if (unit->handle != nullptr) CloseUnitLocked(lock, *unit);
      unit->present = false;
    }
    units.swap(units_);
    sessionFirstId_ = nextId_;  // the handles given out so far are nobody's now
  }
  for (auto& unit : units) FreeUnit(std::move(unit));
}

void LibusbLayer::StopThreads() {
  {
    std::lock_guard<std::mutex> queue(queue_mutex_);
    accepting_ = false;
    stop_worker_ = true;
  }
  queue_cv_.notify_all();
  if (worker_.joinable()) worker_.join();

  stop_events_.store(true);
  libusb_interrupt_event_handler(ctx_);
  if (event_thread_.joinable()) event_thread_.join();
  for (libusb_device* device : polled_) libusb_unref_device(device);
  polled_.clear();

  // Events the worker did not reach are dropped: no handler runs any more.
  std::lock_guard<std::mutex> queue(queue_mutex_);
  for (const Event& event : queue_) libusb_unref_device(event.device);
  queue_.clear();
}

int LIBUSB_CALL LibusbLayer::OnHotplug(libusb_context*, libusb_device* device,
                                       libusb_hotplug_event event, void* self) {
  static_cast<LibusbLayer*>(self)->Queue(
      event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? EventKind::kArrived : EventKind::kLeft,
      device);
  return 0;  // stay registered
}

void LibusbLayer::Queue(EventKind kind, libusb_device* device) {
  {
    std::lock_guard<std::mutex> queue(queue_mutex_);
    if (!accepting_) return;
    queue_.push_back(Event{kind, libusb_ref_device(device)});
  }
  queue_cv_.notify_one();
}

void LibusbLayer::PollBus() {
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(ctx_, &list);
  if (count < 0) return;
  std::vector<libusb_device*> seen;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor;
    if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS &&
        descriptor.idVendor == vendorId_ && descriptor.idProduct == productId_) {
      seen.push_back(libusb_ref_device(list[i]));
    }
  }
  libusb_free_device_list(list, 1);
  auto among = [](const std::vector<libusb_device*>& devices, libusb_device* device) {
    return std::find(devices.begin(), devices.end(), device) != devices.end();
  };
  for (libusb_device* device : polled_) {
    if (!among(seen, device)) Queue(EventKind::kLeft, device);
  }
  for (libusb_device* device : seen) {
    if (!among(polled_, device)) Queue(EventKind::kArrived, device);
  }
  for (libusb_device* device : polled_) libusb_unref_device(device);
  polled_.swap(seen);
}

void LibusbLayer::EventLoop() {
  auto nextPoll = std::chrono::steady_clock::now();
  while (!stop_events_.load()) {
    timeval timeout{1, 0};
    if (polling_) {
      if (std::chrono::steady_clock::now() >= nextPoll) {
        PollBus();
        nextPoll = std::chrono::steady_clock::now() + kPollInterval;
      }
      const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
          nextPoll - std::chrono::steady_clock::now());
      timeout = timeval{0, static_cast<suseconds_t>(std::max<std::int64_t>(left.count(), 0))};
    }
    const int result = libusb_handle_events_timeout_completed(ctx_, &timeout, nullptr);
    // A failing event source must not turn this loop into a busy wait.
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_INTERRUPTED) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

void LibusbLayer::WorkerLoop() {
  for (;;) {
    std::unique_lock<std::mutex> queue(queue_mutex_);
    queue_cv_.wait(queue, [this] { return stop_worker_ || !queue_.empty(); });
    if (stop_worker_) return;
    const Event event = queue_.front();
    queue_.pop_front();
    queue.unlock();

    JoinEndedAttaches();
    if (event.kind == EventKind::kArrived) {
      HandleArrival(event.device);
    } else {
      HandleDeparture(event.device);
    }
    libusb_unref_device(event.device);
  }
}

void LibusbLayer::JoinEndedAttaches() {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    for (auto& unit : units_) {
      if (unit->attachDone && unit->attach.joinable()) ended.push_back(std::move(unit->attach));
    }
  }
  for (std::thread& t : ended) t.join();
}

void LibusbLayer::HandleArrival(libusb_device* device) {
  std::lock_guard<std::mutex> lock(units_mutex_);
  // Enumeration and a plug-in racing with it may report one unit twice.
  for (const auto& unit : units_) {
    if (unit->present && unit->device == device) return;
  }
  auto record = std::make_unique<Unit>();
  record->transfer = libusb_alloc_transfer(0);
  if (record->transfer == nullptr) return;
  record->owner = this;
  record->id = nextId_++;
  record->device = libusb_ref_device(device);
  const std::uint32_t packet = ReplyPacketSize(device);
  if (packet > 0) record->packetSize = packet;
  Unit* unit = record.get();
  units_.push_back(std::move(record));
  try {
    unit->attach = std::thread(&LibusbLayer::AttachUnit, this, unit);
    pthread_setname_np(unit->attach.native_handle(), "brisko-usb-unit");
  } catch (const std::system_error&) {
    // No thread to spare: the unit is not taken, its departure still frees it.
    unit->attachDone = true;
  }
}

// On the unit's attach thread.
void LibusbLayer::AttachUnit(Unit* unit) {
  libusb_device_handle* handle = nullptr;
  const int opened = libusb_open(unit->device, &handle);
  int claimed = LIBUSB_ERROR_OTHER;
  if (opened == LIBUSB_SUCCESS) {
    // A kernel driver bound to the interface is detached while it is
    // claimed, and bound again when it is released.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    claimed = libusb_claim_interface(handle, kInterface);
    if (claimed != LIBUSB_SUCCESS) libusb_close(handle);
  }
  // A unit that has already gone again is not worth a message.
  if (opened != LIBUSB_SUCCESS && opened != LIBUSB_ERROR_NO_DEVICE) {
    Report(unit->device, "open", opened);
  } else if (opened == LIBUSB_SUCCESS && claimed != LIBUSB_SUCCESS &&
             claimed != LIBUSB_ERROR_NO_DEVICE) {
    Report(unit->device, "claim", claimed);
  }
  bool take = false;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    if (opened == LIBUSB_SUCCESS && claimed == LIBUSB_SUCCESS) {
      unit->handle = handle;
      // A unit that left meanwhile is not offered.
      take = unit->present;
      unit->offered = take;
    }
  }
  const DeviceHandle id = reinterpret_cast<DeviceHandle>(unit->id);
  const bool accepted = take && events_.onAttach != nullptr && events_.onAttach(id, events_.user);
  std::unique_lock<std::mutex> lock(units_mutex_);
  // A declined unit is not held open; its departure is still reported.
  if (!accepted && unit->handle != nullptr) CloseUnitLocked(lock, *unit);
  unit->attachDone = true;
}

void LibusbLayer::Report(libusb_device* device, const char* what, int error) {
  const std::uint32_t where =
      std::uint32_t{libusb_get_bus_number(device)} << 8 | libusb_get_device_address(device);
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    if (std::find(reported_.begin(), reported_.end(), where) != reported_.end()) return;
    reported_.push_back(where);
  }
  const unsigned bus = where >> 8, address = where & 0xFF;
  if (error == LIBUSB_ERROR_ACCESS) {
    std::fprintf(stderr,
                 "Brisko: measuring unit on bus %03u device %03u: no permission to open it.\n"
                 "  Install the udev rule /etc/udev/rules.d/70-brisko.rules with the line\n"
                 "  SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                 "ATTR{idProduct}==\"%04x\", MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n"
                 "  then run: sudo udevadm control --reload-rules && sudo udevadm trigger "
                 "--subsystem-match=usb\n",
                 bus, address, vendorId_, productId_);
  } else if (error == LIBUSB_ERROR_BUSY) {
    std::fprintf(stderr,
                 "Brisko: measuring unit on bus %03u device %03u: another program holds it "
                 "(its interface cannot be claimed).\n",
                 bus, address);
  } else {
    std::fprintf(stderr, "Brisko: measuring unit on bus %03u device %03u: cannot %s it: %s.\n", bus,
                 address, what, libusb_strerror(error));
  }
  std::fflush(stderr);
}

void LibusbLayer::HandleDeparture(libusb_device* device) {
  Unit* unit = nullptr;
  std::thread attach;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    for (const auto& candidate : units_) {
      if (candidate->present && candidate->device == device) {
        unit = candidate.get();
        break;
      }
    }
    if (unit == nullptr) return;
    // From now on transfers to it fail at once.
    unit->present = false;
    attach = std::move(unit->attach);
  }
  bool inFlight = false;
  {
    std::lock_guard<std::mutex> done(done_mutex_);
    inFlight = unit->inFlight;
  }
  // An attach still running is not left waiting for its transfer timeout.
  // (The transfer is freed only below, by this thread.)
  if (inFlight) libusb_cancel_transfer(unit->transfer);
  if (attach.joinable()) attach.join();
  bool offered = false;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    offered = unit->offered;
  }
  if (offered && events_.onDetach != nullptr) {
    events_.onDetach(reinterpret_cast<DeviceHandle>(unit->id), events_.user);
  }

  std::unique_ptr<Unit> record;
  {
    std::unique_lock<std::mutex> lock(units_mutex_);
    if (unit->handle != nullptr) CloseUnitLocked(lock, *unit);
    // No transfer uses it any more (busy is 0), and none can start: the
    // record goes.
    for (auto it = units_.begin(); it != units_.end(); ++it) {
      if (it->get() == unit) {
        record = std::move(*it);
        units_.erase(it);
        break;
      }
    }
  }
  FreeUnit(std::move(record));
}

void LibusbLayer::FreeUnit(std::unique_ptr<Unit> unit) {
  if (unit == nullptr) return;
  if (unit->attach.joinable()) unit->attach.join();
  if (unit->transfer != nullptr) libusb_free_transfer(unit->transfer);
  if (unit->device != nullptr) libusb_unref_device(unit->device);
}

std::size_t LibusbLayer::UnitRecords() {
  std::lock_guard<std::mutex> lock(units_mutex_);
  return units_.size();
}

LibusbLayer::Unit* LibusbLayer::Acquire(DeviceHandle device, std::uint32_t& status) {
  const auto id = reinterpret_cast<std::uintptr_t>(device);
  std::lock_guard<std::mutex> lock(units_mutex_);
  Unit* unit = nullptr;
  for (const auto& candidate : units_) {
    if (candidate->id == id) unit = candidate.get();
  }
  if (unit == nullptr) {
    // A handle of this session whose unit has gone, or no handle at all.
    status = id >= sessionFirstId_ && id < nextId_ ? kUsbNoDevice : kUsbInvalidHandle;
    return nullptr;
  }
  if (!unit->present || unit->handle == nullptr) {
    status = kUsbNoDevice;
    return nullptr;
  }
  ++unit->busy;
  return unit;
}

void LibusbLayer::Release(Unit& unit) {
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    --unit.busy;
  }
  idle_cv_.notify_all();
}

void LibusbLayer::CloseUnitLocked(std::unique_lock<std::mutex>& lock, Unit& unit) {
  idle_cv_.wait(lock, [&unit] { return unit.busy == 0; });
  libusb_device_handle* handle = unit.handle;
  unit.handle = nullptr;
  if (handle != nullptr) ReleaseAndClose(handle);
}

std::uint32_t LibusbLayer::Transfer(DeviceHandle device, std::uint8_t pipe, std::uint8_t* buffer,
                                    std::uint32_t size, std::uint32_t* transferred,
                                    std::uint32_t timeoutMs) {
  if (transferred != nullptr) *transferred = 0;
  if ((buffer == nullptr && size != 0) || size > static_cast<std::uint32_t>(INT_MAX)) {
    return kUsbError;
  }
  std::uint32_t status = kUsbOk;
  Unit* const unit = Acquire(device, status);
  if (unit == nullptr) return status;
  // libusb waits forever on a timeout of 0; the shortest real wait is 1 ms.
  const unsigned int timeout = timeoutMs == 0 ? 1u : timeoutMs;
  int moved = 0;
  status = BulkTransfer(*unit, pipe, buffer, static_cast<int>(size), timeout, &moved);
  Release(*unit);
  if (transferred != nullptr && moved > 0) *transferred = static_cast<std::uint32_t>(moved);
  return status;
}

// The unit's transfer is submitted here and completed by the event thread,
// which is the only thread that handles libusb's events; the caller waits
// for the completion under the layer's own lock.
std::uint32_t LibusbLayer::BulkTransfer(Unit& unit, std::uint8_t pipe, std::uint8_t* buffer,
                                        int size, unsigned int timeoutMs, int* moved) {
  std::lock_guard<std::mutex> turn(unit.exchange);
  libusb_transfer* const transfer = unit.transfer;
  libusb_fill_bulk_transfer(transfer, unit.handle, pipe, buffer, size, &LibusbLayer::OnTransferDone,
                            &unit, timeoutMs);
  std::unique_lock<std::mutex> lock(done_mutex_);
  if (cancelling_) return kUsbNoDevice;
  unit.done = false;
  const int submitted = libusb_submit_transfer(transfer);
  if (submitted != LIBUSB_SUCCESS) return StatusOf(submitted);
  unit.inFlight = true;
  // libusb ends the transfer at its timeout; should that ever not happen,
  // it is cancelled, and reused only once the cancellation has completed.
  const auto bound = std::chrono::milliseconds(timeoutMs) + std::chrono::seconds(5);
  if (!done_cv_.wait_for(lock, bound, [&unit] { return unit.done; })) {
    lock.unlock();
    libusb_cancel_transfer(transfer);
    lock.lock();
    done_cv_.wait(lock, [&unit] { return unit.done; });
  }
  unit.inFlight = false;
  *moved = transfer->actual_length;
  return StatusOfTransfer(transfer->status);
}

void LIBUSB_CALL LibusbLayer::OnTransferDone(libusb_transfer* transfer) {
  auto* unit = static_cast<Unit*>(transfer->user_data);
  LibusbLayer* const layer = unit->owner;  // the unit may go once done is set
  {
    std::lock_guard<std::mutex> lock(layer->done_mutex_);
    unit->done = true;
  }
  layer->done_cv_.notify_all();
}

void LibusbLayer::ResetPipe(DeviceHandle device, std::uint8_t pipe) {
  std::uint32_t status = kUsbOk;
  Unit* const unit = Acquire(device, status);
  if (unit == nullptr) return;
  {
    std::lock_guard<std::mutex> turn(unit->exchange);
    libusb_clear_halt(unit->handle, pipe);
  }
  Release(*unit);
}

std::uint32_t LibusbLayer::MaxPacketSize(DeviceHandle device, std::uint8_t) {
  const auto id = reinterpret_cast<std::uintptr_t>(device);
  std::lock_guard<std::mutex> lock(units_mutex_);
  for (const auto& unit : units_) {
    if (unit->id == id) return unit->packetSize;
  }
  return 64;
}

void LibusbLayer::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

UsbLayer& DefaultUsbLayer() {
  // Never destroyed: unloading the library does not end a running session.
  static LibusbLayer* const layer = new LibusbLayer;
  return *layer;
}

}  // namespace brisko
