#include <windows.h>

#include <vector>

#include "seriallink/receive_backend.h"
#include "seriallink/serial_native_win32.h"

namespace fanbench::seriallink::backend {

struct ReceiveHandles {
    HANDLE port = INVALID_HANDLE_VALUE;  // a duplicate: the controller may close its own
    HANDLE stopEvent = nullptr;
    HANDLE readEvent = nullptr;  // the reader's own completion record event
    ~ReceiveHandles() {
        for (HANDLE h : {port, stopEvent, readEvent}) {
            if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
};

void ReceiveHandlesDeleter::operator()(ReceiveHandles* handles) const {
    delete handles;
}

ReceiveHandlesPtr openReceiveHandles(const SerialPort& port) {
    ReceiveHandlesPtr h(new ReceiveHandles);
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, port.native().handle, self, &h->port, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    h->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    h->readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (h->stopEvent == nullptr || h->readEvent == nullptr) return nullptr;
    return h;
}

void wakeReceiver(ReceiveHandles& handles) {
    SetEvent(handles.stopEvent);
}

bool receiveUntilStopped(ReceiveHandles& h, const WorkerFlags& flags, std::size_t chunkSize,
                         protocol::FrameAssembler& assembler) {
    std::vector<std::uint8_t> chunk(chunkSize);
    auto stopped = [&flags] { return flags.stopRequested.load(std::memory_order_acquire); };
    while (!stopped()) {
        OVERLAPPED ov{};
        ov.hEvent = h.readEvent;
        ResetEvent(h.readEvent);
        DWORD got = 0;
        if (!ReadFile(h.port, chunk.data(), static_cast<DWORD>(chunk.size()), &got, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return true;
            HANDLE waits[2] = {h.readEvent, h.stopEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(h.port, &ov);
            }
            // Wait for the read itself to finish, cancelled or not, before `ov` goes.
            if (!GetOverlappedResult(h.port, &ov, &got, TRUE)) {
                if (GetLastError() == ERROR_OPERATION_ABORTED) continue;  // our own stop
                return true;                                              // the device went away
            }
        }
        for (DWORD i = 0; i < got && !stopped(); ++i) assembler.push(chunk[i]);
    }
    return false;
}

}  // namespace fanbench::seriallink::backend
