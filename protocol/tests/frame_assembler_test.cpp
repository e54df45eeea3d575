#include "protocol/frame_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fanbench::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct RecordingConsumer : FrameConsumer {
    std::vector<ReportFrame> frames;
    void onFrame(FrameView frame) override {
        ReportFrame copy;
        std::copy(frame.begin(), frame.end(), copy.begin());
        frames.push_back(copy);
    }
};

Bytes frameWith(std::uint8_t type, std::uint8_t duty, std::uint8_t lastDigit) {
    return {0xFD, type, duty, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, lastDigit, 0xFE};
}

const Bytes kFrameA = frameWith(1, 20, 3);
const Bytes kFrameB = frameWith(2, 10, 7);

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes filler(std::size_t count, std::uint8_t value = 0x11) {
    return Bytes(count, value);
}

struct FramingCase {
    std::string name;
    CapacityRule rule;
    Bytes input;
    std::vector<Bytes> expectedFrames;
    std::size_t expectedIndex;
};

std::ostream& operator<<(std::ostream& os, const FramingCase& c) {
    return os << c.name;
}

class FramingTable : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTable, AcceptsExactlyTheExpectedFrames) {
    const FramingCase& c = GetParam();
    RecordingConsumer consumer;
    FrameAssembler assembler(c.rule, consumer);
    for (std::uint8_t b : c.input) assembler.push(b);

    ASSERT_EQ(consumer.frames.size(), c.expectedFrames.size());
    for (std::size_t i = 0; i < c.expectedFrames.size(); ++i) {
        EXPECT_EQ(Bytes(consumer.frames[i].begin(), consumer.frames[i].end()), c.expectedFrames[i])
            << "frame " << i;
    }
    EXPECT_EQ(assembler.writeIndex(), c.expectedIndex);
}

Bytes truncatedAfterTen() {  // FD .. FE with the end marker at position 10
    Bytes b = frameWith(2, 4, 0);
    b.resize(10);
    b.push_back(0xFE);
    return b;
}

Bytes corruptDigit(Bytes frame, std::size_t offset, std::uint8_t value) {
    frame[offset] = value;
    return frame;
}

std::vector<FramingCase> bothRules(const std::string& name, Bytes input, std::vector<Bytes> frames,
                                   std::size_t index) {
    return {{name + "_128", CapacityRule::DiscardAt128, input, frames, index},
            {name + "_256", CapacityRule::WrapAt256, input, frames, index}};
}

std::vector<FramingCase> allCases() {
    std::vector<FramingCase> cases;
    auto add = [&](std::vector<FramingCase> more) {
        cases.insert(cases.end(), more.begin(), more.end());
    };
    add(bothRules("single_frame", kFrameA, {kFrameA}, 0));
    add(bothRules("back_to_back", concat({kFrameA, kFrameB}), {kFrameA, kFrameB}, 0));
    add(bothRules("three_junk_bytes_lose_the_next_frame",
                  concat({{0x01, 0x02, 0x03}, kFrameA, kFrameB}), {kFrameB}, 0));
    add(bothRules("truncated_frame_after_complete_one_is_dropped",
                  concat({kFrameA, truncatedAfterTen(), kFrameB}), {kFrameA, kFrameB}, 0));
    add(bothRules("terminator_above_15_never_accepted",
                  concat({kFrameA, {0xFD}, filler(18), {0xFE}}), {kFrameA}, 0));
    add(bothRules("end_marker_first_in_run", concat({{0xFE}, kFrameA}), {kFrameA}, 0));
    add(bothRules("end_marker_right_after_end_marker", concat({kFrameA, {0xFE}, kFrameB}),
                  {kFrameA, kFrameB}, 0));
    add(bothRules("digit_byte_ten_is_corrupt", corruptDigit(kFrameA, 9, 10), {}, 0));
    add(bothRules("digit_character_code_is_corrupt", corruptDigit(kFrameA, 14, '3'), {}, 0));
    add(bothRules("corrupt_frame_then_good_frame",
                  concat({corruptDigit(kFrameA, 5, 0xFF), kFrameB}), {kFrameB}, 0));
    add(bothRules("partial_frame_then_frame_waits", Bytes(kFrameA.begin(), kFrameA.begin() + 10),
                  {}, 10));
    add(bothRules("start_marker_missing", corruptDigit(kFrameA, 0, 0x00), {}, 0));

    // 128-byte buffer: the 129th byte of a run is discarded and restarts the run.
    cases.push_back(
        {"discard_200_bytes_no_marker", CapacityRule::DiscardAt128, filler(200), {}, 71});
    cases.push_back({"discard_eats_start_marker",
                     CapacityRule::DiscardAt128,
                     concat({filler(128), kFrameA, kFrameB}),
                     {kFrameB},
                     0});
    cases.push_back({"discarded_byte_then_end_marker",
                     CapacityRule::DiscardAt128,
                     concat({filler(128), {0x00}, {0xFE}, kFrameA}),
                     {kFrameA},
                     0});
    // 256-byte buffer: the index wraps by itself and the frame after 256 bytes lands at 0.
    cases.push_back({"wrap_300_bytes_no_marker", CapacityRule::WrapAt256, filler(300), {}, 44});
    cases.push_back({"wrap_then_frame_accepted",
                     CapacityRule::WrapAt256,
                     concat({filler(256), kFrameA}),
                     {kFrameA},
                     0});
    cases.push_back({"wrap_then_end_marker_first",
                     CapacityRule::WrapAt256,
                     concat({filler(256), {0xFE}, kFrameA}),
                     {kFrameA},
                     0});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Framing, FramingTable, ::testing::ValuesIn(allCases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FrameAssembler, BufferIsNeverClearedAndRunsContinue) {
    RecordingConsumer consumer;
    FrameAssembler assembler(CapacityRule::WrapAt256, consumer);
    // A run left unfinished continues from the same index: a complete frame then ends
    // beyond position 15 and is dropped; the one after it is accepted.
    assembler.push(std::span(kFrameA.data(), 5));
    assembler.push(kFrameB);
    EXPECT_TRUE(consumer.frames.empty());
    assembler.push(kFrameB);
    ASSERT_EQ(consumer.frames.size(), 1u);
    EXPECT_EQ(assembler.buffer()[20], kFrameB[15]);  // stale bytes of the dropped run remain
}

TEST(FrameAssembler, CallsTheConsumerOnlyAfterTheLastByte) {
    RecordingConsumer consumer;
    FrameAssembler assembler(CapacityRule::DiscardAt128, consumer);
    for (std::size_t i = 0; i + 1 < kFrameA.size(); ++i) {
        assembler.push(kFrameA[i]);
        ASSERT_TRUE(consumer.frames.empty()) << "after byte " << i;
    }
    assembler.push(kFrameA.back());
    EXPECT_EQ(consumer.frames.size(), 1u);
}

}  // namespace
}  // namespace fanbench::protocol
