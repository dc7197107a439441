// Broker URLs and topic prefixes: what is refused before a run.
#include <gtest/gtest.h>

#include "publish/mqtt_settings.h"

namespace larimo {
namespace {

TEST(MqttSettings, UrlsAreTakenApartOrRefused) {
  const struct {
    const char* url;
    bool tls;
    const char* host;
    int port;
  } cases[] = {
      {"mqtt://broker.lab", false, "broker.lab", 1883},
      {"mqtts://broker.lab", true, "broker.lab", 8883},
      {"mqtt://10.0.0.5:1884", false, "10.0.0.5", 1884},
      {"mqtts://[::1]:65535/", true, "::1", 65535},
  };
  for (const auto& c : cases) {
    const auto a = ParseBrokerUrl(c.url);
    ASSERT_TRUE(a) << c.url;
    EXPECT_EQ(a->tls, c.tls) << c.url;
    EXPECT_EQ(a->host, c.host) << c.url;
    EXPECT_EQ(a->port, c.port) << c.url;
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
  EXPECT_FALSE(CheckMqttSettings(S("mqtt://h", "", "", "", "/etc/hostname")).isEmpty());
  EXPECT_FALSE(CheckMqttSettings(S("mqtt://h", "", "", "/etc/hostname")).isEmpty());
  EXPECT_FALSE(CheckMqttSettings(S("mqtt://h", "", "u", "/nonexistent/pw")).isEmpty());
  EXPECT_TRUE(
      CheckMqttSettings(S("mqtts://h", "", "u", "/etc/hostname", "/etc/hostname")).isEmpty());
}

}  // namespace
}  // namespace larimo
