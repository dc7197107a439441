// The publisher against a real broker, mostly through larimo-cli record on
// simulated units: what arrives is what the saved file holds.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "files/measurement_file.h"
#include "publish/mqtt_publisher.h"
#include "subscriber.h"

namespace larimo {
namespace {

const QString kPrefix = QStringLiteral("lab/rig1");

class PublishTest : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return QString::fromStdString(broker.Path(name)); }
  QString Url(const char* scheme_host = "mqtt://127.0.0.1") const {
    return QStringLiteral("%1:%2").arg(scheme_host).arg(broker.Port());
  }
  void Start(const QString& url, const QStringList& more) {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME"}) env.insert(name, Path(""));
    env.insert("BRISKO_SIM_ATTACH_MS", "0");
    env.insert("BRISKO_SIM", "0:cal,2:cal");
    if (!env.contains("BRISKO_SIM_CLOCK")) env.insert("BRISKO_SIM_CLOCK", "step:300");
    cli.setProcessEnvironment(env);
    cli.start(LARIMO_CLI_PATH,
              QStringList{"record", "--simulate", "--units", "0,2", "--interval", "10ms", "--out",
                          Path("run.rk0"), "--mqtt", url, "--mqtt-topic", kPrefix} +
                  more);
  }
  // The exit status; stderr in err.
  int Finish() {
    if (!cli.waitForFinished(60000)) return -1;
    err = QString::fromUtf8(cli.readAllStandardError());
    return cli.exitCode();
  }
  // Every row of the saved file arrived (once when `once`) with its values,
  // and no message skipped ahead of the rows before it.
  void ExpectEveryRow(const test::Subscriber& sub, bool once) {
    ModuleData r;
    r.InitDataBuffers();
    ASSERT_EQ(ReadDataFile(r, Path("run.rk0")).status, ReadResult::Status::Ok);
    Long covered = 0;
    for (QDeadlineTimer t(20000); covered < r.DataNum && !t.hasExpired(); usleep(100000)) {
      covered = 0;
      for (const QString& payload : sub.Payloads(kPrefix + "/samples")) {
        const QJsonObject o = QJsonDocument::fromJson(payload.toUtf8()).object();
        const Long first = o["first"].toInt(-1);
        ASSERT_TRUE(first >= 0 && first <= covered && (!once || first == covered)) << first;
        const QJsonArray id0 = o["ID0"].toArray(), id2 = o["ID2"].toArray();
        ASSERT_EQ(id0.size(), id2.size());
        for (Long k = 0; k < id0.size(); ++k) {
          ASSERT_EQ(static_cast<Single>(id0[k].toDouble()), r.Units[0].Values[first + k]);
          ASSERT_EQ(static_cast<Single>(id2[k].toDouble()), r.Units[2].Values[first + k]);
        }
        covered = std::max<Long>(covered, first + static_cast<Long>(id0.size()));
      }
    }
    EXPECT_GT(r.DataNum, 0);
    EXPECT_EQ(covered, r.DataNum);
  }
  test::MosquittoBroker broker;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QProcess cli;
  QString err;
};

TEST_F(PublishTest, ASteppedRunArrivesRowByRowOnceWithTheSavedValues) {
  ASSERT_TRUE(broker.Start());
  test::Subscriber sub(broker, kPrefix);
  ASSERT_TRUE(sub.Subscribed());
  Start(Url(), {"--samples", "3000", "--memo", "rig 1"});
  ASSERT_EQ(Finish(), 0) << err.toStdString();
  EXPECT_FALSE(err.contains("not acknowledged")) << err.toStdString();
  ExpectEveryRow(sub, true);
  ASSERT_TRUE(sub.WaitFor(kPrefix + "/status offline"));
  EXPECT_EQ(sub.Payloads(kPrefix + "/status").first(), "online");
  const QJsonObject run =
      QJsonDocument::fromJson(sub.Payloads(kPrefix + "/run").last().toUtf8()).object();
  EXPECT_EQ(run["state"], "stopped");
  EXPECT_EQ(run["memos"].toArray().first(), "rig 1");
  EXPECT_FALSE(sub.Payloads(kPrefix + "/ID2/value").isEmpty());
}

TEST_F(PublishTest, ASplitRunCountsItsRowsOnAcrossParts) {
  ASSERT_TRUE(broker.Start());
  test::Subscriber sub(broker, kPrefix);
  ASSERT_TRUE(sub.Subscribed());
  Start(Url(), {"--split-every", "1000", "--samples", "2500"});
  ASSERT_EQ(Finish(), 0) << err.toStdString();
  Long covered = 0;
  for (QDeadlineTimer t(20000); covered < 2500 && !t.hasExpired(); usleep(100000)) {
    covered = 0;
    for (const QString& payload : sub.Payloads(kPrefix + "/samples")) {
      const QJsonObject o = QJsonDocument::fromJson(payload.toUtf8()).object();
      ASSERT_EQ(o["first"].toInt(-1), covered);
      covered += static_cast<Long>(o["ID0"].toArray().size());
    }
  }
  EXPECT_EQ(covered, 2500);
}

