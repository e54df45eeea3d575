#include "bench_table.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace fanbench::bench {

namespace {
bool gMissingSamples = false;
}  // namespace

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return {};
    auto at = [&](double q) {
        return v[std::min(v.size() - 1,
                          static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))];
    };
    return {at(0.5), at(0.99), v.back()};
}

std::string describe(const std::vector<double>& samples, int decimals) {
    if (samples.empty()) {
        gMissingSamples = true;
        return "no samples";
    }
    const Stats s = stats(samples);
    char buf[160];
    std::snprintf(buf, sizeof buf, "median %.*f, p99 %.*f, max %.*f (n=%zu)", decimals, s.median,
                  decimals, s.p99, decimals, s.max, samples.size());
    return buf;
}

int exitStatus() {
    if (gMissingSamples) std::fprintf(stderr, "a measurement took no samples\n");
    return gMissingSamples ? 1 : 0;
}

std::string fmt(const char* format, double a, double b, double c) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

void printHeader(const char* title) {
    utsname u{};
    ::uname(&u);
    std::printf("%s on %s %s, %ld cores\n\n", title, u.sysname, u.machine,
                ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("| %-48s | %-42s | %-22s |\n|%s|%s|%s|\n", "what", "measured", "target",
                std::string(50, '-').c_str(), std::string(44, '-').c_str(),
                std::string(24, '-').c_str());
    std::fflush(stdout);
}

void row(const char* what, const std::string& figure, const char* target) {
    std::printf("| %-48s | %-42s | %-22s |\n", what, figure.c_str(), target);
    std::fflush(stdout);
}

double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string s((std::istreambuf_iterator<char>(stat)), {});
    // Fields after the command name, which is in parentheses and may hold blanks.
    const std::size_t close = s.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::string field;
    for (char c : s.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13) return 0;
    const double ticks = std::stod(fields[11]) + std::stod(fields[12]);  // utime, stime
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long statusKiB(pid_t pid, const char* key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    }
    return -1;
}

}  // namespace fanbench::bench
