#include "seriallink/receive_worker.h"

#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "pty_tester.h"
#include "seriallink/posix_calls.h"

namespace fanbench::seriallink {
namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;

struct CollectingConsumer : protocol::FrameConsumer {
    std::mutex mutex;
    std::vector<protocol::ReportFrame> frames;
    std::chrono::milliseconds stall{0};
    void onFrame(protocol::FrameView frame) override {
        std::this_thread::sleep_for(stall);
        std::lock_guard lock(mutex);
        protocol::ReportFrame copy;
        std::copy(frame.begin(), frame.end(), copy.begin());
        frames.push_back(copy);
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    bool waitFor(std::size_t n, std::chrono::milliseconds limit = 3000ms) {
        const auto deadline = Clock::now() + limit;
        while (count() < n && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
        return count() >= n;
    }
};

class ReceiveWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tester.linkAs(3);
        ASSERT_TRUE(port.open(3, 9600, PortSharing::Exclusive));
    }
    void TearDown() override { posix::calls() = posix::systemCalls(); }

    TempConfigHome home;
    PtyTester tester{PtyTester::Line::Cooked};
    SerialPort port;
    CollectingConsumer consumer;
    protocol::FrameAssembler assembler{protocol::CapacityRule::WrapAt256, consumer};
    std::atomic<int> losses{0};
};

protocol::FanReport report(std::uint8_t duty, std::uint64_t count) {
    return {protocol::kFanType4Pin, duty, count};
}

TEST_F(ReceiveWorkerTest, EveryByteValueReachesTheFramerUnchanged) {
    ReceiveWorker worker(port, 16, assembler);
    ASSERT_TRUE(worker.start());
    // Offsets 3 and 4 are free: together with the markers they carry all 256 values.
    std::vector<protocol::ReportFrame> sent;
    for (int v = 0; v < 256; v += 2) {
        const auto b3 = static_cast<std::uint8_t>(v == 0xFE ? 0x00 : v);
        const auto b4 = static_cast<std::uint8_t>(v + 1 == 0xFF ? 0x7F : v + 1);
        sent.push_back(protocol::encodeReport(report(7, static_cast<std::uint64_t>(v)), b3, b4));
        tester.send(sent.back());
    }
    ASSERT_TRUE(consumer.waitFor(sent.size()));
    EXPECT_TRUE(worker.stop(1000ms));
    std::lock_guard lock(consumer.mutex);
    EXPECT_EQ(consumer.frames, sent);
}

TEST_F(ReceiveWorkerTest, AReportSplitOverTwoReadsIsAcceptedOnce) {
    ReceiveWorker worker(port, 16, assembler);
    ASSERT_TRUE(worker.start());
    const protocol::ReportFrame frame = protocol::encodeReport(report(20, 30));
    tester.send(std::span(frame.data(), 10));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(consumer.count(), 0u);
    tester.send(std::span(frame.data() + 10, 6));
    ASSERT_TRUE(consumer.waitFor(1));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(consumer.count(), 1u);
}

TEST_F(ReceiveWorkerTest, StopTakesEffectAtOnceInEveryState) {
    {
        ReceiveWorker notStarted(port, 16, assembler);
        const auto start = Clock::now();
        EXPECT_TRUE(notStarted.stop(1000ms));
        EXPECT_LT(Clock::now() - start, 50ms);
    }
    {
        ReceiveWorker justStarted(port, 16, assembler);
        ASSERT_TRUE(justStarted.start());
        const auto start = Clock::now();
        EXPECT_TRUE(justStarted.stop(1000ms));
        EXPECT_LT(Clock::now() - start, 50ms);
    }
    {
        ReceiveWorker idle(port, 16, assembler);
        ASSERT_TRUE(idle.start());
        std::this_thread::sleep_for(100ms);
        const auto start = Clock::now();
        EXPECT_TRUE(idle.stop(1000ms));
        EXPECT_LT(Clock::now() - start, 50ms);
        EXPECT_FALSE(idle.running());
    }
}

TEST_F(ReceiveWorkerTest, AWorkerThatCannotEndIsAbandonedSafely) {
    consumer.stall = 1500ms;
    ReceiveWorker worker(port, 16, assembler);
    ASSERT_TRUE(worker.start());
    tester.sendReport(report(1, 1));
    std::this_thread::sleep_for(100ms);  // now inside the consumer
    const auto start = Clock::now();
    EXPECT_FALSE(worker.stop(200ms));
    EXPECT_LT(Clock::now() - start, 300ms);
    port.close();  // the abandoned thread must not read a descriptor we closed
    tester.sendReport(report(2, 2));
    std::this_thread::sleep_for(1600ms);
    EXPECT_EQ(consumer.count(), 1u);
}

TEST_F(ReceiveWorkerTest, DeviceLossIsOneEventAndTheWorkerEnds) {
    ReceiveWorker worker(port, 16, assembler, [this] { ++losses; });
    ASSERT_TRUE(worker.start());
    tester.sendReport(report(3, 3));
    ASSERT_TRUE(consumer.waitFor(1));
    tester.hangUp();
    const auto deadline = Clock::now() + 1000ms;
    while (worker.running() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(worker.running()) << "an ended worker cannot spin";
    EXPECT_TRUE(worker.deviceLost());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(losses.load(), 1);
    EXPECT_TRUE(worker.stop(1000ms));
}

// The rare read paths, through the system-call table.
std::atomic<int> gReadCalls{0};

ssize_t interruptedFirst(int fd, void* buf, std::size_t count) {
    const int call = ++gReadCalls;
    if (call == 1) {
        errno = EINTR;
        return -1;
    }
    if (call == 2) {
        errno = EAGAIN;
        return -1;
    }
    return ::read(fd, buf, count);
}

ssize_t ioError(int, void*, std::size_t) {
    ++gReadCalls;
    errno = EIO;
    return -1;
}

TEST_F(ReceiveWorkerTest, InterruptedAndEmptyReadsAreRetried) {
    gReadCalls = 0;
    posix::calls().read = interruptedFirst;
    ReceiveWorker worker(port, 16, assembler, [this] { ++losses; });
    ASSERT_TRUE(worker.start());
    tester.sendReport(report(5, 5));
    EXPECT_TRUE(consumer.waitFor(1));
    EXPECT_EQ(losses.load(), 0);
    EXPECT_TRUE(worker.stop(1000ms));
}

TEST_F(ReceiveWorkerTest, AReadErrorIsADeviceLossNotALoop) {
    gReadCalls = 0;
    posix::calls().read = ioError;
    ReceiveWorker worker(port, 16, assembler, [this] { ++losses; });
    ASSERT_TRUE(worker.start());
    tester.sendReport(report(5, 5));
    const auto deadline = Clock::now() + 1000ms;
    while (worker.running() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(worker.running());
    EXPECT_EQ(gReadCalls.load(), 1);
    EXPECT_EQ(losses.load(), 1);
}

}  // namespace
}  // namespace fanbench::seriallink
