#include "pty_tester.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace fanbench::testsupport {

namespace fs = std::filesystem;

TempConfigHome::TempConfigHome() {
    std::string tmpl = (fs::temp_directory_path() / "fanbench-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        saved_ = old;
        hadSaved_ = true;
    }
    ::setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
}

TempConfigHome::~TempConfigHome() {
    if (hadSaved_) {
        ::setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ec;
    fs::remove_all(path_, ec);
}

PtyTester::PtyTester(Line line) {
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, line == Line::Raw ? &raw : nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
}

PtyTester::~PtyTester() {
    hangUp();
    releaseSlave();
}

void PtyTester::linkAs(int comPort) const {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg == nullptr) throw std::runtime_error("tests must set XDG_CONFIG_HOME");
    const fs::path dir = fs::path(xdg) / "fanbench" / "ports";
    fs::create_directories(dir);
    const fs::path link = dir / ("com" + std::to_string(comPort));
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_symlink(slavePath_, link);
}

void PtyTester::linkAt(const std::string& path) const {
    std::error_code ec;
    fs::remove(path, ec);
    fs::create_symlink(slavePath_, path);
}

void PtyTester::send(std::span<const std::uint8_t> bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            throw std::runtime_error("pty write failed");
        }
    }
}

bool PtyTester::trySend(std::span<const std::uint8_t> bytes,
                        std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return true;
}

void PtyTester::sendReport(const protocol::FanReport& report) const {
    const protocol::ReportFrame frame = protocol::encodeReport(report);
    send(frame);
}

Bytes PtyTester::receive(std::size_t count, std::chrono::milliseconds timeout) const {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buf[256];
        const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n > 0) out.insert(out.end(), buf, buf + n);
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    return out;
}

Bytes PtyTester::drain(std::chrono::milliseconds quiet) const {
    Bytes out;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return out;
        std::uint8_t buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return out;
        out.insert(out.end(), buf, buf + n);
    }
}

void PtyTester::stopReading() const {
    // Our own slave descriptor writes into the same queue the host's writes go to.
    const int flags = ::fcntl(slave_, F_GETFL);
    ::fcntl(slave_, F_SETFL, flags | O_NONBLOCK);
    // The kernel moves queued bytes on to the master's side in the background, so keep
    // topping up until a pause frees no more room.
    const std::vector<std::uint8_t> filler(4096, 0x00);
    for (bool tookMore = true; tookMore;) {
        tookMore = false;
        while (::write(slave_, filler.data(), filler.size()) > 0) tookMore = true;
        std::this_thread::sleep_for(20ms);
    }
    ::fcntl(slave_, F_SETFL, flags);
}

void PtyTester::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyTester::releaseSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

}  // namespace fanbench::testsupport
