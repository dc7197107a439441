#include "window/form_main.h"

#include <cmath>
#include <utility>

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "device/quenzel.h"
#include "print/ui/app_fonts.h"
#include "settings/persisted_settings.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

// Size of the window's client area and of the corner buttons, in twips.
constexpr int kClientWidthTwips = 12375;
constexpr int kClientHeightTwips = 9015;
constexpr int kCornerTwips = 375;

QPushButton* MakeButton(const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

int TwipsToPixels(int twips, double dpi) {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

FormMain::FormMain(ModuleData& d, QWidget* parent) : FormMain(d, quenzel::Library(), parent) {}

FormMain::FormMain(ModuleData& d, const DeviceTable& device, QWidget* parent)
    : QWidget(parent), data(d), device_(device), run_(data, view, device_, *this) {
  run_.AddObserver(&journal_);
  BuildControls();
  Form_Load();
}

FormMain::~FormMain() = default;

// ---------------------------------------------------------------- controls

void FormMain::BuildControls() {
  QString title = QString::fromUtf8(kMainTitle);
  if (quenzel::IsSimulated()) title += QStringLiteral("  [シミュレーション]");
  setWindowTitle(title);
  setFont(WindowFont());

  cmdStart = MakeButton(QStringLiteral("開始"), this);
  cmdStop = MakeButton(QStringLiteral("停止"), this);
  cmdSetting = MakeButton(QStringLiteral("取込設定"), this);
  cmdPrint = MakeButton(QStringLiteral("印刷"), this);
  cmdRead = MakeButton(QStringLiteral("読込み"), this);
  cmdSave = MakeButton(QStringLiteral("保存"), this);
  cmdEnd = MakeButton(QStringLiteral("終了"), this);
  cmdDisp = MakeButton(QStringLiteral("データ表示"), this);
  cmdMeasInfo = MakeButton(QStringLiteral("測定条件保存"), this);
  for (int i = 0; i < 4; ++i) {
    cmdMove[i] = MakeButton(QStringLiteral("○"), this);
    cmdMove[i]->setToolTip(QStringLiteral("移動ツールの表示"));
    connect(cmdMove[i], &QPushButton::clicked, this, [this, i] { cmdMove_Click(i); });
  }

  Chart2D1 = new Chart2D(this);
  Chart2D1->setMinimumSize(320, 240);

  // Readouts.
  Frame1 = new QGroupBox(QStringLiteral("現在値"), this);
  auto* readouts = new QGridLayout(Frame1);
  for (int i = 0; i < 4; ++i) {
    Label2[i] = new QLabel(QStringLiteral("ID%1").arg(i), Frame1);
    Label1[i] = new QLabel(Frame1);
    Label1[i]->setFrameShape(QFrame::Panel);
    Label1[i]->setFrameShadow(QFrame::Sunken);
    Label1[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1[i]->setMinimumWidth(
        Label1[i]->fontMetrics().horizontalAdvance(QStringLiteral("-0000.000")) + 10);
    Label1[i]->setAutoFillBackground(true);
    QPalette p = Label1[i]->palette();
    p.setColor(QPalette::Window, Qt::white);
    Label1[i]->setPalette(p);
    readouts->addWidget(Label2[i], i, 0);
    readouts->addWidget(Label1[i], i, 1);
  }

  // Y range.
  Frame4 = new QGroupBox(QStringLiteral("表示範囲"), this);
  optHei[0] = new QRadioButton(QStringLiteral("自動"), Frame4);
  optHei[1] = new QRadioButton(QStringLiteral("固定"), Frame4);
  txtVhi = new QLineEdit(Frame4);
  txtVlow = new QLineEdit(Frame4);
  Label3 = new QLabel(QStringLiteral("↑"), Frame4);
  Label4 = new QLabel(QStringLiteral("↓"), Frame4);
  Label3->setAlignment(Qt::AlignCenter);
  Label4->setAlignment(Qt::AlignCenter);
  cmdSetScaleY = MakeButton(QStringLiteral("設定"), Frame4);
  auto* range = new QGridLayout(Frame4);
  range->addWidget(optHei[0], 0, 0);
  range->addWidget(optHei[1], 0, 1);
  range->addWidget(txtVhi, 1, 0, 1, 2);
  range->addWidget(Label3, 2, 0, 1, 2);
  range->addWidget(Label4, 3, 0, 1, 2);
  range->addWidget(txtVlow, 4, 0, 1, 2);
  range->addWidget(cmdSetScaleY, 5, 0, 1, 2);
  for (int i = 0; i < 2; ++i) {
    connect(optHei[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optHei_Click(i);
    });
  }
  connect(cmdSetScaleY, &QPushButton::clicked, this, &FormMain::cmdSetScaleY_Click);
  // A choice of the Y range ends a view of the values of the user's own.
  for (QAbstractButton* b :
       std::initializer_list<QAbstractButton*>{optHei[0], optHei[1], cmdSetScaleY})
    connect(b, &QAbstractButton::clicked, Chart2D1,
            [this] { Chart2D1->FollowProgram(Chart2D::Axis::Y); });

  // X window.
  Frame2 = new QGroupBox(this);
  optWid[0] = new QRadioButton(QStringLiteral("全表示"), Frame2);
  optWid[1] = new QRadioButton(QStringLiteral("自動ｽｸﾛｰﾙ"), Frame2);
  optWid[2] = new QRadioButton(QStringLiteral("手動ｽｸﾛｰﾙ"), Frame2);
  Label5 = new QLabel(QStringLiteral("表示データ数"), Frame2);
  Combo1 = new QComboBox(Frame2);
  Combo1->setMinimumContentsLength(6);
  Combo1->setMaxVisibleItems(12);
  cmdLeft = MakeButton(QStringLiteral("←"), Frame2);
  cmdRight = MakeButton(QStringLiteral("→"), Frame2);
  auto* xwin = new QHBoxLayout(Frame2);
  for (QRadioButton* o : optWid) xwin->addWidget(o);
  xwin->addSpacing(12);
  xwin->addWidget(Label5);
  xwin->addWidget(Combo1);
  xwin->addSpacing(12);
  xwin->addWidget(cmdLeft);
  xwin->addWidget(cmdRight);
  xwin->addStretch(1);
  for (int i = 0; i < 3; ++i) {
    connect(optWid[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optWid_Click(i);
    });
    // Choosing a scroll mode, the one in force too, ends a view of the user's.
    connect(optWid[i], &QRadioButton::clicked, Chart2D1, [this] { Chart2D1->FollowProgram(); });
  }
  connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) Combo1_Click();
  });
  connect(cmdLeft, &QPushButton::clicked, this, &FormMain::cmdLeft_Click);
  connect(cmdRight, &QPushButton::clicked, this, &FormMain::cmdRight_Click);

  // Command buttons.
  connect(cmdStart, &QPushButton::clicked, this, &FormMain::cmdStart_Click);
  connect(cmdStop, &QPushButton::clicked, this, &FormMain::cmdStop_Click);
  connect(cmdSetting, &QPushButton::clicked, this, &FormMain::cmdSetting_Click);
  connect(cmdPrint, &QPushButton::clicked, this, &FormMain::cmdPrint_Click);
  connect(cmdRead, &QPushButton::clicked, this, &FormMain::cmdRead_Click);
  connect(cmdSave, &QPushButton::clicked, this, &FormMain::cmdSave_Click);
  connect(cmdEnd, &QPushButton::clicked, this, &FormMain::cmdEnd_Click);
  connect(cmdDisp, &QPushButton::clicked, this, &FormMain::cmdDisp_Click);
  connect(cmdMeasInfo, &QPushButton::clicked, this, &FormMain::cmdMeasInfo_Click);

  Timer1 = new QTimer(this);
  Timer2 = new QTimer(this);
  connect(Timer1, &QTimer::timeout, this, &FormMain::Timer1_Timer);
  connect(Timer2, &QTimer::timeout, this, &FormMain::Timer2_Timer);

  // Layout: the chart with the readouts and the Y range beside it, the X
  // window below it and the command row at the bottom; the margins keep the
  // four corners free for the "○" buttons.
  const double dpi = logicalDpiX();
  const int corner = TwipsToPixels(kCornerTwips, dpi);
  auto* side = new QVBoxLayout;
  side->addWidget(Frame1);
  side->addWidget(Frame4);
  side->addStretch(1);
  auto* commands = new QHBoxLayout;
  for (QPushButton* b :
       {cmdStart, cmdStop, cmdSetting, cmdMeasInfo, cmdRead, cmdSave, cmdDisp, cmdPrint}) {
    commands->addWidget(b);
  }
  commands->addStretch(1);
  commands->addWidget(cmdEnd);
  auto* root = new QGridLayout(this);
  root->setContentsMargins(corner, corner, corner, corner);
  root->addWidget(Chart2D1, 0, 0);
  root->addLayout(side, 0, 1);
  root->addWidget(Frame2, 1, 0, 1, 2);
  root->addLayout(commands, 2, 0, 1, 2);
  root->setColumnStretch(0, 1);
  root->setRowStretch(0, 1);

  resize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));
  PlaceCornerButtons();
}

