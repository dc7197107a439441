// When the buffer of a running measurement will be full, as the window says.
#include "run/buffer_forecast.h"

#include <gtest/gtest.h>

namespace larimo {
namespace {

TEST(BufferForecast, TimeLeftAndEndFollowTheStoredSamples) {
  const QDateTime now(QDate(2026, 12, 9), QTime(16, 0, 0));
  const struct {
    Long interval, stored;
    qint64 msLeft;
    const char* text;
  } cases[] = {
      {10, 0, 880000, "満杯まで 0:14:40\n終了予定 16:14:40"},
      {10, 87999, 10, "満杯まで 0:00:01\n終了予定 16:00:00"},
      {1000, 1000, 87000000, "満杯まで 24:10:00\n終了予定 12/10 16:10"},
      {10, kBufferSize, 0, "満杯まで 0:00:00\n終了予定 16:00:00"},
  };
  for (const auto& c : cases) {
    ModuleData d;
    d.IntervalTM = c.interval;
    d.DataNum = c.stored;
    const BufferForecast f = ForecastFull(d, now);
    EXPECT_EQ(f.msLeft, c.msLeft) << c.text;
    EXPECT_EQ(f.end, now.addMSecs(c.msLeft));
    EXPECT_EQ(ForecastText(f, now), QString::fromUtf8(c.text));
  }
}

}  // namespace
}  // namespace larimo
