#pragma once
// The limit alarms in the main window: the evaluation follows the window's
// run (and its journal keeps the events), the readout of a unit in alarm
// shows it (colour and ▲ high, ▼ low, × sensor), the chart draws the limits
// in use as dashed lines in the unit's colour, a sound repeats until the
// user acknowledges when asked for, and the actions that open the limits
// dialog and the event list (shown in the window's context menus with
// their shortcuts). Events are saved beside a saved run and read back with
// it.

#include <array>
#include <memory>

#include <QAction>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "alarm/alarm_journal.h"
#include "alarm/alarm_monitor.h"
#include "alarm/ui/dialog_alarm_events.h"
#include "chart/ui/chart2d.h"
#include "run/acquisition.h"
#include "run/journal.h"

namespace larimo {

class AlarmPanel final : public QObject, private AlarmListener {
  Q_OBJECT
 public:
  AlarmPanel(QWidget* window, ModuleData& data, Acquisition& run, const Journal& journal,
             const std::array<QLabel*, kUnitCount>& readouts, Chart2D* chart);
  ~AlarmPanel() override;

  QAction* LimitsAction() const { return limitsAction_; }    // "警報設定..."
  QAction* EventsAction() const { return eventsAction_; }    // "警報履歴..."
  QAction* AcknowledgeAction() const { return ackAction_; }  // "警報音停止"
  AlarmMonitor& Monitor() { return monitor_; }

  void ShowLimitsDialog();
  void ShowEvents();
  void Acknowledge();
  bool Ringing() const { return ring_.isActive(); }

  // The run in memory was saved as file: its events go beside it. A
  // failure is told.
  void RunSaved(const QString& file);
  // The run in memory now comes from this file, or from the restored journal.
  void RunRead(const QString& file);
  void RunRestored();
  // The data in memory were let go.
  void RunCleared();
  // The readouts and the limit lines again (after the kind or units changed).
  void Refresh();

  // The glyph beside a readout, for its unit's state.
  QLabel* Indicator(int unit) const { return indicators_[unit]; }

 private:
  void AlarmRunStarted() override;
  void AlarmEventsAdded(const std::vector<AlarmEvent>& events, std::size_t from) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ShowStates();
  void ShowLimitLines();
  void ShowEventsReplaced(std::vector<AlarmEvent> events);

  QWidget* window_;
  ModuleData& data_;
  Acquisition& run_;
  std::array<QLabel*, kUnitCount> readouts_;
  std::array<QLabel*, kUnitCount> indicators_{};
  std::array<QPalette, kUnitCount> plain_{};
  Chart2D* chart_;
  AlarmMonitor monitor_;
  AlarmJournal kept_;
  QAction* limitsAction_;
  QAction* eventsAction_;
  QAction* ackAction_;
  QTimer ring_;
  QPointer<DialogAlarmEvents> list_;
};

}  // namespace larimo
