// libFuzzer target for the measurement-file reader: any bytes, read as the
// application reads a file, then replayed as the program shows a read
// (extremes, Y range, the chart's points) and exported as CSV. Checks that the store stays
// within its bounds and the Y range encloses the data.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <QBuffer>
#include <QByteArray>

#include "files/csv_file.h"
#include "files/measurement_file.h"
#include "run/chart_feed.h"
#include "store/module_data.h"

namespace {

larimo::ModuleData& Store() {
  static larimo::ModuleData d = [] {
    larimo::ModuleData m;
    m.InitDataBuffers();
    return m;
  }();
  return d;
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace larimo;
  ModuleData& d = Store();
  d.ClearData();
  QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  const bool current = IsCurrentHeader(in);
  in.seek(0);
  const ReadResult r = ReadDataDevice(d, in, current);

  Check(d.DataNum >= 0 && d.DataNum <= kBufferSize);
  Check(r.rowsRead == d.DataNum);
  Check(static_cast<qsizetype>(d.DataNum) <= static_cast<qsizetype>(size) / 16);
  for (const UnitData& u : d.Units) {
    Check(u.Values.size() == static_cast<size_t>(kBufferSize));
    Check(u.Count >= 0 && u.Count <= d.DataNum);
    for (Long k = 0; k < d.DataNum; ++k) Check(std::isfinite(u.Values[static_cast<size_t>(k)]));
  }

  // The replay of a read, as the program shows it.
  d.AxisYMax = 0;
  d.AxisYMin = 0;
  const Long n = d.DataNum;
  ChartView view;
  NoChartSink chart;
  ChartFeed(d, view, chart).Replay();
  Check(d.DataNum == n && chart.PointCount(kUnitCount) == n);
  Check(std::isfinite(d.AxisYMax) && std::isfinite(d.AxisYMin));
  if (n >= 1) {
    Check(d.AxisYMax >= d.DataMax && d.AxisYMin <= d.DataMin);
    Check(d.FitAxisY() == 0);
  }

  const QByteArray csv = CsvBytes(d);
  Check(csv.endsWith("\r\n"));
  return 0;
}
