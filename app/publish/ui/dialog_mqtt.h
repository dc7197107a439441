#pragma once
// The dialog "MQTT設定" (modal): the broker, the topic prefix, the user and
// the password and CA files. OK checks the settings and stores them (group
// "Mqtt" of the stored settings); a setting that cannot be used is shown and
// the dialog stays open. Cancel changes nothing.

#include <QDialog>

#include "publish/mqtt_publisher.h"
#include "publish/mqtt_settings.h"

class QLineEdit;
class QPushButton;

namespace larimo {

class DialogMqtt final : public QDialog {
  Q_OBJECT
 public:
  explicit DialogMqtt(QWidget* parent = nullptr);

  // The settings the controls hold.
  MqttSettings Settings() const;
  // Checks and stores; false (with a message) when they cannot be used.
  bool Accept();

  QLineEdit* txtUrl;
  QLineEdit* txtTopic;
  QLineEdit* txtUser;
  QLineEdit* txtPasswordFile;
  QLineEdit* txtCaFile;
  QPushButton* OKButton;
  QPushButton* CancelButton;
};

// What the window shows of the publisher at a glance ("MQTT: 接続済み", ...);
// DescribeMqttStatus gives the reason for its tool tip.
QString MqttStatusText(const MqttPublisher::Status& s);

}  // namespace larimo
