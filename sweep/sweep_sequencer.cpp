#include "sweep/sweep_sequencer.h"

#include <cinttypes>

namespace fanbench::sweep {

SweepSequencer::SweepSequencer(int waitSec, SendCommand send, std::FILE* progress, std::FILE* table,
                               std::function<void()> onFinished)
    : waitSec_(waitSec),
      send_(std::move(send)),
      onFinished_(std::move(onFinished)),
      progress_(progress),
      table_(table) {
    startGate_.lock();
    gateHeld_ = true;
}

SweepSequencer::~SweepSequencer() {
    if (gateHeld_) startGate_.unlock();
}

void SweepSequencer::printDutyCommand(int step) {
    std::fprintf(progress_, "Set Duty %3d%% ", step * 5);
    std::fflush(progress_);
    send_(protocol::dutyCommand(static_cast<std::uint8_t>(step)));
}

void SweepSequencer::commandFirstDuty() {
    printDutyCommand(step_.load(std::memory_order_relaxed));
    step_.store(1, std::memory_order_release);
    if (gateHeld_) {
        gateHeld_ = false;
        startGate_.unlock();
    }
}

void SweepSequencer::onFrame(protocol::FrameView frame) {
    std::lock_guard gate(startGate_);
    std::fputs("*", progress_);
    std::fflush(progress_);
    const int counted = reportCounter_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (counted < waitSec_) return;

    const protocol::FanReport report = protocol::decodeReport(frame);
    const std::uint64_t rpm = protocol::tachCountToRpm(report.tachCount);
    std::fprintf(progress_, " %" PRIu64 "rpm\n", rpm);
    std::fflush(progress_);
    std::fprintf(table_, "%d\t%" PRIu64 "\n", protocol::dutyIndexToPercent(report.dutyIndex), rpm);
    std::fflush(table_);

    const int step = step_.load(std::memory_order_relaxed);
    if (step <= kLastStep) printDutyCommand(step);
    step_.store(step + 1, std::memory_order_release);
    reportCounter_.store(0, std::memory_order_relaxed);
    if (step == kLastStep + 1 && onFinished_) onFinished_();
}

}  // namespace fanbench::sweep
