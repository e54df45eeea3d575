#include "monitor/report_display.h"

#include <gtest/gtest.h>

namespace fanbench::monitor {
namespace {

struct DisplayCase {
    const char* name;
    std::uint8_t fanType;
    std::uint8_t duty;
    int ignoreRotation;
    const char* shownType;
    const char* shownDuty;
    const char* shownSpeed;
};
std::ostream& operator<<(std::ostream& os, const DisplayCase& c) {
    return os << c.name;
}

class DisplayTable : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayTable, ShowsTypeDutyAndSpeedUnderTheRule) {
    const DisplayCase& c = GetParam();
    const auto frame = protocol::encodeReport({c.fanType, c.duty, 30});
    const DisplayUpdate u = describeReport(frame, c.ignoreRotation, {});
    EXPECT_EQ(u.fanType, c.shownType);
    EXPECT_EQ(u.duty, c.shownDuty);
    EXPECT_EQ(u.speed, c.shownSpeed);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DisplayTable,
    ::testing::Values(DisplayCase{"three_pin_95_rule_on", 1, 19, 1, "3", "95", "0"},
                      DisplayCase{"three_pin_100_rule_on", 1, 20, 1, "3", "100", "900"},
                      DisplayCase{"three_pin_95_rule_off", 1, 19, 0, "3", "95", "900"},
                      DisplayCase{"three_pin_100_rule_off", 1, 20, 0, "3", "100", "900"},
                      DisplayCase{"three_pin_rule_value_2_is_off", 1, 19, 2, "3", "95", "900"},
                      DisplayCase{"four_pin_rule_on", 2, 10, 1, "4", "50", "900"},
                      DisplayCase{"four_pin_rule_off", 2, 10, 0, "4", "50", "900"},
                      DisplayCase{"code_0_shows_4", 0, 10, 1, "4", "50", "900"},
                      DisplayCase{"code_9_shows_4", 9, 33, 1, "4", "165", "900"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ReportDisplay, StatusLineHasTheTimeAndRawBytesEvenWhenTheSpeedIsForcedToZero) {
    const auto frame = protocol::encodeReport({1, 19, 1234567890}, 0xAB, 0x0C);
    const DisplayUpdate u = describeReport(frame, 1, {9, 5, 7});
    EXPECT_EQ(u.speed, "0");
    EXPECT_EQ(u.status, "09:05:07 01 13 AB 0C 01 02 03 04 05 06 07 08 09 00");
}

}  // namespace
}  // namespace fanbench::monitor
