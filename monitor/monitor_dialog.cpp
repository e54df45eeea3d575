#include "monitor/monitor_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTime>

#include "monitor/app_icon.h"
#include "monitor/com_port_dialog.h"
#include "monitor/dialog_widgets.h"
#include "monitor/monitor_fonts.h"
#include "monitor/profile_file.h"
#include "monitor/setting_dialog.h"
#include "seriallink/debug_trace.h"

namespace fanbench::monitor {

namespace {

constexpr std::size_t kReadChunk = 16;
constexpr auto kStopBound = std::chrono::milliseconds(1000);
const std::string kSection = "Setting";
const std::string kKey = "IgnoreRotation";

LocalTime localTimeNow() {
    const QTime now = QTime::currentTime();
    return {now.hour(), now.minute(), now.second()};
}

}  // namespace

QString settingsPathBesideExecutable() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Rotalyx.ini");
}

MonitorDialog::MonitorDialog(QString settingsPath, QWidget* parent)
    : QDialog(parent),
      settingsPath_(std::move(settingsPath)),
      consumer_(state_.ignoreRotation, state_.connection, localTimeNow,
                [this](DisplayUpdate update) {
                    // Runs on the receive thread: hand a copy to the window, never wait.
                    QMetaObject::invokeMethod(
                        this, [this, update = std::move(update)] { showReport(update); },
                        Qt::QueuedConnection);
                }),
      assembler_(protocol::CapacityRule::WrapAt256, consumer_) {
    DialogBuilder b(this, QStringLiteral("Rotalyx"), 173, 184);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    b.group(QStringLiteral("FAN Status"), 4, 4, 109, 90);
    b.label(QStringLiteral("FAN type"), 12, 23, 29, 8);
    fanTypeDisplay_ = b.display(1002, Qt::AlignRight, 47, 18, 45, 18);
    b.label(QStringLiteral("Pin"), 95, 26, 10, 8);
    b.label(QStringLiteral("PWM duty"), 12, 47, 30, 8);
    dutyDisplay_ = b.display(1001, Qt::AlignRight, 47, 42, 45, 18);
    b.label(QStringLiteral("%"), 95, 50, 8, 8);
    b.label(QStringLiteral("Speed"), 12, 71, 19, 8);
    speedDisplay_ = b.display(1000, Qt::AlignRight, 47, 66, 45, 18);
    b.label(QStringLiteral("rpm"), 95, 74, 12, 8);
    connectButton_ = b.button(1007, QStringLiteral("Connect"), 118, 14, 50, 14);
    QPushButton* exitButton = b.button(1006, QStringLiteral("Exit"), 118, 73, 50, 14);
    b.group(QStringLiteral("Setting"), 4, 105, 165, 55);
    b.label(QStringLiteral("Fan type"), 12, 123, 27, 8);
    fanTypeList_ =
        b.dropDown(1004, {QStringLiteral("3Pin"), QStringLiteral("4Pin")}, 12, 136, 40, 61);
    b.label(QStringLiteral("PWM duty"), 64, 123, 30, 8);
    QStringList duties;
    for (int i = 0; i <= 20; ++i) duties << QStringLiteral("%1%").arg(i * 5);
    dutyList_ = b.dropDown(1003, duties, 64, 136, 40, 248);
    QPushButton* sendButton = b.button(1005, QStringLiteral("Send"), 118, 136, 40, 14);
    QPushButton* settingButton = b.button(1010, QStringLiteral("Setting"), 118, 44, 50, 14);
    statusLine_ = b.display(1012, Qt::AlignLeft, 4, 170, 165, 10);

    setTabOrder(connectButton_, exitButton);
    setTabOrder(exitButton, fanTypeList_);
    setTabOrder(fanTypeList_, dutyList_);
    setTabOrder(dutyList_, sendButton);
    setTabOrder(sendButton, settingButton);

    connect(connectButton_, &QPushButton::clicked, this, &MonitorDialog::onConnect);
    connect(exitButton, &QPushButton::clicked, this, &MonitorDialog::onExit);
    connect(sendButton, &QPushButton::clicked, this, &MonitorDialog::onSend);
    connect(settingButton, &QPushButton::clicked, this, &MonitorDialog::onSetting);
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, &MonitorDialog::onWatchdog);
    qApp->installEventFilter(this);

    // Initialisation, in the original order.
    setWindowIcon(appIcon());
    dutySelection_ = 0;
    fanTypeSelection_ = 0;
    valueFont_ = valueFont(font());
    for (QLabel* display : {speedDisplay_, dutyDisplay_, fanTypeDisplay_})
        display->setFont(valueFont_);
    fanTypeList_->setCurrentIndex(fanTypeSelection_);
    dutyList_->setCurrentIndex(dutySelection_);
    loadSettings();
    connectButton_->setFocus();
}

MonitorDialog::~MonitorDialog() {
    qApp->removeEventFilter(this);
    watchdog_.stop();
    stopConnection();
}

