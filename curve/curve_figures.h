#pragma once
// Figures of one sweep table and the check against a reference table.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "curve/sweep_table.h"

namespace fanbench::curve {

// A band either in percent of the reference speed or in rpm.
struct Tolerance {
    double value = 10.0;
    bool percent = true;
    double allowedFor(double referenceRpm) const {
        return percent ? referenceRpm * value / 100.0 : value;
    }
};

// "10%" or "150rpm"; nothing when malformed.
std::optional<Tolerance> parseTolerance(const std::string& text);

struct Dip {
    int fromDuty;
    int toDuty;
    std::uint64_t fromRpm;
    std::uint64_t toRpm;
};

struct Figures {
    std::optional<std::uint64_t> rpmAt0;
    std::optional<std::uint64_t> rpmAt100;
    std::uint64_t maxRpm = 0;
    std::optional<int> lowestTurningDuty;  // lowest duty with a non-zero speed
    int controllableFrom = 0;              // duty range over which the speed really changes
    int controllableTo = 0;
    std::optional<double> linearity;  // R^2 of a straight line over that range
    std::vector<Dip> dips;            // speed falls while duty rises, beyond the tolerance
    std::vector<int> repeatedDuties;  // duties measured more than once (a lagging tester)
};

// The tolerance decides what counts as a change or a dip (percent: of the highest rpm).
Figures computeFigures(const SweepTable& table, const Tolerance& tolerance);

struct Deviation {
    int duty;
    std::optional<std::uint64_t> measured;   // nothing: the duty is missing from the table
    std::optional<std::uint64_t> reference;  // nothing: missing from the reference
};

// Every row outside the band, and every duty that only one of the tables has.
std::vector<Deviation> checkAgainst(const SweepTable& measured, const SweepTable& reference,
                                    const Tolerance& tolerance);

}  // namespace fanbench::curve
