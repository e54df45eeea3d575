#pragma once
// Finds report frames in the received byte stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/report.h"

namespace fanbench::protocol {

// Receives each accepted frame, synchronously, on the thread that pushed its last byte.
class FrameConsumer {
  public:
    virtual void onFrame(FrameView frame) = 0;

  protected:
    ~FrameConsumer() = default;
};

// What happens when a run of bytes without an end marker fills the buffer.
enum class CapacityRule {
    // 128 bytes: the byte that finds the buffer full is discarded and the run restarts at 0.
    DiscardAt128,
    // 256 bytes: the 8-bit write index wraps and the next byte lands at position 0.
    WrapAt256,
};

// A frame is accepted when an end marker lands at position 15, position 0 holds the
// start marker and all ten tach digits are 0..9. The buffer is never cleared; the write
// index returns to 0 after every end marker, accepted or not.
class FrameAssembler {
  public:
    FrameAssembler(CapacityRule rule, FrameConsumer& consumer);

    void push(std::uint8_t byte);
    void push(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) push(b);
    }

    std::size_t writeIndex() const { return writeIndex_; }
    std::span<const std::uint8_t> buffer() const { return buffer_; }

  private:
    CapacityRule rule_;
    FrameConsumer& consumer_;
    std::vector<std::uint8_t> buffer_;  // sized once at construction
    std::size_t writeIndex_ = 0;
};

}  // namespace fanbench::protocol
