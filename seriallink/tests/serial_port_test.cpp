#include "seriallink/serial_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "pty_tester.h"
#include "seriallink/posix_calls.h"

namespace fanbench::seriallink {
namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;

class SerialPortTest : public ::testing::Test {
  protected:
    TempConfigHome home;
};

TEST_F(SerialPortTest, OpenFailsWithoutTouchingTheSystemForNumbersBelowOne) {
    SerialPort port;
    EXPECT_FALSE(port.open(0, 9600, PortSharing::Shared));
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.lastFailure().device.empty());
}

TEST_F(SerialPortTest, OpenFailureNamesTheDeviceAndTheReason) {
    std::filesystem::create_directories(home.portMapDir());
    std::filesystem::create_symlink("/dev/fanbench-missing", home.portMapDir() + "/com7");
    std::ofstream(home.path() + "/plain-file") << "not a tty";
    std::filesystem::create_symlink(home.path() + "/plain-file", home.portMapDir() + "/com8");

    SerialPort port;
    EXPECT_FALSE(port.open(7, 9600, PortSharing::Shared));
    EXPECT_EQ(port.lastFailure().device, home.portMapDir() + "/com7");
    EXPECT_EQ(port.lastFailure().reason, "No such file or directory");

    EXPECT_FALSE(port.open(8, 9600, PortSharing::Shared));
    EXPECT_EQ(port.lastFailure().reason, "Inappropriate ioctl for device");
    EXPECT_FALSE(port.isOpen());
    port.close();  // harmless when closed
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, MakesACookedLineRawAt9600Baud8N1) {
    PtyTester tester(PtyTester::Line::Cooked);
    tester.linkAs(2);
    SerialPort port;
    ASSERT_TRUE(port.open(2, 9600, PortSharing::Shared));
    termios tio{};
    ASSERT_EQ(::tcgetattr(tester.slaveFd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(SerialPortTest, EveryByteValueLeavesUnchanged) {
    PtyTester tester(PtyTester::Line::Cooked);
    tester.linkAs(2);
    SerialPort port;
    ASSERT_TRUE(port.open(2, 9600, PortSharing::Shared));
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    port.write(all);
    EXPECT_EQ(tester.receive(256), all);
    EXPECT_TRUE(tester.drain(50ms).empty()) << "nothing echoed or added";
}

struct SharingCase {
    const char* name;
    PortSharing first;
    PortSharing second;
    bool secondOpens;
};

std::ostream& operator<<(std::ostream& os, const SharingCase& c) {
    return os << c.name;
}

class SharingTable : public SerialPortTest, public ::testing::WithParamInterface<SharingCase> {};

TEST_P(SharingTable, LocksDecideWhoMayOpen) {
    PtyTester tester;
    tester.linkAs(4);
    SerialPort first;
    SerialPort second;
    ASSERT_TRUE(first.open(4, 9600, GetParam().first));
    EXPECT_EQ(second.open(4, 9600, GetParam().second), GetParam().secondOpens);
    if (!GetParam().secondOpens) {
        EXPECT_EQ(second.lastFailure().reason, "Device or resource busy");
    }
    first.close();
    second.close();
    EXPECT_TRUE(second.open(4, 9600, GetParam().second)) << "the lock goes with the close";
}

INSTANTIATE_TEST_SUITE_P(
    Sharing, SharingTable,
    ::testing::Values(
        SharingCase{"shared_shared", PortSharing::Shared, PortSharing::Shared, true},
        SharingCase{"shared_exclusive", PortSharing::Shared, PortSharing::Exclusive, false},
        SharingCase{"exclusive_shared", PortSharing::Exclusive, PortSharing::Shared, false},
        SharingCase{"exclusive_exclusive", PortSharing::Exclusive, PortSharing::Exclusive, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SerialPortTest, ExclusiveModeDoesNotOutliveTheClose) {
    PtyTester tester;
    tester.linkAs(4);
    SerialPort port;
    ASSERT_TRUE(port.open(4, 9600, PortSharing::Exclusive));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(tester.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    port.close();
    ASSERT_EQ(::ioctl(tester.slaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST_F(SerialPortTest, AWriteThatCannotCompleteGivesUpWithinItsBound) {
    PtyTester tester;  // never reads: the line's buffers fill up
    tester.linkAs(5);
    SerialPort port;
    ASSERT_TRUE(port.open(5, 9600, PortSharing::Shared));
    const Bytes lots(1 << 20, 0x55);
    const auto start = Clock::now();
    port.write(lots);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 2900ms);
    EXPECT_LE(took, 3500ms);
}

// The rare paths of a write, provoked through the system-call table.
class ScriptedWrites : public SerialPortTest {
  protected:
    void TearDown() override { posix::calls() = posix::systemCalls(); }
    static inline int calls = 0;
    static ssize_t shortThenInterrupted(int fd, const void* buf, std::size_t count) {
        ++calls;
        if (calls == 1) return ::write(fd, buf, 1);  // short write
        if (calls == 2) {
            errno = EINTR;
            return -1;
        }
        if (calls == 3) {
            errno = EAGAIN;
            return -1;
        }
        return ::write(fd, buf, count);
    }
    static ssize_t failing(int, const void*, std::size_t) {
        ++calls;
        errno = EIO;
        return -1;
    }
};

TEST_F(ScriptedWrites, ShortInterruptedAndBusyWritesStillSendEverything) {
    PtyTester tester;
    tester.linkAs(6);
    SerialPort port;
    ASSERT_TRUE(port.open(6, 9600, PortSharing::Shared));
    calls = 0;
    posix::calls().write = shortThenInterrupted;
    const Bytes command = {0x02, 0x8A, 0x01};
    port.write(command);
    EXPECT_EQ(tester.receive(3), command);
    EXPECT_EQ(calls, 4);
}

TEST_F(ScriptedWrites, AHardErrorEndsTheWriteAtOnce) {
    PtyTester tester;
    tester.linkAs(6);
    SerialPort port;
    ASSERT_TRUE(port.open(6, 9600, PortSharing::Shared));
    calls = 0;
    posix::calls().write = failing;
    const auto start = Clock::now();
    port.write(Bytes{0x80});
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace fanbench::seriallink
