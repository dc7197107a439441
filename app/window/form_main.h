#pragma once
// The main window "PT100温度測定ユニット": the chart, the live readouts, the
// display-range controls, one row of command buttons and the two timers
// that pace the run. The run itself is the window-free Acquisition; the
// window drives it from its buttons and timers and shows it (RunDisplay).
//
// Controls are public members named after their role (cmdStart, optWid[0],
// Label1[i], ...) so the other windows of the program and the tests can
// reach them; the window works on the one ModuleData it is given. The
// commands of the settings, file, data-list and print windows are declared
// here and defined beside those windows.

#include <array>
#include <memory>

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>

#include "chart/ui/chart2d.h"
#include "device/device_table.h"
#include "publish/mqtt_publisher.h"
#include "run/acquisition.h"
#include "run/chart_feed.h"
#include "run/chart_view.h"
#include "run/journal.h"
#include "store/module_data.h"

namespace larimo {

class AlarmPanel;

inline constexpr char kMainTitle[] = "PT100温度測定ユニット";

class FormMain : public QWidget, private RunDisplay {
  Q_OBJECT
 public:
  // Builds the window and runs its start-up sequence (Form_Load). The units
  // are reached through `device` (the bound library unless told otherwise).
  explicit FormMain(ModuleData& data, QWidget* parent = nullptr);
  FormMain(ModuleData& data, const DeviceTable& device, QWidget* parent = nullptr);
  ~FormMain() override;

  ModuleData& data;
  ChartView view;  // AxisXStart, AxisXEnd, AxisXWidth, ScrollMode, ScaleYMode

  // Command buttons.
  QPushButton* cmdStart;
  QPushButton* cmdStop;
  QPushButton* cmdSetting;
  QPushButton* cmdPrint;
  QPushButton* cmdRead;
  QPushButton* cmdSave;
  QPushButton* cmdEnd;
  QPushButton* cmdDisp;
  QPushButton* cmdMeasInfo;
  std::array<QPushButton*, 4> cmdMove;  // "○" in the four corners

  // Readouts "現在値".
  QGroupBox* Frame1;
  std::array<QLabel*, 4> Label2;  // "ID0" .. "ID3"
  std::array<QLabel*, 4> Label1;  // the readout of each unit

  // Y range "表示範囲".
  QGroupBox* Frame4;
  std::array<QRadioButton*, 2> optHei;  // "自動", "固定"
  QLineEdit* txtVhi;
  QLineEdit* txtVlow;
  QLabel* Label3;  // "↑" below txtVhi
  QLabel* Label4;  // "↓" above txtVlow
  QPushButton* cmdSetScaleY;

  // While a run goes: when its buffer will be full (time left, end time).
  QLabel* lblFull;

  // X window.
  QGroupBox* Frame2;
  std::array<QRadioButton*, 3> optWid;  // "全表示", "自動ｽｸﾛｰﾙ", "手動ｽｸﾛｰﾙ"
  QLabel* Label5;                       // "表示データ数"
  QComboBox* Combo1;                    // width list
  QPushButton* cmdLeft;
  QPushButton* cmdRight;

  Chart2D* Chart2D1;
  QTimer* Timer1;  // single-sample pacing
  QTimer* Timer2;  // block-mode polling, 300 ms

  // The one data-list window while it is open.
  QPointer<QWidget> datalist;

  // Start-up, button states, closing.
  void Form_Load();
  void SetButtons();
  // True to refuse closing (asks or refuses with a message).
  bool Form_QueryUnload();
  void cmdEnd_Click();
  void cmdMeasInfo_Click();

  // The run: delegations to the run controller.
  void cmdStart_Click();
  void cmdStop_Click();
  void StopMeasure();
  void Timer1_Timer();
  void Timer2_Timer();
  // True while a cycle runs (a message box inside it may be waiting).
  bool InCycle() const { return run_.InCycle(); }
  Acquisition& Run() { return run_; }
  // The limit alarms of the window's runs.
  AlarmPanel& Alarms() { return *alarms_; }

  // Chart set-up and style.
  void InitGraph();
  void SetGraphStyle();
  void RefreshGraph(bool kindChanged);
  void InitGraphParam(bool flg);
  // The Y range and X window of a new run or replay; false (told the user)
  // when the fixed range typed is no range.
  bool SetGraphParam();
  void EnableScaleYInput(bool enable);
  // The scroll buttons and the width list as the scroll mode allows them.
  void ShowScrollControls();
  void InitWidthList();
  Long SelectedWidth() const;
  void optHei_Click(int index);
  void cmdSetScaleY_Click();
  void optWid_Click(int index);
  void Combo1_Click();
  void cmdLeft_Click();
  void cmdRight_Click();
  // What the chart is handed: points and axes.
  ChartFeed& Feed() { return *feed_; }
  void ClearReadouts();
  // The newest reading of every unit in use (block: each unit's own newest).
  void ShowReadouts(bool block = false);
  // The forecast of the full buffer while measuring, nothing otherwise.
  void ShowFullForecast();

  // Commands defined beside their own windows.
  void cmdSetting_Click();
  void cmdSave_Click();
  void cmdRead_Click();
  void ShowReadData();
  // A run loaded from a file or a journal, shown as after a read; unsaved
  // marks the title.
  void ShowLoadedRun(bool unsaved);
  void cmdDisp_Click();
  void RefillList();
  void UnloadDatalist();
  void cmdPrint_Click();
  void cmdMove_Click(int index);
  // "MQTT設定" (context menu of the chart and the readouts, Ctrl+M): the
  // broker the runs are published to; lblMqtt shows the publisher's state.
  void cmdMqtt_Click();
  QAction* actMqtt = nullptr;
  QLabel* lblMqtt = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  // An entry of the context menus of the readouts and the chart; its
  // shortcut works anywhere in the window and is shown in the menus.
  void AddContextAction(QAction* action);
  void PlaceCornerButtons();
  // Offers a run a crashed program left in its journal and shows it as
  // after a read when the user restores it.
  void RestoreJournal();
  // The menu entry, shortcut and status of publishing; the publisher of the
  // stored settings (none without a broker).
  void SetUpMqtt();
  void StartMqtt();
  void ShowMqttStatus();

  // RunDisplay: the run shown on the window.
  bool RangeAccepted() override;
  void RunClearing() override;
  void RunCleared() override;
  void HeaderChanged(const QString& startTime) override;
  void MeasuringChanged(bool measuring) override;
  void AxisYChanged(Single min, Single max) override;
  void AxisXChanged(Long first, Long last) override;
  void SamplesStored(bool block) override;
  void RunEnded(const RunEnd& end) override;

  // Declared before the run controller, which it observes, so it outlives it.
  Journal journal_;
  std::unique_ptr<MqttPublisher> publisher_;
  DeviceTable device_;
  Acquisition run_;
  std::unique_ptr<Chart2DSink> sink_;
  std::unique_ptr<ChartFeed> feed_;
  std::unique_ptr<AlarmPanel> alarms_;  // goes before the controller it observes
  // The store a file is read into before it replaces `data`; kept between
  // reads so its buffers are allocated once.
  ModuleData readStore_;
};

// Twips of the window system (1440 per inch) to pixels at the screen's
// logical resolution.
int TwipsToPixels(int twips, double dpi);

}  // namespace larimo
