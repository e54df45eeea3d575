#include "simulator/sim_options.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <map>

namespace fanbench::simulator {

namespace {

bool parseInt(const char* text, int low, int& out) {
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && ptr == end && out >= low;
}

}  // namespace

std::optional<SimOptions> parseSimOptions(std::span<const char* const> args, std::string& error) {
    SimOptions o;
    int seed = 1;
    const std::map<std::string, std::pair<int*, int>> numeric = {
        {"--com", {&o.comPort, 1}},
        {"--interval", {&o.intervalMs, 1}},
        {"--min-rpm", {&o.fan.minRpm, 0}},
        {"--max-rpm", {&o.fan.maxRpm, 0}},
        {"--noise", {&o.fan.noiseCounts, 0}},
        {"--seed", {&seed, 0}},
        {"--junk", {&o.junkBytes, 0}},
        {"--truncate-every", {&o.truncateEvery, 1}},
        {"--corrupt-every", {&o.corruptEvery, 1}},
        {"--lag", {&o.lagReports, 0}},
        {"--hangup-after", {&o.hangupAfter, 1}},
    };
    const std::map<std::string, bool*> flags = {
        {"--split", &o.split}, {"--silent", &o.silent}, {"--log-commands", &o.logCommands}};

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        if (auto f = flags.find(arg); f != flags.end()) {
            *f->second = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = arg.rfind("--", 0) == 0 && (numeric.count(arg) || arg == "--fan")
                        ? "option " + arg + " needs a value"
                        : "unknown option " + arg;
            return std::nullopt;
        }
        const char* value = args[++i];
        if (arg == "--fan") {
            if (std::strcmp(value, "4pin") == 0) {
                o.fan.kind = FanKind::FourPin;
            } else if (std::strcmp(value, "3pin") == 0) {
                o.fan.kind = FanKind::ThreePin;
            } else {
                error = "--fan takes 4pin or 3pin";
                return std::nullopt;
            }
            continue;
        }
        const auto n = numeric.find(arg);
        if (n == numeric.end()) {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        if (!parseInt(value, n->second.second, *n->second.first)) {
            error = "bad value for " + arg + ": " + value;
            return std::nullopt;
        }
    }
    if (o.fan.maxRpm < o.fan.minRpm) {
        error = "--max-rpm must not be below --min-rpm";
        return std::nullopt;
    }
    o.seed = static_cast<std::uint32_t>(seed);
    return o;
}

}  // namespace fanbench::simulator
