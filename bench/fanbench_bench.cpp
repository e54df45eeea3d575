// Measures what our code adds on top of the 9600-baud line: framing throughput, sweep
// reaction, stop latency, idle CPU, footprint and a flood, using the real Dutyramp over
// pseudo-terminals. Prints one table.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "child_process.h"
#include "protocol/frame_assembler.h"
#include "pty_tester.h"

extern char** environ;

namespace {

using namespace fanbench;
using bench::fmt;
using bench::row;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::Bytes;

// WaitSec for runs that must stay at 0 % however many reports arrive: at a flood's
// 400 000 reports a second, 2e9 last more than an hour and a half per step.
const std::string kEndlessWait = "2000000000";

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A Dutyramp process with its standard input as a pipe and standard error readable.
struct Dutyramp {
    pid_t pid = -1;
    int keys = -1;
    int err = -1;
    explicit Dutyramp(const std::vector<std::string>& args) {
        int in[2], e[2];
        if (::pipe(in) != 0 || ::pipe(e) != 0) std::exit(1);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, e[1], 2);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, e[0]);
        // FANBENCH_BENCH_WINDOWS_EXE runs a Windows build under wine instead.
        const char* windowsExe = std::getenv("FANBENCH_BENCH_WINDOWS_EXE");
        std::string program = windowsExe ? "/usr/bin/wine" : testsupport::programPath("Dutyramp");
        std::vector<char*> argv{program.data()};
        std::vector<std::string> copy(args);
        if (windowsExe) copy.insert(copy.begin(), windowsExe);
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ) != 0)
            std::exit(1);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(e[1]);
        keys = in[1];
        err = e[0];
        ::fcntl(err, F_SETFL, O_NONBLOCK);
    }
    // Reads standard error; returns how many '*' arrived.
    long drainStars(std::string* text = nullptr) const {
        long stars = 0;
        char buf[4096];
        for (ssize_t n; (n = ::read(err, buf, sizeof buf)) > 0;) {
            stars += std::count(buf, buf + n, '*');
            if (text) text->append(buf, static_cast<std::size_t>(n));
        }
        return stars;
    }
    bool waitForError(const std::string& needle, std::chrono::milliseconds limit) const {
        std::string text;
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            drainStars(&text);
            if (text.find(needle) != std::string::npos) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    double cpuSeconds() const { return bench::cpuSeconds(pid); }
    long statusKiB(const char* key) const { return bench::statusKiB(pid, key); }
    void quit() const { [[maybe_unused]] auto n = ::write(keys, "q", 1); }
    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
    ~Dutyramp() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(keys);
        ::close(err);
    }
};

struct Counter : protocol::FrameConsumer {
    long frames = 0;
    void onFrame(protocol::FrameView) override { ++frames; }
};

void framingThroughput() {
    std::vector<std::uint8_t> clean;
    for (int i = 0; i < 65536; ++i) {
        const auto f = protocol::encodeReport(
            {2, static_cast<std::uint8_t>(i % 21), static_cast<std::uint64_t>(i)});
        clean.insert(clean.end(), f.begin(), f.end());
    }
    std::vector<std::uint8_t> junk(clean.size());
    std::mt19937 random(7);
    for (auto& b : junk) b = static_cast<std::uint8_t>(random());
    for (auto [name, data] : {std::pair{"Framing, clean reports (MB/s)", &clean},
                              std::pair{"Framing, random junk (MB/s)", &junk}}) {
        for (auto rule :
             {protocol::CapacityRule::DiscardAt128, protocol::CapacityRule::WrapAt256}) {
            std::vector<double> rates;
            for (int run = 0; run < 15; ++run) {
                Counter c;
                protocol::FrameAssembler a(rule, c);
                const auto start = Clock::now();
                a.push(*data);
                const double seconds = ms(Clock::now() - start) / 1000;
                rates.push_back(static_cast<double>(data->size()) / seconds / 1e6);
            }
            const bench::Stats s = bench::stats(rates);
            row((std::string(name) +
                 (rule == protocol::CapacityRule::DiscardAt128 ? ", 128 B" : ", 256 B"))
                    .c_str(),
                fmt("median %.0f, min %.0f", s.median,
                    *std::min_element(rates.begin(), rates.end())),
                "(line: 0.00096 MB/s)");
        }
    }
}

// Answers each duty command with one report at once and times the reply.
void sweepReaction(int sweeps) {
    std::vector<double> samples;
    for (int i = 0; i < sweeps; ++i) {
        testsupport::PtyTester tester;
        tester.linkAs(3);
        if (const char* prefix = std::getenv("WINEPREFIX"))
            tester.linkAt(std::string(prefix) + "/dosdevices/com3");
        Dutyramp program({"3", "1"});
        int duty = -1;
        Clock::time_point sent{};
        while (duty < 20) {
            const Bytes got = tester.receive(1, 3000ms);
            if (got.empty()) break;
            const auto arrived = Clock::now();
            if (!protocol::isDutyCommand(got[0])) continue;
            if (duty >= 0) samples.push_back(ms(arrived - sent));
            duty = got[0] - 0x80;
            tester.sendReport({2, static_cast<std::uint8_t>(duty), 40});
            sent = Clock::now();
        }
        program.wait();
    }
    row("Sweep reaction: report end -> next duty (ms)", bench::describe(samples, 3),
        "median < 0.5, p99 < 2");
}

