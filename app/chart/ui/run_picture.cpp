#include "chart/ui/run_picture.h"

#include <vector>

#include <QWidget>

#include "chart/ui/chart2d.h"
#include "files/file_filters.h"
#include "files/measurement_file.h"
#include "run/chart_view.h"
#include "run/read_replay.h"
#include "store/module_data.h"

namespace larimo {

RunPictureResult ExportRunPicture(const RunPictureRequest& request, const QFont& font) {
  ModuleData d;
  d.InitDataBuffers();
  const ReadResult read = ReadDataFile(d, request.input);
  RunPictureResult result;
  result.read = read.status;
  if (read.status == ReadResult::Status::Failed) {
    result.message = FileFailureText(read.message, request.input,
                                     QStringLiteral("ファイルを読み込めませんでした。"));
    return result;
  }
  if (read.rowsRead < 1) {
    result.message = request.input + QStringLiteral(": データがありません。");
    return result;
  }

  // The chart takes its texts' font when it is made, from the window it is
  // made in: here a stand-in for the main window.
  QWidget window;
  window.setFont(font);
  Chart2D chart(&window);
  chart.resize(request.size);
  chart.SetIsBatched(true);
  chart.SetSeriesCount(kUnitCount);
  chart.SetLineAndSymbolStyle();
  for (int i = 0; i < kUnitCount; ++i) {
    chart.AddSeriesLabel(QStringLiteral("ID%1 ").arg(i) +
                         ConnectName(d.Units[static_cast<std::size_t>(i)].Connect));
  }
  chart.SetHeaderText(QStringLiteral("開始時刻  ") + d.StartTime);
  chart.SetAxisTitle(Chart2D::Axis::X, QStringLiteral("開始からの経過時間（秒）"));
  chart.SetAxisTitle(Chart2D::Axis::Y,
                     IsSet(d.MeasKind) ? QStringLiteral("Ω") : QStringLiteral("℃"));

  // The view a read gives in the window: all shown, the Y range automatic,
  // both found by replaying the samples as the window's read does.
  ChartView view;
  view.ResetForRun(100);
  d.AxisYMax = d.RangeHigh();
  d.AxisYMin = d.RangeLow();
  const Long n = d.DataNum;
  d.DataNum = 0;
  d.Measuring = kTrue;
  ReplaySamples(d, view, n);
  d.Measuring = kFalse;
  chart.SetAxisRange(Chart2D::Axis::Y, static_cast<double>(d.AxisYMin),
                     static_cast<double>(d.AxisYMax));
  chart.SetAxisRange(Chart2D::Axis::X, SampleSeconds(d.IntervalTM, view.AxisXStart),
                     SampleSeconds(d.IntervalTM, view.AxisXEnd));
  std::vector<const float*> readings;
  for (const UnitData& u : d.Units) readings.push_back(IsTrue(u.Mflag) ? u.Values.data() : nullptr);
  chart.ReplaceAllPoints(n, SampleSeconds(d.IntervalTM, 1), readings, kNoReading);
  if (request.span) chart.SetUserRange(Chart2D::Axis::X, request.span->from, request.span->to);
  chart.SetIsBatched(false);

  QString error;
  if (!chart.SavePicture(request.output, request.size, &error)) {
    result.message =
        FileFailureText(error, request.output, QStringLiteral("画像を保存できませんでした。"));
    return result;
  }
  result.written = true;
  if (read.status == ReadResult::Status::Truncated) {
    result.message = read.message;
  } else if (read.status == ReadResult::Status::EndsEarly) {
    result.message =
        QStringLiteral("ファイルが途中で終わっています。%1 行中 %2 行を読み込みました。")
            .arg(read.rowsInHeader)
            .arg(read.rowsRead);
  }
  return result;
}

}  // namespace larimo
