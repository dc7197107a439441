#include "publish/mqtt_settings.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>

namespace larimo {

namespace {

QSettings OpenStore() { return QSettings(QStringLiteral("Dravel"), QStringLiteral("Larimo")); }

const QString kGroup = QStringLiteral("Mqtt");

// The longest prefix that leaves room for the topics below it in the
// 65,535 bytes MQTT allows a topic.
constexpr qsizetype kMaxTopicBytes = 65000;

QString CheckTopic(const QString& topic) {
  const QByteArray utf8 = topic.toUtf8();
  if (utf8.isEmpty()) return {};
  if (utf8.size() > kMaxTopicBytes) return QStringLiteral("is too long");
  if (topic.contains(QLatin1Char('+')) || topic.contains(QLatin1Char('#')))
    return QStringLiteral("holds a wildcard (+ or #)");
  if (topic.contains(QChar(0))) return QStringLiteral("holds a NUL character");
  if (topic.startsWith(QLatin1Char('$'))) return QStringLiteral("starts with $ (the broker's own)");
  if (topic.endsWith(QLatin1Char('/'))) return QStringLiteral("ends with /");
  return {};
}

QString CheckReadable(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return f.errorString();
  return {};
}

}  // namespace

QString MqttSettings::Topic() const { return topic.isEmpty() ? DefaultMqttTopic() : topic; }

std::optional<BrokerAddress> ParseBrokerUrl(const QString& url) {
  static const QRegularExpression re(QStringLiteral(
      "^(mqtts?)://"
      "(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?)(?::(\\d{1,5}))?/?$"));
  const auto m = re.match(url.trimmed());
  if (!m.hasMatch()) return std::nullopt;
  BrokerAddress a;
  a.tls = m.captured(1) == QLatin1String("mqtts");
  a.host = m.captured(2);
  if (a.host.startsWith(QLatin1Char('['))) a.host = a.host.mid(1, a.host.size() - 2);
  a.port = a.tls ? 8883 : 1883;
  if (m.hasCaptured(3) && !m.captured(3).isEmpty()) {
    a.port = m.captured(3).toInt();
    if (a.port < 1 || a.port > 65535) return std::nullopt;
  }
  return a;
}

QString DefaultMqttTopic() {
  QString host = QSysInfo::machineHostName();
  // A host name never holds wildcards, but keep the topic valid whatever it says.
  host.remove(QLatin1Char('+')).remove(QLatin1Char('#')).remove(QLatin1Char('/'));
  return QStringLiteral("larimo/") + (host.isEmpty() ? QStringLiteral("localhost") : host);
}

QString CheckMqttSettings(const MqttSettings& s) {
  if (!s.Enabled()) return {};
  const auto address = ParseBrokerUrl(s.url);
  if (!address)
    return QStringLiteral("MQTT broker URL '%1': mqtt://host[:port] or mqtts://host[:port]")
        .arg(s.url);
  if (const QString why = CheckTopic(s.topic); !why.isEmpty())
    return QStringLiteral("MQTT topic prefix '%1' %2").arg(s.topic, why);
  if (!s.passwordFile.isEmpty()) {
    if (s.user.isEmpty()) return QStringLiteral("an MQTT password file needs a user name");
    if (const QString why = CheckReadable(s.passwordFile); !why.isEmpty())
      return QStringLiteral("MQTT password file %1: %2").arg(s.passwordFile, why);
  }
  if (!s.caFile.isEmpty()) {
    if (!address->tls) return QStringLiteral("an MQTT CA file needs an mqtts:// URL");
    if (const QString why = CheckReadable(s.caFile); !why.isEmpty())
      return QStringLiteral("MQTT CA file %1: %2").arg(s.caFile, why);
  }
  return {};
}

std::optional<QString> ReadPasswordFile(const QString& path, QString* error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = f.errorString();
    return std::nullopt;
  }
  QByteArray line = f.readLine(65536);
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return QString::fromUtf8(line);
}

bool SetMqttOption(const QString& name, const QString& value, MqttSettings& s) {
  QString* target = name == QLatin1String("--mqtt")                 ? &s.url
                    : name == QLatin1String("--mqtt-topic")         ? &s.topic
                    : name == QLatin1String("--mqtt-user")          ? &s.user
                    : name == QLatin1String("--mqtt-password-file") ? &s.passwordFile
                    : name == QLatin1String("--mqtt-cafile")        ? &s.caFile
                                                                    : nullptr;
  if (target == nullptr) return false;
  *target = value;
  return true;
}

MqttSettings LoadMqttSettings() {
  QSettings store = OpenStore();
  store.beginGroup(kGroup);
  MqttSettings s;
  s.url = store.value(QStringLiteral("Url")).toString();
  s.topic = store.value(QStringLiteral("Topic")).toString();
  s.user = store.value(QStringLiteral("User")).toString();
  s.passwordFile = store.value(QStringLiteral("PasswordFile")).toString();
  s.caFile = store.value(QStringLiteral("CaFile")).toString();
  return s;
}

bool SaveMqttSettings(const MqttSettings& s) {
  QSettings store = OpenStore();
  store.beginGroup(kGroup);
  store.setValue(QStringLiteral("Url"), s.url);
  store.setValue(QStringLiteral("Topic"), s.topic);
  store.setValue(QStringLiteral("User"), s.user);
  store.setValue(QStringLiteral("PasswordFile"), s.passwordFile);
  store.setValue(QStringLiteral("CaFile"), s.caFile);
  store.endGroup();
  store.sync();
  return store.status() == QSettings::NoError;
}

}  // namespace larimo
