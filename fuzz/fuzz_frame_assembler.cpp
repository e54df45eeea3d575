// Fuzz target: the FrameAssembler in both capacity variants. Checks what every accepted
// frame must be, and that feeding the input in two pieces changes nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/frame_assembler.h"

namespace {

using fanbench::protocol::CapacityRule;
using fanbench::protocol::FrameAssembler;
using fanbench::protocol::FrameView;

void check(bool condition) {
    if (!condition) std::abort();
}

struct Checker : fanbench::protocol::FrameConsumer {
    const std::uint8_t* input = nullptr;
    std::size_t consumed = 0;  // bytes pushed so far, including the current one
    std::vector<std::vector<std::uint8_t>> frames;
    void onFrame(FrameView frame) override {
        check(frame[0] == 0xFD && frame[15] == 0xFE);
        for (std::size_t i = 5; i < 15; ++i) check(frame[i] <= 9);
        // The frame is exactly the last 16 bytes pushed.
        check(consumed >= 16);
        for (std::size_t i = 0; i < 16; ++i) check(frame[i] == input[consumed - 16 + i]);
        frames.emplace_back(frame.begin(), frame.end());
    }
};

std::vector<std::vector<std::uint8_t>> run(CapacityRule rule, const std::uint8_t* data,
                                           std::size_t size, std::size_t split) {
    Checker checker;
    checker.input = data;
    FrameAssembler assembler(rule, checker);
    auto pushRange = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            checker.consumed = i + 1;
            assembler.push(data[i]);
            check(assembler.writeIndex() < assembler.buffer().size() + 1);
        }
    };
    pushRange(0, split);
    pushRange(split, size);
    return checker.frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (CapacityRule rule : {CapacityRule::DiscardAt128, CapacityRule::WrapAt256}) {
        const auto whole = run(rule, data, size, size);
        const std::size_t split = size == 0 ? 0 : (data[0] * 7919u) % (size + 1);
        check(run(rule, data, size, split) == whole);
    }
    return 0;
}
