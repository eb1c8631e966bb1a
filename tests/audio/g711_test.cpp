// G.711 WAVs checked against ffmpeg's reading of them.
#include <gtest/gtest.h>

#include "audio/g711.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

// Code points every G.711 table agrees on: silence, the smallest negative
// value and both ends of the range.
TEST(G711, KnownCodes) {
    const struct {
        int16_t sample;
        uint8_t alaw, ulaw;
    } cases[] = {{0, 0xD5, 0xFF}, {-1, 0x55, 0x7E}, {32767, 0xAA, 0x80}, {-32768, 0x2A, 0x00}};
    for (const auto& c : cases) {
        EXPECT_EQ(LinearToALaw(c.sample), c.alaw) << c.sample;
        EXPECT_EQ(LinearToMuLaw(c.sample), c.ulaw) << c.sample;
    }
}

// Every 16-bit value, an odd count of them with the padding byte: ffmpeg
// reads the codec, rate and channels, exactly as many samples, and each
// within one step of its segment.
TEST(G711, EveryValueDecodesWithinOneStep) {
    if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("ffprobe")) GTEST_SKIP() << "ffmpeg needed";
    std::vector<int16_t> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(static_cast<int16_t>(v));
    all.push_back(1234);  // 65537 samples
    const auto pcm = test::AsBytes(all);
    const struct {
        G711Law law;
        const char* codec;
        int formatTag;
    } cases[] = {{G711Law::kALaw, "pcm_alaw", 6}, {G711Law::kMuLaw, "pcm_mulaw", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        test::TempDir dir;
        const std::string path = dir / "all.wav";
        ASSERT_EQ(WriteG711WavFile(path, c.law, pcm), WriteStatus::kOk);
        const auto bytes = test::ReadFileBytes(path);
        EXPECT_EQ(bytes.size() % 2, 0u) << "RIFF chunks are of even length";
        ASSERT_GT(bytes.size(), 22u);
        EXPECT_EQ(bytes[20], c.formatTag);
        test::ExpectG711Of(path, c.codec, all);
    }
}

TEST(G711, UnwritableFolderLeavesNothing) {
    const std::vector<uint8_t> pcm(16000);
    EXPECT_EQ(WriteG711WavFile("/nonexistent-folder/x.wav", G711Law::kALaw, pcm), WriteStatus::kCreateFailed);
}

}  // namespace
}  // namespace tesvano
