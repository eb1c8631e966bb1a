#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_buffer.h"

namespace tesvano {
namespace {

TEST(CaptureBuffer, GrowsByWholeMebibytesOnlyWhenABlockDoesNotFit) {
    const uint64_t step = CaptureBuffer::kStep;
    struct Case {
        std::vector<size_t> blocks;
        uint64_t capacity;
    } cases[] = {
        {{640}, step},                      // first block: one step
        {{step - 640, 640}, step},          // exactly to the capacity: no growth
        {{step - 640, 641}, 2 * step},      // one byte more: one step
        {{100, 3 * step}, 4 * step},        // repeated steps until it fits
    };
    for (const auto& c : cases) {
        CaptureBuffer b;
        uint64_t total = 0;
        uint8_t value = 0;
        for (size_t n : c.blocks) {
            std::vector<uint8_t> block(n, ++value);
            b.Append(block.data(), block.size());
            total += n;
        }
        EXPECT_EQ(b.size(), total);
        EXPECT_EQ(b.capacity(), c.capacity);
        EXPECT_EQ(b.bytes().back(), value);  // the last block is at the end, whole
        EXPECT_FALSE(b.lostAudio());
    }
}

TEST(CaptureBuffer, BlockThatCannotGetMemoryIsDroppedAndNoted) {
    CaptureBuffer b;
    b.SetCapacityLimitForTesting(CaptureBuffer::kStep);
    std::vector<uint8_t> a(CaptureBuffer::kStep - 10, 1), more(20, 2), last(10, 3);
    b.Append(a.data(), a.size());
    b.Append(more.data(), more.size());  // would need a second mebibyte: lost
    EXPECT_TRUE(b.lostAudio());
    b.Append(last.data(), last.size());  // still fits: kept after the gap
    EXPECT_EQ(b.size(), a.size() + last.size());
    EXPECT_EQ(b.bytes().back(), 3);
    // A new recording keeps the block and forgets the loss.
    b.Reset();
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.capacity(), CaptureBuffer::kStep);
    EXPECT_FALSE(b.lostAudio());
    b.Release();
    EXPECT_EQ(b.capacity(), 0u);
}

}  // namespace
}  // namespace tesvano
