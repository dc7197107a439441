// The option checks of larimo-cli record, and its standard-output queue
// into a pipe nobody reads.
#include "cli/record_options.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "cli/output_queue.h"

namespace larimo {
namespace {

TEST(RecordOptions, ChecksAsATable) {
  QTemporaryDir tmp;
  const QString out = tmp.filePath("run.rk0");
  struct Case {
    QStringList args;
    const char* refusal;  // part of the message; "" accepted
    const char* wiring;   // the wiring codes of ID0..ID3 when accepted
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option '--bogus'", ""},
      {{"--csv", out}, "--out and --csv name the same file", ""},
      {{"--wiring", "4,3,2,4"}, "", "2102"},
      {{"--units", "2,0", "--wiring", "4,3"}, "", "1020"},
      {{"--units", "1", "--wiring", "3"}, "", "0100"},
      {{"--units", "0,1", "--wiring", "4"},
       "give 4 values (ID0 to ID3) or one per unit in use",
       ""},
      {{"--units", "0,1", "--wiring", "4,4,4"}, "give 4 values", ""},
      {{"--interval", "20ms", "--average"}, "", "0000"},
      {{"--interval", "5s", "--average"}, "時間の入力に誤りがあります。", ""},
      {{"--memo", "--help"}, "", "0000"},
  };
  for (const Case& c : cases) {
    ModuleData d;  // stored settings: ID0 at 100 ms
    d.InitDataBuffers();
    d.Units[0].Mflag = kTrue;
    d.IntervalTM = 100;
    RecordOptions o;
    const QString refusal = ApplyRecordOptions(QStringList{"--out", out} + c.args, d, o);
    const std::string what = c.args.join(' ').toStdString();
    EXPECT_TRUE(QString::fromUtf8(c.refusal).isEmpty()
                    ? refusal.isEmpty()
                    : refusal.contains(QString::fromUtf8(c.refusal)))
        << what << ": " << refusal.toStdString();
    if (!refusal.isEmpty()) continue;
    QString wiring;
    for (const UnitData& u : d.Units) wiring += QString::number(u.Connect);
    EXPECT_EQ(wiring.toStdString(), c.wiring) << what;
    EXPECT_FALSE(o.help) << what;
  }
  RecordOptions o;
  o.out = tmp.filePath("missing/run.rk0");
  EXPECT_TRUE(CheckOutputs(o).contains("does not exist"));
  o.out = tmp.path();
  EXPECT_TRUE(CheckOutputs(o).contains("is a folder"));
  o.out = out;
  EXPECT_TRUE(CheckOutputs(o).isEmpty());
}

TEST(OutputQueue, APipeNobodyReadsNeverHoldsThePush) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  OutputQueue q(fds[1], 1000);
  const QByteArray line(99, 'x');
  const QByteArray text = line + '\n';
  int pushed = 0;
  // The pipe takes 64 KiB, the queue 1000 bytes more: then lines are dropped.
  for (int i = 0; i < 2000; ++i) pushed += q.Push(text, 1) ? 1 : 0;
  EXPECT_LT(pushed, 2000);
  EXPECT_GT(pushed, 600);
  q.Drain(50);  // waits no longer than told
  EXPECT_TRUE(q.Pending());
  EXPECT_FALSE(q.Closed());
  int inPipe = 0;
  ASSERT_EQ(::ioctl(fds[0], FIONREAD, &inPipe), 0);
  EXPECT_EQ(q.LostLines() + inPipe / 100, 2000);  // every line written or counted
  ::close(fds[0]);                                // the reader goes: the queue is closed, not stuck
  q.Flush();
  EXPECT_TRUE(q.Closed());
  ::close(fds[1]);
}

}  // namespace
}  // namespace larimo
