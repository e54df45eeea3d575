#include "protocol/report.h"

#include <gtest/gtest.h>

#include <array>

namespace fanbench::protocol {
namespace {

ReportFrame frameWithDigits(std::array<std::uint8_t, 10> digits, std::uint8_t type = 1,
                            std::uint8_t duty = 20) {
    ReportFrame f{0xFD, type, duty, 0, 0};
    std::copy(digits.begin(), digits.end(), f.begin() + 5);
    f[15] = 0xFE;
    return f;
}

struct DecodeCase {
    const char* name;
    std::array<std::uint8_t, 10> digits;
    std::uint64_t count;
    std::uint64_t rpm;
};

std::ostream& operator<<(std::ostream& os, const DecodeCase& c) {
    return os << c.name;
}

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, DecodesCountAndSpeedWithoutWrapping) {
    const DecodeCase& c = GetParam();
    const FanReport r = decodeReport(frameWithDigits(c.digits));
    EXPECT_EQ(r.tachCount, c.count);
    EXPECT_EQ(tachCountToRpm(r.tachCount), c.rpm);
}

INSTANTIATE_TEST_SUITE_P(
    Decode, DecodeTable,
    ::testing::Values(
        DecodeCase{"thirty", {0, 0, 0, 0, 0, 0, 0, 0, 3, 0}, 30, 900},
        DecodeCase{"seven", {0, 0, 0, 0, 0, 0, 0, 0, 0, 7}, 7, 210}, DecodeCase{"zero", {}, 0, 0},
        DecodeCase{"two_to_the_32", {4, 2, 9, 4, 9, 6, 7, 2, 9, 6}, 4294967296ULL, 128849018880ULL},
        DecodeCase{
            "count_times_60_above_2_32", {0, 0, 7, 1, 5, 8, 2, 7, 9, 0}, 71582790, 2147483700ULL},
        DecodeCase{"all_nines", {9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, 9999999999ULL, 299999999970ULL}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Report, PassesUnknownTypeCodesAndHighDutyIndicesThrough) {
    const FanReport r = decodeReport(frameWithDigits({}, 0x07, 33));
    EXPECT_EQ(r.fanTypeCode, 0x07);
    EXPECT_EQ(r.dutyIndex, 33);
    EXPECT_EQ(dutyIndexToPercent(r.dutyIndex), 165);
}

TEST(Report, ValidDigitsAreZeroToNineOnly) {
    EXPECT_TRUE(hasValidDigits(frameWithDigits({9, 9, 9, 9, 9, 9, 9, 9, 9, 9})));
    EXPECT_FALSE(hasValidDigits(frameWithDigits({0, 0, 0, 0, 0, 0, 0, 0, 0, 10})));
    EXPECT_FALSE(hasValidDigits(frameWithDigits({'0', 0, 0, 0, 0, 0, 0, 0, 0, 0})));
}

TEST(Report, CommandBytes) {
    EXPECT_EQ(fanTypeCommand(kFanType3Pin), 0x01);
    EXPECT_EQ(fanTypeCommand(kFanType4Pin), 0x02);
    EXPECT_EQ(dutyCommand(0), 0x80);
    EXPECT_EQ(dutyCommand(10), 0x8A);
    EXPECT_EQ(dutyCommand(20), 0x94);
    EXPECT_TRUE(isDutyCommand(0x94));
    EXPECT_FALSE(isDutyCommand(0x95));
}

}  // namespace
}  // namespace fanbench::protocol

namespace fanbench::protocol {
namespace {

TEST(Report, EncodeIsTheInverseOfDecode) {
    const FanReport in{kFanType4Pin, 13, 1234567890};
    const ReportFrame frame = encodeReport(in, 0xAB, 0xCD);
    EXPECT_EQ(frame[0], kStartMarker);
    EXPECT_EQ(frame[3], 0xAB);
    EXPECT_EQ(frame[4], 0xCD);
    EXPECT_EQ(frame[15], kEndMarker);
    EXPECT_TRUE(hasValidDigits(frame));
    const FanReport out = decodeReport(frame);
    EXPECT_EQ(out.fanTypeCode, in.fanTypeCode);
    EXPECT_EQ(out.dutyIndex, in.dutyIndex);
    EXPECT_EQ(out.tachCount, in.tachCount);
}

}  // namespace
}  // namespace fanbench::protocol
