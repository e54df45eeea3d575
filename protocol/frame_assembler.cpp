#include "protocol/frame_assembler.h"

namespace fanbench::protocol {

namespace {
constexpr std::size_t capacityOf(CapacityRule rule) {
    return rule == CapacityRule::DiscardAt128 ? 128 : 256;
}
}  // namespace

FrameAssembler::FrameAssembler(CapacityRule rule, FrameConsumer& consumer)
    : rule_(rule), consumer_(consumer), buffer_(capacityOf(rule), 0) {}

void FrameAssembler::push(std::uint8_t byte) {
    if (writeIndex_ >= buffer_.size()) {
        writeIndex_ = 0;
        if (rule_ == CapacityRule::DiscardAt128) return;
    }
    const std::size_t position = writeIndex_++;
    buffer_[position] = byte;
    if (byte != kEndMarker) return;

    writeIndex_ = 0;
    if (position != kFrameSize - 1 || buffer_[0] != kStartMarker) return;
    const FrameView frame(buffer_.data(), kFrameSize);
    if (!hasValidDigits(frame)) return;
    consumer_.onFrame(frame);
}

}  // namespace fanbench::protocol
