// Dutyramp as a user runs it: the real program against a tester on a pseudo-terminal.

#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "pty_tester.h"
#include "scripted_tester.h"
#include "seriallink/serial_port.h"

namespace fanbench::sweep {
namespace {

class Dutyramp : public ::testing::Test {
  protected:
    TempConfigHome home;
    const std::string program = programPath("Dutyramp");
};

struct SweepCase {
    const char* name;
    std::vector<std::string> args;
    ScriptedTester::Options tester;
};
std::ostream& operator<<(std::ostream& os, const SweepCase& c) {
    return os << c.name;
}

class FullSweep : public Dutyramp, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(FullSweep, PrintsExactlyTheTableAndProgress) {
    const SweepCase& c = GetParam();
    ScriptedTester tester(c.tester);
    ChildProcess child(program, c.args);
    const ChildResult r = child.finish(20s);
    EXPECT_EQ(r.exitStatus, 0);
    const std::string comLine =
        "ComPort=3, WaitSec=" + std::to_string(c.tester.waitSec) + ", 'Q':Exit.\r\n";
    EXPECT_EQ(r.err, expectedStderr(c.tester.waitSec, c.tester.lag, comLine));
    EXPECT_EQ(r.out, expectedStdout(c.tester.waitSec, c.tester.lag));
    EXPECT_TRUE(tester.waitForCommands(
        fullSweepCommands().size()));  // the last byte may still be in flight
    EXPECT_EQ(tester.commands(), fullSweepCommands());
}

INSTANTIATE_TEST_SUITE_P(
    Sweeps, FullSweep,
    ::testing::Values(
        SweepCase{"wait_1", {"3", "1"}, {.waitSec = 1}},
        SweepCase{"wait_3", {"3", "3"}, {.waitSec = 3}},
        SweepCase{"noisy_line", {"3", "2"}, {.waitSec = 2, .noisy = true}},
        SweepCase{"lagging_tester", {"3", "1"}, {.waitSec = 1, .lag = 1}},
        SweepCase{"extra_arguments_ignored", {"  +3", "1x", "more", "args"}, {.waitSec = 1}}),
    [](const auto& row) { return std::string(row.param.name); });

struct ArgumentCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string err;
};
std::ostream& operator<<(std::ostream& os, const ArgumentCase& c) {
    return os << c.name;
}

class ArgumentErrors : public Dutyramp, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ArgumentErrors, ExplainAndExitWithoutTouchingThePort) {
    PtyTester tester;
    tester.linkAs(kCom);
    ChildProcess child(program, GetParam().args);
    const ChildResult r = child.finish(5s);
    EXPECT_EQ(r.exitStatus, GetParam().status);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(tester.drain(50ms).empty());
}

const std::string kUsage = "Usage : Dutyramp ComPort WaitSec\r\n";
const std::string kWaitSec = kUsage + "WaitSec must be 1 or greater.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Arguments, ArgumentErrors,
    ::testing::Values(ArgumentCase{"none", {}, 2, kUsage}, ArgumentCase{"one", {"3"}, 2, kUsage},
                      ArgumentCase{"wait_zero", {"3", "0"}, 2, kWaitSec},
                      ArgumentCase{"wait_negative", {"3", "-4"}, 2, kWaitSec},
                      ArgumentCase{"wait_text", {"3", "abc"}, 2, kWaitSec},
                      ArgumentCase{"port_zero", {"0", "3"}, 1, "Can't Open COM0\r\n"},
                      ArgumentCase{"port_text", {"COM3", "3"}, 1, "Can't Open COM0\r\n"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Dutyramp, PortThatCannotOpenNamesTheDevice) {
    ChildProcess missing(program, {"5", "1"});
    const std::string map = home.portMapDir();
    std::filesystem::create_directories(map);
    std::filesystem::create_symlink("/dev/fanbench-nothing", map + "/com6");
    ChildProcess dangling(program, {"6", "1"});
    const ChildResult r1 = missing.finish(5s);
    const ChildResult r2 = dangling.finish(5s);
    EXPECT_EQ(r1.exitStatus, 1);
    EXPECT_EQ(r1.err.rfind("Can't Open COM5\r\n/dev/ttyS4: ", 0), 0u) << r1.err;
    EXPECT_EQ(r2.exitStatus, 1);
    EXPECT_EQ(r2.err, "Can't Open COM6\r\n" + map + "/com6: No such file or directory\r\n");
}

TEST_F(Dutyramp, ABusyPortIsRefused) {
    PtyTester tester;
    tester.linkAs(kCom);
    seriallink::SerialPort monitor;  // the monitor program holds the port exclusively
    ASSERT_TRUE(monitor.open(kCom, 9600, seriallink::PortSharing::Exclusive));
    ChildProcess child(program, {"3", "1"});
    const ChildResult r = child.finish(5s);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err,
              "Can't Open COM3\r\n" + home.portMapDir() + "/com3: Device or resource busy\r\n");
}

