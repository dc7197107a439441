#pragma once
// The window "警報履歴" (modeless, one at most): the events of the run in
// memory, newest last, refilled whenever events come or another run is shown.

#include <vector>

#include <QDialog>

#include "alarm/alarm_monitor.h"

class QTableWidget;

namespace larimo {

class DialogAlarmEvents final : public QDialog {
  Q_OBJECT
 public:
  explicit DialogAlarmEvents(QWidget* parent = nullptr);
  void Fill(const std::vector<AlarmEvent>& events);
  // Adds events[from..].
  void Append(const std::vector<AlarmEvent>& events, std::size_t from);

  QTableWidget* table = nullptr;
};

// The name of an event as the window shows it.
QString AlarmKindCaption(AlarmKind k);

}  // namespace larimo
