// Measures the monitor around the real MonitorDialog, driven through its own buttons and
// dialogs against a tester on a pseudo-terminal: display latency, Disconnect to port
// closed, idle CPU connected, a flood, and the real Rotalyx process's idle cost and footprint.
// Prints one table.

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "child_process.h"
#include "modal_driver.h"
#include "monitor/com_port_dialog.h"
#include "monitor/dialog_widgets.h"
#include "monitor/monitor_dialog.h"
#include "monitor/monitor_fonts.h"
#include "pty_tester.h"

namespace {

using namespace fanbench;
using namespace std::chrono_literals;
using bench::fmt;
using bench::row;
using Clock = std::chrono::steady_clock;
using monitor::controlName;
using monitor::MonitorDialog;
using testsupport::PtyTester;

constexpr int kCom = 3;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the event loop until `done` holds or `limit` passes, looking every 10 ms.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || Clock::now() > deadline) loop.quit();
    });
    check.start(10);
    if (!done()) loop.exec();
    return done();
}

// Runs the event loop for `time` with no wake-ups of its own.
void spinFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

QLabel* speedDisplay(MonitorDialog& window) {
    return window.findChild<QLabel*>(controlName(1000));
}

void connectTo(MonitorDialog& window, int comPort) {
    monitor::whenModal([comPort](QWidget* w) {
        auto* dialog = qobject_cast<monitor::ComPortDialog*>(w);
        if (dialog == nullptr) std::abort();
        dialog->findChild<QComboBox*>(controlName(1008))->setCurrentIndex(comPort - 1);
        dialog->findChild<QPushButton*>(controlName(1))->click();
    });
    window.findChild<QPushButton*>(controlName(1007))->click();
    if (!window.isConnected()) {
        std::fprintf(stderr, "rotalyx-bench: could not connect to COM%d\n", comPort);
        std::exit(1);
    }
}

// Clicks Disconnect and answers Yes; `answered` runs just before the Yes click.
void disconnect(MonitorDialog& window, std::function<void()> answered = {}) {
    monitor::whenModal([answered](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr) std::abort();
        if (answered) answered();
        box->button(QMessageBox::Yes)->click();
    });
    window.findChild<QPushButton*>(controlName(1007))->click();
}

// Notes when the speed display paints a new value: that is when the user can read it.
class PaintWatch : public QObject {
  public:
    PaintWatch(QLabel* display, const std::vector<std::atomic<std::int64_t>>& sentAt)
        : display_(display), sentAt_(sentAt) {
        display_->installEventFilter(this);
    }
    std::vector<double> latencies;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == display_ && event->type() == QEvent::Paint) {
            const auto now = Clock::now().time_since_epoch().count();
            bool ok = false;
            const long rpm = display_->text().toLong(&ok);
            const auto count = static_cast<std::size_t>(rpm / 30);
            if (ok && count != lastCount_ && count < sentAt_.size()) {
                lastCount_ = count;
                const std::int64_t sent = sentAt_[count].load(std::memory_order_acquire);
                if (sent != 0) latencies.push_back(static_cast<double>(now - sent) / 1e6);
            }
        }
        return false;
    }

  private:
    QLabel* display_;
    const std::vector<std::atomic<std::int64_t>>& sentAt_;
    std::size_t lastCount_ = 0;
};

void displayLatency(MonitorDialog& window, int samples) {
    PtyTester tester;
    tester.linkAs(kCom);
    connectTo(window, kCom);
    std::vector<std::atomic<std::int64_t>> sentAt(static_cast<std::size_t>(samples) + 2);
    PaintWatch watch(speedDisplay(window), sentAt);
    std::atomic<bool> done{false};
    std::thread device([&] {
        // One report every 20 ms: near the line's own limit of 60 a second, and apart
        // enough that each one gets its own paint.
        for (std::size_t count = 1; count <= static_cast<std::size_t>(samples); ++count) {
            tester.sendReport({2, 10, count});
            sentAt[count].store(Clock::now().time_since_epoch().count(), std::memory_order_release);
            std::this_thread::sleep_for(20ms);
        }
        done = true;
    });
    spinUntil([&] { return done.load(); }, std::chrono::milliseconds(samples * 40 + 5000));
    spinFor(200ms);
    device.join();
    disconnect(window);
    row("Display: report end -> speed painted (ms)", bench::describe(watch.latencies, 2),
        "p99 < 20");
}

