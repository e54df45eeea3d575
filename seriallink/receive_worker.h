#pragma once
// The background thread that reads the port and feeds every byte to a FrameAssembler.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "protocol/frame_assembler.h"
#include "seriallink/serial_port.h"

namespace fanbench::seriallink {

class ReceiveWorker {
  public:
    // `chunkSize` bounds one read. The assembler and the loss handler must outlive the
    // worker; the handler runs on the worker thread, once, when the device goes away.
    ReceiveWorker(SerialPort& port, std::size_t chunkSize, protocol::FrameAssembler& assembler,
                  std::function<void()> onDeviceLost = {});
    ~ReceiveWorker();  // stops without a bound
    ReceiveWorker(const ReceiveWorker&) = delete;
    ReceiveWorker& operator=(const ReceiveWorker&) = delete;

    // Starts reading the port, which must be open. False when no thread could be made.
    bool start();

    // Requests the stop and waits for the thread. Returns true when it ended within
    // `bound`; otherwise the thread is abandoned: it keeps its own handles, touches the
    // port no more and ends on its own. Harmless when not started.
    bool stop(std::chrono::milliseconds bound = std::chrono::milliseconds::max());

    bool running() const;
    bool deviceLost() const;

    struct Shared;  // state the thread keeps alive by itself

  private:
    SerialPort& port_;
    std::size_t chunkSize_;
    protocol::FrameAssembler& assembler_;
    std::function<void()> onDeviceLost_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace fanbench::seriallink
