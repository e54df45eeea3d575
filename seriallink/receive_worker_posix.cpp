#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "seriallink/posix_calls.h"
#include "seriallink/receive_backend.h"
#include "seriallink/serial_native_posix.h"

namespace fanbench::seriallink::backend {

struct ReceiveHandles {
    int portFd = -1;  // a duplicate: the controller may close its own at any time
    int wakeFd = -1;  // eventfd
    ~ReceiveHandles() {
        if (portFd >= 0) ::close(portFd);
        if (wakeFd >= 0) ::close(wakeFd);
    }
};

void ReceiveHandlesDeleter::operator()(ReceiveHandles* handles) const {
    delete handles;
}

ReceiveHandlesPtr openReceiveHandles(const SerialPort& port) {
    ReceiveHandlesPtr handles(new ReceiveHandles);
    handles->portFd = ::fcntl(port.native().fd, F_DUPFD_CLOEXEC, 0);
    handles->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (handles->portFd < 0 || handles->wakeFd < 0) return nullptr;
    return handles;
}

void wakeReceiver(ReceiveHandles& handles) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(handles.wakeFd, &one, sizeof one);
}

namespace {
bool isLossError(int error) {
    return error != EINTR && error != EAGAIN && error != EWOULDBLOCK;
}
}  // namespace

bool receiveUntilStopped(ReceiveHandles& h, const WorkerFlags& flags, std::size_t chunkSize,
                         protocol::FrameAssembler& assembler) {
    std::vector<std::uint8_t> chunk(chunkSize);
    auto stopped = [&flags] { return flags.stopRequested.load(std::memory_order_acquire); };
    while (!stopped()) {
        pollfd fds[2] = {{h.portFd, POLLIN, 0}, {h.wakeFd, POLLIN, 0}};
        const int ready = posix::calls().poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return true;
        }
        if (stopped()) break;
        const short events = fds[0].revents;
        if ((events & POLLIN) != 0) {
            const ssize_t n = posix::calls().read(h.portFd, chunk.data(), chunk.size());
            if (n > 0) {
                for (ssize_t i = 0; i < n && !stopped(); ++i) {
                    assembler.push(chunk[static_cast<std::size_t>(i)]);
                }
                continue;
            }
            if (n == 0 || isLossError(errno)) return true;
            continue;
        }
        // Hang-up or error without data: the device is gone; polling on would spin.
        if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    }
    return false;
}

}  // namespace fanbench::seriallink::backend
