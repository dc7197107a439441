// The messages of a run, byte for byte where the README promises them.
#include <cmath>

#include <gtest/gtest.h>
#include <QTimeZone>

#include "publish/mqtt_payloads.h"

namespace larimo {
namespace {

PublishedRun ARun() {
  PublishedRun r;
  r.start = QDateTime(QDate(2026, 12, 9), QTime(9, 5, 7), QTimeZone(9 * 3600));
  r.intervalMs = 250;
  r.inUse = {true, false, true, false};
  r.wiring = {2, 0, 1, 0};
  r.memos[0] = QStringLiteral("rig \"1\"");
  return r;
}

TEST(MqttPayloads, SamplesCarryTheRunTheFirstRowItsTimeAndAListPerUnitInUse) {
  const float nan = std::nanf("");
  const PublishedRow rows[] = {{23.4f, 1, -0.125f, 0}, {nan, 1, 1e-7f, 0}};
  EXPECT_EQ(SamplesPayload(ARun(), 3, rows, 2),
            "{\"run\":\"2026-12-09T09:05:07+09:00\",\"first\":3,\"interval_s\":0.25,"
            "\"time\":\"2026-12-09T09:05:08+09:00\",\"ID0\":[23.4,null],\"ID2\":[-0.125,1e-07]}");
}

TEST(MqttPayloads, TheRunSaysItsConditionsAndState) {
  ModuleData d;
  d.InitDataBuffers();
  d.Units[1].Mflag = kTrue;
  d.Units[1].Count = 1;
  d.Units[1].Values[0] = kNoReading;
  EXPECT_TRUE(std::isnan(RowOf(d, 0)[1]));  // the no-reading mark is no reading
  EXPECT_EQ(RunPayload(ARun(), false),
            R"({"interval_s":0.25,"kind":"degC","memos":["rig \"1\"","","","",""],)"
            R"("start":"2026-12-09T09:05:07+09:00","state":"stopped","units":[{"unit":"ID0",)"
            R"("wiring":"4-wire"},{"unit":"ID2","wiring":"3-wire"}]})");
}

}  // namespace
}  // namespace larimo
