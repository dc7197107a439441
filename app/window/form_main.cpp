#include "window/form_main.h"

#include <cmath>

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "alarm/ui/alarm_panel.h"
#include "device/quenzel.h"
#include "print/ui/app_fonts.h"
#include "run/buffer_forecast.h"
#include "run/load_run.h"
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

// A button whose click runs the window's command `slot`.
QPushButton* MakeButton(const QString& caption, QWidget* parent, FormMain* form,
                        void (FormMain::*slot)()) {
  QPushButton* b = MakeButton(caption, parent);
  QObject::connect(b, &QPushButton::clicked, form, slot);
  return b;
}

// Runs the window's `handler` with option i's index when it becomes selected.
template <size_t N>
void OnSelected(FormMain* form, const std::array<QRadioButton*, N>& options,
                void (FormMain::*handler)(int)) {
  for (size_t i = 0; i < N; ++i) {
    QObject::connect(options[i], &QRadioButton::toggled, form, [form, handler, i](bool on) {
      if (on) (form->*handler)(static_cast<int>(i));
    });
  }
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
  alarms_ = std::make_unique<AlarmPanel>(this, data, run_, journal_, Label1, Chart2D1);
  for (QAction* a :
       {alarms_->LimitsAction(), alarms_->EventsAction(), alarms_->AcknowledgeAction()})
    AddContextAction(a);
  Form_Load();
  SetUpMqtt();
}

FormMain::~FormMain() = default;

// ---------------------------------------------------------------- controls

void FormMain::AddContextAction(QAction* action) {
  addAction(action);
  Frame1->setContextMenuPolicy(Qt::ActionsContextMenu);
  Frame1->addAction(action);
  Chart2D1->addAction(action);  // the chart's own menu lists it after its entries
}

void FormMain::BuildControls() {
  // "[*]" shows as "*" while the data in memory are not saved.
  QString title = QString::fromUtf8(kMainTitle) + QStringLiteral("[*]");
  if (quenzel::IsSimulated()) title += QStringLiteral("  [シミュレーション]");
  setWindowTitle(title);
  setFont(WindowFont());

  cmdStart = MakeButton(QStringLiteral("開始"), this, this, &FormMain::cmdStart_Click);
  cmdStop = MakeButton(QStringLiteral("停止"), this, this, &FormMain::cmdStop_Click);
  cmdSetting = MakeButton(QStringLiteral("取込設定"), this, this, &FormMain::cmdSetting_Click);
  cmdPrint = MakeButton(QStringLiteral("印刷"), this, this, &FormMain::cmdPrint_Click);
  cmdRead = MakeButton(QStringLiteral("読込み"), this, this, &FormMain::cmdRead_Click);
  cmdSave = MakeButton(QStringLiteral("保存"), this, this, &FormMain::cmdSave_Click);
  cmdEnd = MakeButton(QStringLiteral("終了"), this, this, &FormMain::cmdEnd_Click);
  cmdDisp = MakeButton(QStringLiteral("データ表示"), this, this, &FormMain::cmdDisp_Click);
  cmdMeasInfo =
      MakeButton(QStringLiteral("測定条件保存"), this, this, &FormMain::cmdMeasInfo_Click);
  for (int i = 0; i < 4; ++i) {
    cmdMove[i] = MakeButton(QStringLiteral("○"), this);
    cmdMove[i]->setToolTip(QStringLiteral("移動ツールの表示"));
    connect(cmdMove[i], &QPushButton::clicked, this, [this, i] { cmdMove_Click(i); });
  }

  Chart2D1 = new Chart2D(this);
  Chart2D1->setMinimumSize(320, 240);
  sink_ = std::make_unique<Chart2DSink>(*Chart2D1);
  feed_ = std::make_unique<ChartFeed>(data, view, *sink_);

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
  cmdSetScaleY = MakeButton(QStringLiteral("設定"), Frame4, this, &FormMain::cmdSetScaleY_Click);
  auto* range = new QGridLayout(Frame4);
  range->addWidget(optHei[0], 0, 0);
  range->addWidget(optHei[1], 0, 1);
  int row = 1;
  for (QWidget* w : std::initializer_list<QWidget*>{txtVhi, Label3, Label4, txtVlow, cmdSetScaleY})
    range->addWidget(w, row++, 0, 1, 2);
  OnSelected(this, optHei, &FormMain::optHei_Click);
  // A choice of the Y range ends a view of the values of the user's own.
  for (QAbstractButton* b :
       std::initializer_list<QAbstractButton*>{optHei[0], optHei[1], cmdSetScaleY})
    connect(b, &QAbstractButton::clicked, Chart2D1,
            [this] { Chart2D1->FollowProgram(Chart2D::Axis::Y); });

  // X window.
  // Two lines of its own below the Y range: it never widens the column or
  // moves a control.
  lblFull = new QLabel(this);
  lblFull->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  lblFull->setFixedHeight(lblFull->fontMetrics().lineSpacing() * 2 + 4);

  Frame2 = new QGroupBox(this);
  optWid[0] = new QRadioButton(QStringLiteral("全表示"), Frame2);
  optWid[1] = new QRadioButton(QStringLiteral("自動ｽｸﾛｰﾙ"), Frame2);
  optWid[2] = new QRadioButton(QStringLiteral("手動ｽｸﾛｰﾙ"), Frame2);
  Label5 = new QLabel(QStringLiteral("表示データ数"), Frame2);
  Combo1 = new QComboBox(Frame2);
  Combo1->setMinimumContentsLength(6);
  Combo1->setMaxVisibleItems(12);
  cmdLeft = MakeButton(QStringLiteral("←"), Frame2, this, &FormMain::cmdLeft_Click);
  cmdRight = MakeButton(QStringLiteral("→"), Frame2, this, &FormMain::cmdRight_Click);
  auto* xwin = new QHBoxLayout(Frame2);
  for (QRadioButton* o : optWid) xwin->addWidget(o);
  xwin->addSpacing(12);
  xwin->addWidget(Label5);
  xwin->addWidget(Combo1);
  xwin->addSpacing(12);
  xwin->addWidget(cmdLeft);
  xwin->addWidget(cmdRight);
  xwin->addStretch(1);
  OnSelected(this, optWid, &FormMain::optWid_Click);
  // Choosing a scroll mode, the one in force too, ends a view of the user's.
  for (QRadioButton* o : optWid)
    connect(o, &QRadioButton::clicked, Chart2D1, [this] { Chart2D1->FollowProgram(); });
  connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) Combo1_Click();
  });

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
  side->addWidget(lblFull);
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
  const LoadedRun run = LoadRunJournal(data, readStore_, journal_);
  if (!run.loaded) return;
  TellLoad(run, journal_.Path());
  ShowLoadedRun(true);
  alarms_->RunRestored();
}

