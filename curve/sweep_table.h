#pragma once
// A duty/rpm table exactly as Dutyramp writes it.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace fanbench::curve {

struct Row {
    int duty = 0;  // percent, 0..100
    std::uint64_t rpm = 0;
    int line = 0;  // where it stood in its file
};

struct SweepTable {
    std::string name;       // the file name given, "-" for standard input
    std::vector<Row> rows;  // in file order; a duty may repeat
};

// Reads a table; on a malformed one returns nothing and sets `error` to
// "NAME:LINE: what is wrong".
std::optional<SweepTable> parseSweepTable(std::istream& in, const std::string& name,
                                          std::string& error);

}  // namespace fanbench::curve
