#include "publish/ui/dialog_mqtt.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/user_interface.h"

namespace larimo {

namespace {

// A line edit with a "参照" button that picks a file through the dialog seam.
QLineEdit* FileRow(QWidget* parent, QFormLayout* form, const QString& label) {
  auto* edit = new QLineEdit(parent);
  auto* browse = new QPushButton(QStringLiteral("参照..."), parent);
  browse->setAutoDefault(false);
  QObject::connect(browse, &QPushButton::clicked, edit, [edit] {
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.filter = QStringLiteral("すべてのファイル (*)|*|");
    if (const auto path = Ui().ChooseFile(r)) edit->setText(*path);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(browse);
  form->addRow(label, row);
  return edit;
}

}  // namespace

DialogMqtt::DialogMqtt(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("MQTT設定"));
  setModal(true);
  auto* form = new QFormLayout;
  txtUrl = new QLineEdit(this);
  txtUrl->setPlaceholderText(
      QStringLiteral("mqtt://host[:port] / mqtts://host[:port]（空欄: 送信しない）"));
  txtTopic = new QLineEdit(this);
  txtTopic->setPlaceholderText(DefaultMqttTopic());
  txtUser = new QLineEdit(this);
  form->addRow(QStringLiteral("ブローカー"), txtUrl);
  form->addRow(QStringLiteral("トピック"), txtTopic);
  form->addRow(QStringLiteral("ユーザー名"), txtUser);
  txtPasswordFile = FileRow(this, form, QStringLiteral("パスワードファイル"));
  txtCaFile = FileRow(this, form, QStringLiteral("CAファイル (TLS)"));
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] {
    if (Accept()) accept();
  });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  auto* root = new QVBoxLayout(this);
  root->addLayout(form);
  root->addLayout(buttons);
  setMinimumWidth(520);

  const MqttSettings s = LoadMqttSettings();
  txtUrl->setText(s.url);
  txtTopic->setText(s.topic);
  txtUser->setText(s.user);
  txtPasswordFile->setText(s.passwordFile);
  txtCaFile->setText(s.caFile);
}

MqttSettings DialogMqtt::Settings() const {
  return {txtUrl->text().trimmed(), txtTopic->text().trimmed(), txtUser->text(),
          txtPasswordFile->text(), txtCaFile->text()};
}

bool DialogMqtt::Accept() {
  const MqttSettings s = Settings();
  if (const QString why = CheckMqttSettings(s); !why.isEmpty()) {
    ShowMessage(QStringLiteral("MQTT設定に誤りがあります。\n\n") + why,
                QStringLiteral("エラーメッセージ"), MsgIcon::Critical);
    return false;
  }
  if (!SaveMqttSettings(s)) {
    ShowMessage(QStringLiteral("MQTT設定を保存できませんでした。"), kMsgTitle);
    return false;
  }
  return true;
}

QString MqttStatusText(const MqttPublisher::Status& s) {
  switch (s.state) {
    case MqttPublisher::State::Connecting:
      return QStringLiteral("MQTT: 接続中");
    case MqttPublisher::State::Connected:
      return QStringLiteral("MQTT: 接続済み");
    case MqttPublisher::State::Unreachable:
      return QStringLiteral("MQTT: 接続できません（再試行中）");
    case MqttPublisher::State::Refused:
      return QStringLiteral("MQTT: 接続を拒否されました");
    case MqttPublisher::State::TlsFailed:
      return QStringLiteral("MQTT: TLS 検証に失敗しました");
  }
  return {};
}

}  // namespace larimo
