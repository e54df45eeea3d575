#include "simulator/simulated_tester.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace fanbench::simulator {

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kSplitPauseMs = 30;
}  // namespace

SimulatedTester::SimulatedTester(const SimOptions& options, int masterFd, std::FILE* log)
    : options_(options),
      masterFd_(masterFd),
      log_(log),
      fan_(options.fan, options.seed),
      random_(options.seed + 1),
      fanTypeCode_(options.fan.kind == FanKind::ThreePin ? protocol::kFanType3Pin
                                                         : protocol::kFanType4Pin) {}

void SimulatedTester::takeCommands(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        if (options_.logCommands && log_ != nullptr) {
            std::fprintf(log_, "rx %02X\n", b);
            std::fflush(log_);
        }
        if (b == protocol::kFanType3Pin || b == protocol::kFanType4Pin) {
            fanTypeCode_ = b;
        } else if (protocol::isDutyCommand(b)) {
            pendingDuty_ = b - 0x80;
            lagLeft_ = options_.lagReports;
            if (lagLeft_ == 0) shownDuty_ = pendingDuty_;
        }
        // Anything else is not a command of ours and is ignored, as the device does.
    }
}

void SimulatedTester::writeAll(std::span<const std::uint8_t> bytes) {
    // A real line sends into the void when nobody listens; never block on a full pty.
    while (!bytes.empty()) {
        const ssize_t n = ::write(masterFd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

void SimulatedTester::sendReport() {
    ++reportsSent_;
    protocol::FanReport report{fanTypeCode_, static_cast<std::uint8_t>(shownDuty_),
                               fan_.tachCount(shownDuty_)};
    protocol::ReportFrame frame = protocol::encodeReport(report);
    std::vector<std::uint8_t> out;

    if (options_.junkBytes > 0) {
        // A burst of noise; it ends in an end marker, so the framer is back in step.
        std::uniform_int_distribution<int> byte(0, 0xFD);
        for (int i = 0; i + 1 < options_.junkBytes; ++i)
            out.push_back(static_cast<std::uint8_t>(byte(random_)));
        out.push_back(protocol::kEndMarker);
    }
    if (options_.corruptEvery > 0 && reportsSent_ % options_.corruptEvery == 0) {
        frame[7] = 0x0B;
    }
    if (options_.truncateEvery > 0 && reportsSent_ % options_.truncateEvery == 0) {
        out.insert(out.end(), frame.begin(), frame.begin() + 10);
        out.push_back(protocol::kEndMarker);
    } else {
        out.insert(out.end(), frame.begin(), frame.end());
    }

    if (options_.split && out.size() > 6) {
        const std::size_t cut = out.size() - 6;
        writeAll({out.data(), cut});
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(kSplitPauseMs, options_.intervalMs / 3)));
        writeAll({out.data() + cut, out.size() - cut});
    } else {
        writeAll(out);
    }

    if (lagLeft_ > 0 && --lagLeft_ == 0) shownDuty_ = pendingDuty_;
}

void SimulatedTester::run(const std::atomic<bool>& stop) {
    const auto interval = std::chrono::milliseconds(options_.intervalMs);
    auto nextReport = Clock::now() + interval;
    std::uint8_t buffer[64];
    while (!stop.load()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextReport - Clock::now());
        pollfd pfd{masterFd_, POLLIN, 0};
        const int ready = ::poll(
            &pfd, 1, options_.silent ? 1000 : std::max<int>(0, static_cast<int>(wait.count())));
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            const ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
            if (n > 0) takeCommands({buffer, static_cast<std::size_t>(n)});
        }
        if (options_.silent || Clock::now() < nextReport) continue;
        sendReport();
        nextReport += interval;
        if (Clock::now() > nextReport + 10 * interval) nextReport = Clock::now() + interval;
        if (options_.hangupAfter > 0 && reportsSent_ >= options_.hangupAfter) return;
    }
}

}  // namespace fanbench::simulator
