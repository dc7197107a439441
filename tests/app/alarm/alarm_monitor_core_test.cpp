// The evaluation of limit alarms, from tables of readings (one sample a
// second), the checks of the limits, and the events through a file and the
// run journal.
#include "alarm/alarm_monitor.h"

#include <gtest/gtest.h>
#include <QSettings>
#include <QTemporaryDir>

#include "alarm/alarm_events_file.h"
#include "alarm/alarm_journal.h"
#include "recording_ui.h"
#include "run/journal.h"

namespace larimo {
namespace {

struct Seen {
  double elapsed;
  int unit;
  AlarmKind kind;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
  *os << s.elapsed << "s ID" << s.unit << ' ' << AlarmKindName(s.kind).toStdString();
}

class AlarmMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d.InitDataBuffers();
    d.IntervalTM = 1000;
    d.Units[0].Mflag = kTrue;
  }
  void Start(const AlarmLimits& l) {
    monitor.SetSettings({l, {}, false});
    d.ClearData();
    monitor.RunStarted(d);
  }
  // One cycle in which unit u stored these readings.
  void Store(int u, const std::vector<float>& values) {
    for (float v : values) d.Units[u].Values[static_cast<std::size_t>(d.Units[u].Count++)] = v;
    monitor.SamplesStored(d);
  }
  std::vector<Seen> Events() const {
    std::vector<Seen> out;
    for (const AlarmEvent& e : monitor.Events()) out.push_back({e.elapsed, e.unit, e.kind});
    return out;
  }
  ModuleData d;
  AlarmMonitor monitor;
};

TEST_F(AlarmMonitorTest, ReadingsRaiseAndClearEvents) {
  using K = AlarmKind;
  struct Case {
    const char* what;
    std::optional<double> low, high;
    double hysteresis, delay;
    std::vector<float> values;
    std::vector<Seen> expected;
  };
  const Case cases[] = {
      {"rises above high", {}, 80, 0, 0, {70, 80, 81, 85}, {{3, 0, K::High}}},
      {"clears only past the hysteresis",
       {},
       80,
       2,
       0,
       {81, 79, 78.5f, 78, 81},
       {{1, 0, K::High}, {4, 0, K::Clear}, {5, 0, K::High}}},
      {"low and back", 10, {}, 0, 0, {12, 9, 11}, {{2, 0, K::Low}, {3, 0, K::Clear}}},
      {"the delay must pass without a break",
       {},
       80,
       0,
       2,
       {81, 82, 70, 81, 82, 83},
       {{6, 0, K::High}}},
      {"sensor faults: no reading, pinned high and low, then a good reading",
       {},
       {},
       0,
       0,
       {-999, 851.78f, -242.03f, 20},
       {{1, 0, K::Sensor}, {4, 0, K::Clear}}},
      {"a jump from high to below low clears, then rises low",
       10,
       80,
       0,
       0,
       {81, 5},
       {{1, 0, K::High}, {2, 0, K::Clear}, {2, 0, K::Low}}},
      {"a sensor fault replaces a limit alarm",
       {},
       80,
       0,
       0,
       {81, -999},
       {{1, 0, K::High}, {2, 0, K::Sensor}}},
  };
  for (const Case& c : cases) {
    AlarmLimits l;
    l.unit[0] = {c.low, c.high};
    l.hysteresis = c.hysteresis;
    l.delaySeconds = c.delay;
    Start(l);
    Store(0, c.values);
    EXPECT_EQ(Events(), c.expected) << c.what;
  }
}

TEST_F(AlarmMonitorTest, AUnitThatJoinsLateIsEvaluatedAtItsOwnSamples) {
  d.Units[1].Mflag = kTrue;
  AlarmLimits l;
  l.unit[1].high = 50;
  Start(l);
  Store(0, {20, 21, 22});  // ID1 has delivered nothing yet: no event
  EXPECT_TRUE(monitor.Events().empty());
  Store(1, {40, 60});
  ASSERT_EQ(monitor.Events().size(), 1u);
  const AlarmEvent& e = monitor.Events()[0];
  EXPECT_EQ(Seen({e.elapsed, e.unit, e.kind}), Seen({2, 1, AlarmKind::High}));
  EXPECT_EQ(e.value, 60.0f);
  EXPECT_EQ(e.limit, 50.0);
  EXPECT_EQ(monitor.State(1), AlarmKind::High);
  EXPECT_EQ(monitor.State(0), AlarmKind::None);
}

