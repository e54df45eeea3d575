#pragma once
// Command line of fantester-sim.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "simulator/fan_model.h"

namespace fanbench::simulator {

struct SimOptions {
    int comPort = 1;
    int intervalMs = 1000;
    FanSpec fan;
    std::uint32_t seed = 1;
    bool logCommands = false;
    // Faults.
    bool split = false;     // each report in two writes with a pause between
    int junkBytes = 0;      // junk bytes before each report
    int truncateEvery = 0;  // every K-th report cut short
    int corruptEvery = 0;   // every K-th report with a bad digit byte
    int lagReports = 0;     // reports that still show the old duty after a command
    bool silent = false;    // never report
    int hangupAfter = 0;    // hang up after K reports
};

inline constexpr const char* kSimUsage =
    "Usage: fantester-sim [--com N] [--interval MS] [--fan 4pin|3pin] [--min-rpm R]\n"
    "                     [--max-rpm R] [--noise COUNTS] [--seed N] [--log-commands]\n"
    "                     [--split] [--junk N] [--truncate-every K] [--corrupt-every K]\n"
    "                     [--lag N] [--silent] [--hangup-after K]\n";

// Parses the arguments after the program name; on error sets `error` and returns nothing.
std::optional<SimOptions> parseSimOptions(std::span<const char* const> args, std::string& error);

}  // namespace fanbench::simulator
