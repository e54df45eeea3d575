#pragma once
// What each platform provides to the receive worker: its handles, the blocking read
// loop and the wake-up that ends a wait. The thread's life (start, bounded stop,
// abandoning) is shared code in receive_worker.cpp.

#include <atomic>
#include <cstddef>
#include <memory>

#include "protocol/frame_assembler.h"
#include "seriallink/serial_port.h"

namespace fanbench::seriallink::backend {

struct WorkerFlags {
    std::atomic<bool> stopRequested{false};
};

// The platform's handles of one worker: its own duplicate of the port and a wake-up.
struct ReceiveHandles;
struct ReceiveHandlesDeleter {
    void operator()(ReceiveHandles* handles) const;
};
using ReceiveHandlesPtr = std::unique_ptr<ReceiveHandles, ReceiveHandlesDeleter>;

// Nothing when the handles could not be made.
ReceiveHandlesPtr openReceiveHandles(const SerialPort& port);

// Ends a wait in progress, or the next one.
void wakeReceiver(ReceiveHandles& handles);

// Reads until a stop is requested or the device goes; true when it went.
bool receiveUntilStopped(ReceiveHandles& handles, const WorkerFlags& flags, std::size_t chunkSize,
                         protocol::FrameAssembler& assembler);

}  // namespace fanbench::seriallink::backend