void disconnectLatency(MonitorDialog& window, int cycles) {
    std::vector<double> samples;
    for (int i = 0; i < cycles; ++i) {
        PtyTester tester;
        tester.linkAs(kCom);
        connectTo(window, kCom);
        tester.releaseSlave();  // from now on only the program holds the line open
        std::atomic<bool> stop{false};
        std::thread device([&] {
            for (std::uint64_t count = 1; !stop; ++count) {
                // A report racing the closing port is simply lost.
                tester.trySend(protocol::encodeReport({2, 10, count}), 100ms);
                std::this_thread::sleep_for(5ms);
            }
        });
        spinUntil([&] { return !speedDisplay(window)->text().isEmpty(); }, 3000ms);
        // The master sees a hang-up once the last descriptor of the line is closed.
        std::atomic<std::int64_t> closedAt{0};
        std::thread watcher([&] {
            pollfd p{tester.masterFd(), 0, 0};
            while (::poll(&p, 1, 5000) > 0 && (p.revents & POLLHUP) == 0) {
            }
            closedAt = Clock::now().time_since_epoch().count();
        });
        Clock::time_point answered{};
        disconnect(window, [&] {
            stop = true;
            answered = Clock::now();
        });
        watcher.join();
        device.join();
        samples.push_back(static_cast<double>(closedAt - answered.time_since_epoch().count()) /
                          1e6);
    }
    row("Stop: Disconnect answered -> port closed (ms)", bench::describe(samples, 2), "< 50");
}

double threadCpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_THREAD, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// CPU of the window and its receive thread while connected, the tester's own thread
// taken out.
void idleConnected(MonitorDialog& window, int seconds) {
    for (bool reports : {true, false}) {
        PtyTester tester;
        tester.linkAs(kCom);
        connectTo(window, kCom);
        spinFor(200ms);
        std::atomic<bool> stop{false};
        std::atomic<double> deviceCpu{0};
        std::thread device([&] {
            for (std::uint64_t count = 1; !stop; ++count) {
                if (reports) tester.sendReport({2, 10, count});
                for (int i = 0; i < 100 && !stop; ++i) std::this_thread::sleep_for(10ms);
            }
            deviceCpu = threadCpuSeconds();
        });
        const double cpu0 = processCpuSeconds();
        const auto start = Clock::now();
        spinFor(std::chrono::seconds(seconds));
        stop = true;
        device.join();
        const double elapsed = ms(Clock::now() - start) / 1000;
        const double share = (processCpuSeconds() - cpu0 - deviceCpu) / elapsed * 100;
        row(reports ? "Idle CPU connected, one report a second (% core)"
                    : "Idle CPU connected, no reports (% of a core)",
            fmt("%.3f %% over %.0f s", share, elapsed), "< 0.1 %");
        disconnect(window);
    }
}