// Starts a sweep that stalls after two steps, so the user can interrupt it.
struct StalledSweep {
    ScriptedTester tester{{.waitSec = 1, .answerLimit = 2}};
    ChildProcess child;
    explicit StalledSweep(const std::string& program, ChildProcess::Input input)
        : child(program, {"3", "1"}, input) {
        EXPECT_TRUE(child.waitForError("Set Duty  10% ", 5s));
    }
    // Command bytes the program sent: 4-pin, 0 %, 5 %, 10 %, then the closing 0 %.
    Bytes expectedCommands() const { return {0x02, 0x80, 0x81, 0x82, 0x80}; }
};

const std::string kTwoRows = "Duty(%)\tSpeed(rpm)\n0\t600\n5\t690\n";

TEST_F(Dutyramp, QFromATerminalStopsAtOnceAndRestoresIt) {
    StalledSweep sweep(program, ChildProcess::Input::Terminal);
    termios during{};
    ASSERT_EQ(::tcgetattr(sweep.child.terminalFd(), &during), 0);
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u) << "keys arrive unechoed, one by one";
    EXPECT_NE(during.c_lflag & ISIG, 0u);
    sweep.child.type("x");
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    sweep.child.type("q");
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_LT(Clock::now() - start, 250ms);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, kTwoRows);
    EXPECT_TRUE(sweep.tester.waitForCommands(5));
    EXPECT_EQ(sweep.tester.commands(), sweep.expectedCommands());
    termios after{};
    ASSERT_EQ(::tcgetattr(sweep.child.terminalFd(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), ICANON | ECHO);
}

TEST_F(Dutyramp, CtrlCFromTheTerminalShutsDownLikeQ) {
    StalledSweep sweep(program, ChildProcess::Input::Terminal);
    sweep.child.type("\x03");
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_EQ(r.exitStatus, 128 + SIGINT);
    EXPECT_EQ(r.out, kTwoRows);
    EXPECT_TRUE(sweep.tester.waitForCommands(5));
    EXPECT_EQ(sweep.tester.commands(), sweep.expectedCommands());
    termios after{};
    ASSERT_EQ(::tcgetattr(sweep.child.terminalFd(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), ICANON | ECHO);
}

TEST_F(Dutyramp, KeysFromAPipeCountAndOnlyQStops) {
    StalledSweep sweep(program, ChildProcess::Input::Pipe);
    sweep.child.type("abc\n");
    std::this_thread::sleep_for(300ms);
    sweep.child.type("Q");
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, kTwoRows);
    EXPECT_TRUE(sweep.tester.waitForCommands(5));
    EXPECT_EQ(sweep.tester.commands(), sweep.expectedCommands());
}

TEST_F(Dutyramp, TheEndOfPipedInputLeavesTheSweepRunning) {
    StalledSweep sweep(program, ChildProcess::Input::Pipe);
    sweep.child.closeInput();
    std::this_thread::sleep_for(500ms);
    sweep.child.signal(SIGTERM);
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_EQ(r.exitStatus, 128 + SIGTERM) << "still sweeping when the signal came";
}

struct SignalCase {
    const char* name;
    int signal;
};
std::ostream& operator<<(std::ostream& os, const SignalCase& c) {
    return os << c.name;
}
class Signals : public Dutyramp, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(Signals, TakeTheOrderlyShutdown) {
    StalledSweep sweep(program, ChildProcess::Input::Null);
    sweep.child.signal(GetParam().signal);
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_EQ(r.exitStatus, 128 + GetParam().signal);
    EXPECT_EQ(r.out, kTwoRows) << "every measured row was flushed";
    EXPECT_TRUE(sweep.tester.waitForCommands(5));
    EXPECT_EQ(sweep.tester.commands(), sweep.expectedCommands());
}

INSTANTIATE_TEST_SUITE_P(Shutdown, Signals,
                         ::testing::Values(SignalCase{"sigint", SIGINT},
                                           SignalCase{"sigterm", SIGTERM},
                                           SignalCase{"sighup", SIGHUP}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Dutyramp, AClosedOutputPipeStillSetsZeroDuty) {
    ScriptedTester tester({.waitSec = 1, .answerLimit = 2});
    ChildProcess child(program, {"3", "1"});
    child.closeOutput();  // like `Dutyramp 3 1 | head -1` after head has gone
    const ChildResult r = child.finish(5s);
    EXPECT_EQ(r.exitStatus, 128 + SIGPIPE);
    EXPECT_TRUE(tester.waitForCommands(3));
    EXPECT_EQ(tester.commands().back(), 0x80);
}

TEST_F(Dutyramp, QBeforeAnyReportEndsAtOnce) {
    PtyTester silent;
    silent.linkAs(kCom);
    ChildProcess child(program, {"3", "2"}, ChildProcess::Input::Pipe);
    ASSERT_TRUE(child.waitForError("Set Duty   0% ", 5s));
    child.type("q");
    const ChildResult r = child.finish(5s);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "ComPort=3, WaitSec=2, 'Q':Exit.\r\nSet Duty   0% ");
    EXPECT_EQ(r.out, "Duty(%)\tSpeed(rpm)\n");
    EXPECT_EQ(silent.receive(3, 1000ms), (Bytes{0x02, 0x80, 0x80}));
}

