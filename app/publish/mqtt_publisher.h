#pragma once
// Publishes the run to an MQTT broker, for the lab's dashboards and
// databases: a RunObserver the window and the headless recorder add to the
// run controller alike.
//
// Topics under the prefix P (the README lists them as a stable interface):
//   P/status     "online", retained; "offline" as the last will and when the
//                publisher ends
//   P/run        the run's conditions and state, retained JSON
//   P/samples    QoS 1, the new rows as JSON (SamplesPayload)
//   P/ID<n>/value  the newest reading of unit n, retained
//   P/alarm      QoS 1, events handed to PublishAlarm
//
// Threads: the observer calls come on the thread that drives the run. They
// only copy the rows the cycle stored into the publisher's own copy of the
// run (under a lock held for that copy) and return; the network is served
// by the publisher's own thread, which runs libmosquitto's loop, so the run
// never waits for the broker. Status, WaitAcknowledged and PublishAlarm may
// be called from any thread.
//
// Nothing is lost: the publisher knows the last row the broker acknowledged
// (the PUBACK of each samples message). When the connection ends it
// reconnects with a growing delay and publishes again from that row out of
// its own copy, so a subscriber with a persistent session gets every row at
// least once, in the order of "first". Refused credentials and a failed TLS
// verification are retried only every minute; TLS never falls back to a
// plain connection.

#include <chrono>
#include <memory>

#include <QByteArray>
#include <QString>

#include "publish/mqtt_settings.h"
#include "run/acquisition.h"
#include "store/module_data.h"

namespace larimo {

class MqttPublisher final : public RunObserver {
 public:
  enum class State {
    Connecting,   // the first attempt is under way
    Connected,    // the broker accepted the connection
    Unreachable,  // no connection (not reached, or lost); retrying with a growing delay
    Refused,      // the broker refused the connection (credentials); retried every minute
    TlsFailed,    // the TLS handshake or the certificate check failed; retried every minute
  };
  struct Status {
    State state = State::Connecting;
    QString reason;           // the broker's or the system's words for a problem state
    quint64 changes = 0;      // counts the changes of state: a caller tells the user when it moves
    Long unacknowledged = 0;  // rows of the run not yet acknowledged by the broker
  };

  // Starts connecting at once. The settings must pass CheckMqttSettings.
  explicit MqttPublisher(const MqttSettings& settings);
  // Publishes "offline", disconnects and ends the thread (waits at most 2 s
  // for the broker).
  ~MqttPublisher() override;
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  void RunStarted(const ModuleData& d) override;
  void SamplesStored(const ModuleData& d) override;
  void RunStopped(const ModuleData& d, const RunEnd& end) override;
  // A split run's next part: its rows count on from the run's row firstRow.
  void PartStarted(const ModuleData& d, Long firstRow) override;

  // Rows from index n on are never published (a headless run that asked for
  // n samples keeps only those).
  void SetRowLimit(Long n);
  // An event for P/alarm (a JSON object), published with QoS 1 as soon as
  // the broker is connected. Any thread.
  void PublishAlarm(const QByteArray& json);

  // Waits until the broker acknowledged every row handed over and the run's
  // last state, at most `timeout`. Returns the rows still unacknowledged.
  Long WaitAcknowledged(std::chrono::milliseconds timeout);
  Status CurrentStatus() const;
  // The broker as the settings name it, and the topic prefix in effect.
  QString Url() const;
  QString Topic() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The status as one line of text for a person: "connected to URL",
// "cannot reach URL (reason); retrying", ...
QString DescribeMqttStatus(const MqttPublisher::Status& s, const QString& url);

}  // namespace larimo
