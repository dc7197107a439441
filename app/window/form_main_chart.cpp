// The main window's chart: set-up and style, axes with their scrolling and
// scale modes, plotting, the live readouts and the replay of data read from a
// measurement file.
#include <cmath>
#include <vector>

#include "window/form_main.h"
#include "store/user_interface.h"
#include "run/read_replay.h"

namespace larimo {

namespace {

const QString kRangeError = QStringLiteral("設定値に誤りがあります。");

QString ReadoutText(Single v) { return FormatValue(v).trimmed(); }

QString RangeText(Single v) { return QString::number(static_cast<double>(v), 'g', 7); }

bool ReadRangeBox(const QLineEdit* box, Single& out) {
  bool ok = false;
  const float v = box->text().trimmed().toFloat(&ok);
  if (!ok || !std::isfinite(v)) return false;
  out = v;
  return true;
}

// Selects an option button the way a user's click would: its handling runs
// when it was not selected before.
void Select(QRadioButton* option) { option->setChecked(true); }

}  // namespace

// ------------------------------------------------------------------ set-up

void FormMain::InitGraph() {
  Chart2D1->SetIsBatched(true);
  Chart2D1->Reset();
  Chart2D1->SetSeriesCount(4);
  SetGraphStyle();
  DispConnectflg();
  Chart2D1->SetIsBatched(false);
}

void FormMain::SetGraphStyle() { Chart2D1->SetLineAndSymbolStyle(); }

void FormMain::DispConnectflg() {
  QStringList labels;
  for (int i = 0; i < kUnitCount; ++i) {
    labels << QStringLiteral("ID%1 ").arg(i) +
                  ConnectName(data.Units[static_cast<std::size_t>(i)].Connect);
  }
  Chart2D1->ClearSeriesLabels();
  for (const QString& l : labels) Chart2D1->AddSeriesLabel(l);
}

void FormMain::RefreshGraph(bool kindChanged) {
  Chart2D1->SetIsBatched(true);
  if (kindChanged) {
    if (optHei[0]->isChecked()) {
      optHei_Click(0);
    } else {
      Select(optHei[0]);
    }
  }
  GrDrawData(1);
  Chart2D1->SetHeaderText(HeaderFor(data.StartTime));
  ShowAxisTitles();
  DispConnectflg();
  Chart2D1->SetIsBatched(false);
}

void FormMain::ShowAxisTitles() {
  Chart2D1->SetAxisTitle(Chart2D::Axis::X, QStringLiteral("開始からの経過時間（秒）"));
  Chart2D1->SetAxisTitle(Chart2D::Axis::Y,
                         IsSet(data.MeasKind) ? QStringLiteral("Ω") : QStringLiteral("℃"));
}

void FormMain::InitGraphParam(bool flg) {
  view.AxisXStart = 1;
  view.ScrollMode = kShowAll;
  view.AxisXWidth = view.AxisXEnd = flg ? data.DataNum : 100;
  data.AxisYMax = data.RangeHigh();
  data.AxisYMin = data.RangeLow();
  DispConnectflg();
  view.ScaleYMode = kScaleAuto;
  Select(optHei[0]);
  EnableScaleYInput(false);
  Select(optWid[0]);
  cmdLeft->setEnabled(false);
  cmdRight->setEnabled(false);
  SetAxesY(data.AxisYMin, data.AxisYMax);
  SetAxesX(view.AxisXStart, view.AxisXEnd);
  InitWidthList();
}

// -------------------------------------------------------------------- axes

void FormMain::SetAxesX(Long dcnt1, Long dcnt2) {
  Chart2D1->SetAxisRange(Chart2D::Axis::X, SampleSeconds(data.IntervalTM, dcnt1),
                         SampleSeconds(data.IntervalTM, dcnt2));
}

void FormMain::SetAxesY(Single minV, Single maxV) {
  Chart2D1->SetAxisRange(Chart2D::Axis::Y, static_cast<double>(minV), static_cast<double>(maxV));
}

bool FormMain::ReadFixedRange(Single& hi, Single& lo) {
  // Text that is no number is refused like a range whose ends are wrong.
  if (ReadRangeBox(txtVhi, hi) && ReadRangeBox(txtVlow, lo) && hi > lo) return true;
  ShowMessage(kRangeError, kMsgTitle);
  return false;
}

bool FormMain::SetGraphParam() {
  const Single hi0 = data.RangeHigh();
  const Single lo0 = data.RangeLow();
  bool accepted = true;
  if (view.ScaleYMode == kScaleAuto) {
    data.AxisYMax = hi0;
    data.AxisYMin = lo0;
    SetAxesY(data.AxisYMin, data.AxisYMax);
    EnableScaleYInput(false);
  } else {
    Single hi = 0;
    Single lo = 0;
    if (ReadFixedRange(hi, lo)) {
      data.AxisYMax = hi;
      data.AxisYMin = lo;
      EnableScaleYInput(true);
    } else {
      accepted = false;
    }
  }
  if (accepted) {
    view.ResetForRun(SelectedWidth());
    const bool scroll = view.ScrollMode != kShowAll;
    cmdLeft->setEnabled(view.ScrollMode == kManualScroll);
    cmdRight->setEnabled(view.ScrollMode == kManualScroll);
    Combo1->setEnabled(scroll);
    SetAxesY(data.AxisYMin, data.AxisYMax);
    SetAxesX(view.AxisXStart, view.AxisXEnd);
  }
  Chart2D1->Reset();
  return accepted;
}

void FormMain::UpdateViewX() {
  if (view.UpdateViewX(data.DataNum)) SetAxesX(view.AxisXStart, view.AxisXEnd);
}

void FormMain::CalcAxisY() {
  data.CalcDataRange();
  data.FitAxisYToSample(true);
}

void FormMain::EnableScaleYInput(bool enable) {
  txtVhi->setEnabled(enable);
  txtVlow->setEnabled(enable);
  cmdSetScaleY->setEnabled(enable);
  txtVhi->setText(enable ? RangeText(data.AxisYMax) : QString());
  txtVlow->setText(enable ? RangeText(data.AxisYMin) : QString());
  txtVhi->repaint();
  txtVlow->repaint();
}

void FormMain::InitWidthList() {
  {
    const QSignalBlocker quiet(Combo1);  // emptying and filling select nothing
    Combo1->clear();
    for (int i = 0; i < kWidthEntries; ++i) Combo1->addItem(QString::number(WidthEntry(i)));
    Combo1->setCurrentIndex(-1);
  }
  Combo1->setCurrentIndex(Combo1->findText(QStringLiteral("100")));
}

Long FormMain::SelectedWidth() const {
  bool ok = false;
  const Long w = Combo1->currentText().toInt(&ok);
  return ok ? w : 0;
}

void FormMain::optHei_Click(int index) {
  if (index == 0) {
    view.ScaleYMode = kScaleAuto;
    if (data.DataNum >= 1) {
      CalcAxisY();
    } else {
      data.AxisYMax = data.RangeHigh();
      data.AxisYMin = data.RangeLow();
    }
    SetAxesY(data.AxisYMin, data.AxisYMax);
    EnableScaleYInput(false);
  } else {
    view.ScaleYMode = kScaleFixed;
    EnableScaleYInput(true);
  }
}

void FormMain::cmdSetScaleY_Click() {
  Single hi = 0;
  Single lo = 0;
  if (!ReadRangeBox(txtVhi, hi) || !ReadRangeBox(txtVlow, lo)) return;
  if (hi > lo) {
    data.AxisYMax = hi;
    data.AxisYMin = lo;
    SetAxesY(data.AxisYMin, data.AxisYMax);
  } else {
    ShowMessage(kRangeError, kMsgTitle);
  }
}

void FormMain::optWid_Click(int index) {
  view.SelectScrollMode(static_cast<Integer>(index), IsTrue(data.Measuring), data.DataNum,
                        SelectedWidth());
  const bool scroll = index != kShowAll;
  cmdLeft->setEnabled(index == kManualScroll);
  cmdRight->setEnabled(index == kManualScroll);
  Combo1->setEnabled(scroll);
  SetAxesX(view.AxisXStart, view.AxisXEnd);
}

void FormMain::Combo1_Click() {
  if (view.SelectWidth(SelectedWidth(), IsTrue(data.Measuring), data.DataNum)) {
    SetAxesX(view.AxisXStart, view.AxisXEnd);
  }
}

void FormMain::cmdLeft_Click() {
  if (view.ScrollLeft(SelectedWidth())) SetAxesX(view.AxisXStart, view.AxisXEnd);
}

void FormMain::cmdRight_Click() {
  if (view.ScrollRight(SelectedWidth(), data.DataNum)) SetAxesX(view.AxisXStart, view.AxisXEnd);
}

// ---------------------------------------------------------------- plotting

void FormMain::GrDrawData(Long dCnt) {
  if (dCnt < 1) return;
  Chart2D1->SetSeriesCount(4);
  Chart2D1->SetDataUpdatesSuspended(true);
  Chart2D1->SetX(dCnt, SampleSeconds(data.IntervalTM, dCnt));
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data.Units[static_cast<std::size_t>(i)];
    Chart2D1->SetPointCount(i + 1, dCnt);
    const Single v =
        dCnt <= kBufferSize ? unit.Values[static_cast<std::size_t>(dCnt - 1)] : kNoReading;
    if (IsTrue(unit.Mflag) && v != kNoReading) {
      Chart2D1->SetY(i + 1, dCnt, static_cast<double>(v));
    } else {
      // A point without a reading is not drawn, whatever it showed before.
      Chart2D1->UnsetY(i + 1, dCnt);
    }
  }
  Chart2D1->SetDataUpdatesSuspended(false);
  // Points up to dCnt are in the chart; a following block pass goes on from
  // there only when nothing before it was cut or skipped.
  if (dCnt == plottedPoints_ + 1) {
    plottedPoints_ = dCnt;
    for (int i = 0; i < kUnitCount; ++i) {
      if (plotted_[static_cast<std::size_t>(i)] == dCnt - 1)
        plotted_[static_cast<std::size_t>(i)] = dCnt;
    }
  } else {
    ForgetPlotted();
  }
}