TEST_F(Dutyramp, DeviceLossEndsTheRunWithStatusOne) {
    StalledSweep sweep(program, ChildProcess::Input::Null);
    const auto start = Clock::now();
    sweep.tester.hangUp();
    const ChildResult r = sweep.child.finish(5s);
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, kTwoRows);
    const std::string tail = "\r\nLost COM3: the device was disconnected.\r\n";
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
}

// The device goes away at awkward moments. Each run must end promptly with the loss
// message and status 1 (or 0 when q won the race), without a row for a torn report.
enum class LossMoment { MidReport, DuringABlockedWrite, TogetherWithQ };
struct LossCase {
    const char* name;
    LossMoment moment;
};
std::ostream& operator<<(std::ostream& os, const LossCase& c) {
    return os << c.name;
}
class DeviceLoss : public Dutyramp, public ::testing::WithParamInterface<LossCase> {};

TEST_P(DeviceLoss, EndsTheRunPromptly) {
    PtyTester tester;
    tester.linkAs(kCom);
    const LossMoment moment = GetParam().moment;
    // A tester that stops reading makes the program's first command wait in write().
    if (moment == LossMoment::DuringABlockedWrite) tester.stopReading();
    // WaitSec 2: one whole report counts, a second one (the torn one) would make a row.
    ChildProcess child(program, {"3", "2"}, ChildProcess::Input::Pipe);
    if (moment == LossMoment::DuringABlockedWrite) {
        EXPECT_FALSE(child.waitForError("Set Duty", 300ms)) << "the 4-pin command still waits";
    } else {
        ASSERT_TRUE(child.waitForError("Set Duty   0% ", 5s));
        tester.sendReport({2, 0, 20});
        ASSERT_TRUE(child.waitForError("*", 5s));
    }
    if (moment == LossMoment::MidReport) {
        const protocol::ReportFrame frame = protocol::encodeReport({2, 0, 21});
        tester.send(std::span(frame.data(), 9));
        std::this_thread::sleep_for(50ms);
    }
    if (moment == LossMoment::TogetherWithQ) child.type("q");
    const auto start = Clock::now();
    tester.hangUp();
    const ChildResult r = child.finish(5s);
    EXPECT_LT(Clock::now() - start, 1000ms) << "far inside the 3 s write bound";
    EXPECT_EQ(r.out, "Duty(%)\tSpeed(rpm)\n");
    if (moment == LossMoment::TogetherWithQ) {
        EXPECT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << r.exitStatus;
    } else {
        EXPECT_EQ(r.exitStatus, 1);
        const std::string tail = "\r\nLost COM3: the device was disconnected.\r\n";
        EXPECT_TRUE(r.err.ends_with(tail)) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DeviceLoss,
                         ::testing::Values(LossCase{"mid_report", LossMoment::MidReport},
                                           LossCase{"during_a_blocked_write",
                                                    LossMoment::DuringABlockedWrite},
                                           LossCase{"together_with_q", LossMoment::TogetherWithQ}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Dutyramp, SweepsTheSimulatedTesterEndToEnd) {
    ChildProcess sim(programPath("fantester-sim"), {"--com", "9", "--interval", "20", "--split"});
    ASSERT_TRUE(sim.waitForOutput("fantester-sim: COM9 is /dev/pts/", 5s));
    ChildProcess child(program, {"9", "1"});
    const ChildResult r = child.finish(30s);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::istringstream rows(r.out);
    std::string line;
    std::getline(rows, line);
    EXPECT_EQ(line, "Duty(%)\tSpeed(rpm)");
    int count = 0;
    int lastRpm = -1;
    for (int duty, rpm; rows >> duty >> rpm; ++count) {
        EXPECT_EQ(duty, count * 5);
        EXPECT_GT(rpm, lastRpm - 90) << "a 4-pin fan speeds up with duty";
        lastRpm = rpm;
    }
    EXPECT_EQ(count, 21);
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish(5s).exitStatus, 0);
    EXPECT_FALSE(std::filesystem::exists(home.portMapDir() + "/com9"))
        << "the sim removes its link";
}

}  // namespace
}  // namespace fanbench::sweep