TEST_F(PublishTest, ABrokerRestartInTheMiddleOfARealRunLosesNoRow) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  ASSERT_TRUE(broker.Start());
  // A persistent session: the broker keeps what arrives while it is away.
  test::Subscriber sub(broker, kPrefix, {"-c", "-i", "larimo-test"});
  ASSERT_TRUE(sub.Subscribed());
  Start(Url(), {"--duration", "6s"});
  ASSERT_TRUE(sub.WaitFor(kPrefix + "/samples"));
  broker.Stop();
  usleep(1500000);
  ASSERT_TRUE(broker.Start());
  ASSERT_EQ(Finish(), 0) << err.toStdString();
  EXPECT_EQ(err.count("cannot reach"), 1) << err.toStdString();  // told once, then retried
  EXPECT_FALSE(err.contains("not acknowledged")) << err.toStdString();
  ExpectEveryRow(sub, false);
}

TEST_F(PublishTest, AlarmsHandedToThePublisherGoToTheAlarmTopic) {
  ASSERT_TRUE(broker.Start());
  test::Subscriber sub(broker, kPrefix);
  ASSERT_TRUE(sub.Subscribed());
  MqttPublisher publisher({Url(), kPrefix, {}, {}, {}});
  publisher.PublishAlarm(R"({"unit":"ID0","limit":"high"})");
  EXPECT_TRUE(sub.WaitFor(kPrefix + R"(/alarm {"unit":"ID0","limit":"high"})"));
}

TEST_F(PublishTest, AWrongPasswordIsToldOnceWithTheBrokersReason) {
  ASSERT_TRUE(test::Run({"mosquitto_passwd", "-c", "-b", broker.Path("users"), "lab", "right"}));
  broker.lines = "allow_anonymous false\npassword_file " + broker.Path("users") + "\n";
  ASSERT_TRUE(broker.Start());
  for (const QByteArray password : {"right", "wrong"}) {
    ASSERT_TRUE(test::WriteAll(Path("password"), password + "\n"));
    Start(Url(),
          {"--samples", "300", "--mqtt-user", "lab", "--mqtt-password-file", Path("password")});
    ASSERT_EQ(Finish(), 0) << err.toStdString();
    const bool refused = password == "wrong";
    EXPECT_EQ(err.count("refused the connection (Connection Refused: not authorised.)"), refused)
        << err.toStdString();
    EXPECT_EQ(err.contains("300 samples were not acknowledged"), refused) << err.toStdString();
  }
}

TEST_F(PublishTest, TlsChecksTheBrokersCertificateAndItsName) {
  // Two authorities; the first signs a certificate for the name localhost.
  ASSERT_TRUE(test::Run(
      {"sh", "-c",
       "cd '" + broker.Path("") +
           "' && for ca in ca other; do openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
           "-keyout $ca.key -out $ca.pem -subj /CN=$ca; done && openssl req -newkey rsa:2048 "
           "-nodes -keyout server.key -out server.csr -subj /CN=localhost && echo "
           "subjectAltName=DNS:localhost > ext && openssl x509 -req -in server.csr -CA ca.pem "
           "-CAkey ca.key -CAcreateserial -out server.pem -days 2 -extfile ext 2>/dev/null"}));
  broker.lines = "allow_anonymous true\ncafile " + broker.Path("ca.pem") + "\ncertfile " +
                 broker.Path("server.pem") + "\nkeyfile " + broker.Path("server.key") + "\n";
  ASSERT_TRUE(broker.Start());
  const struct {
    const char* url;
    const char* ca;
    bool ok;
  } cases[] = {{"mqtts://localhost", "ca.pem", true},
               {"mqtts://localhost", "other.pem", false},  // signed by another authority
               {"mqtts://127.0.0.1", "ca.pem", false}};    // not the certificate's name
  for (const auto& c : cases) {
    Start(Url(c.url), {"--samples", "300", "--mqtt-cafile", Path(c.ca)});
    ASSERT_EQ(Finish(), 0) << err.toStdString();
    EXPECT_EQ(err.contains("300 samples were not acknowledged"), !c.ok) << err.toStdString();
    EXPECT_EQ(err.count("TLS with"), c.ok ? 0 : 1) << err.toStdString();
  }
}

}  // namespace
}  // namespace larimo