void FormMain::PlaceCornerButtons() {
  const int size = TwipsToPixels(kCornerTwips, logicalDpiX());
  const int right = width() - size;
  const int bottom = height() - size;
  cmdMove[0]->setGeometry(0, 0, size, size);
  cmdMove[1]->setGeometry(right, 0, size, size);
  cmdMove[2]->setGeometry(0, bottom, size, size);
  cmdMove[3]->setGeometry(right, bottom, size, size);
  for (QPushButton* b : cmdMove) b->raise();
}

void FormMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceCornerButtons();
}

// ------------------------------------------------- start-up and the buttons

void FormMain::Form_Load() {
  data.InitDataBuffers();
  LoadSettings(data);
  data.ClearData();
  SetButtons();
  InitGraph();
  InitGraphParam(false);
  RefreshGraph(false);
  RestoreJournal();
}

void FormMain::RestoreJournal() {
  // As a read does: into the second store, which then trades places.
  ModuleData& restored = readStore_;
  data.CopyAllButReadingsTo(restored);
  if (!journal_.Recover(restored)) return;
  std::swap(data, restored);
  data.CalcAverageNum();
  ClearReadouts();
  cmdDisp->setEnabled(true);
  const Long n = data.DataNum;
  ShowReadData();
  data.DataNum = n;
}

