#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "seriallink/port_map.h"
#include "seriallink/posix_calls.h"
#include "seriallink/serial_native_posix.h"

namespace fanbench::seriallink {

namespace {

constexpr std::chrono::milliseconds kWriteBound{3000};

speed_t speedFor(int baudRate, bool& known) {
    known = true;
    switch (baudRate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            known = false;
            return B9600;
    }
}

// 8N1, raw, receiver on, modem lines ignored; flow control stays as the driver has it.
// Like the original line set-up, a refused setting does not fail the open.
void applyLineSettings(int fd, int baudRate) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return;
    const tcflag_t flowControl = tio.c_cflag & CRTSCTS;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD | flowControl;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    bool known = false;
    const speed_t speed = speedFor(baudRate, known);
    if (known) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    ::tcsetattr(fd, TCSANOW, &tio);
    // What arrived before we opened belongs to nobody.
    ::tcflush(fd, TCIFLUSH);
}

}  // namespace

SerialPort::SerialPort() : native_(std::make_unique<Native>()) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(int portNumber, int baudRate, PortSharing sharing) {
    close();
    lastFailure_ = {};
    const std::optional<std::string> path = portDevicePath(portNumber);
    if (!path) {
        lastFailure_.reason = "no such port number";
        return false;
    }
    devicePath_ = *path;
    auto fail = [&](int error) {
        lastFailure_ = {*path, std::strerror(error)};
        return false;
    };

    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    if (::isatty(fd) == 0) {
        ::close(fd);
        return fail(ENOTTY);
    }
    const bool exclusive = sharing == PortSharing::Exclusive;
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return fail(error);
    }
    if (exclusive) ::ioctl(fd, TIOCEXCL);

    applyLineSettings(fd, baudRate);
    native_->fd = fd;
    native_->exclusive = exclusive;
    return true;
}

bool SerialPort::isOpen() const {
    return native_->fd >= 0;
}

void SerialPort::close() {
    if (native_->fd < 0) return;
    // Exclusive mode is a property of the tty, not of our descriptor: it would outlive us.
    if (native_->exclusive) ::ioctl(native_->fd, TIOCNXCL);
    ::close(native_->fd);
    native_->fd = -1;
    native_->exclusive = false;
}

void SerialPort::write(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(writeMutex_);
    const int fd = native_->fd;
    if (fd < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kWriteBound;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = posix::calls().write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = posix::calls().poll(&pfd, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR) return;
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return;
    }
}

}  // namespace fanbench::seriallink
