#include "monitor/report_display.h"

#include <cinttypes>
#include <cstdio>

#include "seriallink/debug_trace.h"

namespace fanbench::monitor {

namespace {
constexpr std::uint8_t kStateThreePin = 0;
constexpr std::uint8_t kStateFourPin = 1;
constexpr std::uint8_t kStateOther = 0xF0;

std::uint8_t fanTypeState(std::uint8_t code) {
    if (code == protocol::kFanType3Pin) return kStateThreePin;
    if (code == protocol::kFanType4Pin) return kStateFourPin;
    return kStateOther;
}
}  // namespace

DisplayUpdate describeReport(protocol::FrameView frame, int ignoreRotation, LocalTime time) {
    const protocol::FanReport report = protocol::decodeReport(frame);
    const std::uint8_t state = fanTypeState(report.fanTypeCode);
    std::uint64_t tachCount = report.tachCount;
    if (ignoreRotation == 1 && state == kStateThreePin &&
        report.dutyIndex != protocol::kMaxDutyIndex) {
        debugTrace("IgnoreRotation %" PRIu64 "\r\n", tachCount);
        tachCount = 0;
    }

    DisplayUpdate update;
    update.fanType = state == kStateThreePin ? "3" : "4";
    update.duty = std::to_string(protocol::dutyIndexToPercent(report.dutyIndex));
    update.speed = std::to_string(protocol::tachCountToRpm(tachCount));
    char status[64];
    std::snprintf(status, sizeof status,
                  "%02d:%02d:%02d %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X "
                  "%02X %02X",
                  time.hour, time.minute, time.second, frame[1], frame[2], frame[3], frame[4],
                  frame[5], frame[6], frame[7], frame[8], frame[9], frame[10], frame[11], frame[12],
                  frame[13], frame[14]);
    update.status = status;
    return update;
}

ReportConsumer::ReportConsumer(const std::atomic<int>& ignoreRotation,
                               const std::atomic<unsigned>& connection, Clock clock,
                               Deliver deliver)
    : ignoreRotation_(ignoreRotation),
      connection_(connection),
      clock_(std::move(clock)),
      deliver_(std::move(deliver)) {}

void ReportConsumer::onFrame(protocol::FrameView frame) {
    DisplayUpdate update =
        describeReport(frame, ignoreRotation_.load(std::memory_order_relaxed), clock_());
    update.connection = connection_.load(std::memory_order_acquire);
    deliver_(std::move(update));
}

}  // namespace fanbench::monitor
