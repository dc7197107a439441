#include "publish/mqtt_publisher.h"

#include <mosquitto.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <QFile>

#include "publish/mqtt_payloads.h"

namespace larimo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kKeepAliveSeconds = 15;
// Samples messages in flight at once (below libmosquitto's own limit of 20,
// so the library never queues a message of its own).
constexpr std::size_t kWindow = 16;
// The most rows in one samples message (a backlog after a reconnect goes
// out in messages of this size).
constexpr Long kMaxRowsPerMessage = 1000;
// How long one turn of the loop waits on the socket.
constexpr int kLoopMs = 50;
constexpr milliseconds kFirstRetry{500};
constexpr milliseconds kLongestRetry{10000};
// Refused credentials and failed certificates do not mend themselves.
constexpr milliseconds kRefusedRetry{60000};
constexpr milliseconds kGoodbye{2000};

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

// Qt's texts share their characters between copies; what crosses between
// the threads is copied whole, so that each thread owns what it holds.
QString Detached(const QString& t) { return QString(t.constData(), t.size()); }
QByteArray Detached(const QByteArray& b) { return QByteArray(b.constData(), b.size()); }

PublishedRun Detached(PublishedRun r) {
  for (QString& m : r.memos) m = Detached(m);
  return r;
}

// The rows every unit in use holds.
Long CompleteRows(const ModuleData& d) {
  Long complete = d.DataNum;
  for (const UnitData& u : d.Units) {
    if (IsTrue(u.Mflag)) complete = std::min(complete, u.Count);
  }
  return complete;
}

}  // namespace

struct MqttPublisher::Impl {
  explicit Impl(const MqttSettings& s);
  ~Impl();

  // ---- shared between the run's thread, the network thread and callers (m)
  mutable std::mutex m;
  std::condition_variable cv;
  bool stop = false;
  quint64 generation = 0;  // one per run
  PublishedRun run;
  bool measuring = false;
  bool runDirty = false;           // P/run is to be published (again)
  bool runPending = false;         // P/run published but not yet acknowledged
  std::vector<PublishedRow> rows;  // the run's rows from `kept` on
  Long kept = 0;                   // rows of the run no longer held (acknowledged)
  Long partFirst = 0;              // rows of the run before the store's first
  Long handed = 0;                 // rows of the store copied into `rows`
  Long limit = kBufferSize;
  Long acked = 0;  // rows the broker acknowledged
  std::deque<QByteArray> alarms;
  Status status;

  // ---- the network thread only
  struct InFlight {
    int mid = 0;
    enum class Kind { Samples, Run, Other } kind = Kind::Other;
    quint64 generation = 0;
    Long end = 0;  // samples: the row after the last one in the message
    bool done = false;
  };
  struct mosquitto* mosq = nullptr;
  bool connected = false;
  bool ended = false;      // the connection ended or failed; the client goes next turn
  bool sayOnline = false;  // P/status is due on this connection
  quint64 sentGeneration = 0;
  Long sent = 0;  // rows published on this connection
  std::deque<InFlight> inFlight;
  Clock::time_point nextAttempt{};
  milliseconds retry = kFirstRetry;
  QString lastLogError;

  // ---- fixed at construction
  MqttSettings settings;
  BrokerAddress address;
  QString topic;
  QByteArray statusTopic, runTopic, samplesTopic, alarmTopic;
  QByteArray password;
  bool hasPassword = false;
  std::thread thread;

  void Run();
  bool Connect();
  void Close();
  void Lost(State state, const QString& reason, milliseconds after);
  void PublishDue();
  void Goodbye();
  int Publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain,
              InFlight::Kind kind, Long end = 0);
  void Acknowledged(int mid);
  void SetState(State s, const QString& reason);  // holds m
  Long Available() const { return std::min<Long>(kept + static_cast<Long>(rows.size()), limit); }
  void Take(const ModuleData& d, Long upTo);  // holds m
};

MqttPublisher::Impl::Impl(const MqttSettings& s)
    : settings(s), address(ParseBrokerUrl(s.url).value_or(BrokerAddress{})), topic(s.Topic()) {
  statusTopic = (topic + QStringLiteral("/status")).toUtf8();
  runTopic = (topic + QStringLiteral("/run")).toUtf8();
  samplesTopic = (topic + QStringLiteral("/samples")).toUtf8();
  alarmTopic = (topic + QStringLiteral("/alarm")).toUtf8();
  if (!s.passwordFile.isEmpty()) {
    QString error;
    if (const auto p = ReadPasswordFile(s.passwordFile, &error)) {
      password = p->toUtf8();
      hasPassword = true;
    }
  }
  rows.reserve(kBufferSize);
  InitLibraryOnce();
  // OpenSSL reads the C library's time zone on the network thread (to check
  // certificates) while this thread formats local times: set it up once
  // here, before both, so neither thread ever initialises it.
  tzset();
  thread = std::thread([this] { Run(); });
}

