#pragma once
// The Dutyramp program: argument check, port, worker, sweep and orderly shutdown.

#include <span>

namespace fanbench::sweep {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs the whole program with standard input as keyboard; returns the exit status
// (128 + the signal number after a termination signal).
int runDutyramp(std::span<const char* const> args);

// The C library's decimal conversion (leading blanks, sign, digits up to the first
// other character, 0 without digits), saturating instead of overflowing.
int parseDecimalLikeAtoi(const char* text);

}  // namespace fanbench::sweep
