#pragma once
// What the monitor shows for one accepted report, computed on the receive thread and
// handed to the window as a self-contained copy.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "protocol/frame_assembler.h"

namespace fanbench::monitor {

struct LocalTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct DisplayUpdate {
    std::string fanType;      // "3" or "4"
    std::string duty;         // percent
    std::string speed;        // rpm, 0 for a 3-pin fan below 100 % when the rule is on
    std::string status;       // "hh:mm:ss" and bytes 1 to 14 in hex
    unsigned connection = 0;  // which connection the report came in on
};

// Applies the IgnoreRotation rule (only the value 1 turns it on) and formats the texts.
DisplayUpdate describeReport(protocol::FrameView frame, int ignoreRotation, LocalTime time);

// The monitor's frame consumer: runs on the receive thread, never waits for the window.
class ReportConsumer : public protocol::FrameConsumer {
  public:
    using Deliver = std::function<void(DisplayUpdate)>;
    using Clock = std::function<LocalTime()>;

    ReportConsumer(const std::atomic<int>& ignoreRotation, const std::atomic<unsigned>& connection,
                   Clock clock, Deliver deliver);

    void onFrame(protocol::FrameView frame) override;

  private:
    const std::atomic<int>& ignoreRotation_;
    const std::atomic<unsigned>& connection_;
    Clock clock_;
    Deliver deliver_;
};

}  // namespace fanbench::monitor
