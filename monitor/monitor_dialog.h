#pragma once
// The main window: connection, live report display with watchdog, fan commands and
// the setting.

#include <QDialog>
#include <QFont>
#include <QTimer>
#include <memory>

#include "monitor/monitor_state.h"
#include "monitor/report_display.h"
#include "protocol/frame_assembler.h"
#include "seriallink/receive_worker.h"
#include "seriallink/serial_port.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace fanbench::monitor {

inline constexpr int kWatchdogMs = 5000;

// "Rotalyx.ini" beside the running executable.
QString settingsPathBesideExecutable();

class MonitorDialog : public QDialog {
    Q_OBJECT
  public:
    explicit MonitorDialog(QString settingsPath = settingsPathBesideExecutable(),
                           QWidget* parent = nullptr);
    ~MonitorDialog() override;

    bool isConnected() const { return port_.isOpen(); }
    int ignoreRotation() const { return state_.ignoreRotation.load(); }
    const QTimer& watchdog() const { return watchdog_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onConnect();
    void onExit();
    void onSend();
    void onSetting();
    void onWatchdog();
    void showReport(const DisplayUpdate& update);
    void restartWatchdog();
    void stopConnection();
    void loadSettings();
    void saveSettings();
    bool ask(const QString& question);
    void transferSelections();

    QString settingsPath_;
    MonitorState state_;
    seriallink::SerialPort port_;
    ReportConsumer consumer_;
    protocol::FrameAssembler assembler_;  // lives for the whole run, across connections
    std::unique_ptr<seriallink::ReceiveWorker> worker_;
    QTimer watchdog_;

    int dutySelection_ = -1;
    int fanTypeSelection_ = -1;
    QFont valueFont_;

    QLabel* fanTypeDisplay_;
    QLabel* dutyDisplay_;
    QLabel* speedDisplay_;
    QLabel* statusLine_;
    QComboBox* fanTypeList_;
    QComboBox* dutyList_;
    QPushButton* connectButton_;
};

}  // namespace fanbench::monitor
