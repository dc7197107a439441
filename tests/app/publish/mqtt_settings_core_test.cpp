// Broker URLs and topic prefixes: what is refused before a run.
#include <gtest/gtest.h>

#include "publish/mqtt_settings.h"

namespace larimo {
namespace {

TEST(MqttSettings, UrlsAreTakenApartOrRefused) {
  const auto a = ParseBrokerUrl("mqtts://[::1]:65535/");
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->tls && a->host == "::1" && a->port == 65535);
  for (const auto& [url, port] : {std::pair{"mqtt://broker.lab", 1883},
                                  {"mqtts://10.0.0.5", 8883},
                                  {"mqtt://h:1884", 1884}}) {
    EXPECT_EQ(ParseBrokerUrl(url).value_or(BrokerAddress{}).port, port) << url;
  }
  for (const char* url : {"mqtt://h:0", "mqtt://h:65536", "http://h", "mqtt://", "mqtt://user:pw@h",
                          "mqtt://h/topic", "broker.lab"}) {
    EXPECT_FALSE(ParseBrokerUrl(url)) << url;
  }
}

MqttSettings S(const char* url, const char* topic, const char* user = "", const char* pw = "",
               const char* ca = "") {
  return {url, topic, user, pw, ca};
}

TEST(MqttSettings, TopicPrefixesWithWildcardsOrATrailingSlashAreRefused) {
  for (const char* topic : {"lab/#", "lab/+/x", "$SYS/x", "lab/"}) {
    EXPECT_FALSE(CheckMqttSettings(S("mqtt://h", topic)).isEmpty()) << topic;
  }
  EXPECT_TRUE(CheckMqttSettings(S("mqtt://h", "lab/rig 1/℃")).isEmpty());
  EXPECT_TRUE(S("mqtt://h", "").Topic().startsWith("larimo/"));
  // A CA file means TLS; a password needs a user name and a readable file.
  for (const MqttSettings& bad :
       {S("mqtt://h", "", "", "", "/etc/hostname"), S("mqtt://h", "", "", "/etc/hostname"),
        S("mqtt://h", "", "u", "/nonexistent/pw")}) {
    EXPECT_FALSE(CheckMqttSettings(bad).isEmpty()) << bad.passwordFile.toStdString();
  }
  EXPECT_TRUE(
      CheckMqttSettings(S("mqtts://h", "", "u", "/etc/hostname", "/etc/hostname")).isEmpty());
}

}  // namespace
}  // namespace larimo
