#include <cstring>
#include <gtest/gtest.h>

#include "audio/wav.h"
#include "platform/trace.h"
#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t o) {
    return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | uint32_t(b[o + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t o) { return uint16_t(b[o] | b[o + 1] << 8); }

TEST(WavFile, HeaderBytesForEachCase) {
    struct Case {
        uint32_t rate, length;
    } cases[] = {{8000, 3200}, {16000, 3200}, {16000, 0}, {8000, 7}, {300000000, 2}};  // the last found by wav_write_fuzz
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = dir / "out.wav";
        std::vector<uint8_t> pcm(c.length);
        for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 31);
        ASSERT_EQ(WriteWavFile(path, c.rate, pcm), WriteStatus::kOk);
        auto b = test::ReadFileBytes(path);
        ASSERT_EQ(b.size(), 44 + c.length);
        EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
        EXPECT_EQ(U32(b, 4), c.length + 36);
        EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(U32(b, 16), 16u);
        EXPECT_EQ(U16(b, 20), 1);
        EXPECT_EQ(U16(b, 22), 1);
        EXPECT_EQ(U32(b, 24), c.rate);
        EXPECT_EQ(U32(b, 28), c.rate * 2);
        EXPECT_EQ(U16(b, 32), 2);
        EXPECT_EQ(U16(b, 34), 16);
        EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
        EXPECT_EQ(U32(b, 40), c.length);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), b.begin() + 44));
    }
}

TEST(WavFile, BuildWavHeaderPrintsItsTwoTraceLines) {
    WavHeader h;
    testing::internal::CaptureStdout();
    BuildWavHeader(&h, 16000, 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "wavheader: channel = 1\nwavheader: dwSamplesPerSec = 16000\n");
    // tesvano-cli sends them to standard error.
    SetTraceStream(stderr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    BuildWavHeader(&h, 8000, 10);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    SetTraceStream(nullptr);
    EXPECT_EQ(err, "wavheader: channel = 1\nwavheader: dwSamplesPerSec = 8000\n");
}

TEST(WavFile, RawPcmIsTheBytesAlone) {
    test::TempDir dir;
    const std::string path = dir / "x.pcm";
    std::vector<uint8_t> pcm = {1, 2, 3, 4, 5};
    test::WriteFileBytes(path, std::vector<uint8_t>(1000, 9));  // replaced, not appended to
    ASSERT_EQ(WritePcmFile(path, pcm), WriteStatus::kOk);
    EXPECT_EQ(test::ReadFileBytes(path), pcm);
    EXPECT_EQ(WritePcmFile(dir / "nope/x.pcm", pcm), WriteStatus::kCreateFailed);
}

TEST(WavFile, IndependentReaderAgrees) {
    if (!test::ProgramExists("ffprobe")) GTEST_SKIP() << "ffprobe missing";
    for (uint32_t rate : {8000u, 16000u}) {
        test::TempDir dir;
        const std::string path = dir / "a.wav";
        auto pcm = test::AsBytes(test::SpeechLikePcm(int(rate), 0.5));
        ASSERT_EQ(WriteWavFile(path, rate, pcm), WriteStatus::kOk);
        auto p = test::Probe(path);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.codec, "pcm_s16le");
        EXPECT_EQ(p.channels, 1);
        EXPECT_EQ(p.sampleRate, int(rate));
    }
    test::TempDir dir;
    ASSERT_EQ(WriteWavFile(dir / "empty.wav", 16000, {}), WriteStatus::kOk);
    EXPECT_TRUE(test::Probe(dir / "empty.wav").ok);
}

}  // namespace
}  // namespace tesvano
