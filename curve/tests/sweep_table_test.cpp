#include "curve/sweep_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fanbench::curve {
namespace {

struct ParseCase {
    const char* name;
    std::string input;
    std::string error;  // empty: the table parses
};
std::ostream& operator<<(std::ostream& os, const ParseCase& c) {
    return os << c.name;
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, AcceptsDutyrampTablesAndNamesTheLineOfAFault) {
    std::istringstream in(GetParam().input);
    std::string error;
    const auto table = parseSweepTable(in, "fan.tsv", error);
    EXPECT_EQ(table.has_value(), GetParam().error.empty());
    EXPECT_EQ(error, GetParam().error);
}

const std::string kHeader = "Duty(%)\tSpeed(rpm)\n";

INSTANTIATE_TEST_SUITE_P(
    Inputs, ParseTable,
    ::testing::Values(
        ParseCase{"good", kHeader + "0\t600\n5\t690\n", ""},
        ParseCase{"windows_line_endings", "Duty(%)\tSpeed(rpm)\r\n0\t600\r\n", ""},
        ParseCase{"no_final_newline", kHeader + "0\t600", ""},
        ParseCase{"ten_digit_speed", kHeader + "100\t299999999970\n", ""},
        ParseCase{"empty", "", "fan.tsv:0: empty input, expected a Dutyramp table"},
        ParseCase{"missing_header", "0\t600\n",
                  "fan.tsv:1: expected the header \"Duty(%)<TAB>Speed(rpm)\""},
        ParseCase{"header_only", kHeader, "fan.tsv:1: the table has no rows"},
        ParseCase{"no_tab", kHeader + "0 600\n",
                  "fan.tsv:2: expected \"duty<TAB>rpm\", got \"0 600\""},
        ParseCase{"duty_text", kHeader + "0\t600\nx\t5\n",
                  "fan.tsv:3: duty \"x\" is not a whole number"},
        ParseCase{"duty_above_100", kHeader + "105\t5\n", "fan.tsv:2: duty 105 is outside 0..100"},
        ParseCase{"duty_negative", kHeader + "-5\t5\n", "fan.tsv:2: duty -5 is outside 0..100"},
        ParseCase{"speed_negative", kHeader + "5\t-30\n", "fan.tsv:2: speed -30 is negative"},
        ParseCase{"speed_text", kHeader + "5\t30rpm\n",
                  "fan.tsv:2: speed \"30rpm\" is not a whole number"},
        ParseCase{"blank_line", kHeader + "0\t600\n\n",
                  "fan.tsv:3: expected \"duty<TAB>rpm\", got \"\""}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace fanbench::curve