void FormMain::SetButtons() {
  const bool measuring = IsTrue(data.Measuring);
  cmdStart->setEnabled(!measuring);
  cmdStop->setEnabled(measuring);
  for (QPushButton* b : {cmdSetting, cmdPrint, cmdRead, cmdSave, cmdEnd}) b->setEnabled(!measuring);
  cmdDisp->setEnabled(!measuring && data.DataNum >= 1);
}

bool FormMain::Form_QueryUnload() {
  if (!MayEnd(data, !cmdStart->isEnabled(), journal_)) return true;
  alarms_->RunCleared();
  if (!cmdDisp->isEnabled()) UnloadDatalist();
  return false;
}

void FormMain::closeEvent(QCloseEvent* event) { event->setAccepted(!Form_QueryUnload()); }

void FormMain::cmdEnd_Click() { close(); }

void FormMain::cmdMeasInfo_Click() {
  if (!SaveSettings(data)) {
    ShowMessage(QStringLiteral("測定条件を保存できませんでした。"), kMsgTitle);
  }
}

// ------------------------------------------------------------------ the run

void FormMain::cmdStart_Click() {
  const Pacing p = run_.Start();
  if (p.kind != Pacing::Kind::None) {
    (p.kind == Pacing::Kind::SampleTimer ? Timer1 : Timer2)->start(p.intervalMs);
  }
}

void FormMain::cmdStop_Click() { StopMeasure(); }

void FormMain::StopMeasure() { run_.Stop(); }

void FormMain::Timer1_Timer() { run_.SampleTimerTick(); }

void FormMain::Timer2_Timer() { run_.BlockTick(); }

bool FormMain::RangeAccepted() { return feed_->RangeAccepted(txtVhi->text(), txtVlow->text()); }

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
  feed_->Clear();
  setWindowModified(false);  // nothing stored yet
  ClearReadouts();
  feed_->ShowAxisTitles();
}

void FormMain::HeaderChanged(const QString& startTime) { feed_->ShowRunHeader(startTime); }

void FormMain::MeasuringChanged(bool measuring) {
  if (!measuring) {
    Timer1->stop();
    Timer2->stop();
    // A run that ends before its first cycle would leave the chart suspended.
    if (Chart2D1->IsBatched()) Chart2D1->SetIsBatched(false);
  }
  SetButtons();
  ShowFullForecast();
}

void FormMain::ShowFullForecast() {
  if (!IsTrue(data.Measuring)) {
    lblFull->clear();
    return;
  }
  const QDateTime now = QDateTime::currentDateTime();
  lblFull->setText(ForecastText(ForecastFull(data, now), now));
}

void FormMain::AxisYChanged(Single min, Single max) { feed_->SetAxisY(min, max); }

void FormMain::AxisXChanged(Long first, Long last) { feed_->SetAxisX(first, last); }

void FormMain::SamplesStored(bool block) {
  if (Chart2D1->IsBatched()) Chart2D1->SetIsBatched(false);
  setWindowModified(true);
  ShowReadouts(block);
  if (block) {
    feed_->DrawNew();
  } else {
    feed_->DrawSample(data.DataNum);
  }
  ShowFullForecast();
}

void FormMain::RunEnded(const RunEnd& end) { ShowRunEnd(end); }

}  // namespace larimo
