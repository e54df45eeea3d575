#include "sweep/sweep_sequencer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sweep/dutyramp.h"

namespace fanbench::sweep {
namespace {

// Collects what a FILE* received.
class CapturedFile {
  public:
    CapturedFile() : file_(std::tmpfile()) {}
    ~CapturedFile() { std::fclose(file_); }
    std::FILE* get() const { return file_; }
    std::string text() const {
        std::fflush(file_);
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
        return out;
    }

  private:
    std::FILE* file_;
};

struct Harness {
    CapturedFile progress, table;
    std::vector<std::uint8_t> sent;
    SweepSequencer sequencer;
    explicit Harness(int waitSec)
        : sequencer(
              waitSec, [this](std::uint8_t b) { sent.push_back(b); }, progress.get(), table.get()) {
    }
    void report(std::uint8_t duty, std::uint64_t count) {
        const auto frame = protocol::encodeReport({protocol::kFanType4Pin, duty, count});
        sequencer.onFrame(frame);
    }
};

TEST(SweepSequencer, MeasuresEveryWaitSecReportsAndCommandsTheNextDuty) {
    Harness h(2);
    h.sequencer.commandFirstDuty();
    h.report(0, 20);
    h.report(0, 21);  // the second report is the measurement
    h.report(1, 30);
    EXPECT_EQ(h.progress.text(), "Set Duty   0% ** 630rpm\nSet Duty   5% *");
    EXPECT_EQ(h.table.text(), "0\t630\n");
    EXPECT_EQ(h.sent, (std::vector<std::uint8_t>{0x80, 0x81}));
    EXPECT_EQ(h.sequencer.step(), 2);
}

TEST(SweepSequencer, AfterTheLastRowNothingMoreIsCommanded) {
    Harness h(1);
    h.sequencer.commandFirstDuty();
    for (int i = 0; i <= kLastStep; ++i) h.report(static_cast<std::uint8_t>(i), 10);
    EXPECT_TRUE(h.sequencer.finished());
    EXPECT_EQ(h.sent.size(), 21u);
    EXPECT_EQ(h.sent.back(), 0x94);
    h.report(20, 11);  // late reports still print, but command nothing
    EXPECT_EQ(h.sent.size(), 21u);
    EXPECT_NE(h.table.text().find("100\t330\n"), std::string::npos);
    EXPECT_EQ(h.sequencer.step(), 23);
}

TEST(SweepSequencer, PrintsTheReportedDutyAndFullTenDigitSpeeds) {
    Harness h(1);
    h.sequencer.commandFirstDuty();
    h.report(33, 9999999999ULL);  // a tester that reports an out-of-range duty
    EXPECT_EQ(h.table.text(), "165\t299999999970\n");
}

TEST(SweepSequencer, AReportBeforeTheFirstDutyCommandWaitsForIt) {
    Harness h(1);
    std::thread early([&] { h.report(0, 40); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(h.progress.text(), "");
    h.sequencer.commandFirstDuty();
    early.join();
    EXPECT_EQ(h.progress.text(), "Set Duty   0% * 1200rpm\nSet Duty   5% ");
    EXPECT_EQ(h.sent, (std::vector<std::uint8_t>{0x80, 0x81}));
}

TEST(ArgumentConversion, BehavesLikeAtoiWithoutOverflow) {
    const std::pair<const char*, int> cases[] = {
        {"3", 3},
        {"  7", 7},
        {"+5", 5},
        {"-2", -2},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"0x10", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(parseDecimalLikeAtoi(text), value) << text;
}

}  // namespace
}  // namespace fanbench::sweep
