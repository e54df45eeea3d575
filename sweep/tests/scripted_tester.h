#pragma once
// A tester that answers the sweep's duty commands with reports, for end-to-end tests.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "pty_tester.h"

namespace fanbench::sweep {

using namespace testsupport;
using Clock = std::chrono::steady_clock;
inline constexpr int kCom = 3;

// Tach count the scripted tester reports for a duty index: 600 rpm plus 90 per step.
inline std::uint64_t countFor(int duty) {
    return 20 + 3 * static_cast<std::uint64_t>(duty);
}

// Answers each duty command of the sweep with `waitSec` reports, the first `lag` of
// which still show the previous duty. Stops answering after `answerLimit` commands.
class ScriptedTester {
  public:
    struct Options {
        int waitSec = 1;
        int lag = 0;
        bool noisy = false;
        int answerLimit = 21;
    };

    // Published as COM3 in the port map, or at `linkPath` (a wine prefix's dosdevices).
    explicit ScriptedTester(Options options, const std::string& linkPath = {}) : options_(options) {
        if (linkPath.empty()) {
            tester_.linkAs(kCom);
        } else {
            tester_.linkAt(linkPath);
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedTester() { stopServing(); }

    void stopServing() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void hangUp() {
        stopServing();
        tester_.hangUp();
    }
    Bytes commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    // Waits until the host has sent `n` command bytes.
    bool waitForCommands(std::size_t n, std::chrono::milliseconds limit = 3000ms) {
        const auto deadline = Clock::now() + limit;
        while (commands().size() < n && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
        return commands().size() >= n;
    }

  private:
    void sendNoise() {
        tester_.send(Bytes{0x01, 0x02, 0x03, 0xFE});  // junk that ends in an end marker
        protocol::ReportFrame cut = protocol::encodeReport({2, 9, 999});
        cut[10] = 0xFE;
        tester_.send(std::span(cut.data(), 11));  // a frame cut short
        protocol::ReportFrame bad = protocol::encodeReport({2, 9, 999});
        bad[8] = 0x0C;
        tester_.send(bad);  // a bad digit
    }

    void serve() {
        int answered = 0;
        int previousDuty = 0;
        while (!stop_) {
            const Bytes got = tester_.receive(1, 20ms);
            if (got.empty()) continue;
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(got[0]);
            }
            if (!protocol::isDutyCommand(got[0]) || answered >= options_.answerLimit) continue;
            ++answered;
            const int duty = got[0] - 0x80;
            for (int i = 0; i < options_.waitSec; ++i) {
                const int shown = i < options_.lag ? previousDuty : duty;
                if (options_.noisy) sendNoise();
                tester_.sendReport(
                    {protocol::kFanType4Pin, static_cast<std::uint8_t>(shown), countFor(shown)});
            }
            previousDuty = duty;
        }
    }

    Options options_;
    PtyTester tester_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes commands_;
    std::thread thread_;
};

// What Dutyramp prints for a full sweep against ScriptedTester; `newline` is how "\n"
// reaches the stream ("\r\n" from a Windows build in text mode).
inline std::string expectedStderr(int waitSec, int lag, const std::string& comLine,
                                  const std::string& newline = "\n") {
    std::string err = comLine;
    char buf[64];
    for (int step = 0; step <= 20; ++step) {
        const int shown = waitSec <= lag ? (step == 0 ? 0 : step - 1) : step;
        std::snprintf(buf, sizeof buf, "Set Duty %3d%% ", step * 5);
        err += buf;
        err += std::string(static_cast<std::size_t>(waitSec), '*');
        std::snprintf(buf, sizeof buf, " %llurpm",
                      static_cast<unsigned long long>(countFor(shown) * 30));
        err += buf + newline;
    }
    return err;
}

inline std::string expectedStdout(int waitSec, int lag, const std::string& newline = "\n") {
    std::string out = "Duty(%)\tSpeed(rpm)" + newline;
    char buf[64];
    for (int step = 0; step <= 20; ++step) {
        const int shown = waitSec <= lag ? (step == 0 ? 0 : step - 1) : step;
        std::snprintf(buf, sizeof buf, "%d\t%llu", shown * 5,
                      static_cast<unsigned long long>(countFor(shown) * 30));
        out += buf + newline;
    }
    return out;
}

inline Bytes fullSweepCommands() {
    Bytes b = {0x02};
    for (int i = 0; i <= 20; ++i) b.push_back(static_cast<std::uint8_t>(0x80 + i));
    b.push_back(0x80);
    return b;
}

}  // namespace fanbench::sweep
