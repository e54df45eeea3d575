#pragma once
// What every benchmark program shares: sample statistics, the printed table and the
// /proc readings of a process's CPU time and memory.

#include <sys/types.h>

#include <string>
#include <vector>

namespace fanbench::bench {

struct Stats {
    double median = 0, p99 = 0, max = 0;
};
Stats stats(std::vector<double> samples);

// "median 0.051, p99 0.079, max 0.143 (n=200)", with `decimals` places. No samples at
// all means the measurement itself broke; exitStatus() then reports failure.
std::string describe(const std::vector<double>& samples, int decimals);
int exitStatus();

std::string fmt(const char* format, double a, double b = 0, double c = 0);

// The table's header, naming the machine, and its rows.
void printHeader(const char* title);
void row(const char* what, const std::string& figure, const char* target);

// User plus system CPU time of a process so far, from /proc (clock-tick resolution).
double cpuSeconds(pid_t pid);
// A "VmRSS:"-style figure from /proc/<pid>/status, in KiB; -1 when absent.
long statusKiB(pid_t pid, const char* key);

}  // namespace fanbench::bench