void FormMain::ForgetPlotted() {
  plotted_.fill(0);
  plottedPoints_ = 0;
}

void FormMain::GrDrawData1() {
  const Long n = data.DataNum;
  Chart2D1->SetSeriesCount(4);
  Chart2D1->SetDataUpdatesSuspended(true);
  // The chart keeps what it was given; it only needs what is new since the
  // last pass. When its points no longer match what was handed over (the
  // data were cleared or another routine cut the plot), start over.
  bool restart = n < plottedPoints_;
  for (int s = 1; s <= 4; ++s) restart = restart || Chart2D1->PointCount(s) != plottedPoints_;
  if (restart) {
    ForgetPlotted();
    for (int s = 1; s <= 4; ++s) Chart2D1->SetPointCount(s, 0);
  }
  for (Long j = plottedPoints_ + 1; j <= n; ++j)
    Chart2D1->SetX(j, SampleSeconds(data.IntervalTM, j));
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data.Units[static_cast<std::size_t>(i)];
    Long& done = plotted_[static_cast<std::size_t>(i)];
    Chart2D1->SetPointCount(i + 1, n);
    if (!IsTrue(unit.Mflag)) continue;
    for (Long j = done + 1; j <= n; ++j) {
      const Single v = unit.Values[static_cast<std::size_t>(j - 1)];
      if (v != kNoReading) Chart2D1->SetY(i + 1, j, static_cast<double>(v));
    }
    // Samples below the unit's count are final; those above may still come.
    done = std::min(unit.Count, n);
  }
  plottedPoints_ = n;
  Chart2D1->SetDataUpdatesSuspended(false);
}