void FormMain::SetButtons() {
  const bool measuring = IsTrue(data.Measuring);
  cmdStart->setEnabled(!measuring);
  cmdStop->setEnabled(measuring);
  for (QPushButton* b : {cmdSetting, cmdPrint, cmdRead, cmdSave, cmdEnd}) b->setEnabled(!measuring);
  cmdDisp->setEnabled(!measuring && data.DataNum >= 1);
}

bool FormMain::Form_QueryUnload() {
  if (!cmdStart->isEnabled()) {
    ShowMessage(QStringLiteral("測定中です。中止してから終了して下さい。"), kErrorTitle,
                MsgIcon::Critical);
    return true;
  }
  const QString question = data.DataNum < 1
                               ? QStringLiteral("終了しますか？")
                               : QStringLiteral("データが消去されます。終了してもよろしいですか？");
  if (!AskYesNo(question, kMsgTitle)) return true;
  journal_.Forget();  // the user let the data go
  if (!cmdDisp->isEnabled()) UnloadDatalist();
  return false;
}

void FormMain::closeEvent(QCloseEvent* event) {
  if (Form_QueryUnload()) {
    event->ignore();
  } else {
    event->accept();
  }
}

void FormMain::cmdEnd_Click() { close(); }

void FormMain::cmdMeasInfo_Click() {
  if (!SaveSettings(data)) {
    ShowMessage(QStringLiteral("測定条件を保存できませんでした。"), kMsgTitle);
  }
}

// ------------------------------------------------------------------ the run

QString FormMain::HeaderFor(const QString& startTime) {
  return QStringLiteral("開始時刻 [ ") + startTime + QStringLiteral(" ]");
}

void FormMain::cmdStart_Click() {
  const Pacing p = run_.Start();
  if (p.kind == Pacing::Kind::SampleTimer) {
    Timer1->setInterval(p.intervalMs);
    Timer1->start();
  } else if (p.kind == Pacing::Kind::BlockTimer) {
    Timer2->setInterval(p.intervalMs);
    Timer2->start();
  }
}

void FormMain::cmdStop_Click() { StopMeasure(); }

void FormMain::StopMeasure() { run_.Stop(); }

void FormMain::Timer1_Timer() { run_.SampleTimerTick(); }

void FormMain::Timer2_Timer() { run_.BlockTick(); }

bool FormMain::RangeAccepted() {
  Single hi = 0;
  Single lo = 0;
  return view.ScaleYMode == kScaleAuto || ReadFixedRange(hi, lo);
}

void FormMain::RunClearing() {
  if (!cmdDisp->isEnabled()) {
    UnloadDatalist();
    cmdDisp->setEnabled(true);
  }
  if (optWid[0]->isChecked()) view.AxisXWidth = 100;
  Chart2D1->SetIsBatched(true);
}

void FormMain::RunCleared() {
  // SetGraphParam cannot refuse here: the range was accepted before.
  SetGraphParam();
  ForgetPlotted();
  for (int s = 1; s <= kUnitCount; ++s) Chart2D1->SetPointCount(s, 0);
  ClearReadouts();
  ShowAxisTitles();
}

void FormMain::HeaderChanged(const QString& startTime) {
  Chart2D1->SetHeaderText(HeaderFor(startTime));
}

void FormMain::MeasuringChanged(bool measuring) {
  if (!measuring) {
    Timer1->stop();
    Timer2->stop();
    // A run that ends before its first cycle would leave the chart suspended.
    if (Chart2D1->IsBatched()) Chart2D1->SetIsBatched(false);
  }
  SetButtons();
}

void FormMain::AxisYChanged(Single min, Single max) { SetAxesY(min, max); }

void FormMain::AxisXChanged(Long first, Long last) { SetAxesX(first, last); }

void FormMain::SamplesStored(bool block) {
  if (Chart2D1->IsBatched()) Chart2D1->SetIsBatched(false);
  if (block) {
    ShowUnitReadouts();
    GrDrawData1();
  } else {
    ShowReadouts();
    GrDrawData(data.DataNum);
  }
}

void FormMain::RunEnded(const RunEnd& end) { ShowRunEnd(end); }

}  // namespace larimo
