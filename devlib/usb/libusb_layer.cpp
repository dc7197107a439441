#include "usb/libusb_layer.h"

#include <pthread.h>

#include <chrono>
#include <climits>
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
  if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
    libusb_exit(ctx);
    return kUsbError;
  }
  ctx_ = ctx;
  events_ = events;
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

  std::unique_lock<std::mutex> lock(units_mutex_);
  for (auto& unit : units_) {
    if (unit->handle != nullptr) CloseUnitLocked(lock, *unit);
    if (unit->device != nullptr) libusb_unref_device(unit->device);
    unit->device = nullptr;
    unit->present = false;
  }
  units_.clear();
  lock.unlock();

  libusb_exit(ctx_);
  ctx_ = nullptr;
  events_ = UsbEvents{};
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

  // Events the worker did not reach are dropped: no handler runs any more.
  std::lock_guard<std::mutex> queue(queue_mutex_);
  for (const Event& event : queue_) libusb_unref_device(event.device);
  queue_.clear();
}

int LIBUSB_CALL LibusbLayer::OnHotplug(libusb_context*, libusb_device* device,
                                       libusb_hotplug_event event, void* self) {
  auto* layer = static_cast<LibusbLayer*>(self);
  const EventKind kind =
      event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? EventKind::kArrived : EventKind::kLeft;
  {
    std::lock_guard<std::mutex> queue(layer->queue_mutex_);
    if (!layer->accepting_) return 0;
    layer->queue_.push_back(Event{kind, libusb_ref_device(device)});
  }
  layer->queue_cv_.notify_one();
  return 0;  // stay registered
}

void LibusbLayer::EventLoop() {
  while (!stop_events_.load()) {
    timeval timeout{1, 0};
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

    if (event.kind == EventKind::kArrived) {
      HandleArrival(event.device);
    } else {
      HandleDeparture(event.device);
    }
    libusb_unref_device(event.device);
  }
}

void LibusbLayer::HandleArrival(libusb_device* device) {
  {
    // Enumeration and a plug-in racing with it may report one unit twice.
    std::lock_guard<std::mutex> lock(units_mutex_);
    for (const auto& unit : units_) {
      if (unit->present && unit->device == device) return;
    }
  }
  libusb_device_handle* handle = nullptr;
  if (libusb_open(device, &handle) != LIBUSB_SUCCESS) return;
  if (libusb_claim_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    libusb_close(handle);
    return;
  }

  Unit* unit = nullptr;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    units_.push_back(std::make_unique<Unit>());
    unit = units_.back().get();
    unit->device = libusb_ref_device(device);
    unit->handle = handle;
  }
  const bool accepted = events_.onAttach != nullptr && events_.onAttach(unit, events_.user);
  if (!accepted) {
    // A declined unit is not held open; its departure is still reported.
    std::unique_lock<std::mutex> lock(units_mutex_);
    CloseUnitLocked(lock, *unit);
  }
}

void LibusbLayer::HandleDeparture(libusb_device* device) {
  Unit* unit = nullptr;
  {
    std::lock_guard<std::mutex> lock(units_mutex_);
    for (const auto& candidate : units_) {
      if (candidate->present && candidate->device == device) {
        unit = candidate.get();
        break;
      }
    }
    if (unit == nullptr) return;  // never opened, so never reported
    // From now on transfers to it fail at once.
    unit->present = false;
  }
  if (events_.onDetach != nullptr) events_.onDetach(unit, events_.user);

  std::unique_lock<std::mutex> lock(units_mutex_);
  if (unit->handle != nullptr) CloseUnitLocked(lock, *unit);
  libusb_unref_device(unit->device);
  unit->device = nullptr;
}

libusb_device_handle* LibusbLayer::Acquire(DeviceHandle device, Unit*& unit,
                                           std::uint32_t& status) {
  std::lock_guard<std::mutex> lock(units_mutex_);
  unit = nullptr;
  for (const auto& candidate : units_) {
    if (candidate.get() == device) unit = candidate.get();
  }
  if (unit == nullptr) {
    status = kUsbInvalidHandle;
    return nullptr;
  }
  if (!unit->present || unit->handle == nullptr) {
    status = kUsbNoDevice;
    return nullptr;
  }
  ++unit->busy;
  return unit->handle;
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
  Unit* unit = nullptr;
  std::uint32_t status = kUsbOk;
  libusb_device_handle* const handle = Acquire(device, unit, status);
  if (handle == nullptr) return status;
  // libusb waits forever on a timeout of 0; the shortest real wait is 1 ms.
  const unsigned int timeout = timeoutMs == 0 ? 1u : timeoutMs;
  int moved = 0;
  status = BulkTransfer(handle, pipe, buffer, static_cast<int>(size), timeout, &moved);
  Release(*unit);
  if (transferred != nullptr && moved > 0) *transferred = static_cast<std::uint32_t>(moved);
  return status;
}

// The transfer is submitted here and completed by the event thread, which
// is the only thread that handles libusb's events; the caller waits for the
// completion under the layer's own lock.
std::uint32_t LibusbLayer::BulkTransfer(libusb_device_handle* handle, std::uint8_t pipe,
                                        std::uint8_t* buffer, int size, unsigned int timeoutMs,
                                        int* moved) {
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (transfer == nullptr) return kUsbError;
  Completion completion{this, false};
  libusb_fill_bulk_transfer(transfer, handle, pipe, buffer, size, &LibusbLayer::OnTransferDone,
                            &completion, timeoutMs);
  const int submitted = libusb_submit_transfer(transfer);
  if (submitted != LIBUSB_SUCCESS) {
    libusb_free_transfer(transfer);
    return StatusOf(submitted);
  }
  {
    std::unique_lock<std::mutex> lock(done_mutex_);
    // libusb ends the transfer at its timeout; should that ever not happen,
    // it is cancelled, and freed only once the cancellation has completed.
    const auto bound = std::chrono::milliseconds(timeoutMs) + std::chrono::seconds(5);
    if (!done_cv_.wait_for(lock, bound, [&completion] { return completion.done; })) {
      lock.unlock();
      libusb_cancel_transfer(transfer);
      lock.lock();
      done_cv_.wait(lock, [&completion] { return completion.done; });
    }
  }
  *moved = transfer->actual_length;
  const std::uint32_t status = StatusOfTransfer(transfer->status);
  libusb_free_transfer(transfer);
  return status;
}

void LIBUSB_CALL LibusbLayer::OnTransferDone(libusb_transfer* transfer) {
  auto* completion = static_cast<Completion*>(transfer->user_data);
  LibusbLayer* const layer = completion->layer;  // completion may go once done is set
  {
    std::lock_guard<std::mutex> lock(layer->done_mutex_);
    completion->done = true;
  }
  layer->done_cv_.notify_all();
}

void LibusbLayer::ResetPipe(DeviceHandle device, std::uint8_t pipe) {
  Unit* unit = nullptr;
  std::uint32_t status = kUsbOk;
  libusb_device_handle* const handle = Acquire(device, unit, status);
  if (handle == nullptr) return;
  libusb_clear_halt(handle, pipe);
  Release(*unit);
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
