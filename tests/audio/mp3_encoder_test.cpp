#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <vector>

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

TEST(Mp3Encoder, ChunksFedToLame) {
    // A trailing odd byte is dropped; an empty input goes straight to the flush.
    const struct {
        size_t bytes;
        std::vector<int> chunks;
    } cases[] = {
        {0, {}}, {1, {0}}, {4096, {2048}}, {4097, {2048, 0}}, {6000, {2048, 952}}, {8192, {2048, 2048}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::vector<uint8_t> pcm(c.bytes, 0x11);
        CMp3Encoder enc(16000);
        std::vector<int> fed;
        enc.SetEncodeChunk([&fed](lame_global_struct* lame, const short* samples, int count, uint8_t* out, int size) {
            fed.push_back(count);
            return lame_encode_buffer(lame, samples, nullptr, count, out, size);
        });
        // LAME's flush always yields at least one frame.
        EXPECT_EQ(enc.Encode(pcm.data(), pcm.size()), 1);
        EXPECT_GT(enc.length(), 0u);
        EXPECT_EQ(fed, c.chunks);
    }
}

TEST(Mp3Encoder, FailedEncodeLeavesNothingToSave) {
    test::TempDir dir;
    const auto pcm = test::AsBytes(test::SpeechLikePcm(16000, 3.0));
    CMp3Encoder enc(16000);
    int calls = 0;
    enc.SetEncodeChunk([&calls](lame_global_struct* lame, const short* samples, int count, uint8_t* out, int size) {
        // Output already produced by the first chunks must not survive the error.
        if (++calls == 3) return -1;
        return lame_encode_buffer(lame, samples, nullptr, count, out, size);
    });
    EXPECT_EQ(enc.Encode(pcm.data(), pcm.size()), 0);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(enc.length(), 0u);
    EXPECT_EQ(enc.SaveToFile(dir / "failed.mp3"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "failed.mp3"));
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

// The size known before encoding is the size the encoder makes: around
// every frame boundary, for silence and for full-scale noise, at both rates.
TEST(Mp3Size, PredictedBeforeEncoding) {
    std::vector<size_t> counts = {0, 1, 575, 576, 577, 1104, 1105, 1106, 1151, 1152, 1153, 16000, 160001};
    for (size_t k = 2; k < 40; k += 7)
        for (long d : {-1, 0, 1}) counts.push_back(k * 576 + static_cast<size_t>(d));
    std::srand(7);
    for (int rate : {16000, 8000}) {
        for (bool noise : {false, true}) {
            for (size_t n : counts) {
                std::vector<uint8_t> pcm(n * 2, 0);
                if (noise)
                    for (auto& b : pcm) b = static_cast<uint8_t>(std::rand());
                CMp3Encoder encoder(rate);
                ASSERT_TRUE(encoder.Encode(pcm.data(), pcm.size()));
                EXPECT_EQ(PredictMp3Bytes(rate, n), encoder.length()) << rate << " Hz, " << n << " samples";
            }
        }
    }
}

TEST(Mp3Size, MostSamplesWithinALimit) {
    const struct {
        int rate;
        uint64_t bytes;
    } cases[] = {{16000, 40960}, {8000, 40960}, {16000, 237}, {8000, 1000}, {16000, 1000000}};
    for (const auto& c : cases) {
        const uint64_t n = MaxSamplesWithin(c.rate, c.bytes);
        EXPECT_LE(PredictMp3Bytes(c.rate, n), c.bytes) << c.rate << " " << c.bytes;
        EXPECT_GT(PredictMp3Bytes(c.rate, n + 1), c.bytes) << c.rate << " " << c.bytes;
    }
    // The camera's limit holds a little over 40 seconds at either rate.
    EXPECT_NEAR(double(MaxSamplesWithin(16000, 40960)) / 16000, 40.75, 0.05);
    EXPECT_NEAR(double(MaxSamplesWithin(8000, 40960)) / 8000, 40.68, 0.05);
    EXPECT_EQ(MaxSamplesWithin(16000, 200), 0u);  // the tag and LAME's two frames alone
}

}  // namespace
}  // namespace tesvano
