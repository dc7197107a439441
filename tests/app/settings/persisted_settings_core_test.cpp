#include "settings/persisted_settings.h"

#include <gtest/gtest.h>
#include <QSettings>

namespace larimo {
namespace {

class PersistedSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Store().remove(QString());
    d.InitDataBuffers();
  }
  void TearDown() override { Store().remove(QString()); }
  static QSettings& Store() {
    static QSettings s(QStringLiteral("Dravel"), QStringLiteral("Larimo"));
    s.sync();
    s.endGroup();
    s.beginGroup(QStringLiteral("MeasInfo"));
    return s;
  }
  static void Put(const char* key, const char* text) {
    Store().setValue(QString::fromLatin1(key), QString::fromLatin1(text));
    Store().sync();
  }
  ModuleData d;
};

TEST_F(PersistedSettingsTest, FirstStartUsesTheDefaults) {
  d.TimerType = kFalse;
  d.IntervalTM = 5;
  d.DataAverage = kTrue;
  d.MeasKind = kTrue;
  for (UnitData& u : d.Units) {
    u.Mflag = kTrue;
    u.Connect = 2;
  }
  d.AverageNum = 7;
  LoadSettings(d);
  EXPECT_EQ(d.Units[0].Mflag, kTrue);
  for (int u = 1; u < kUnitCount; ++u) EXPECT_EQ(d.Units[u].Mflag, kFalse);
  for (const UnitData& u : d.Units) EXPECT_EQ(u.Connect, 0);
  EXPECT_EQ(d.TimerType, kTrue);
  EXPECT_EQ(d.IntervalTM, 1000);
  EXPECT_EQ(d.MeasKind, kFalse);
  EXPECT_EQ(d.DataAverage, kFalse);
  EXPECT_EQ(d.AverageNum, 1);
}

TEST_F(PersistedSettingsTest, SaveWritesTheTwelveKeysAsTexts) {
  d.Units[1].Mflag = kTrue;
  d.Units[3].Connect = 2;
  d.TimerType = kFalse;
  d.IntervalTM = 250;
  d.MeasKind = kTrue;
  d.DataAverage = kTrue;
  ASSERT_TRUE(SaveSettings(d));
  QSettings& s = Store();
  EXPECT_EQ(s.childKeys().size(), 12);
  EXPECT_EQ(s.value("MflagID0").toString(), "False");
  EXPECT_EQ(s.value("MflagID1").toString(), "True");
  EXPECT_EQ(s.value("ConnectID3").toString(), "2");
  EXPECT_EQ(s.value("TimerType").toString(), "False");
  EXPECT_EQ(s.value("IntervalTM").toString(), "250");
  EXPECT_EQ(s.value("MeasKind").toString(), "True");
  EXPECT_EQ(s.value("DataAverage").toString(), "True");

  ModuleData r;
  LoadSettings(r);
  EXPECT_EQ(r.Units[0].Mflag, kFalse);
  EXPECT_EQ(r.Units[1].Mflag, kTrue);
  EXPECT_EQ(r.Units[3].Connect, 2);
  EXPECT_EQ(r.TimerType, kFalse);
  EXPECT_EQ(r.IntervalTM, 250);
  EXPECT_EQ(r.MeasKind, kTrue);
  EXPECT_EQ(r.DataAverage, kTrue);
  EXPECT_EQ(r.AverageNum, 25);
}

TEST_F(PersistedSettingsTest, AveragingCountFollowsTheLoadedMode) {
  Put("DataAverage", "True");
  Put("TimerType", "False");
  Put("IntervalTM", "50");
  LoadSettings(d);
  EXPECT_EQ(d.AverageNum, 5);
  Put("TimerType", "True");
  LoadSettings(d);
  EXPECT_EQ(d.AverageNum, 100);
  Put("TimerType", "False");
  Put("IntervalTM", "4");  // rounds to 0 steps: still one reading
  LoadSettings(d);
  EXPECT_EQ(d.AverageNum, 1);
}

TEST_F(PersistedSettingsTest, NumericFlagsAndConversions) {
  Put("MflagID2", "1");
  Put("MflagID0", "0");
  Put("MeasKind", "-1");
  Put("ConnectID1", "2");
  Put("IntervalTM", "120000");
  LoadSettings(d);
  EXPECT_EQ(d.Units[2].Mflag, kTrue);
  EXPECT_EQ(d.Units[0].Mflag, kFalse);
  EXPECT_EQ(d.MeasKind, kTrue);
  EXPECT_EQ(d.Units[1].Connect, 2);
  EXPECT_EQ(d.IntervalTM, 120000);
}

TEST_F(PersistedSettingsTest, TextsThatCannotBeConvertedYieldTheDefaults) {
  Put("MflagID0", "yes");
  Put("MflagID1", "");
  Put("ConnectID0", "two");
  Put("ConnectID1", "40000");  // beyond a 16-bit integer
  Put("TimerType", "maybe");
  Put("IntervalTM", "1e12");  // beyond a 32-bit integer
  Put("MeasKind", "nan");
  Put("DataAverage", "x1");
  LoadSettings(d);
  EXPECT_EQ(d.Units[0].Mflag, kTrue);
  EXPECT_EQ(d.Units[1].Mflag, kFalse);
  EXPECT_EQ(d.Units[0].Connect, 0);
  EXPECT_EQ(d.Units[1].Connect, 0);
  EXPECT_EQ(d.TimerType, kTrue);
  EXPECT_EQ(d.IntervalTM, 1000);
  EXPECT_EQ(d.MeasKind, kFalse);
  EXPECT_EQ(d.DataAverage, kFalse);
}

}  // namespace
}  // namespace larimo
