#pragma once
// Where a run is published: the broker's URL, the topic prefix, the user
// and the files that hold the password and the TLS authority. Kept in the
// stored settings (QSettings "Dravel"/"Larimo", group "Mqtt"); the password
// itself is never stored and never given on a command line, only the name
// of a file that holds it.

#include <optional>

#include <QString>

namespace larimo {

struct MqttSettings {
  QString url;           // mqtt://host[:port] or mqtts://host[:port]; empty: no publishing
  QString topic;         // the prefix of every topic; empty: DefaultMqttTopic()
  QString user;          // empty: no user name
  QString passwordFile;  // the password is the file's first line
  QString caFile;        // mqtts: the authority that signed the broker's certificate

  bool Enabled() const { return !url.trimmed().isEmpty(); }
  // The prefix in effect.
  QString Topic() const;
};

// A broker's address taken apart.
struct BrokerAddress {
  bool tls = false;
  QString host;
  int port = 0;
};

// "mqtt://host[:port]" (port 1883 when not given) or "mqtts://host[:port]"
// (8883). A host is a name or an IPv4 address, or an IPv6 address in
// brackets. nullopt for anything else.
std::optional<BrokerAddress> ParseBrokerUrl(const QString& url);

// "larimo/<host name>".
QString DefaultMqttTopic();

// Empty when the settings can be used; else why not, in one line that names
// the setting (checked before a run starts; files must be readable).
QString CheckMqttSettings(const MqttSettings& s);

// The password: the first line of the password file without its line end.
// nullopt (with the reason) when the file cannot be read.
std::optional<QString> ReadPasswordFile(const QString& path, QString* error);

// The command line's --mqtt URL, --mqtt-topic PREFIX, --mqtt-user NAME,
// --mqtt-password-file FILE and --mqtt-cafile FILE over the stored values
// (--mqtt "" publishes nothing). False when `name` is none of them.
bool SetMqttOption(const QString& name, const QString& value, MqttSettings& s);

MqttSettings LoadMqttSettings();
// False when the store could not be written.
bool SaveMqttSettings(const MqttSettings& s);

}  // namespace larimo
