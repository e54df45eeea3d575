#include "protocol/report.h"

#include <algorithm>

namespace fanbench::protocol {

bool hasValidDigits(FrameView frame) {
    const auto digits = frame.subspan<kFirstDigitOffset, kDigitCount>();
    return std::all_of(digits.begin(), digits.end(), [](std::uint8_t d) { return d <= 9; });
}

FanReport decodeReport(FrameView frame) {
    FanReport report;
    report.fanTypeCode = frame[1];
    report.dutyIndex = frame[2];
    for (std::uint8_t digit : frame.subspan<kFirstDigitOffset, kDigitCount>()) {
        report.tachCount = report.tachCount * 10 + digit;
    }
    return report;
}

ReportFrame encodeReport(const FanReport& report, std::uint8_t byte3, std::uint8_t byte4) {
    ReportFrame frame{kStartMarker, report.fanTypeCode, report.dutyIndex, byte3, byte4};
    std::uint64_t count = report.tachCount;
    for (std::size_t i = 0; i < kDigitCount; ++i) {
        frame[kFirstDigitOffset + kDigitCount - 1 - i] = static_cast<std::uint8_t>(count % 10);
        count /= 10;
    }
    frame[kFrameSize - 1] = kEndMarker;
    return frame;
}

}  // namespace fanbench::protocol
