// The window's way to the publisher: the menu entry and shortcut, the
// dialog's refusal of a malformed broker, the status at a glance.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "modal.h"
#include "mosquitto_broker.h"
#include "publish/ui/dialog_mqtt.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

TEST(FormMainMqtt, TheDialogOfTheChartsMenuStoresTheBrokerAndTheWindowShowsItsState) {
  test::MosquittoBroker broker;
  ASSERT_TRUE(broker.Start());
  const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.Port());
  test::RecordingUi ui;
  ModuleData d;
  FormMain w{d};
  EXPECT_TRUE(w.lblMqtt->text().isEmpty());  // nothing is published without a broker
  ASSERT_TRUE(w.Chart2D1->actions().contains(w.actMqtt) && w.Frame1->actions().contains(w.actMqtt));
  EXPECT_EQ(w.actMqtt->shortcut(), QKeySequence(QStringLiteral("Ctrl+M")));
  auto modal = test::WhenModal<DialogMqtt>([&](DialogMqtt* dlg) {
    dlg->txtUrl->setText("mqtt//127.0.0.1");
    dlg->OKButton->click();  // refused: the dialog stays open
    dlg->txtUrl->setText(url);
    dlg->OKButton->click();
  });
  w.actMqtt->trigger();
  ASSERT_TRUE(modal.ran());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.startsWith("MQTT設定に誤りがあります。"));
  EXPECT_EQ(LoadMqttSettings().url, url);
  const QString connected = QStringLiteral("MQTT: 接続済み");
  for (QDeadlineTimer t(10000); w.lblMqtt->text() != connected && !t.hasExpired();) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(w.lblMqtt->text(), connected);
}

}  // namespace
}  // namespace larimo