bool MonitorDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter and Escape go nowhere in this window: no button press, no closing.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool filtered =
            key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
        if (filtered && widget != nullptr && widget->window() == this) return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool MonitorDialog::ask(const QString& question) {
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    return box.exec() == QMessageBox::Yes;
}

void MonitorDialog::transferSelections() {
    dutySelection_ = dutyList_->currentIndex();
    fanTypeSelection_ = fanTypeList_->currentIndex();
}

void MonitorDialog::restartWatchdog() {
    watchdog_.stop();
    watchdog_.start(kWatchdogMs);
}

void MonitorDialog::stopConnection() {
    if (worker_) {
        worker_->stop(kStopBound);
        worker_.reset();
    }
    port_.close();
    // Reports of the closed connection that are still queued must not show.
    state_.connection.fetch_add(1, std::memory_order_acq_rel);
}

void MonitorDialog::onConnect() {
    if (isConnected()) {
        if (!ask(QStringLiteral("ポートを閉じますか？"))) return;
        stopConnection();
        watchdog_.stop();
        connectButton_->setText(QStringLiteral("Connect"));
        setWindowTitle(QStringLiteral("Rotalyx"));
        for (QLabel* field : {fanTypeDisplay_, dutyDisplay_, speedDisplay_, statusLine_})
            field->clear();
        return;
    }

    ComPortDialog dialog(this);
    dialog.portSelection = state_.portNumber - 1;
    dialog.baudSelection = state_.baudIndex;
    if (dialog.exec() != QDialog::Accepted) return;
    state_.portNumber = dialog.portSelection + 1;
    state_.baudIndex = dialog.baudSelection;
    const int baud =
        static_cast<int>(kBaudRateTable.at(static_cast<std::size_t>(state_.baudIndex)));
    debugTrace("Port Open COM:%d Baud:%d\r\n", state_.portNumber, baud);
    if (!port_.open(state_.portNumber, baud, seriallink::PortSharing::Exclusive)) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        QStringLiteral("A port does not open."), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    worker_ = std::make_unique<seriallink::ReceiveWorker>(port_, kReadChunk, assembler_,
                                                          [] { debugTrace("Device lost\r\n"); });
    worker_->start();
    restartWatchdog();
    connectButton_->setText(QStringLiteral("Disconnect"));
    setWindowTitle(QStringLiteral("Rotalyx COM%1").arg(state_.portNumber));
}

void MonitorDialog::showReport(const DisplayUpdate& update) {
    if (update.connection != state_.connection.load(std::memory_order_acquire) || !isConnected()) {
        return;
    }
    fanTypeDisplay_->setText(QString::fromStdString(update.fanType));
    dutyDisplay_->setText(QString::fromStdString(update.duty));
    speedDisplay_->setText(QString::fromStdString(update.speed));
    statusLine_->setText(QString::fromStdString(update.status));
    restartWatchdog();
}

void MonitorDialog::onWatchdog() {
    debugTrace("Receive Timeout\r\n");
    watchdog_.stop();
    for (QLabel* display : {fanTypeDisplay_, dutyDisplay_, speedDisplay_}) display->clear();
    statusLine_->setText(QStringLiteral("No Receive."));
}

void MonitorDialog::onSend() {
    if (!isConnected()) return;
    transferSelections();
    const std::uint8_t command[2] = {
        protocol::fanTypeCommand(static_cast<std::uint8_t>(fanTypeSelection_ + 1)),
        static_cast<std::uint8_t>(dutySelection_ | 0x80)};
    debugTrace("Pin:%02X Duty:%02X\r\n", command[0], command[1]);
    port_.write(command);
}

void MonitorDialog::onSetting() {
    SettingDialog dialog(this);
    dialog.checkState = state_.ignoreRotation.load();
    if (dialog.exec() != QDialog::Accepted) return;
    state_.ignoreRotation.store(dialog.checkState);
    saveSettings();
}

void MonitorDialog::loadSettings() {
    state_.ignoreRotation.store(readProfileInt(settingsPath_.toStdString(), kSection, kKey, 1));
}

void MonitorDialog::saveSettings() {
    // A failed write is not reported; the value in memory stays as set.
    writeProfileString(settingsPath_.toStdString(), kSection, kKey,
                       std::to_string(state_.ignoreRotation.load()));
}

void MonitorDialog::onExit() {
    if (!ask(QStringLiteral("終了しますか？"))) return;
    if (isConnected()) {
        watchdog_.stop();
        stopConnection();
    }
    saveSettings();
    transferSelections();
    accept();
}

void MonitorDialog::closeEvent(QCloseEvent* event) {
    if (!ask(QStringLiteral("終了しますか？"))) {
        event->ignore();
        return;
    }
    if (isConnected()) {
        watchdog_.stop();
        stopConnection();
    }
    saveSettings();
    QDialog::closeEvent(event);
}

}  // namespace fanbench::monitor
