// The Windows build of Dutyramp under wine, against a tester on a pseudo-terminal that
// the wine prefix sees as COM3. Standard streams are in text mode there, so every "\n"
// leaves as "\r\n" and a "\r\n" in a message as "\r\r\n".

#include <gtest/gtest.h>

#include <cstdlib>

#include "child_process.h"
#include "scripted_tester.h"

namespace fanbench::sweep {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

class DutyrampOnWine : public ::testing::Test {
  protected:
    void SetUp() override {
        if (exe.empty() || prefix.empty())
            GTEST_SKIP() << "FANBENCH_WINDOWS_EXE and WINEPREFIX not set";
    }
    ChildProcess run(std::vector<std::string> args,
                     ChildProcess::Input input = ChildProcess::Input::Null) {
        args.insert(args.begin(), exe);
        return ChildProcess(wine, args, input);
    }
    std::string com3() const { return prefix + "/dosdevices/com3"; }

    const std::string exe = env("FANBENCH_WINDOWS_EXE");
    const std::string prefix = env("WINEPREFIX");
    const std::string wine = env("FANBENCH_WINE").empty() ? "/usr/bin/wine" : env("FANBENCH_WINE");
};

const std::string kTextModeCrLf = "\r\r\n";

struct WineSweepCase {
    const char* name;
    int waitSec;
    bool noisy;
};
std::ostream& operator<<(std::ostream& os, const WineSweepCase& c) {
    return os << c.name;
}
class WineSweep : public DutyrampOnWine, public ::testing::WithParamInterface<WineSweepCase> {};

TEST_P(WineSweep, PrintsExactlyTheTextModeBytes) {
    const WineSweepCase& c = GetParam();
    ScriptedTester tester({.waitSec = c.waitSec, .noisy = c.noisy}, com3());
    ChildProcess child = run({"3", std::to_string(c.waitSec)});
    const ChildResult r = child.finish(60s);
    EXPECT_EQ(r.exitStatus, 0);
    const std::string comLine =
        "ComPort=3, WaitSec=" + std::to_string(c.waitSec) + ", 'Q':Exit." + kTextModeCrLf;
    EXPECT_EQ(r.err, expectedStderr(c.waitSec, 0, comLine, "\r\n"));
    EXPECT_EQ(r.out, expectedStdout(c.waitSec, 0, "\r\n"));
    EXPECT_TRUE(tester.waitForCommands(
        fullSweepCommands().size()));  // the last byte may still be in flight
    EXPECT_EQ(tester.commands(), fullSweepCommands());
}

INSTANTIATE_TEST_SUITE_P(Sweeps, WineSweep,
                         ::testing::Values(WineSweepCase{"wait_1", 1, false},
                                           WineSweepCase{"wait_3", 3, false},
                                           WineSweepCase{"noisy_line", 2, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(DutyrampOnWine, QFromAPipeStopsAndSetsZeroDuty) {
    ScriptedTester tester({.waitSec = 1, .answerLimit = 2}, com3());
    ChildProcess child = run({"3", "1"}, ChildProcess::Input::Pipe);
    ASSERT_TRUE(child.waitForError("Set Duty  10% ", 30s));
    child.type("xq");
    const ChildResult r = child.finish(30s);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "Duty(%)\tSpeed(rpm)\r\n0\t600\r\n5\t690\r\n");
    EXPECT_TRUE(tester.waitForCommands(5));
    EXPECT_EQ(tester.commands(), (Bytes{0x02, 0x80, 0x81, 0x82, 0x80}));
}

TEST_F(DutyrampOnWine, DeviceLossEndsWithStatusOne) {
    ScriptedTester tester({.waitSec = 1, .answerLimit = 2}, com3());
    ChildProcess child = run({"3", "1"});
    ASSERT_TRUE(child.waitForError("Set Duty  10% ", 30s));
    tester.hangUp();
    const ChildResult r = child.finish(30s);
    EXPECT_EQ(r.exitStatus, 1);
    const std::string tail =
        kTextModeCrLf + "Lost COM3: the device was disconnected." + kTextModeCrLf;
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
}

TEST_F(DutyrampOnWine, ArgumentErrors) {
    const std::string usage = "Usage : Dutyramp ComPort WaitSec" + kTextModeCrLf;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{}, 2, usage},
        {{"3"}, 2, usage},
        {{"3", "0"}, 2, usage + "WaitSec must be 1 or greater." + kTextModeCrLf},
        {{"0", "3"}, 1, "Can't Open COM0" + kTextModeCrLf},
    };
    for (const auto& c : cases) {
        ChildProcess child = run(c.args);
        const ChildResult r = child.finish(30s);
        EXPECT_EQ(r.exitStatus, c.status) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
}  // namespace fanbench::sweep