void stopLatency(int runs) {
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        testsupport::PtyTester tester;
        tester.linkAs(3);
        Dutyramp program({"3", "5"});
        if (!program.waitForError("Set Duty   0% ", 3000ms)) continue;
        const auto start = Clock::now();
        program.quit();
        program.wait();
        samples.push_back(ms(Clock::now() - start));
    }
    row("Stop: q -> process exit (ms)", bench::describe(samples, 2), "< 50");
}

void idleCost(int seconds) {
    for (bool reports : {true, false}) {
        testsupport::PtyTester tester;
        tester.linkAs(3);
        Dutyramp program({"3", kEndlessWait});
        program.waitForError("Set Duty   0% ", 3000ms);
        const double cpu0 = program.cpuSeconds();
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(seconds)) {
            if (reports) tester.sendReport({2, 0, 40});
            tester.drain(1ms);
            std::this_thread::sleep_for(1s);
            program.drainStars();
        }
        const double share =
            (program.cpuSeconds() - cpu0) / (ms(Clock::now() - start) / 1000) * 100;
        row(reports ? "Idle CPU, one report a second (% of a core)"
                    : "Idle CPU, no reports (% of a core)",
            fmt("%.3f %% over %.0f s", share, seconds), "< 0.1 %");
        if (reports) {
            row("Footprint: peak resident memory (MiB)",
                fmt("%.2f", static_cast<double>(program.statusKiB("VmHWM:")) / 1024.0), "< 4");
        }
        program.quit();
        program.wait();
    }
}

void flood(int seconds) {
    testsupport::PtyTester tester;
    tester.linkAs(3);
    Dutyramp program({"3", kEndlessWait});
    program.waitForError("Set Duty   0% ", 3000ms);
    const long rss0 = program.statusKiB("VmRSS:");
    const double cpu0 = program.cpuSeconds();
    long sent = 0, seen = 0;
    const auto start = Clock::now();
    std::mt19937 random(1);
    Bytes burst;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        burst.clear();
        for (int i = 0; i < 64; ++i) {
            for (int j = 0; j < 5; ++j) burst.push_back(static_cast<std::uint8_t>(random() % 0xFD));
            // The junk ends in a marker, so no valid report is merged into it.
            burst.push_back(0xFE);
            const auto f = protocol::encodeReport({2, 5, static_cast<std::uint64_t>(sent + i)});
            burst.insert(burst.end(), f.begin(), f.end());
        }
        if (!tester.trySend(burst, 1000ms)) {
            std::fprintf(stderr, "flood: Dutyramp stopped reading\n");
            break;
        }
        sent += 64;
        tester.drain(0ms);
        seen += program.drainStars();
    }
    const double elapsed = ms(Clock::now() - start) / 1000;
    const double cpu = (program.cpuSeconds() - cpu0) / elapsed * 100;
    const long rss1 = program.statusKiB("VmRSS:");
    std::this_thread::sleep_for(200ms);
    seen += program.drainStars();
    row("Flood: valid reports accepted / sent",
        std::to_string(seen) + " / " + std::to_string(sent) +
            fmt(" (%.0f/s)", static_cast<double>(sent) / elapsed, 0),
        "all");
    row("Flood: CPU (% of a core), RSS start -> end (KiB)",
        fmt("%.1f %%, ", cpu) + std::to_string(rss0) + " -> " + std::to_string(rss1), "no growth");
    program.quit();
    program.wait();
}

}  // namespace

int main(int argc, char** argv) {
    int idleSeconds = 60, floodSeconds = 60, sweeps = 10;
    bool reactionOnly = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const int v = std::atoi(argv[i + 1]);
        if (a == "--idle-seconds") idleSeconds = v;
        if (a == "--flood-seconds") floodSeconds = v;
        if (a == "--sweeps") sweeps = v;
    }
    for (int i = 1; i < argc; ++i) reactionOnly |= std::string(argv[i]) == "--reaction-only";
    testsupport::TempConfigHome home;
    ::signal(SIGPIPE, SIG_IGN);
    bench::printHeader("Dutyramp benchmarks");
    if (reactionOnly) {
        sweepReaction(sweeps);
        return bench::exitStatus();
    }
    framingThroughput();
    sweepReaction(sweeps);
    stopLatency(20);
    idleCost(idleSeconds);
    flood(floodSeconds);
    return bench::exitStatus();
}
