#include "curve/sweep_table.h"

#include <charconv>

namespace fanbench::curve {

namespace {

constexpr std::string_view kHeader = "Duty(%)\tSpeed(rpm)";

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    if (text.empty() || text.front() == '+') return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::optional<SweepTable> parseSweepTable(std::istream& in, const std::string& name,
                                          std::string& error) {
    SweepTable table{name, {}};
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const std::string& what) {
        error = name + ":" + std::to_string(lineNumber) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string_view line = raw;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // a Windows-built table
        if (lineNumber == 1) {
            if (line != kHeader) return fail("expected the header \"Duty(%)<TAB>Speed(rpm)\"");
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            return fail("expected \"duty<TAB>rpm\", got \"" + raw + "\"");
        Row row;
        row.line = lineNumber;
        const std::string_view dutyText = line.substr(0, tab);
        const std::string_view rpmText = line.substr(tab + 1);
        if (!parseNumber(dutyText, row.duty))
            return fail("duty \"" + std::string(dutyText) + "\" is not a whole number");
        if (row.duty < 0 || row.duty > 100)
            return fail("duty " + std::string(dutyText) + " is outside 0..100");
        if (!rpmText.empty() && rpmText.front() == '-')
            return fail("speed " + std::string(rpmText) + " is negative");
        if (!parseNumber(rpmText, row.rpm))
            return fail("speed \"" + std::string(rpmText) + "\" is not a whole number");
        table.rows.push_back(row);
    }
    if (lineNumber == 0) return fail("empty input, expected a Dutyramp table");
    if (table.rows.empty()) return fail("the table has no rows");
    return table;
}

}  // namespace fanbench::curve
