#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "seriallink/debug_trace.h"
#include "seriallink/receive_worker.h"
#include "seriallink/serial_native_win32.h"

namespace fanbench::seriallink {

// Owned jointly by the controller and the thread; the thread reads its own duplicate
// of the port handle, so an abandoned thread never uses a handle the controller closed.
struct ReceiveWorker::Shared {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE stopEvent = nullptr;
    HANDLE readEvent = nullptr;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> deviceLost{false};
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread thread;

    ~Shared() {
        for (HANDLE h : {port, stopEvent, readEvent}) {
            if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
};

namespace {

void receiveLoop(ReceiveWorker::Shared& s, std::size_t chunkSize,
                 protocol::FrameAssembler& assembler, const std::function<void()>& onLost) {
    debugTrace("ReceiveThread Start\r\n");
    std::vector<std::uint8_t> chunk(chunkSize);
    bool lost = false;
    while (!s.stopRequested.load(std::memory_order_acquire)) {
        OVERLAPPED ov{};
        ov.hEvent = s.readEvent;
        ResetEvent(s.readEvent);
        DWORD got = 0;
        if (!ReadFile(s.port, chunk.data(), static_cast<DWORD>(chunk.size()), &got, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                lost = true;
                break;
            }
            HANDLE waits[2] = {s.readEvent, s.stopEvent};
            const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0) CancelIoEx(s.port, &ov);
            if (!GetOverlappedResult(s.port, &ov, &got, TRUE)) {
                const DWORD error = GetLastError();
                if (error == ERROR_OPERATION_ABORTED) continue;  // our own stop
                lost = true;
                break;
            }
        }
        for (DWORD i = 0; i < got; ++i) {
            assembler.push(chunk[i]);
            if (s.stopRequested.load(std::memory_order_acquire)) break;
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
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, port_.native().handle, self, &shared->port, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return false;
    }
    shared->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    shared->readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (shared->stopEvent == nullptr || shared->readEvent == nullptr) return false;
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
    SetEvent(s.stopEvent);
    bool ended = true;
    if (bound != std::chrono::milliseconds::max()) {
        std::unique_lock lock(s.mutex);
        ended = s.endedChanged.wait_for(lock, bound, [&] { return s.ended; });
    }
    if (ended) {
        s.thread.join();
    } else {
        debugTrace("TerminateThread\r\n");
        s.thread.detach();
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
