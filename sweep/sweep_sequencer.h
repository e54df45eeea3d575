#pragma once
// Paces the duty sweep by the tester's reports: every `waitSec` accepted reports it
// prints a table row and commands the next duty.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>

#include "protocol/frame_assembler.h"

namespace fanbench::sweep {

inline constexpr int kLastStep = 20;  // 100 %
inline constexpr int kStepAfterLastRow = kLastStep + 2;

class SweepSequencer : public protocol::FrameConsumer {
  public:
    using SendCommand = std::function<void(std::uint8_t)>;

    // `progress` gets the progress log, `table` the rows (flushed one by one).
    SweepSequencer(int waitSec, SendCommand send, std::FILE* progress, std::FILE* table,
                   std::function<void()> onFinished = {});
    ~SweepSequencer();

    // Prints "Set Duty   0% ", commands 0 % and moves to step 1. Reports that arrive
    // before this call are held back until it has run, so they count towards 0 %.
    void commandFirstDuty();

    void onFrame(protocol::FrameView frame) override;

    int step() const { return step_.load(std::memory_order_acquire); }
    bool finished() const { return step() > kLastStep + 1; }

  private:
    void printDutyCommand(int step);

    const int waitSec_;
    SendCommand send_;
    std::function<void()> onFinished_;
    std::FILE* progress_;
    std::FILE* table_;
    std::atomic<int> step_{0};
    std::atomic<int> reportCounter_{0};
    std::mutex startGate_;
    bool gateHeld_ = false;
};

}  // namespace fanbench::sweep
