// Publishing from the main window: the "MQTT設定" entry of the context menus
// of the chart and the readouts (and its shortcut), the publisher of the
// stored settings and the status beside the command buttons.

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QTimer>

#include "publish/ui/dialog_mqtt.h"
#include "store/user_interface.h"
#include "window/form_main.h"

namespace larimo {

namespace {
constexpr int kStatusPollMs = 500;
}  // namespace

void FormMain::SetUpMqtt() {
  actMqtt = new QAction(QStringLiteral("MQTT設定..."), this);
  actMqtt->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  actMqtt->setShortcutContext(Qt::WindowShortcut);
  connect(actMqtt, &QAction::triggered, this, &FormMain::cmdMqtt_Click);
  AddContextAction(actMqtt);

  // The status sits in the free space of the command row: it takes a fixed
  // share of it, so a longer text moves no button.
  lblMqtt = new QLabel(this);
  lblMqtt->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblMqtt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (auto* root = qobject_cast<QGridLayout*>(layout())) {
    if (auto* row = qobject_cast<QHBoxLayout*>(root->itemAtPosition(2, 0)->layout())) {
      row->insertWidget(row->indexOf(cmdEnd), lblMqtt, 1);
    }
  }
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &FormMain::ShowMqttStatus);
  poll->start(kStatusPollMs);
  StartMqtt();
}

void FormMain::StartMqtt() {
  if (publisher_) {
    run_.RemoveObserver(publisher_.get());
    publisher_.reset();
  }
  const MqttSettings s = LoadMqttSettings();
  // Stored settings that cannot be used are shown in the status; the
  // dialog names what is wrong.
  if (s.Enabled() && CheckMqttSettings(s).isEmpty()) {
    publisher_ = std::make_unique<MqttPublisher>(s);
    run_.AddObserver(publisher_.get());
  }
  lblMqtt->setText(s.Enabled() && !publisher_ ? QStringLiteral("MQTT: 設定に誤りがあります")
                                              : QString());
  lblMqtt->setToolTip(s.Enabled() && !publisher_ ? CheckMqttSettings(s) : QString());
  ShowMqttStatus();
}

void FormMain::ShowMqttStatus() {
  if (!publisher_) return;
  const MqttPublisher::Status s = publisher_->CurrentStatus();
  lblMqtt->setText(MqttStatusText(s));
  lblMqtt->setToolTip(DescribeMqttStatus(s, publisher_->Url()) +
                      QStringLiteral("\n未確認のデータ: %1").arg(s.unacknowledged));
}

void FormMain::cmdMqtt_Click() {
  // A run keeps the publisher it started with.
  if (IsTrue(data.Measuring)) {
    ShowMessage(QStringLiteral("測定中はMQTT設定を変更できません。"), kMsgTitle);
    return;
  }
  DialogMqtt dialog(this);
  if (dialog.exec() == QDialog::Accepted) StartMqtt();
}

}  // namespace larimo