TEST_F(AlarmMonitorTest, ANextPartOfASplitRunKeepsTheAlarmAndItsTime) {
  AlarmLimits l;
  l.unit[0].high = 80;
  Start(l);
  Store(0, {70, 81, 82});  // high at 2 s
  d.ClearData();           // the store is reused for the next part
  d.Units[0].Values[0] = 83;
  d.Units[0].Count = 1;
  monitor.PartStarted(d, 3);  // carried over: the run's fourth sample
  Store(0, {70});
  EXPECT_EQ(Events(), (std::vector<Seen>{{2, 0, AlarmKind::High}, {5, 0, AlarmKind::Clear}}));
}

TEST(AlarmLimitsTest, BadLimitsAreRefusedWithTheirField) {
  using F = LimitsProblem::Field;
  ModuleData d;
  d.Units[0].Mflag = kTrue;
  struct Case {
    int unit;
    std::optional<double> low, high;
    double hysteresis, delay;
    bool inUseOnly;
    F expected;
  };
  const Case cases[] = {
      {0, 10, 80, 5, 0, true, F::None},        {0, 80, 10, 0, 0, true, F::Low},
      {0, 10, 80, -1, 0, true, F::Hysteresis}, {0, 10, 20, 11, 0, true, F::Hysteresis},
      {0, {}, 20, 500, 0, true, F::None},      {0, 10, 80, 0, -1, true, F::Delay},
      {2, 10, 80, 0, 0, true, F::Low},         {2, 80, 10, 0, 0, false, F::None},
  };
  for (const Case& c : cases) {
    AlarmLimits l;
    l.unit[c.unit] = {c.low, c.high};
    l.hysteresis = c.hysteresis;
    l.delaySeconds = c.delay;
    const LimitsProblem p = CheckLimits(l, d, c.inUseOnly);
    EXPECT_EQ(p.field, c.expected) << "ID" << c.unit << " hysteresis " << c.hysteresis;
    EXPECT_EQ(p.message.isEmpty(), c.expected == F::None);
  }
}

TEST(AlarmLimitsTest, StoredInTheirOwnGroup) {
  AlarmSettings s;
  s.ohm.unit[3] = {std::nullopt, 120.5};
  s.pt100.hysteresis = 1.5;
  s.sound = true;
  ASSERT_TRUE(SaveAlarmSettings(s));
  const AlarmSettings r = LoadAlarmSettings();
  EXPECT_EQ(r.ohm.unit[3].high, 120.5);
  EXPECT_FALSE(r.ohm.unit[3].low || r.pt100.unit[3].high);
  EXPECT_EQ(r.pt100.hysteresis, 1.5);
  EXPECT_TRUE(r.sound);
  EXPECT_EQ(QSettings(QStringLiteral("Dravel"), QStringLiteral("Larimo"))
                .value(QStringLiteral("Alarm/Ohm/HighID3")),
            QStringLiteral("120.5"));
}

TEST_F(AlarmMonitorTest, EventsSurviveTheJournalAndAFile) {
  QTemporaryDir tmp;
  test::RecordingUi ui;
  const QString folder = tmp.filePath(QStringLiteral("state"));
  AlarmLimits l;
  l.unit[0] = {10, 80};
  Journal journal(folder);
  std::vector<AlarmEvent> back;
  {
    AlarmJournal kept(journal);
    monitor.AddListener(&kept);
    d.StartTime = QStringLiteral("2026/12/9 8:0:0");
    Start(l);
    journal.RunStarted(d);
    Store(0, {81, 50});
    journal.SamplesStored(d);
    Store(0, {5});
    journal.SamplesStored(d);
    monitor.RemoveListener(&kept);
    // What a restore of this journal finds beside it.
    back = AlarmJournal(journal).Restore();
  }
  ASSERT_EQ(monitor.Events().size(), 3u);
  ASSERT_EQ(back.size(), 3u);
  for (std::size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(EventLine(back[i]), EventLine(monitor.Events()[i]));
  }
  // Saved beside the run and read back; a save without events removes them.
  const QString run = tmp.filePath(QStringLiteral("run.rk0"));
  ASSERT_TRUE(SaveEventsBeside(run, back, nullptr));
  EXPECT_EQ(ReadEventsFile(tmp.filePath(QStringLiteral("run.events.csv"))).events.size(), 3u);
  ASSERT_TRUE(SaveEventsBeside(run, {}, nullptr));
  EXPECT_FALSE(ReadEventsFile(EventsPathFor(run)).found);
  // The journal goes with its events once the run is let go.
  journal.Forget();
  EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace larimo
