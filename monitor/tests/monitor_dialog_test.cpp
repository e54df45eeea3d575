// The monitor window driven as a user drives it, against a tester on a pseudo-terminal.

#include <sys/resource.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "monitor/com_port_dialog.h"
#include "monitor/dialog_widgets.h"
#include "monitor/monitor_dialog.h"
#include "monitor/monitor_fonts.h"
#include "monitor/setting_dialog.h"
#include "modal_driver.h"
#include "pty_tester.h"

using namespace fanbench::monitor;
using fanbench::testsupport::Bytes;
using fanbench::testsupport::PtyTester;
using fanbench::testsupport::TempConfigHome;
using namespace std::chrono_literals;

namespace {

std::size_t entriesIn(const char* dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// CPU time this process has used so far, all threads.
std::chrono::milliseconds processCpu() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    using std::chrono::seconds, std::chrono::microseconds;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        seconds(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
        microseconds(use.ru_utime.tv_usec + use.ru_stime.tv_usec));
}

void answer(QMessageBox::StandardButton button, QString* text = nullptr, QString* title = nullptr) {
    whenModal([=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box != nullptr);
        if (text) *text = box->text();
        if (title) *title = box->windowTitle();
        box->button(button)->click();
    });
}

void choosePort(int comPort, int* offered = nullptr) {
    whenModal([=](QWidget* w) {
        auto* dialog = qobject_cast<ComPortDialog*>(w);
        QVERIFY(dialog != nullptr);
        auto* ports = dialog->findChild<QComboBox*>(controlName(1008));
        if (offered) *offered = ports->currentIndex() + 1;
        ports->setCurrentIndex(comPort - 1);
        dialog->findChild<QPushButton*>(controlName(1))->click();
    });
}

QString text(QWidget* window, int id) {
    return window->findChild<QLabel*>(controlName(id))->text();
}

QPushButton* button(QWidget* window, int id) {
    return window->findChild<QPushButton*>(controlName(id));
}

QComboBox* list(QWidget* window, int id) {
    return window->findChild<QComboBox*>(controlName(id));
}

}  // namespace

class MonitorDialogTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempConfigHome> home_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<PtyTester> tester_;
    std::unique_ptr<MonitorDialog> window_;

    QString iniPath() const { return dir_->filePath(QStringLiteral("Rotalyx.ini")); }
    std::string iniText() const {
        std::ifstream in(iniPath().toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    void openWindow() {
        window_ = std::make_unique<MonitorDialog>(iniPath());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void connectTo(int comPort) {
        choosePort(comPort);
        button(window_.get(), 1007)->click();
        QVERIFY(window_->isConnected());
    }

    void disconnect() {
        answer(QMessageBox::Yes);
        button(window_.get(), 1007)->click();
        QVERIFY(!window_->isConnected());
    }

    void report(std::uint8_t type, std::uint8_t duty, std::uint64_t count) {
        tester_->sendReport({type, duty, count});
    }

  private slots:
    void init() {
        home_ = std::make_unique<TempConfigHome>();
        dir_ = std::make_unique<QTemporaryDir>();
        tester_ = std::make_unique<PtyTester>();
        tester_->linkAs(5);
        openWindow();
    }

    void cleanup() {
        forgetPendingModalActions();
        window_.reset();
        tester_.reset();
        dir_.reset();
        home_.reset();
    }

    void startsEmptyWithTheSpecifiedControls() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Rotalyx"));
        for (int id : {1002, 1001, 1000, 1012}) QCOMPARE(text(window_.get(), id), QString());
        QCOMPARE(list(window_.get(), 1004)->count(), 2);
        QCOMPARE(list(window_.get(), 1004)->currentText(), QStringLiteral("3Pin"));
        QCOMPARE(list(window_.get(), 1003)->count(), 21);
        QCOMPARE(list(window_.get(), 1003)->itemText(20), QStringLiteral("100%"));
        QCOMPARE(list(window_.get(), 1003)->currentText(), QStringLiteral("0%"));
        QCOMPARE(button(window_.get(), 1007)->text(), QStringLiteral("Connect"));
        for (auto* b : window_->findChildren<QPushButton*>())
            QVERIFY(!b->isDefault() && !b->autoDefault());
        QCOMPARE(window_->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        // Tab order: Connect, Exit, fan type, duty, Send, Setting.
        QWidget* w = button(window_.get(), 1007);
        const int order[] = {1006, 1004, 1003, 1005, 1010};
        for (int id : order) {
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
            QCOMPARE(w->objectName(), controlName(id));
        }
    }

    void layoutFollowsDialogUnits() {
        const DialogUnits units(window_->font());
        QCOMPARE(window_->size(), units.size(173, 184));
        QCOMPARE(button(window_.get(), 1007)->geometry(), units.rect(118, 14, 50, 14));
        QCOMPARE(window_->findChild<QLabel*>(controlName(1012))->geometry(),
                 units.rect(4, 170, 165, 10));
        const QFontMetrics value(window_->findChild<QLabel*>(controlName(1000))->font());
        QVERIFY(std::abs(value.height() - 25) <= 1);
    }

    void connectShowsReportsAndDisconnectClears() {
        int offered = 0;
        choosePort(5, &offered);
        button(window_.get(), 1007)->click();
        QCOMPARE(offered, 1);
        QVERIFY(window_->isConnected());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Rotalyx COM5"));
        QCOMPARE(button(window_.get(), 1007)->text(), QStringLiteral("Disconnect"));
        QVERIFY(window_->watchdog().isActive());

        report(2, 10, 30);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("900"));
        QCOMPARE(text(window_.get(), 1002), QStringLiteral("4"));
        QCOMPARE(text(window_.get(), 1001), QStringLiteral("50"));
        const QRegularExpression status(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d 02 0A 00 00 00 00 00 00 00 00 00 00 03 00$"));
        QVERIFY2(status.match(text(window_.get(), 1012)).hasMatch(),
                 qPrintable(text(window_.get(), 1012)));

        QString question, caption;
        answer(QMessageBox::No, &question, &caption);
        button(window_.get(), 1007)->click();
        QCOMPARE(question, QStringLiteral("ポートを閉じますか？"));
        QCOMPARE(caption, QCoreApplication::applicationName());
        QVERIFY(window_->isConnected());
        QVERIFY(window_->watchdog().isActive());

        disconnect();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Rotalyx"));
        QCOMPARE(button(window_.get(), 1007)->text(), QStringLiteral("Connect"));
        for (int id : {1002, 1001, 1000, 1012}) QCOMPARE(text(window_.get(), id), QString());
        QVERIFY(!window_->watchdog().isActive());

        choosePort(5, &offered);
        button(window_.get(), 1007)->click();
        QCOMPARE(offered, 5);
    }

    void cancellingThePortDialogChangesNothing() {
        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<ComPortDialog*>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->findChild<QComboBox*>(controlName(1009))->currentText(),
                     QStringLiteral("9600"));
            QVERIFY(!dialog->findChild<QComboBox*>(controlName(1009))->isEnabled());
            QCOMPARE(dialog->findChild<QPushButton*>(controlName(2))->text(),
                     QStringLiteral("ｷｬﾝｾﾙ"));
            dialog->findChild<QComboBox*>(controlName(1008))->setCurrentIndex(7);
            dialog->reject();
        });
        button(window_.get(), 1007)->click();
        QVERIFY(!window_->isConnected());
        int offered = 0;
        choosePort(5, &offered);
        button(window_.get(), 1007)->click();
        QCOMPARE(offered, 1);
    }

    void aFailedOpenSaysSoAndRemembersThePort() {
        QString message;
        choosePort(9);  // nothing behind COM9
        answer(QMessageBox::Ok, &message);
        button(window_.get(), 1007)->click();
        QCOMPARE(message, QStringLiteral("A port does not open."));
        QVERIFY(!window_->isConnected());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Rotalyx"));
        QCOMPARE(button(window_.get(), 1007)->text(), QStringLiteral("Connect"));
        int offered = 0;
        choosePort(5, &offered);
        button(window_.get(), 1007)->click();
        QCOMPARE(offered, 9);
    }

    void ignoreRotationRuleFollowsTheSetting() {
        QCOMPARE(window_->ignoreRotation(), 1);  // no file: the rule is on
        connectTo(5);
        report(1, 19, 30);
        QTRY_COMPARE(text(window_.get(), 1001), QStringLiteral("95"));
        QCOMPARE(text(window_.get(), 1002), QStringLiteral("3"));
        QCOMPARE(text(window_.get(), 1000), QStringLiteral("0"));
        QVERIFY(text(window_.get(), 1012).endsWith(QStringLiteral("00 00 00 00 00 00 00 03 00")));
        report(1, 20, 30);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("900"));

        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<SettingDialog*>(w);
            QVERIFY(dialog);
            auto* check = dialog->findChild<QCheckBox*>(controlName(1011));
            QVERIFY(check->isChecked());
            check->setChecked(false);
            dialog->findChild<QPushButton*>(controlName(1))->click();
        });
        button(window_.get(), 1010)->click();
        QCOMPARE(window_->ignoreRotation(), 0);
        QCOMPARE(iniText(), std::string("[Setting]\nIgnoreRotation=0\n"));
        report(1, 19, 30);
        QTRY_COMPARE(text(window_.get(), 1001), QStringLiteral("95"));
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("900"));
        report(0, 10, 31);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("930"));
        QCOMPARE(text(window_.get(), 1002), QStringLiteral("4"));
    }

    void settingsFileIsReadAndCancelWritesNothing() {
        window_.reset();
        std::ofstream(iniPath().toStdString())
            << "; mine\n[Other]\nx=1\n[Setting]\nIgnoreRotation=0\n";
        openWindow();
        QCOMPARE(window_->ignoreRotation(), 0);
        whenModal([](QWidget* w) {
            auto* dialog = qobject_cast<SettingDialog*>(w);
            QVERIFY(dialog);
            auto* check = dialog->findChild<QCheckBox*>(controlName(1011));
            QVERIFY(!check->isChecked());
            check->setChecked(true);
            dialog->findChild<QPushButton*>(controlName(2))->click();
        });
        button(window_.get(), 1010)->click();
        QCOMPARE(window_->ignoreRotation(), 0);
        QCOMPARE(iniText(), std::string("; mine\n[Other]\nx=1\n[Setting]\nIgnoreRotation=0\n"));
    }

    void exitAsksAndWritesTheSettingOnlyOnYes() {
        connectTo(5);
        QString question;
        answer(QMessageBox::No, &question);
        button(window_.get(), 1006)->click();
        QCOMPARE(question, QStringLiteral("終了しますか？"));
        QVERIFY(window_->isVisible());
        QVERIFY(window_->isConnected());
        QVERIFY(!QFile::exists(iniPath()));

        answer(QMessageBox::Yes);
        button(window_.get(), 1006)->click();
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->result(), int(QDialog::Accepted));
        QVERIFY(!window_->isConnected());
        QCOMPARE(iniText(), std::string("[Setting]\nIgnoreRotation=1\n"));
    }

    void closingTheWindowAsksToo() {
        answer(QMessageBox::No);
        window_->close();
        QVERIFY(window_->isVisible());
        answer(QMessageBox::Yes);
        window_->close();
        QVERIFY(!window_->isVisible());
        QCOMPARE(iniText(), std::string("[Setting]\nIgnoreRotation=1\n"));
    }

    void enterAndEscapeDoNothing() {
        button(window_.get(), 1007)->setFocus();
        bool dialogOpened = false;
        whenModal([&](QWidget* w) {
            dialogOpened = true;
            qobject_cast<QDialog*>(w)->reject();
        });
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
            QTest::keyClick(window_.get(), static_cast<Qt::Key>(key));
        }
        QTest::qWait(100);
        QVERIFY(window_->isVisible());
        QVERIFY(!dialogOpened);
        QVERIFY(!window_->isConnected());
    }

    void sendWritesTheTwoCommandBytes() {
        button(window_.get(), 1005)->click();  // disconnected: nothing happens
        connectTo(5);
        QVERIFY(tester_->drain(50ms).empty());
        button(window_.get(), 1005)->click();
        QCOMPARE(tester_->receive(2), (Bytes{0x01, 0x80}));
        list(window_.get(), 1004)->setCurrentIndex(1);
        list(window_.get(), 1003)->setCurrentIndex(10);
        button(window_.get(), 1005)->click();
        QCOMPARE(tester_->receive(2), (Bytes{0x02, 0x8A}));
        list(window_.get(), 1003)->setCurrentIndex(20);
        button(window_.get(), 1005)->click();
        QCOMPARE(tester_->receive(2), (Bytes{0x02, 0x94}));
        QCOMPARE(text(window_.get(), 1000), QString());  // sending changes no display
        disconnect();
        button(window_.get(), 1005)->click();
        QVERIFY(tester_->drain(50ms).empty());
    }

    void watchdogExpiresAfterFiveSecondsAndIsHeldOffByReports() {
        connectTo(5);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 7; ++i) {
            report(2, 4, 40 + i);
            QTRY_COMPARE(text(window_.get(), 1000), QString::number((40 + i) * 30));
            QTest::qWait(1000);
        }
        QVERIFY(clock.elapsed() > kWatchdogMs);
        QVERIFY(text(window_.get(), 1012) != QStringLiteral("No Receive."));
        QTRY_COMPARE_WITH_TIMEOUT(text(window_.get(), 1012), QStringLiteral("No Receive."), 6000);
        for (int id : {1002, 1001, 1000}) QCOMPARE(text(window_.get(), id), QString());
        QVERIFY(!window_->watchdog().isActive());
        report(2, 6, 50);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("1500"));
        QVERIFY(window_->watchdog().isActive());
    }

    void aReportInFlightAtDisconnectNeverShows() {
        connectTo(5);
        whenModal([this](QWidget* w) {
            // The report is read and handed over while the question is still open.
            report(2, 8, 77);
            std::this_thread::sleep_for(100ms);
            qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click();
        });
        button(window_.get(), 1007)->click();
        QVERIFY(!window_->isConnected());
        QTest::qWait(200);
        for (int id : {1002, 1001, 1000, 1012}) QCOMPARE(text(window_.get(), id), QString());
        QVERIFY(!window_->watchdog().isActive());
    }

    void soakOfConnectAndDisconnectLeaksNothing() {
        std::atomic<bool> stop{false};
        std::thread reports([&] {
            for (std::uint64_t i = 0; !stop; ++i) {
                report(2, 10, i % 100);
                std::this_thread::sleep_for(2ms);
            }
        });
        auto cycle = [this] {
            connectTo(5);
            QTest::qWait(1);
            disconnect();
        };
        for (int i = 0; i < 20; ++i) cycle();  // warm-up: lazily created Qt state
        const std::size_t fds = entriesIn("/proc/self/fd");
        const std::size_t threads = entriesIn("/proc/self/task");
        const long rss = residentKiB();
        for (int i = 0; i < 500; ++i) {
            cycle();
            QCOMPARE(text(window_.get(), 1000), QString());
        }
        stop = true;
        reports.join();
        QTest::qWait(50);
        QCOMPARE(entriesIn("/proc/self/fd"), fds);
        QVERIFY(entriesIn("/proc/self/task") <= threads);  // Qt may retire a pool thread
#ifndef __SANITIZE_ADDRESS__
        // AddressSanitizer keeps freed memory in quarantine, so RSS says nothing there;
        // its leak checker covers that build instead.
        QVERIFY2(residentKiB() - rss < 2048, qPrintable(QString::number(residentKiB() - rss)));
#else
        Q_UNUSED(rss);
#endif
        for (int id : {1002, 1001, 1000, 1012}) QCOMPARE(text(window_.get(), id), QString());
    }

    void deviceLossLeavesTheWindowUsable() {
        connectTo(5);
        report(2, 20, 80);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("2400"));
        tester_->hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(text(window_.get(), 1012), QStringLiteral("No Receive."), 7000);
        button(window_.get(), 1005)->click();  // writing to a gone device must not hang
        QElapsedTimer clock;
        clock.start();
        disconnect();
        QVERIFY(clock.elapsed() < 500);
        tester_ = std::make_unique<PtyTester>();
        tester_->linkAs(5);
        connectTo(5);
        report(2, 1, 25);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("750"));
    }

    void deviceLossMidReportNeitherSpinsNorShowsTheTornReport() {
        connectTo(5);
        report(2, 20, 80);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("2400"));
        const auto frame = fanbench::protocol::encodeReport({2, 4, 10});
        tester_->send(std::span(frame.data(), 7));
        QTest::qWait(50);
        tester_->hangUp();
        const auto cpuBefore = processCpu();
        QTest::qWait(1000);
        QVERIFY2(processCpu() - cpuBefore < 200ms, "nothing polls a gone device");
        QCOMPARE(text(window_.get(), 1000), QStringLiteral("2400"));
        disconnect();

        // The torn run goes on after reconnecting, so the first whole report ends beyond
        // position 15 and is dropped; the next one shows.
        tester_ = std::make_unique<PtyTester>();
        tester_->linkAs(5);
        connectTo(5);
        report(2, 6, 11);
        QTest::qWait(200);
        QCOMPARE(text(window_.get(), 1000), QString());
        report(2, 6, 12);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("360"));
    }

    void deviceLossDuringABlockedSendReturnsPromptly() {
        connectTo(5);
        tester_->stopReading();
        std::thread pull([this] {
            std::this_thread::sleep_for(300ms);
            tester_->hangUp();
        });
        QElapsedTimer clock;
        clock.start();
        button(window_.get(), 1005)->click();  // waits in write() until the device goes
        const qint64 waited = clock.elapsed();
        pull.join();
        QVERIFY2(waited >= 250 && waited < 1500, qPrintable(QString::number(waited)));
        clock.restart();
        disconnect();
        QVERIFY(clock.elapsed() < 500);
        tester_ = std::make_unique<PtyTester>();
        tester_->linkAs(5);
        connectTo(5);
        report(2, 1, 25);
        QTRY_COMPARE(text(window_.get(), 1000), QStringLiteral("750"));
    }

    void deviceLossDuringDisconnectLeavesTheWindowUsable() {
        for (auto delay : {0ms, 1ms, 3ms, 10ms}) {
            connectTo(5);
            std::atomic<bool> pullNow{false};
            std::thread device([&] {
                // Reports flow until the question is answered, then the device goes.
                for (std::uint64_t i = 0; !pullNow; ++i) {
                    report(2, 10, 20 + i % 50);
                    std::this_thread::sleep_for(1ms);
                }
                std::this_thread::sleep_for(delay);
                tester_->hangUp();
            });
            QElapsedTimer clock;
            whenModal([&](QWidget* w) {
                clock.start();
                pullNow = true;
                qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click();
            });
            button(window_.get(), 1007)->click();
            QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
            device.join();
            QVERIFY(!window_->isConnected());
            QTest::qWait(20);
            for (int id : {1002, 1001, 1000, 1012}) QCOMPARE(text(window_.get(), id), QString());
            tester_ = std::make_unique<PtyTester>();
            tester_->linkAs(5);
        }
        connectTo(5);
        for (std::uint64_t i = 0; text(window_.get(), 1000).isEmpty() && i < 20; ++i) {
            report(2, 1, 25);
            QTest::qWait(50);
        }
        QCOMPARE(text(window_.get(), 1000), QStringLiteral("750"));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rotalyx"));
    installFontSubstitutions();
    MonitorDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "monitor_dialog_test.moc"