MqttPublisher::Impl::~Impl() {
  {
    std::lock_guard lock(m);
    stop = true;
  }
  cv.notify_all();
  if (thread.joinable()) thread.join();
}

void MqttPublisher::Impl::SetState(State s, const QString& reason) {
  if (status.state == s && status.changes > 0) return;
  status.state = s;
  status.reason = reason;
  ++status.changes;
}

void MqttPublisher::Impl::Run() {
  // A write to a socket the broker closed must come back as an error on
  // this thread, not end the program.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  for (;;) {
    if (mosq != nullptr && ended) Close();
    {
      std::unique_lock lock(m);
      if (stop) break;
      if (mosq == nullptr && Clock::now() < nextAttempt) {
        cv.wait_until(lock, nextAttempt, [this] { return stop; });
        continue;
      }
    }
    if (mosq == nullptr && !Connect()) continue;
    if (connected) PublishDue();
    const int rc = mosquitto_loop(mosq, kLoopMs, 1);
    if (ended || rc == MOSQ_ERR_SUCCESS) continue;
    if (rc == MOSQ_ERR_TLS) {
      Lost(State::TlsFailed,
           lastLogError.isEmpty() ? QString::fromUtf8(mosquitto_strerror(rc)) : lastLogError,
           kRefusedRetry);
    } else {
      const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                               : QString::fromUtf8(mosquitto_strerror(rc));
      Lost(State::Unreachable, why, connected ? kFirstRetry : retry);
    }
  }
  Goodbye();
}

bool MqttPublisher::Impl::Connect() {
  ended = false;
  connected = false;
  lastLogError.clear();
  mosq = mosquitto_new(nullptr, true, this);
  if (mosq == nullptr) {
    Lost(State::Unreachable, QString::fromLocal8Bit(std::strerror(errno)), kLongestRetry);
    return false;
  }
  mosquitto_log_callback_set(mosq, [](struct mosquitto*, void* obj, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) static_cast<Impl*>(obj)->lastLogError = QString::fromUtf8(text);
  });
  mosquitto_connect_callback_set(mosq, [](struct mosquitto*, void* obj, int rc) {
    auto* self = static_cast<Impl*>(obj);
    if (rc == 0) {
      self->connected = true;
      self->sayOnline = true;
      self->retry = kFirstRetry;
      std::lock_guard lock(self->m);
      self->SetState(State::Connected, {});
      // Everything not acknowledged goes out again on this connection.
      self->runDirty = self->runDirty || self->generation > 0;
      self->sent = self->acked;
      self->sentGeneration = self->generation;
      return;
    }
    self->Lost(State::Refused, QString::fromUtf8(mosquitto_connack_string(rc)), kRefusedRetry);
  });
  mosquitto_disconnect_callback_set(mosq, [](struct mosquitto*, void* obj, int rc) {
    auto* self = static_cast<Impl*>(obj);
    if (self->ended) return;  // we ended it ourselves
    self->Lost(State::Unreachable,
               rc == 0 ? QStringLiteral("disconnected")
                       : QString::fromUtf8(
                             mosquitto_strerror(rc == MOSQ_ERR_ERRNO ? MOSQ_ERR_CONN_LOST : rc)),
               // A broker that takes the connection and drops it before
               // accepting it is retried with the growing delay.
               self->connected ? kFirstRetry : self->retry);
  });
  mosquitto_publish_callback_set(mosq, [](struct mosquitto*, void* obj, int mid) {
    static_cast<Impl*>(obj)->Acknowledged(mid);
  });
  mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_will_set(mosq, statusTopic.constData(), 7, "offline", 1, true);
  if (!settings.user.isEmpty()) {
    mosquitto_username_pw_set(mosq, settings.user.toUtf8().constData(),
                              hasPassword ? password.constData() : nullptr);
  }
  if (address.tls) {
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings.caFile.isEmpty()) {
      rc = mosquitto_tls_set(mosq, QFile::encodeName(settings.caFile).constData(), nullptr, nullptr,
                             nullptr, nullptr);
    } else {
      rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
    mosquitto_tls_insecure_set(mosq, false);  // the broker's name must match its certificate
    if (rc != MOSQ_ERR_SUCCESS) {
      Lost(State::TlsFailed, QString::fromUtf8(mosquitto_strerror(rc)), kRefusedRetry);
      return false;
    }
  }
  const int rc = mosquitto_connect_async(mosq, address.host.toUtf8().constData(), address.port,
                                         kKeepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    const bool tls = rc == MOSQ_ERR_TLS;
    QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                       : QString::fromUtf8(mosquitto_strerror(rc));
    if (tls && !lastLogError.isEmpty()) why = lastLogError;
    Lost(tls ? State::TlsFailed : State::Unreachable, why, tls ? kRefusedRetry : retry);
    return false;
  }
  return true;
}

