#pragma once
// Report frames and command bytes of the fan tester, and the conversions between
// their raw values and what the programs print.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace fanbench::protocol {

inline constexpr std::size_t kFrameSize = 16;
inline constexpr std::uint8_t kStartMarker = 0xFD;
inline constexpr std::uint8_t kEndMarker = 0xFE;
inline constexpr std::size_t kFirstDigitOffset = 5;
inline constexpr std::size_t kDigitCount = 10;

using ReportFrame = std::array<std::uint8_t, kFrameSize>;
using FrameView = std::span<const std::uint8_t, kFrameSize>;

inline constexpr std::uint8_t kFanType3Pin = 1;
inline constexpr std::uint8_t kFanType4Pin = 2;
inline constexpr std::uint8_t kMaxDutyIndex = 20;

struct FanReport {
    std::uint8_t fanTypeCode = 0;  // as received; codes other than 1 and 2 pass through
    std::uint8_t dutyIndex = 0;    // as received; 21 and above pass through
    std::uint64_t tachCount = 0;   // ten decimal digits: 0 .. 9 999 999 999
};

// True when every tach digit byte holds a value 0..9.
bool hasValidDigits(FrameView frame);

// Decodes an accepted frame; the markers are not looked at.
FanReport decodeReport(FrameView frame);

// Builds the frame a tester sends for `report` (counts above ten digits keep the low ten).
ReportFrame encodeReport(const FanReport& report, std::uint8_t byte3 = 0, std::uint8_t byte4 = 0);

// rpm = count x 60 / 2. 64-bit, so the full ten-digit count never wraps.
constexpr std::uint64_t tachCountToRpm(std::uint64_t tachCount) {
    return tachCount * 60 / 2;
}

constexpr int dutyIndexToPercent(std::uint8_t dutyIndex) {
    return dutyIndex * 5;
}

// Command byte that tells the tester which fan type is connected (1 or 2).
constexpr std::uint8_t fanTypeCommand(std::uint8_t fanTypeCode) {
    return fanTypeCode;
}

// Command byte that sets the duty to index x 5 percent (0x80 .. 0x94).
constexpr std::uint8_t dutyCommand(std::uint8_t dutyIndex) {
    return static_cast<std::uint8_t>(0x80 + dutyIndex);
}

constexpr bool isDutyCommand(std::uint8_t byte) {
    return byte >= 0x80 && byte <= 0x80 + kMaxDutyIndex;
}

}  // namespace fanbench::protocol
