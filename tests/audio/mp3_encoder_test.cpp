#include <cstdlib>
#include <gtest/gtest.h>

#include "audio/mp3_encoder.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

// Encoder delay plus padding of LAME at these rates stays well under this.
constexpr long kDelayTolerance = 2304;

TEST(Mp3Encoder, CameraFormatReadByIndependentTools) {
    if (!test::ProgramExists("ffprobe") || !test::ProgramExists("mpg123")) GTEST_SKIP() << "tools missing";
    for (int rate : {16000, 8000}) {
        SCOPED_TRACE(rate);
        test::TempDir dir;
        const auto samples = test::SpeechLikePcm(rate, 3.0);
        const auto pcm = test::AsBytes(samples);
        CMp3Encoder enc(rate);
        ASSERT_TRUE(enc.ready());
        ASSERT_EQ(enc.Encode(pcm.data(), pcm.size()), 1);
        const std::string path = dir / "out.mp3";
        ASSERT_EQ(enc.SaveToFile(path), 1);

        auto p = test::Probe(path);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.codec, "mp3");
        EXPECT_EQ(p.channels, 1);
        EXPECT_EQ(p.sampleRate, rate);
        EXPECT_EQ(p.bitRate, 8000);
        EXPECT_EQ(p.title, kId3Title);

        std::vector<int16_t> decoded;
        ASSERT_TRUE(test::DecodeWithMpg123(path, &decoded));
        EXPECT_NEAR(long(decoded.size()), long(samples.size()), kDelayTolerance);
        EXPECT_EQ(test::ReadFileBytes(path).size(), enc.length());
    }
}

TEST(Mp3Encoder, OddAndShortInputs) {
    // 4097 bytes: the trailing odd byte is ignored; 0 bytes: straight to the flush.
    for (size_t bytes : {size_t(0), size_t(1), size_t(4096), size_t(4097), size_t(6000)}) {
        SCOPED_TRACE(bytes);
        std::vector<uint8_t> pcm(bytes, 0x11);
        CMp3Encoder enc(16000);
        // LAME's flush always yields at least one frame.
        EXPECT_EQ(enc.Encode(pcm.data(), pcm.size()), 1);
        EXPECT_GT(enc.length(), 0u);
    }
}

TEST(Mp3Encoder, BufferGrowsInsteadOfDroppingAudio) {
    if (!test::ProgramExists("mpg123")) GTEST_SKIP() << "mpg123 missing";
    // A tiny starting buffer stands in for three hours of input against 10 MiB.
    const auto samples = test::SpeechLikePcm(16000, 40.0);
    const auto pcm = test::AsBytes(samples);
    CMp3Encoder enc(16000, 4096);
    ASSERT_EQ(enc.Encode(pcm.data(), pcm.size()), 1);
    EXPECT_GT(enc.capacity(), 4096u);
    EXPECT_GT(enc.length(), 38000u);  // 40 s at 1000 bytes/s
    test::TempDir dir;
    ASSERT_EQ(enc.SaveToFile(dir / "long.mp3"), 1);
    std::vector<int16_t> decoded;
    ASSERT_TRUE(test::DecodeWithMpg123(dir / "long.mp3", &decoded));
    EXPECT_NEAR(long(decoded.size()), long(samples.size()), kDelayTolerance);
}

TEST(Mp3Encoder, SaveRules) {
    test::TempDir dir;
    CMp3Encoder fresh(16000);
    EXPECT_EQ(fresh.SaveToFile(dir / "none.mp3"), 0);  // nothing encoded yet

    CMp3Encoder bad(0);  // no rate (an empty rate list): Init fails
    EXPECT_FALSE(bad.ready());
    std::vector<uint8_t> pcm(8000, 0);
    EXPECT_EQ(bad.Encode(pcm.data(), pcm.size()), 0);
    EXPECT_EQ(bad.SaveToFile(dir / "bad.mp3"), 0);

    CMp3Encoder enc(16000);
    ASSERT_EQ(enc.Encode(pcm.data(), pcm.size()), 1);
    const std::string path = dir / "a.mp3";
    test::WriteFileBytes(path, std::vector<uint8_t>(100000, 1));
    ASSERT_EQ(enc.SaveToFile(path), 1);
    EXPECT_EQ(test::ReadFileBytes(path).size(), enc.length());  // replaced, not appended
    EXPECT_EQ(enc.SaveToFile(dir / "missing/a.mp3"), 0);
}

}  // namespace
}  // namespace tesvano