// Reports behind junk as fast as the pty takes them. The window cannot paint that
// fast; what matters is that memory stays flat and the display is current at the end.
void flood(MonitorDialog& window, int seconds) {
    PtyTester tester;
    tester.linkAs(kCom);
    connectTo(window, kCom);
    spinFor(200ms);
    const long rss0 = bench::statusKiB(::getpid(), "VmRSS:");
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> sent{0};
    std::atomic<double> deviceCpu{0};
    std::thread device([&] {
        std::vector<std::uint8_t> burst;
        std::uint64_t count = 0;
        while (!stop) {
            burst.clear();
            for (int i = 0; i < 64; ++i) {
                // Junk that ends in an end marker, so no valid report is merged into it.
                burst.insert(burst.end(), {0x13, 0x37, 0x00, 0xFD, 0x42, 0xFE});
                const auto frame = protocol::encodeReport({2, 10, ++count % 100000});
                burst.insert(burst.end(), frame.begin(), frame.end());
            }
            if (!tester.trySend(burst, 1000ms)) break;  // the window stopped reading
            sent = count;
        }
        deviceCpu = threadCpuSeconds();
    });
    const double cpu0 = processCpuSeconds();
    const auto start = Clock::now();
    spinFor(std::chrono::seconds(seconds));
    stop = true;
    device.join();
    const double elapsed = ms(Clock::now() - start) / 1000;
    const double cpu = (processCpuSeconds() - cpu0 - deviceCpu) / elapsed * 100;
    const long rss1 = bench::statusKiB(::getpid(), "VmRSS:");
    const QString last = QString::number((sent % 100000) * 30);
    const auto stopped = Clock::now();
    const bool current = spinUntil([&] { return speedDisplay(window)->text() == last; }, 10000ms);
    row("Flood: reports sent, display current after (ms)",
        std::to_string(sent) + fmt(" (%.0f/s), ", static_cast<double>(sent) / elapsed) +
            (current ? fmt("%.1f", ms(Clock::now() - stopped)) : std::string("never")),
        "current at once");
    row("Flood: CPU (% of a core), RSS start -> end (KiB)",
        fmt("%.1f %%, ", cpu) + std::to_string(rss0) + " -> " + std::to_string(rss1), "no growth");
    disconnect(window);
}

}  // namespace

int main(int argc, char** argv) {
    int idleSeconds = 60, floodSeconds = 60, samples = 500, cycles = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const int v = std::atoi(argv[i + 1]);
        if (a == "--idle-seconds") idleSeconds = v;
        if (a == "--flood-seconds") floodSeconds = v;
        if (a == "--samples") samples = v;
        if (a == "--cycles") cycles = v;
    }
    // No display is needed; set QT_QPA_PLATFORM=xcb to measure through a real X server.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder and warns on every start without one.
    char runtimeDir[] = "/tmp/rotalyx-bench-XXXXXX";
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && ::mkdtemp(runtimeDir) != nullptr)
        qputenv("XDG_RUNTIME_DIR", runtimeDir);
    // The offscreen platform says once per window that it cannot pass on size hints.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (!text.contains(QStringLiteral("propagateSizeHints")))
            std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "warning: " : "",
                         qPrintable(text));
    });
    testsupport::TempConfigHome home;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rotalyx"));
    monitor::installFontSubstitutions();
    bench::printHeader("Rotalyx benchmarks");

    // The real program, left alone unconnected for the whole run.
    testsupport::ChildProcess program(testsupport::programPath("Rotalyx"), {});
    std::this_thread::sleep_for(1s);  // past start-up
    const double programCpu0 = bench::cpuSeconds(program.pid());
    const auto programStart = Clock::now();

    QTemporaryDir dir;
    MonitorDialog window(dir.filePath(QStringLiteral("Rotalyx.ini")));
    window.show();
    spinFor(300ms);

    displayLatency(window, samples);
    disconnectLatency(window, cycles);
    idleConnected(window, idleSeconds);
    flood(window, floodSeconds);

    const double programElapsed = ms(Clock::now() - programStart) / 1000;
    row("Rotalyx process, idle unconnected (% of a core)",
        fmt("%.3f %% over %.0f s",
            (bench::cpuSeconds(program.pid()) - programCpu0) / programElapsed * 100,
            programElapsed),
        "< 0.1 %");
    row("Rotalyx process, peak resident memory (MiB)",
        fmt("%.1f", static_cast<double>(bench::statusKiB(program.pid(), "VmHWM:")) / 1024.0),
        "(none set)");
    program.signal(SIGTERM);
    program.finish(5s);
    if (runtimeDir[std::strlen(runtimeDir) - 1] != 'X') ::rmdir(runtimeDir);
    return bench::exitStatus();
}
