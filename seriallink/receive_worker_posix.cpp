#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "seriallink/debug_trace.h"
#include "seriallink/posix_calls.h"
#include "seriallink/receive_worker.h"
#include "seriallink/serial_native_posix.h"

namespace fanbench::seriallink {

// Owned jointly by the controller and the thread, so an abandoned thread never touches
// a descriptor that the controller has closed: it reads its own duplicate of the port.
struct ReceiveWorker::Shared {
    int portFd = -1;
    int wakeFd = -1;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> deviceLost{false};
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread thread;

    ~Shared() {
        if (portFd >= 0) ::close(portFd);
        if (wakeFd >= 0) ::close(wakeFd);
    }
};

namespace {

bool isLossError(int error) {
    return error != EINTR && error != EAGAIN && error != EWOULDBLOCK;
}

void receiveLoop(ReceiveWorker::Shared& s, std::size_t chunkSize,
                 protocol::FrameAssembler& assembler, const std::function<void()>& onLost) {
    debugTrace("ReceiveThread Start\r\n");
    std::vector<std::uint8_t> chunk(chunkSize);
    bool lost = false;
    while (!s.stopRequested.load(std::memory_order_acquire)) {
        pollfd fds[2] = {{s.portFd, POLLIN, 0}, {s.wakeFd, POLLIN, 0}};
        const int ready = posix::calls().poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            lost = true;
            break;
        }
        if (s.stopRequested.load(std::memory_order_acquire)) break;
        const short events = fds[0].revents;
        if ((events & POLLIN) != 0) {
            const ssize_t n = posix::calls().read(s.portFd, chunk.data(), chunk.size());
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i) {
                    assembler.push(chunk[static_cast<std::size_t>(i)]);
                    if (s.stopRequested.load(std::memory_order_acquire)) break;
                }
                continue;
            }
            if (n == 0 || isLossError(errno)) {
                lost = true;
                break;
            }
            continue;
        }
        // Hang-up or error without data: the device is gone; polling on would spin.
        if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            lost = true;
            break;
        }
    }
    if (lost) {
        s.deviceLost.store(true, std::memory_order_release);
        if (onLost) onLost();
    }
    debugTrace("ReceiveThread End\r\n");
}

}  // namespace

ReceiveWorker::ReceiveWorker(SerialPort& port, std::size_t chunkSize,
                             protocol::FrameAssembler& assembler,
                             std::function<void()> onDeviceLost)
    : port_(port),
      chunkSize_(chunkSize),
      assembler_(assembler),
      onDeviceLost_(std::move(onDeviceLost)) {}

ReceiveWorker::~ReceiveWorker() {
    stop();
}

bool ReceiveWorker::start() {
    if (running() || !port_.isOpen()) return false;
    auto shared = std::make_shared<Shared>();
    shared->portFd = ::fcntl(port_.native().fd, F_DUPFD_CLOEXEC, 0);
    shared->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->portFd < 0 || shared->wakeFd < 0) return false;
    try {
        shared->thread = std::thread(
            [shared, &assembler = assembler_, onLost = onDeviceLost_, chunkSize = chunkSize_] {
                receiveLoop(*shared, chunkSize, assembler, onLost);
                std::lock_guard lock(shared->mutex);
                shared->ended = true;
                shared->endedChanged.notify_all();
            });
    } catch (const std::system_error&) {
        return false;
    }
    shared_ = std::move(shared);
    return true;
}

bool ReceiveWorker::stop(std::chrono::milliseconds bound) {
    if (!shared_ || !shared_->thread.joinable()) return true;
    Shared& s = *shared_;
    s.stopRequested.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(s.wakeFd, &one, sizeof one);

    bool ended = true;
    if (bound != std::chrono::milliseconds::max()) {
        std::unique_lock lock(s.mutex);
        ended = s.endedChanged.wait_for(lock, bound, [&] { return s.ended; });
    }
    if (ended) {
        s.thread.join();
    } else {
        debugTrace("TerminateThread\r\n");
        s.thread.detach();  // the thread holds its own reference to the shared state
        shared_.reset();
    }
    return ended;
}

bool ReceiveWorker::running() const {
    if (!shared_) return false;
    std::lock_guard lock(shared_->mutex);
    return !shared_->ended;
}

bool ReceiveWorker::deviceLost() const {
    return shared_ && shared_->deviceLost.load(std::memory_order_acquire);
}

}  // namespace fanbench::seriallink