// ---------------------------------------------------------------- readouts

void FormMain::ClearReadouts() {
  for (QLabel* l : Label1) l->clear();
}

void FormMain::ShowReadouts() {
  if (data.DataNum < 1 || data.DataNum > kBufferSize) return;
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data.Units[static_cast<std::size_t>(i)];
    if (IsTrue(unit.Mflag)) {
      Label1[static_cast<std::size_t>(i)]->setText(
          ReadoutText(unit.Values[static_cast<std::size_t>(data.DataNum - 1)]));
    }
  }
}

void FormMain::ShowUnitReadouts() {
  for (int i = 0; i < kUnitCount; ++i) {
    const UnitData& unit = data.Units[static_cast<std::size_t>(i)];
    if (IsTrue(unit.Mflag) && unit.Count > 0 && unit.Count <= kBufferSize) {
      Label1[static_cast<std::size_t>(i)]->setText(
          ReadoutText(unit.Values[static_cast<std::size_t>(unit.Count - 1)]));
    }
  }
}

void FormMain::ShowReadData() {
  Chart2D1->SetIsBatched(true);
  InitGraphParam(true);
  Chart2D1->Reset();
  if (SetGraphParam()) {
    Chart2D1->SetHeaderText(QStringLiteral("開始時刻  ") + data.StartTime);
  }
  ShowAxisTitles();
  const Long n = data.DataNum;
  data.DataNum = 0;
  data.Measuring = kTrue;
  Chart2D1->SetIsBatched(true);

  // Each sample goes through the steps a run takes for a new sample; the
  // chart gets the end state of its axes and all points in one pass.
  const StepChanges changes = ReplaySamples(data, view, n);
  if (changes.axisY) SetAxesY(data.AxisYMin, data.AxisYMax);
  if (changes.axisX) SetAxesX(view.AxisXStart, view.AxisXEnd);
  // All points at once, as plotting sample after sample leaves them: a unit
  // not in use and a missing reading draw nothing. The chart then holds no
  // earlier run's points, and the plotting of the next run starts afresh.
  std::vector<const float*> readings;
  for (const UnitData& u : data.Units) {
    const bool drawn = IsTrue(u.Mflag) && u.Values.size() >= static_cast<size_t>(data.DataNum);
    readings.push_back(drawn ? u.Values.data() : nullptr);
  }
  Chart2D1->SetSeriesCount(kUnitCount);
  Chart2D1->ReplaceAllPoints(data.DataNum, SampleSeconds(data.IntervalTM, 1), readings, kNoReading);
  ForgetPlotted();

  Chart2D1->SetIsBatched(false);
  data.DataNum = 0;
  data.Measuring = kFalse;
}

}  // namespace larimo
