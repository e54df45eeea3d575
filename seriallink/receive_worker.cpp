#include "seriallink/receive_worker.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "seriallink/debug_trace.h"
#include "seriallink/receive_backend.h"

namespace fanbench::seriallink {

// Owned jointly by the controller and the thread, so an abandoned thread never touches
// a handle that the controller has closed: it reads its own duplicate of the port.
struct ReceiveWorker::Shared {
    backend::ReceiveHandlesPtr handles;
    backend::WorkerFlags flags;
    std::atomic<bool> deviceLost{false};
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread thread;
};

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
    shared->handles = backend::openReceiveHandles(port_);
    if (!shared->handles) return false;
    try {
        shared->thread = std::thread(
            [shared, &assembler = assembler_, onLost = onDeviceLost_, chunkSize = chunkSize_] {
                debugTrace("ReceiveThread Start\r\n");
                if (backend::receiveUntilStopped(*shared->handles, shared->flags, chunkSize,
                                                 assembler)) {
                    shared->deviceLost.store(true, std::memory_order_release);
                    if (onLost) onLost();
                }
                debugTrace("ReceiveThread End\r\n");
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
    s.flags.stopRequested.store(true, std::memory_order_release);
    backend::wakeReceiver(*s.handles);

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
