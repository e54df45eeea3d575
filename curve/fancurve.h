#pragma once
// fancurve: reads Dutyramp tables, prints their figures, plots them, and checks them
// against a reference.

#include <iosfwd>
#include <span>

namespace fanbench::curve {

inline constexpr int kCurvePass = 0;
inline constexpr int kCurveFail = 1;   // a row outside the reference band, or no plot written
inline constexpr int kCurveUsage = 2;  // bad options or a malformed table

int runFancurve(std::span<const char* const> args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace fanbench::curve
