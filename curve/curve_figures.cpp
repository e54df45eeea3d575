#include "curve/curve_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace fanbench::curve {

std::optional<Tolerance> parseTolerance(const std::string& text) {
    Tolerance t;
    std::string number;
    if (text.size() > 1 && text.back() == '%') {
        number = text.substr(0, text.size() - 1);
        t.percent = true;
    } else if (text.size() > 3 && text.compare(text.size() - 3, 3, "rpm") == 0) {
        number = text.substr(0, text.size() - 3);
        t.percent = false;
    } else {
        return std::nullopt;
    }
    char* end = nullptr;
    t.value = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !(t.value >= 0) ||
        !std::isfinite(t.value)) {
        return std::nullopt;
    }
    return t;
}

namespace {

double rSquared(const std::vector<Row>& rows) {
    const double n = static_cast<double>(rows.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    for (const Row& r : rows) {
        const double x = r.duty;
        const double y = static_cast<double>(r.rpm);
        sx += x, sy += y, sxx += x * x, sxy += x * y, syy += y * y;
    }
    const double vx = n * sxx - sx * sx;
    const double vy = n * syy - sy * sy;
    if (vx <= 0) return 0.0;
    if (vy <= 0) return 1.0;  // a flat line is a perfect, if useless, fit
    const double cov = n * sxy - sx * sy;
    return cov * cov / (vx * vy);
}

}  // namespace

Figures computeFigures(const SweepTable& table, const Tolerance& tolerance) {
    Figures f;
    const std::vector<Row>& rows = table.rows;
    std::map<int, int> seen;
    for (const Row& r : rows) {
        if (r.duty == 0) f.rpmAt0 = r.rpm;
        if (r.duty == 100) f.rpmAt100 = r.rpm;
        f.maxRpm = std::max(f.maxRpm, r.rpm);
        if (r.rpm > 0 && (!f.lowestTurningDuty || r.duty < *f.lowestTurningDuty)) {
            f.lowestTurningDuty = r.duty;
        }
        if (++seen[r.duty] == 2) f.repeatedDuties.push_back(r.duty);
    }
    const double maxRpm = static_cast<double>(f.maxRpm);
    auto beyond = [](std::uint64_t a, std::uint64_t b, double band) {
        return std::fabs(static_cast<double>(a) - static_cast<double>(b)) > band;
    };
    // The speed "changes" once it moves by more than one tach count (30 rpm) or 1 % of
    // the top speed, whichever is more: below that it is measurement noise.
    const double noise = std::max(30.0, maxRpm / 100.0);

    // The range starts at the last point of a flat beginning and ends at the first
    // point of a flat end.
    std::size_t from = 0;
    while (from + 1 < rows.size() && !beyond(rows[from + 1].rpm, rows.front().rpm, noise)) ++from;
    std::size_t to = rows.size() - 1;
    while (to > from && !beyond(rows[to - 1].rpm, rows.back().rpm, noise)) --to;
    const double dipBand = tolerance.allowedFor(maxRpm);
    f.controllableFrom = rows[from].duty;
    f.controllableTo = rows[to].duty;
    if (to > from) {
        f.linearity = rSquared(
            {rows.begin() + static_cast<long>(from), rows.begin() + static_cast<long>(to) + 1});
    }

    for (std::size_t i = 1; i < rows.size(); ++i) {
        const Row& a = rows[i - 1];
        const Row& b = rows[i];
        if (b.duty > a.duty && b.rpm < a.rpm && beyond(a.rpm, b.rpm, dipBand)) {
            f.dips.push_back({a.duty, b.duty, a.rpm, b.rpm});
        }
    }
    return f;
}

std::vector<Deviation> checkAgainst(const SweepTable& measured, const SweepTable& reference,
                                    const Tolerance& tolerance) {
    std::map<int, std::uint64_t> ref;  // the last measurement of a repeated duty counts
    for (const Row& r : reference.rows) ref[r.duty] = r.rpm;
    std::set<int> measuredDuties;
    std::vector<Deviation> out;
    for (const Row& r : measured.rows) {
        measuredDuties.insert(r.duty);
        const auto it = ref.find(r.duty);
        if (it == ref.end()) {
            out.push_back({r.duty, r.rpm, std::nullopt});
            continue;
        }
        const double allowed = tolerance.allowedFor(static_cast<double>(it->second));
        if (std::fabs(static_cast<double>(r.rpm) - static_cast<double>(it->second)) > allowed) {
            out.push_back({r.duty, r.rpm, it->second});
        }
    }
    for (const auto& [duty, rpm] : ref) {
        if (!measuredDuties.count(duty)) out.push_back({duty, std::nullopt, rpm});
    }
    return out;
}

}  // namespace fanbench::curve