void MqttPublisher::Impl::Close() {
  if (mosq == nullptr) return;
  mosquitto_destroy(mosq);
  mosq = nullptr;
}

// The connection ended or never began: a fresh client is made for the next
// attempt, so that what goes out then comes from one place, the copy of the
// run, in row order (libmosquitto would otherwise resend its own queue first).
void MqttPublisher::Impl::Lost(State state, const QString& reason, milliseconds after) {
  ended = true;
  connected = false;
  inFlight.clear();
  {
    std::lock_guard lock(m);
    SetState(state, reason);
    nextAttempt = Clock::now() + after;
    if (runPending) runDirty = true;
    runPending = false;
  }
  cv.notify_all();
  if (state == State::Unreachable) retry = std::min(after * 2, kLongestRetry);
}

int MqttPublisher::Impl::Publish(const QByteArray& t, const QByteArray& payload, int qos,
                                 bool retain, InFlight::Kind kind, Long end) {
  int mid = 0;
  const int rc = mosquitto_publish(mosq, &mid, t.constData(), static_cast<int>(payload.size()),
                                   payload.constData(), qos, retain);
  if (rc == MOSQ_ERR_SUCCESS && qos > 0)
    inFlight.push_back({mid, kind, sentGeneration, end, false});
  return rc;
}

void MqttPublisher::Impl::PublishDue() {
  if (sayOnline) {
    sayOnline = false;
    Publish(statusTopic, QByteArrayLiteral("online"), 1, true, InFlight::Kind::Other);
  }
  QByteArray runPayload;
  std::vector<QByteArray> newAlarms;
  {
    std::lock_guard lock(m);
    if (sentGeneration != generation) {
      // A new run: its rows count from 0.
      sentGeneration = generation;
      sent = 0;
    }
    if (runDirty) {
      runPayload = RunPayload(run, measuring);
      runDirty = false;
      runPending = true;
    }
    while (!alarms.empty()) {
      newAlarms.push_back(std::move(alarms.front()));
      alarms.pop_front();
    }
  }
  if (!runPayload.isEmpty()) Publish(runTopic, runPayload, 1, true, InFlight::Kind::Run);
  for (const QByteArray& a : newAlarms) Publish(alarmTopic, a, 1, false, InFlight::Kind::Other);

  std::vector<PublishedRow> chunk;
  PublishedRun info;
  while (inFlight.size() < kWindow) {
    Long first = 0;
    bool newest = false;
    {
      std::lock_guard lock(m);
      const Long available = Available();
      if (sent >= available) return;
      first = sent;
      const Long n = std::min(available - sent, kMaxRowsPerMessage);
      chunk.assign(rows.begin() + (first - kept), rows.begin() + (first - kept + n));
      info = Detached(run);
      newest = first + n == available;
    }
    const Long end = first + static_cast<Long>(chunk.size());
    if (Publish(samplesTopic, SamplesPayload(info, first, chunk.data(), chunk.size()), 1, false,
                InFlight::Kind::Samples, end) != MOSQ_ERR_SUCCESS) {
      return;  // the loop finds the connection's end
    }
    sent = end;
    if (!newest) continue;
    // The newest reading of each unit, for a dashboard tile.
    for (int u = 0; u < kUnitCount; ++u) {
      if (!info.inUse[u]) continue;
      for (auto r = chunk.rbegin(); r != chunk.rend(); ++r) {
        if (std::isnan((*r)[u])) continue;
        Publish((topic + QStringLiteral("/ID%1/value").arg(u)).toUtf8(), ValuePayload((*r)[u]), 0,
                true, InFlight::Kind::Other);
        break;
      }
    }
  }
}

void MqttPublisher::Impl::Acknowledged(int mid) {
  const auto it = std::find_if(inFlight.begin(), inFlight.end(),
                               [mid](const InFlight& f) { return f.mid == mid; });
  if (it == inFlight.end()) return;
  it->done = true;
  bool changed = false;
  std::lock_guard lock(m);
  // Rows count as acknowledged only up to the first message still in flight.
  while (!inFlight.empty() && inFlight.front().done) {
    const InFlight& f = inFlight.front();
    if (f.generation == generation) {
      if (f.kind == InFlight::Kind::Samples) acked = std::max(acked, f.end);
      if (f.kind == InFlight::Kind::Run) runPending = false;
      changed = true;
    }
    inFlight.pop_front();
  }
  if (changed) cv.notify_all();
}

