// tesvano-cli say and convert with --kind alaw and ulaw, read back by ffmpeg.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(TESVANO_BIN_DIR) + "/tesvano-cli";

const struct Law {
    const char* kind;
    const char* codec;
    bool aLaw;
} kLaws[] = {{"alaw", "pcm_alaw", true}, {"ulaw", "pcm_mulaw", false}};

// The G.711 file is 8000 Hz mono of its kind, and ffmpeg's decoding of it
// is `reference`, sample for sample, within one step.
void ExpectG711Of(const std::string& path, const Law& law, const std::vector<int16_t>& reference) {
    const auto probe = test::Probe(path);
    EXPECT_EQ(probe.codec, law.codec);
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_EQ(probe.channels, 1);
    std::vector<int16_t> decoded;
    ASSERT_TRUE(test::DecodeWithFfmpeg(path, 8000, &decoded));
    ASSERT_EQ(decoded.size(), reference.size());
    ASSERT_GT(reference.size(), 4000u);
    int outside = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        outside += std::abs(decoded[i] - reference[i]) > test::G711Step(law.aLaw, reference[i]);
    EXPECT_EQ(outside, 0);
}

class G711EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!test::ProgramExists("ffmpeg") || !test::ProgramExists("ffprobe")) GTEST_SKIP() << "ffmpeg needed";
    }
    test::TempDir dir;
};

TEST_F(G711EndToEnd, SayWritesTheSpeechAsG711) {
    // The engine speaks the same text the same way: its 8 kHz WAV is the reference.
    const std::string text = "你好，世界。";
    std::string log;
    const std::string wavDir = dir / "wav";
    fs::create_directory(wavDir);
    ASSERT_EQ(test::RunProgram({kCli, "say", text, "--kind", "wav", "--rate", "8000", "--dir", wavDir}, &log), 0);
    std::vector<int16_t> reference;
    ASSERT_TRUE(test::DecodeWithFfmpeg(wavDir + "/你好世界.wav", 8000, &reference));
    for (const auto& law : kLaws) {
        SCOPED_TRACE(law.kind);
        const std::string out = dir / law.kind;
        fs::create_directory(out);
        // Without --rate, and with the window's default of 16000 never used.
        ASSERT_EQ(test::RunProgram({kCli, "say", text, "--kind", law.kind, "--dir", out}, &log), 0) << log;
        const std::string path = out + "/你好世界.wav";
        EXPECT_NE(log.find("PCM "), std::string::npos);
        EXPECT_NE(log.find(":" + path + "\n"), std::string::npos) << log;
        ExpectG711Of(path, law, reference);
    }
}

TEST_F(G711EndToEnd, ConvertWritesEachInputAsG711) {
    // A rising tone through every segment, already 8 kHz mono: what our
    // decoder gives is the file's own samples.
    const std::string ramp = dir / "ramp.wav";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                "aevalsrc=0.99*sin(2*PI*300*t)*pow(t/2\\,3):d=2:s=8000", "-c:a", "pcm_s16le", ramp}),
              0);
    std::vector<int16_t> reference;
    ASSERT_TRUE(test::DecodeWithFfmpeg(ramp, 8000, &reference));
    for (const auto& law : kLaws) {
        SCOPED_TRACE(law.kind);
        const std::string out = dir / law.kind;
        fs::create_directory(out);
        std::string log;
        ASSERT_EQ(test::RunProgram({kCli, "convert", ramp, "--kind", law.kind, "--dir", out}, &log), 0) << log;
        ExpectG711Of(out + "/ramp.wav.wav", law, reference);
    }
}

TEST_F(G711EndToEnd, AnotherRateIsAUsageError) {
    const std::string input = dir / "in.wav";
    ASSERT_EQ(test::RunProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=d=1", input}), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"say", "hello", "--rate", "16000", "--kind", "alaw"},
        {"say", "hello", "--kind", "ulaw", "--rate", "16000"},
        {"convert", input, "--rate", "16000", "--kind", "alaw"},
        {"convert", input, "--kind", "ulaw", "--rate", "16000"},
    };
    const std::string out = dir / "out";
    fs::create_directory(out);
    for (const auto& c : cases) {
        std::vector<std::string> argv = {kCli};
        argv.insert(argv.end(), c.begin(), c.end());
        argv.insert(argv.end(), {"--dir", out});
        EXPECT_EQ(test::RunProgram(argv), 2) << c[0] << " " << c[2] << " " << c[3];
    }
    EXPECT_TRUE(fs::is_empty(out));
    // --rate 8000 is what these kinds are: allowed.
    EXPECT_EQ(test::RunProgram({kCli, "convert", input, "--rate", "8000", "--kind", "alaw", "--dir", out}), 0);
}

}  // namespace
}  // namespace tesvano
