// The main window's chart: set-up and style, the controls of the axes'
// scrolling and scale modes, and the live readouts. What the chart is handed
// comes from the chart feed.
#include <tuple>

#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

namespace {

QString RangeText(Single v) { return QString::number(static_cast<double>(v), 'g', 7); }

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
  feed_->ShowLabels();
  Chart2D1->SetIsBatched(false);
}

void FormMain::SetGraphStyle() { Chart2D1->SetLineAndSymbolStyle(); }

void FormMain::RefreshGraph(bool kindChanged) {
  Chart2D1->SetIsBatched(true);
  // Data of another kind: the automatic range of that kind.
  if (kindChanged && optHei[0]->isChecked()) {
    optHei_Click(0);
  } else if (kindChanged) {
    Select(optHei[0]);
  }
  feed_->DrawSample(1);
  feed_->ShowRunHeader(data.StartTime);
  feed_->ShowAxisTitles();
  feed_->ShowLabels();
  Chart2D1->SetIsBatched(false);
}

void FormMain::InitGraphParam(bool flg) {
  feed_->ResetView(flg);
  feed_->ShowLabels();
  Select(optHei[0]);
  EnableScaleYInput(false);
  Select(optWid[0]);
  cmdLeft->setEnabled(false);
  cmdRight->setEnabled(false);
  feed_->ShowAxisY();
  feed_->ShowViewX();
  InitWidthList();
}

// -------------------------------------------------------------------- axes

bool FormMain::SetGraphParam() {
  const bool accepted = feed_->ApplyRunRange(txtVhi->text(), txtVlow->text(), SelectedWidth());
  if (accepted) {
    EnableScaleYInput(view.ScaleYMode != kScaleAuto);
    ShowScrollControls();
  }
  Chart2D1->Reset();
  return accepted;
}

void FormMain::ShowScrollControls() {
  cmdLeft->setEnabled(view.ScrollMode == kManualScroll);
  cmdRight->setEnabled(view.ScrollMode == kManualScroll);
  Combo1->setEnabled(view.ScrollMode != kShowAll);
}

void FormMain::EnableScaleYInput(bool enable) {
  const auto shown = [this] {
    return std::tuple(txtVhi->isEnabled(), txtVlow->isEnabled(), txtVhi->text(), txtVlow->text());
  };
  const auto before = shown();
  txtVhi->setEnabled(enable);
  txtVlow->setEnabled(enable);
  cmdSetScaleY->setEnabled(enable);
  txtVhi->setText(enable ? RangeText(data.AxisYMax) : QString());
  txtVlow->setText(enable ? RangeText(data.AxisYMin) : QString());
  // The boxes show their new state at once; boxes that look as before have
  // nothing new to show (a read of a file passes here twice).
  if (shown() == before) return;
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
    feed_->SelectAutoRange();
  } else {
    view.ScaleYMode = kScaleFixed;
  }
  EnableScaleYInput(index != 0);
}

void FormMain::cmdSetScaleY_Click() { feed_->SetFixedRange(txtVhi->text(), txtVlow->text()); }

void FormMain::optWid_Click(int index) {
  view.SelectScrollMode(static_cast<Integer>(index), IsTrue(data.Measuring), data.DataNum,
                        SelectedWidth());
  ShowScrollControls();
  feed_->ShowViewX();
}

void FormMain::Combo1_Click() {
  if (view.SelectWidth(SelectedWidth(), IsTrue(data.Measuring), data.DataNum)) feed_->ShowViewX();
}

void FormMain::cmdLeft_Click() {
  if (view.ScrollLeft(SelectedWidth())) feed_->ShowViewX();
}

void FormMain::cmdRight_Click() {
  if (view.ScrollRight(SelectedWidth(), data.DataNum)) feed_->ShowViewX();
}

// ---------------------------------------------------------------- readouts

void FormMain::ClearReadouts() {
  for (QLabel* l : Label1) l->clear();
}

void FormMain::ShowReadouts(bool block) {
  for (int i = 0; i < kUnitCount; ++i) {
    if (const auto text = ReadoutText(data, i, block))
      Label1[static_cast<size_t>(i)]->setText(*text);
  }
}

void FormMain::ShowReadData() {
  Chart2D1->SetIsBatched(true);
  InitGraphParam(true);
  Chart2D1->Reset();
  if (SetGraphParam()) {
    Chart2D1->SetHeaderText(QStringLiteral("開始時刻  ") + data.StartTime);
  }
  feed_->ShowAxisTitles();
  Chart2D1->SetIsBatched(true);
  feed_->Replay();
  Chart2D1->SetIsBatched(false);
}

}  // namespace larimo