void MqttPublisher::Impl::Goodbye() {
  if (mosq == nullptr) return;
  if (connected) {
    // A clean disconnect does not send the last will: say "offline" ourselves.
    int mid = 0;
    mosquitto_publish(mosq, &mid, statusTopic.constData(), 7, "offline", 1, true);
    inFlight.push_back({mid, InFlight::Kind::Other, 0, 0, false});
    const auto until = Clock::now() + kGoodbye;
    while (connected && !ended && Clock::now() < until &&
           std::any_of(inFlight.begin(), inFlight.end(),
                       [mid](const InFlight& f) { return f.mid == mid; })) {
      if (mosquitto_loop(mosq, kLoopMs, 1) != MOSQ_ERR_SUCCESS) break;
    }
    ended = true;
    mosquitto_disconnect(mosq);
    mosquitto_loop(mosq, kLoopMs, 1);
  }
  Close();
}

void MqttPublisher::Impl::Take(const ModuleData& d, Long upTo) {
  upTo = std::min(upTo, limit - partFirst);
  for (Long k = handed; k < upTo; ++k) rows.push_back(RowOf(d, k));
  handed = std::max(handed, upTo);
  if (run.memos != d.Memo) {
    for (std::size_t i = 0; i < run.memos.size(); ++i) run.memos[i] = Detached(d.Memo[i]);
    runDirty = true;
  }
}

MqttPublisher::MqttPublisher(const MqttSettings& settings)
    : impl_(std::make_unique<Impl>(settings)) {}

MqttPublisher::~MqttPublisher() = default;

void MqttPublisher::RunStarted(const ModuleData& d) {
  std::lock_guard lock(impl_->m);
  ++impl_->generation;
  impl_->run = Detached(PublishedRun::From(d));
  impl_->measuring = true;
  impl_->runDirty = true;
  impl_->runPending = false;
  impl_->rows.clear();
  impl_->kept = 0;
  impl_->partFirst = 0;
  impl_->handed = 0;
  impl_->acked = 0;
}

void MqttPublisher::SamplesStored(const ModuleData& d) {
  std::lock_guard lock(impl_->m);
  impl_->Take(d, CompleteRows(d));
}

void MqttPublisher::RunStopped(const ModuleData& d, const RunEnd&) {
  {
    std::lock_guard lock(impl_->m);
    impl_->Take(d, d.DataNum);
    impl_->measuring = false;
    impl_->runDirty = true;
  }
}

void MqttPublisher::PartStarted(const ModuleData& d, Long firstRow) {
  std::lock_guard lock(impl_->m);
  Impl& p = *impl_;
  // The run goes on: its rows keep counting, and those the broker has
  // acknowledged are let go so a long split run holds only what is unsent.
  const Long done = std::min(p.acked, p.kept + static_cast<Long>(p.rows.size()));
  if (done > p.kept) {
    p.rows.erase(p.rows.begin(), p.rows.begin() + (done - p.kept));
    p.kept = done;
  }
  p.partFirst = firstRow;
  p.handed = 0;
  p.Take(d, CompleteRows(d));
}

void MqttPublisher::SetRowLimit(Long n) {
  std::lock_guard lock(impl_->m);
  impl_->limit = n;
}

void MqttPublisher::PublishAlarm(const QByteArray& json) {
  std::lock_guard lock(impl_->m);
  impl_->alarms.push_back(Detached(json));
}

Long MqttPublisher::WaitAcknowledged(std::chrono::milliseconds timeout) {
  Impl& p = *impl_;
  std::unique_lock lock(p.m);
  // A refusal stands for a minute: no use waiting for it.
  const auto done = [&p] {
    return (p.acked >= p.Available() && !p.runDirty && !p.runPending) ||
           p.status.state == State::Refused || p.status.state == State::TlsFailed;
  };
  p.cv.wait_for(lock, timeout, done);
  return p.Available() - p.acked;
}

MqttPublisher::Status MqttPublisher::CurrentStatus() const {
  std::lock_guard lock(impl_->m);
  Status s = impl_->status;
  s.reason = Detached(s.reason);
  s.unacknowledged = impl_->Available() - impl_->acked;
  return s;
}

QString MqttPublisher::Url() const { return impl_->settings.url.trimmed(); }

QString MqttPublisher::Topic() const { return impl_->topic; }

QString DescribeMqttStatus(const MqttPublisher::Status& s, const QString& url) {
  switch (s.state) {
    case MqttPublisher::State::Connecting:
      return QStringLiteral("connecting to %1").arg(url);
    case MqttPublisher::State::Connected:
      return QStringLiteral("publishing to %1").arg(url);
    case MqttPublisher::State::Unreachable:
      return QStringLiteral("cannot reach %1 (%2); retrying").arg(url, s.reason);
    case MqttPublisher::State::Refused:
      return QStringLiteral("%1 refused the connection (%2)").arg(url, s.reason);
    case MqttPublisher::State::TlsFailed:
      return QStringLiteral("TLS with %1 failed (%2)").arg(url, s.reason);
  }
  return {};
}

}  // namespace larimo
