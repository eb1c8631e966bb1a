#include <gtest/gtest.h>

#include <algorithm>

#include "speech/synthesis.h"
#include "tests/support/scripted_engine.h"

namespace tesvano {
namespace {

TEST(SessionParams, VoiceNamesAsStoredBlanksIncluded) {
    struct Case {
        int voice, rate;
        const char* expected;
    } cases[] = {
        {1, 16000,
         "voice_name =xiaoyan, text_encoding = gb2312, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2"},
        {7, 16000,
         "voice_name = xiaorong, text_encoding = gb2312, sample_rate = 16000, speed = 50, volume = 50, pitch = 50, rdn = 2"},
        {0, 8000,
         "voice_name =xiaoyu, text_encoding = gb2312, sample_rate = 8000, speed = 50, volume = 50, pitch = 50, rdn = 2"},
        {6, 0,
         "voice_name =vixl xiaolin, text_encoding = gb2312, sample_rate = 0, speed = 50, volume = 50, pitch = 50, rdn = 2"},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildSessionParams(c.voice, c.rate), c.expected);
}

TEST(SynthesisBuffer, GrowsOnlyWhenAPieceDoesNotFit) {
    SynthesisBuffer b;
    ASSERT_TRUE(b.Allocate());
    EXPECT_EQ(b.capacity(), SynthesisBuffer::kStep);
    const auto piece = test::PcmBytes(SynthesisBuffer::kStep);
    ASSERT_TRUE(b.Append(piece.data(), piece.size()));  // exactly full: no growth
    EXPECT_EQ(b.capacity(), SynthesisBuffer::kStep);
    ASSERT_TRUE(b.Append("x", 1));  // one byte more: one step
    EXPECT_EQ(b.capacity(), 2 * SynthesisBuffer::kStep);
    const auto big = test::PcmBytes(3 * SynthesisBuffer::kStep);
    ASSERT_TRUE(b.Append(big.data(), big.size()));  // repeated steps until it fits
    EXPECT_EQ(b.capacity(), 5 * SynthesisBuffer::kStep);
    const PcmBuffer all = b.Take();
    ASSERT_EQ(all.size(), 4 * SynthesisBuffer::kStep + 1);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), all.begin()));
    EXPECT_EQ(all[SynthesisBuffer::kStep], 'x');
    EXPECT_TRUE(std::equal(big.begin(), big.end(), all.begin() + SynthesisBuffer::kStep + 1));
}

}  // namespace
}  // namespace tesvano
