#include "alarm/ui/alarm_panel.h"

#include <QApplication>
#include <QEvent>

#include "alarm/alarm_events_file.h"
#include "alarm/ui/dialog_alarm_limits.h"
#include "files/file_filters.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

constexpr int kRingEveryMs = 1500;

// The look of a readout for an alarm: glyph, background.
struct Look {
  const char* glyph;
  QColor background;
};

Look LookOf(AlarmKind k) {
  switch (k) {
    case AlarmKind::High:
      return {"▲", QColor(255, 150, 150)};
    case AlarmKind::Low:
      return {"▼", QColor(150, 190, 255)};
    case AlarmKind::Sensor:
      return {"×", QColor(255, 220, 90)};
    default:
      return {"", QColor()};
  }
}

}  // namespace

AlarmPanel::AlarmPanel(QWidget* window, ModuleData& data, Acquisition& run, const Journal& journal,
                       const std::array<QLabel*, kUnitCount>& readouts, Chart2D* chart)
    : QObject(window),
      window_(window),
      data_(data),
      run_(run),
      readouts_(readouts),
      chart_(chart),
      monitor_(LoadAlarmSettings()),
      kept_(journal) {
  monitor_.AddListener(&kept_);
  monitor_.AddListener(this);
  run_.AddObserver(&monitor_);

  const auto action = [this](const QString& text, const QKeySequence& keys, auto slot) {
    auto* a = new QAction(text, window_);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  limitsAction_ = action(QStringLiteral("警報設定..."), QKeySequence(Qt::CTRL | Qt::Key_L),
                         &AlarmPanel::ShowLimitsDialog);
  eventsAction_ = action(QStringLiteral("警報履歴..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                         &AlarmPanel::ShowEvents);
  ackAction_ = action(QStringLiteral("警報音停止"), QKeySequence(Qt::CTRL | Qt::Key_K),
                      &AlarmPanel::Acknowledge);

  for (int u = 0; u < kUnitCount; ++u) {
    QLabel* r = readouts_[u];
    plain_[u] = r->palette();
    auto* glyph = new QLabel(r);
    glyph->setAttribute(Qt::WA_TransparentForMouseEvents);
    glyph->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    glyph->setGeometry(3, 0, r->fontMetrics().horizontalAdvance(QStringLiteral("▲")) + 4,
                       r->height());
    indicators_[u] = glyph;
    r->installEventFilter(this);  // the glyph follows the readout's height
  }
  ring_.setInterval(kRingEveryMs);
  connect(&ring_, &QTimer::timeout, this, [] { QApplication::beep(); });
  Refresh();
}

AlarmPanel::~AlarmPanel() { run_.RemoveObserver(&monitor_); }

bool AlarmPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    for (int u = 0; u < kUnitCount; ++u) {
      if (watched == readouts_[u]) {
        QLabel* g = indicators_[u];
        g->setGeometry(g->x(), 0, g->width(), readouts_[u]->height());
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

void AlarmPanel::ShowStates() {
  for (int u = 0; u < kUnitCount; ++u) {
    const Look look = LookOf(monitor_.State(u));
    indicators_[u]->setText(QString::fromUtf8(look.glyph));
    QPalette p = plain_[u];
    if (look.background.isValid()) p.setColor(QPalette::Window, look.background);
    readouts_[u]->setPalette(p);
  }
}

void AlarmPanel::ShowLimitLines() {
  const AlarmLimits& l = monitor_.Settings().For(IsSet(data_.MeasKind));
  for (int u = 0; u < kUnitCount; ++u) {
    std::vector<double> values;
    if (IsTrue(data_.Units[u].Mflag)) {
      for (const auto& v : {l.unit[u].low, l.unit[u].high}) {
        if (v) values.push_back(*v);
      }
    }
    chart_->SetLimitLines(u + 1, values);
  }
}

void AlarmPanel::Refresh() {
  ShowStates();
  ShowLimitLines();
}

void AlarmPanel::AlarmRunStarted() {
  ShowStates();
  ShowLimitLines();
  if (list_) list_->Fill({});
}

void AlarmPanel::AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) {
  ShowStates();
  if (list_) list_->Append(events, from);
  bool raised = false;
  for (std::size_t i = from; i < events.size(); ++i) raised |= events[i].kind != AlarmKind::Clear;
  // No box here: the run goes on; the sound and the readout say it.
  if (raised && monitor_.Settings().sound && !ring_.isActive()) {
    QApplication::beep();
    ring_.start();
  }
}

void AlarmPanel::Acknowledge() { ring_.stop(); }

void AlarmPanel::ShowLimitsDialog() {
  DialogAlarmLimits dialog(data_, monitor_.Settings(), window_);
  if (dialog.exec() != QDialog::Accepted) return;
  monitor_.SetSettings(dialog.Result());
  if (!monitor_.Settings().sound) ring_.stop();
  ShowLimitLines();
  if (!SaveAlarmSettings(dialog.Result())) {
    ShowMessage(QStringLiteral("警報設定を保存できませんでした。"), kMsgTitle);
  }
}

void AlarmPanel::ShowEvents() {
  if (!list_) {
    list_ = new DialogAlarmEvents(window_);
    list_->setAttribute(Qt::WA_DeleteOnClose);
  }
  list_->Fill(monitor_.Events());
  list_->show();
  list_->raise();
}

void AlarmPanel::ShowEventsReplaced(std::vector<AlarmEvent> events) {
  ring_.stop();
  monitor_.ReplaceEvents(std::move(events));
  if (list_) list_->Fill(monitor_.Events());
  Refresh();
}

void AlarmPanel::RunSaved(const QString& file) {
  QString error;
  if (!SaveEventsBeside(file, monitor_.Events(), &error)) {
    ShowMessage(FileFailureText(error, EventsPathFor(file),
                                QStringLiteral("警報履歴を保存できませんでした。")),
                kMsgTitle, MsgIcon::Exclamation);
  }
}

void AlarmPanel::RunRead(const QString& file) {
  EventsRead r = ReadEventsFile(EventsPathFor(file));
  if (!r.error.isEmpty()) {
    ShowMessage(r.error, kMsgTitle, MsgIcon::Exclamation);
  } else if (r.skipped > 0) {
    ShowMessage(QStringLiteral("警報履歴 %1 の %2 行を読み込めませんでした。")
                    .arg(EventsPathFor(file))
                    .arg(r.skipped),
                kMsgTitle, MsgIcon::Exclamation);
  }
  ShowEventsReplaced(std::move(r.events));
}

void AlarmPanel::RunRestored() { ShowEventsReplaced(kept_.Restore()); }

void AlarmPanel::RunCleared() { ShowEventsReplaced({}); }

}  // namespace larimo
