#include "alarm/ui/dialog_alarm_events.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "alarm/alarm_events_file.h"
#include "files/csv_file.h"

namespace larimo {

QString AlarmKindCaption(AlarmKind k) {
  switch (k) {
    case AlarmKind::High:
      return QStringLiteral("上限超過 ▲");
    case AlarmKind::Low:
      return QStringLiteral("下限超過 ▼");
    case AlarmKind::Sensor:
      return QStringLiteral("センサー異常 ×");
    case AlarmKind::Clear:
      return QStringLiteral("復帰");
    case AlarmKind::None:
      break;
  }
  return {};
}

DialogAlarmEvents::DialogAlarmEvents(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("警報履歴"));
  table = new QTableWidget(0, 6, this);
  table->setHorizontalHeaderLabels({QStringLiteral("経過時間 [秒]"), QStringLiteral("時刻"),
                                    QStringLiteral("ユニット"), QStringLiteral("警報"),
                                    QStringLiteral("値"), QStringLiteral("設定値")});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  table->setWordWrap(false);
  table->horizontalHeader()->setStretchLastSection(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table);
  resize(640, 320);
}

void DialogAlarmEvents::Fill(const std::vector<AlarmEvent>& events) {
  table->setRowCount(0);
  Append(events, 0);
}

void DialogAlarmEvents::Append(const std::vector<AlarmEvent>& events, std::size_t from) {
  for (std::size_t i = from; i < events.size(); ++i) {
    const AlarmEvent& e = events[i];
    const int row = table->rowCount();
    table->insertRow(row);
    const QString cells[] = {CsvDouble(e.elapsed),
                             e.time.toString(QStringLiteral("yyyy/M/d H:mm:ss")),
                             QStringLiteral("ID%1").arg(e.unit),
                             AlarmKindCaption(e.kind),
                             FormatValue(e.value).trimmed(),
                             e.limit ? CsvDouble(*e.limit) : QString()};
    for (int c = 0; c < 6; ++c) table->setItem(row, c, new QTableWidgetItem(cells[c]));
  }
  table->resizeColumnsToContents();
  table->scrollToBottom();
}

}  // namespace larimo
