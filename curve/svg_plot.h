#pragma once
// Draws sweep tables as an SVG line chart: duty on x, rpm on y from 0.

#include <string>
#include <vector>

#include "curve/curve_figures.h"
#include "curve/sweep_table.h"

namespace fanbench::curve {

struct PlotInput {
    std::vector<SweepTable> tables;
    const SweepTable* reference = nullptr;  // drawn as a band when set
    Tolerance tolerance;
};

std::string renderSvg(const PlotInput& input);

// Writes `content` to a temporary file beside `path` and renames it into place.
bool writeFileAtomically(const std::string& path, const std::string& content);

}  // namespace fanbench::curve
