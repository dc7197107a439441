// The publisher against a real broker, through larimo-cli record on
// simulated units: what arrives is what the saved file holds.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include "file_test_util.h"
#include "files/measurement_file.h"
#include "publish/mqtt_publisher.h"
#include "subscriber.h"

namespace larimo {
namespace {

const QString kPrefix = QStringLiteral("lab/rig1");

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.insert("XDG_CONFIG_HOME", Path(""));
    env.insert("XDG_STATE_HOME", Path(""));
    env.insert("BRISKO_SIM_ATTACH_MS", "0");
    env.insert("BRISKO_SIM_CLOCK", "step:300");
    env.insert("BRISKO_SIM", "0:cal,2:cal");
  }
  QString Path(const char* name) const { return QString::fromStdString(broker.Path(name)); }
  QString Out() const { return Path("run.rk0"); }
  QString Url(const char* host) const {
    return QStringLiteral("mqtt://%1:%2").arg(host).arg(broker.Port());
  }
  void Start(const QString& url, const QStringList& more) {
    cli.setProcessEnvironment(env);
    cli.start(LARIMO_CLI_PATH,
              QStringList{"record", "--simulate", "--units", "0,2", "--interval", "10ms", "--out",
                          Out(), "--mqtt", url, "--mqtt-topic", kPrefix} +
                  more);
  }
  int Finish() {
    if (!cli.waitForFinished(60000)) return -1;
    err = QString::fromUtf8(cli.readAllStandardError());
    return cli.exitCode();
  }
  // Every row of the saved file arrived, at least once, with its values, and
  // no message skipped ahead of the rows before it.
  void ExpectEveryRow(test::Subscriber& sub, bool once) {
    ModuleData r;
    r.InitDataBuffers();
    ASSERT_EQ(ReadDataFile(r, Out()).status, ReadResult::Status::Ok);
    ASSERT_GT(r.DataNum, 0);
    Long covered = 0;
    for (QDeadlineTimer t(20000); covered < r.DataNum && !t.hasExpired(); sub.Wait(100)) {
      covered = 0;
      for (const QString& payload : sub.Payloads(kPrefix + "/samples")) {
        const QJsonObject o = QJsonDocument::fromJson(payload.toUtf8()).object();
        const Long first = o["first"].toInt(-1);
        ASSERT_GE(first, 0) << payload.toStdString();
        ASSERT_LE(first, covered) << "a gap before row " << first;
        if (once) {
          ASSERT_EQ(first, covered);
        }
        const QJsonArray id0 = o["ID0"].toArray(), id2 = o["ID2"].toArray();
        ASSERT_EQ(id0.size(), id2.size());
        for (Long k = 0; k < id0.size(); ++k) {
          ASSERT_EQ(static_cast<Single>(id0[k].toDouble()), r.Units[0].Values[first + k]);
          ASSERT_EQ(static_cast<Single>(id2[k].toDouble()), r.Units[2].Values[first + k]);
        }
        covered = std::max<Long>(covered, first + static_cast<Long>(id0.size()));
      }
    }
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
  Start(Url("127.0.0.1"), {"--samples", "3000", "--memo", "rig 1"});
  ASSERT_EQ(Finish(), 0) << err.toStdString();
  EXPECT_FALSE(err.contains("not acknowledged")) << err.toStdString();
  ExpectEveryRow(sub, true);
  ASSERT_TRUE(sub.WaitFor(kPrefix + "/status offline"));
  EXPECT_EQ(sub.Payloads(kPrefix + "/status").first(), "online");
  const QJsonObject run =
      QJsonDocument::fromJson(sub.Payloads(kPrefix + "/run").last().toUtf8()).object();
  EXPECT_EQ(run["state"], "stopped");
  EXPECT_EQ(run["kind"], "degC");
  EXPECT_EQ(run["memos"].toArray().first(), "rig 1");
  EXPECT_FALSE(sub.Payloads(kPrefix + "/ID2/value").isEmpty());
}

TEST_F(PublishTest, ABrokerRestartInTheMiddleOfARealRunLosesNoRow) {
  env.insert("BRISKO_SIM_CLOCK", "real");
  ASSERT_TRUE(broker.Start());
  // A persistent session: the broker keeps what arrives while it is away.
  test::Subscriber sub(broker, kPrefix, {"-c", "-i", "larimo-test"});
  ASSERT_TRUE(sub.Subscribed());
  Start(Url("127.0.0.1"), {"--duration", "6s"});
  ASSERT_TRUE(sub.WaitFor(kPrefix + "/samples"));
  broker.Stop();
  QThread::msleep(1500);
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
  MqttSettings s;
  s.url = Url("127.0.0.1");
  s.topic = kPrefix;
  MqttPublisher publisher(s);
  publisher.PublishAlarm(R"({"unit":"ID0","limit":"high"})");
  EXPECT_TRUE(sub.WaitFor(kPrefix + R"(/alarm {"unit":"ID0","limit":"high"})"));
}

TEST_F(PublishTest, TheBrokerRefusesAWrongPasswordAndTheRunIsToldOnceWithItsReason) {
  ASSERT_TRUE(test::Run({"mosquitto_passwd", "-c", "-b", Path("users"), "lab", "right"}));
  broker.lines = "allow_anonymous false\npassword_file " + broker.Path("users") + "\n";
  ASSERT_TRUE(broker.Start());
  for (const char* password : {"right", "wrong"}) {
    ASSERT_TRUE(test::WriteAll(Path("password"), QByteArray(password) + "\n"));
    Start(Url("127.0.0.1"),
          {"--samples", "300", "--mqtt-user", "lab", "--mqtt-password-file", Path("password")});
    ASSERT_EQ(Finish(), 0) << err.toStdString();
    const bool refused = password == std::string("wrong");
    EXPECT_EQ(err.count("refused the connection (Connection Refused: not authorised.)"),
              refused ? 1 : 0)
        << err.toStdString();
    EXPECT_EQ(err.contains("300 samples were not acknowledged"), refused) << err.toStdString();
  }
}

TEST_F(PublishTest, TlsChecksTheBrokersCertificateAndItsNameAndNeverFallsBackToPlainText) {
  const auto ssl = [&](const QString& args) {
    return test::Run({"sh", "-c", "cd '" + Path("") + "' && openssl " + args});
  };
  ASSERT_TRUE(
      ssl("req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
          "-subj /CN=test-ca 2>/dev/null"));
  ASSERT_TRUE(
      ssl("req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 2 "
          "-subj /CN=other-ca 2>/dev/null"));
  ASSERT_TRUE(
      ssl("req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
          "-subj /CN=localhost 2>/dev/null"));
  ASSERT_TRUE(test::WriteAll(Path("ext"), "subjectAltName=DNS:localhost\n"));
  ASSERT_TRUE(
      ssl("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
          "-out server.pem -days 2 -extfile ext 2>/dev/null"));
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
    QStringList more{"--samples", "300"};
    more << "--mqtt-cafile" << Path(c.ca);
    Start(QStringLiteral("%1:%2").arg(c.url).arg(broker.Port()), more);
    ASSERT_EQ(Finish(), 0) << err.toStdString();
    EXPECT_EQ(err.contains("300 samples were not acknowledged"), !c.ok)
        << c.url << " " << c.ca << "\n"
        << err.toStdString();
    if (!c.ok) {
      EXPECT_EQ(err.count("TLS with"), 1) << err.toStdString();
    }
  }
}

}  // namespace
}  // namespace larimo
